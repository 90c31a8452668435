// A station's view for tests: the window's thread is the test's own, which
// runs the posted tasks until what it waits for has happened. And a bench
// of simulated radios with the station files that name them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimRadio.h"
#include "station/Station.h"
#include "station/StationFile.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel::test {

// Tasks posted from any thread, run on the test's thread.
class PostedTasks {
 public:
  void post(std::function<void()> task) {
    const std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    posted_.notify_one();
  }

  // Runs posted tasks until `done` holds; false after `limit`.
  bool runUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, end, [&] { return !tasks_.empty(); })) return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

class FakeStationView final : public StationView {
 public:
  void post(std::function<void()> task) override { tasks_.post(std::move(task)); }
  void bedChanged(std::size_t bed) override {
    if (bed >= changes.size()) changes.resize(bed + 1);
    ++changes[bed];
  }
  void countersChanged() override { ++counterChanges; }
  void roundEnded() override { ++roundsEnded; }

  bool runUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60)) {
    return tasks_.runUntil(done, limit);
  }

  std::vector<int> changes;
  int counterChanges = 0;
  int roundsEnded = 0;

 private:
  PostedTasks tasks_;
};

// One simulated radio per bed, each on a pseudo-terminal, and a firmware of
// `blocks` blocks beside them; `baud` 0 leaves the radios unpaced.
struct SimBench {
  explicit SimBench(const std::vector<bool>& silent, unsigned baud = 0, int blocks = 12)
      : SimBench(Silent(silent), baud, blocks) {}
  // One radio per entry, with those faults.
  SimBench(const std::vector<sim::Faults>& faults, unsigned baud, int blocks) {
    for (std::size_t i = 0; i < faults.size(); ++i) {
      sim::Options options;
      options.linkPath = (dir.path() / ("r" + std::to_string(i))).string();
      options.faults = faults[i];
      options.baud = baud;
      std::string error;
      radios.push_back(sim::Radio::Start(options, &error));
      EXPECT_TRUE(radios.back()) << error;
      beds += "Bed " + std::to_string(i + 1) + "=" + options.linkPath + "\n";
    }
    dir.write("fw.sfl", ConventionalSfl(0, blocks));
  }
  static std::vector<sim::Faults> Silent(const std::vector<bool>& silent) {
    std::vector<sim::Faults> faults(silent.size());
    for (std::size_t i = 0; i < silent.size(); ++i) faults[i].silent = silent[i];
    return faults;
  }

  // A station file `name` over every radio, "Bed 1" first, with `keys`
  // (KEY=VALUE lines) in its [Station] section; read as the program reads it.
  struct Setup {
    StationConfig config;
    CheckedSflFile firmware;
    TransferFacts facts;
  };
  Setup station(const std::string& name, const std::string& keys) const {
    const std::string path = dir.write(name, "[Station]\nFirmware=fw.sfl\n" + keys + "[Beds]\n" + beds);
    Setup setup;
    const std::optional<std::string> problem = ReadStationFile(path, setup.config, setup.firmware, setup.facts);
    EXPECT_FALSE(problem) << *problem;
    return setup;
  }

  TempDir dir;
  std::vector<std::unique_ptr<sim::Radio>> radios;
  std::string beds;  // the [Beds] lines
};

}  // namespace tarvel::test
