// bench/gang: one 1024-block file written into 1, 2, 4 and 8 simulated
// radios at once, paced at 115200 baud, through tarvel-cli's engine (a
// worker thread per port). For each line of radios: the wall time of the
// whole run against one radio's, and each worker's CPU time against the
// wall time. The radios run in this process too; their CPU is not counted.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/LineBench.h"
#include "cli/GangWrite.h"

namespace {

using namespace tarvel;

constexpr int kBlocks = 1024;
constexpr unsigned kBaud = 115200;

// Wall seconds of the run, or a negative number when a radio failed.
double Run(const CheckedSflFile& file, int radios, double oneRadioWall) {
  std::vector<std::unique_ptr<sim::Radio>> line;
  std::vector<std::string> ports;
  for (int i = 0; i < radios; ++i) {
    sim::Options options;
    options.linkPath.clear();
    options.baud = kBaud;
    std::string error;
    line.push_back(sim::Radio::Start(options, &error));
    if (!line.back()) {
      std::fprintf(stderr, "cannot start a simulated radio: %s\n", error.c_str());
      return -1;
    }
    ports.push_back(line.back()->devicePath());
  }
  cli::GangJob job;
  job.command = "write";
  job.radio.baud = kBaud;
  job.file = &file;
  job.transfer.blocksTotal = kBlocks;
  std::vector<cli::RadioProgress> progress(ports.size());
  std::vector<double> cpu(ports.size());
  const auto wall0 = std::chrono::steady_clock::now();
  std::vector<RunResult> results(ports.size());
  cli::GangWatch watch;
  // On each worker's thread as it ends: its CPU time.
  watch.radioEnded = [&](std::size_t i) { cpu[i] = bench::ThreadCpuSeconds(); };
  cli::WriteRadios(ports, job, progress, results, watch);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  for (const RunResult& result : results) {
    if (result.exitCode != 0 || result.transfer->blocksDone != kBlocks) {
      std::printf("%d radios: %s FAILED: %s\n", radios, result.radio->port.c_str(), result.message.c_str());
      return -1;
    }
  }
  const double cpuMax = *std::max_element(cpu.begin(), cpu.end());
  double cpuSum = 0;
  for (double c : cpu) cpuSum += c;
  std::printf("%d radio%s  wall %7.3f s  %5.3f x one radio  cpu per radio %6.3f s avg, %6.3f s max (%4.2f%% of wall)\n",
              radios, radios == 1 ? " " : "s", wall, oneRadioWall > 0 ? wall / oneRadioWall : 1.0, cpuSum / radios,
              cpuMax, 100.0 * cpuMax / wall);
  std::fflush(stdout);
  return wall;
}

}  // namespace

int main(int argc, char** argv) {
  // "--quick" runs 1 and 2 radios only.
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const auto dir = std::filesystem::temp_directory_path() / ("tarvel-bench-gang-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "bench.sfl").string();
  bench::WriteBenchSfl(path, kBlocks);
  CheckedSflFile file;
  const auto problem = LoadCheckedSflFile(path, file);
  std::filesystem::remove_all(dir);
  if (problem) {
    std::fprintf(stderr, "bench/gang: %s\n", problem->detail.c_str());
    return 1;
  }
  std::printf("bench/gang: %d blocks into each radio, QAP-8 at %u baud, a worker thread per radio\n", kBlocks, kBaud);
  double one = 0;
  for (int radios : {1, 2, 4, 8}) {
    if (quick && radios > 2) break;
    const double wall = Run(file, radios, one);
    if (wall < 0) return 1;
    if (radios == 1) one = wall;
  }
  return 0;
}
