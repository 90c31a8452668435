// bench/station: units per hour of a station of 8 beds, started by the keys
// against started by themselves (insert mode), with simulated radios of
// unequal speed and one simulated operator who needs a fixed time to swap a
// unit. By the keys the operator swaps all eight, presses F5 and waits for
// the slowest bed; in insert mode he swaps each bed as soon as it asks for
// it, and a bed starts as soon as its link is made again.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/LineBench.h"
#include "sim/SimRadio.h"
#include "station/Station.h"

namespace {

using namespace tarvel;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBlocks = 128;
constexpr std::size_t kBeds = 8;
// Each radio's loader at its own pace: the slowest takes twice the fastest.
constexpr unsigned kPace[kBeds] = {115200, 115200, 76800, 115200, 57600, 96000, 115200, 86400};
constexpr auto kSwap = std::chrono::milliseconds(1000);  // one unit out, the next in

// The window's thread: the bench's own, running what the station posts.
class Loop final : public StationView {
 public:
  void post(std::function<void()> task) override {
    const std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    posted_.notify_one();
  }
  void bedChanged(std::size_t) override {}
  void countersChanged() override {}
  void roundEnded() override {}

  // Runs posted tasks, and `step` between them, until `end`.
  void run(Clock::time_point end, const std::function<void()>& step) {
    while (Clock::now() < end) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        if (posted_.wait_for(lock, std::chrono::milliseconds(5), [this] { return !tasks_.empty(); })) {
          task = std::move(tasks_.front());
          tasks_.pop_front();
        }
      }
      if (task) task();
      step();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

struct Bench {
  explicit Bench(const fs::path& dir) : dir_(dir) {
    fs::create_directories(dir / "ports");
    bench::WriteBenchSfl((dir / "fw.sfl").string(), kBlocks);
    for (std::size_t i = 0; i < kBeds; ++i) {
      sim::Options options;
      options.linkPath.clear();
      options.baud = kPace[i];
      std::string error;
      radios.push_back(sim::Radio::Start(options, &error));
      if (!radios.back()) std::fprintf(stderr, "cannot start a simulated radio: %s\n", error.c_str());
      ports.push_back((dir / "ports" / ("bed" + std::to_string(i + 1))).string());
    }
  }
  std::unique_ptr<Station> open(const std::string& start, Loop& loop) {
    std::string beds;
    for (std::size_t i = 0; i < kBeds; ++i) beds += "Bed " + std::to_string(i + 1) + "=" + ports[i] + "\n";
    const std::string path = (dir_ / (start + ".ini")).string();
    FILE* file = std::fopen(path.c_str(), "w");
    std::fprintf(file, "[Station]\nFirmware=fw.sfl\nBaud=115200\nStart=%s\nRecord=%s.jsonl\n[Beds]\n%s", start.c_str(),
                 start.c_str(), beds.c_str());
    std::fclose(file);
    StationConfig config;
    CheckedSflFile firmware;
    TransferFacts facts;
    if (const auto problem = ReadStationFile(path, config, firmware, facts)) {
      std::fprintf(stderr, "bench/station: %s\n", problem->c_str());
      return nullptr;
    }
    return std::make_unique<Station>(config, firmware, facts, loop);
  }
  void plug(std::size_t bed) {
    std::error_code ignored;
    fs::create_symlink(radios[bed]->devicePath(), ports[bed], ignored);
  }
  void unplug(std::size_t bed) {
    std::error_code ignored;
    fs::remove(ports[bed], ignored);
  }

  fs::path dir_;
  std::vector<std::unique_ptr<sim::Radio>> radios;
  std::vector<std::string> ports;
};

void Report(const char* mode, const Station& station, double seconds) {
  const int units = station.session().passed + station.session().failed;
  std::printf("%-7s %3d units in %5.1f s (%d failed): %6.0f units per hour\n", mode, units, seconds,
              station.session().failed, units * 3600.0 / seconds);
  std::fflush(stdout);
}

// The operator swaps all eight units, presses F5, and waits for the round.
void ByTheKeys(Bench& bench, Clock::duration length) {
  Loop loop;
  for (std::size_t i = 0; i < kBeds; ++i) bench.plug(i);
  std::unique_ptr<Station> station = bench.open("keys", loop);
  if (!station) return;
  const auto start = Clock::now();
  Clock::time_point busyUntil = start + kBeds * kSwap;
  loop.run(start + length, [&] {
    if (station->running() || Clock::now() < busyUntil) return;
    if (busyUntil != Clock::time_point{}) {
      station->startRound(std::vector<std::string>(kBeds), true);
      busyUntil = {};
    } else {
      busyUntil = Clock::now() + kBeds * kSwap;
    }
  });
  // Units still running at the end are not counted.
  Report("keys", *station, std::chrono::duration<double>(Clock::now() - start).count());
  station->stop();
}

// The operator goes round the beds and swaps each that asks for it; each
// bed starts when its new unit's adapter is plugged in.
void Inserted(Bench& bench, Clock::duration length) {
  Loop loop;
  for (std::size_t i = 0; i < kBeds; ++i) bench.unplug(i);
  std::unique_ptr<Station> station = bench.open("insert", loop);
  if (!station) return;
  station->watchBeds();
  const auto start = Clock::now();
  std::vector<bool> loaded(kBeds, false);
  std::size_t swapping = kBeds;  // none
  Clock::time_point busyUntil = start;
  std::size_t next = 0;
  loop.run(start + length, [&] {
    if (Clock::now() < busyUntil) return;
    if (swapping < kBeds) {
      bench.plug(swapping);
      loaded[swapping] = true;
      swapping = kBeds;
    }
    for (std::size_t k = 0; k < kBeds; ++k) {
      const std::size_t bed = (next + k) % kBeds;
      const Bed& b = station->bed(bed);
      if (loaded[bed] && b.unit.phase != UnitPhase::Remove) continue;
      bench.unplug(bed);
      swapping = bed;
      next = bed + 1;
      busyUntil = Clock::now() + kSwap;
      return;
    }
  });
  Report("insert", *station, std::chrono::duration<double>(Clock::now() - start).count());
  station->stop();
}

}  // namespace

int main(int argc, char** argv) {
  // "--quick": 20 s a mode instead of 120.
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const auto length = std::chrono::seconds(quick ? 20 : 120);
  const fs::path dir = fs::temp_directory_path() / ("tarvel-bench-station-" + std::to_string(::getpid()));
  {
    Bench bench(dir);
    std::printf("bench/station: %zu beds, %d blocks each, radios paced at 57600 to 115200 baud, %lld ms per swap\n",
                kBeds, kBlocks, static_cast<long long>(kSwap.count()));
    ByTheKeys(bench, length);
    Inserted(bench, length);
  }
  fs::remove_all(dir);
  return 0;
}
