// bench/read: reads 1024 blocks from the simulated radio paced at 115200
// baud through the real port layer and the flash converter library, and
// compares the run with the line-rate bound: every byte both ways at 11
// bits, plus the fixed pauses of the conversation.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/UiPump.h"
#include "bench/LineBench.h"
#include "service/Converters.h"
#include "sim/SimRadio.h"

namespace {

using namespace tarvel;
using namespace tarvel::bench;

constexpr std::uint16_t kEndBlock = 0x3FF;

bool Run(const std::string& output, sim::Cable cable, unsigned baud) {
  BenchLine line(cable, baud);
  if (!line.radio) return false;
  ConverterBlockSink sink;
  const double cpu0 = ThreadCpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  const ReadOutcome outcome =
      ReadFirmware(line.job, sink, output, kEndBlock, false, line.failures, line.platform).read;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = ThreadCpuSeconds() - cpu0;

  const char* name = line.cableName();
  if (!outcome.succeeded || outcome.blocksRead != kEndBlock + 1) {
    std::printf("%s %6u baud: FAILED\n", name, baud);
    return false;
  }
  PrintRun(name, baud, kEndBlock + 1, wall, cpu, line.opener.bytes, line.clock.pausedMs);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // "--quick" runs only the unpaced reads.
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const auto dir = std::filesystem::temp_directory_path() / ("tarvel-bench-read-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string output = (dir / "read.sfl").string();
  std::printf("bench/read: blocks 000 to %03X through the flash converter, wall and CPU time against the line-rate bound\n",
              kEndBlock);
  bool ok = true;
  for (unsigned baud : {0u, 115200u}) {
    if (quick && baud) continue;
    for (sim::Cable cable : {sim::Cable::Qap8, sim::Cable::Qap10}) ok = Run(output, cable, baud) && ok;
  }
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
