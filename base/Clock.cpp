#include "base/Clock.h"

#include <chrono>
#include <thread>

namespace tarvel {

namespace {
using SteadyTime = std::chrono::steady_clock;
// The scheduler usually wakes a sleeper well within this margin.
constexpr auto kSpinMargin = std::chrono::microseconds(300);
}  // namespace

std::uint32_t SteadyClock::tickMs() {
  const auto since = SteadyTime::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SteadyClock::pauseMs(std::uint32_t ms) {
  const auto deadline = SteadyTime::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = deadline - SteadyTime::now();
    if (left <= SteadyTime::duration::zero()) return;
    if (left > kSpinMargin) {
      std::this_thread::sleep_for(left - kSpinMargin);
    } else {
      std::this_thread::yield();
    }
  }
}

}  // namespace tarvel
