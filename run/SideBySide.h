// Work on several radios at once: a thread per radio, so that a radio that
// fails or stalls never stops or slows the others.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>


namespace tarvel {

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
