// A station's view for tests: the window's thread is the test's own, which
// runs the posted tasks until what it waits for has happened.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "station/Station.h"

namespace tarvel::test {

class FakeStationView final : public StationView {
 public:
  void post(std::function<void()> task) override {
    const std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    posted_.notify_one();
  }
  void bedChanged(std::size_t bed) override {
    if (bed >= changes.size()) changes.resize(bed + 1);
    ++changes[bed];
  }
  void countersChanged() override { ++counterChanges; }
  void roundEnded() override { ++roundsEnded; }

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

  std::vector<int> changes;
  int counterChanges = 0;
  int roundsEnded = 0;

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace tarvel::test
