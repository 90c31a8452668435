// The millisecond clock of the procedures: elapsed times and fixed pauses.
#pragma once

#include <cstdint>

namespace tarvel {

class Clock {
 public:
  virtual ~Clock() = default;
  // A millisecond tick count that wraps at 2^32, like a system tick counter;
  // differences are taken as unsigned 32-bit values.
  virtual std::uint32_t tickMs() = 0;
  // Returns once at least `ms` milliseconds have passed.
  virtual void pauseMs(std::uint32_t ms) = 0;
};

// The real clock. Its pause keeps millisecond accuracy without holding a
// core: it sleeps for most of the wait and spins only for the last fraction.
class SteadyClock final : public Clock {
 public:
  std::uint32_t tickMs() override;
  void pauseMs(std::uint32_t ms) override;
};

}  // namespace tarvel
