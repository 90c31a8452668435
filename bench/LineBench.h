// Pieces the line benchmarks share: a port that counts the bytes crossing
// the line, a clock that adds up the fixed pauses, and the thread's CPU time.
#pragma once

#include <time.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/Clock.h"
#include "serial/PosixSerialPort.h"

namespace tarvel::bench {

// Counts the bytes that cross the line both ways.
class CountingPort final : public SerialPort {
 public:
  CountingPort(std::unique_ptr<SerialPort> inner, std::uint64_t& bytes) : inner_(std::move(inner)), bytes_(bytes) {}
  IoResult write(std::span<const std::uint8_t> b) override {
    IoResult r = inner_->write(b);
    bytes_ += r.count;
    return r;
  }
  IoResult read(std::span<std::uint8_t> b) override {
    IoResult r = inner_->read(b);
    bytes_ += r.count;
    return r;
  }
  std::size_t bytesWaiting() override { return inner_->bytesWaiting(); }
  bool waitForInput(std::chrono::milliseconds bound) override { return inner_->waitForInput(bound); }
  void setLine(ControlLine line, bool raised) override { inner_->setLine(line, raised); }
  bool hasModemLines() const override { return inner_->hasModemLines(); }

 private:
  std::unique_ptr<SerialPort> inner_;
  std::uint64_t& bytes_;
};

class CountingOpener final : public PortOpener {
 public:
  OpenResult open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) override {
    OpenResult r = posix_.open(name, baud, timeouts);
    if (r.port) r.port = std::make_unique<CountingPort>(std::move(r.port), bytes);
    return r;
  }
  std::uint64_t bytes = 0;

 private:
  PosixPortOpener posix_;
};

// Adds up the fixed pauses the procedure asks for.
class PauseCountingClock final : public Clock {
 public:
  std::uint32_t tickMs() override { return real_.tickMs(); }
  void pauseMs(std::uint32_t ms) override {
    pausedMs += ms;
    real_.pauseMs(ms);
  }
  std::uint64_t pausedMs = 0;

 private:
  SteadyClock real_;
};

inline double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace tarvel::bench
