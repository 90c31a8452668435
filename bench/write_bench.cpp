// bench/write: writes a 1024-block file into the simulated radio through the
// real port layer, unpaced and paced at 115200 and 38400 baud, with both
// cables, and compares each paced run with the line-rate bound: every byte
// both ways at 11 bits, plus the fixed pauses of the conversation.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/UiPump.h"
#include "firmware/WriteProcedure.h"
#include "bench/LineBench.h"
#include "sim/SimRadio.h"

namespace {

using namespace tarvel;
using namespace tarvel::bench;

constexpr int kBlocks = 1024;

bool Run(const std::string& file, sim::Cable cable, unsigned baud, unsigned adapterLatencyMs = 0) {
  BenchLine line(cable, baud, adapterLatencyMs);
  if (!line.radio) return false;

  const double cpu0 = ThreadCpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  const WriteOutcome outcome = WriteFirmwareFile(line.job, file, line.failures, line.platform).write;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = ThreadCpuSeconds() - cpu0;

  const char* name = line.cableName();
  if (!outcome.succeeded || outcome.blocksWritten != kBlocks) {
    std::printf("%s %6u baud: FAILED\n", name, baud);
    return false;
  }
  if (adapterLatencyMs > 0) {
    std::printf("  behind a %u ms adapter: %d retries\n  ", adapterLatencyMs, outcome.retries);
  }
  PrintRun(name, baud, kBlocks, wall, cpu, line.opener.bytes, line.clock.pausedMs);
  // The time-outs must hold a late acknowledgement: a retry behind a slow
  // adapter is a fault.
  return outcome.retries == 0;
}

}  // namespace

int main(int argc, char** argv) {
  // "--quick" runs only the unpaced writes (a few seconds).
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const auto dir = std::filesystem::temp_directory_path() / ("tarvel-bench-write-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "bench.sfl").string();
  bench::WriteBenchSfl(file, kBlocks);
  std::printf("bench/write: %d blocks, writer wall and CPU time against the line-rate bound\n", kBlocks);
  bool ok = true;
  for (unsigned baud : {0u, 115200u, 38400u}) {
    if (quick && baud) continue;
    for (sim::Cable cable : {sim::Cable::Qap8, sim::Cable::Qap10}) ok = Run(file, cable, baud) && ok;
  }
  // A USB adapter at its default latency timer and at the lowest.
  for (unsigned latency : {16u, 1u}) {
    if (quick) continue;
    for (sim::Cable cable : {sim::Cable::Qap8, sim::Cable::Qap10}) ok = Run(file, cable, 115200, latency) && ok;
  }
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
