#include "run/SideBySide.h"

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tarvel {

void RunSideBySide(std::size_t count, const std::function<void(std::size_t)>& work,
                   const std::function<void(std::size_t, const std::string& reason)>& noThread,
                   const SideBySideWatch& watch) {
  std::mutex mutex;
  std::condition_variable ended;
  std::size_t running = count;
  std::vector<std::thread> workers;
  workers.reserve(count);
  const auto finished = [&](std::size_t i) {
    if (watch.ended) watch.ended(i);
    const std::lock_guard lock(mutex);
    --running;
    ended.notify_one();
  };
  for (std::size_t i = 0; i < count; ++i) {
    try {
      workers.emplace_back([&, i] {
        work(i);
        finished(i);
      });
    } catch (const std::system_error& e) {
      noThread(i, e.what());
      finished(i);
    }
  }
  {
    std::unique_lock lock(mutex);
    while (running > 0) {
      const std::size_t before = running;
      ended.wait_for(lock, watch.tickInterval, [&] { return running != before; });
      if (watch.tick) {
        lock.unlock();
        watch.tick();
        lock.lock();
      }
    }
  }
  for (std::thread& worker : workers) worker.join();
}

std::string PortIdentity(const std::string& port) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path path = fs::weakly_canonical(fs::absolute(port, error), error);
  if (error) path = fs::path(port).lexically_normal();
  return path.string();
}

}  // namespace tarvel
