// Work on several radios at once: a thread per radio, so that a radio that
// fails or stalls never stops or slows the others.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>

#include "loader/SessionObserver.h"

namespace tarvel {

// A write's progress for a radio without a window of its own: the block in
// hand goes into `blocksDone`, then `progressed` runs, on the write's thread.
class BlockProgress final : public SessionObserver {
 public:
  BlockProgress(std::atomic<int>& blocksDone, std::function<void()> progressed)
      : blocksDone_(blocksDone), progressed_(std::move(progressed)) {}
  void progressed(const Progress& progress) override {
    if (progress.phase != SessionPhase::Writing || progress.block < 0) return;
    blocksDone_.store(progress.block, std::memory_order_relaxed);
    progressed_();
  }

 private:
  std::atomic<int>& blocksDone_;
  std::function<void()> progressed_;
};

struct SideBySideWatch {
  // On radio `index`'s thread, as its work ends.
  std::function<void(std::size_t index)> ended;
  // On the calling thread, every `tickInterval` and as soon as a radio ends.
  std::function<void()> tick;
  std::chrono::milliseconds tickInterval{100};
};

// Runs work(i) for every i below `count`, each on a thread of its own, and
// returns when every one has ended. When the system gives no thread for
// radio i, noThread(i, reason) runs instead, on the calling thread.
void RunSideBySide(std::size_t count, const std::function<void(std::size_t)>& work,
                   const std::function<void(std::size_t, const std::string& reason)>& noThread,
                   const SideBySideWatch& watch = {});

// What two names of one port have in common (links and relative paths
// resolved), to find a port named twice.
std::string PortIdentity(const std::string& port);

}  // namespace tarvel
