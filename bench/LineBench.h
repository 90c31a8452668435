// Pieces the line benchmarks share: a port that counts the bytes crossing
// the line, a clock that adds up the fixed pauses, and the thread's CPU time.
#pragma once

#include <time.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include <cstdio>
#include <fstream>

#include "base/Clock.h"
#include "base/MessageDisplay.h"
#include "base/UiPump.h"
#include "formats/SflWriter.h"
#include "run/RadioSession.h"
#include "sim/SimRadio.h"
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

// The benchmarks' SFL file: `blocks` records of a fixed pattern.
inline void WriteBenchSfl(const std::string& path, int blocks) {
  std::ofstream out(path, std::ios::binary);
  out << SflHeader("BENCH RADIO", "1.00");
  for (int b = 0; b < blocks; ++b) {
    BlockData data{};
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(b * 7 + i * 13);
    out << SflRecordLine(static_cast<std::uint16_t>(b), data);
  }
}

inline double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// One line of figures for a run of `blocks` blocks: wall and CPU time, the
// time per block, and for a paced run the line-rate bound (every byte both
// ways at 11 bits, plus the fixed pauses) and how far the run is above it.
inline void PrintRun(const char* cable, unsigned baud, int blocks, double wall, double cpu, std::uint64_t bytes,
                     std::uint64_t pausedMs) {
  std::printf("%s %-8s wall %7.3f s  cpu %6.3f s (%4.1f%% of wall)  %7.3f ms/block", cable,
              baud ? std::to_string(baud).c_str() : "unpaced", wall, cpu, 100.0 * cpu / wall, 1000.0 * wall / blocks);
  if (baud) {
    const double bound = static_cast<double>(bytes) * 11.0 / baud + static_cast<double>(pausedMs) / 1000.0;
    std::printf("  bound %7.3f s (%llu bytes, %llu ms pauses)  %+5.2f%%", bound, static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(pausedMs), 100.0 * (wall - bound) / bound);
  } else {
    std::printf("  (%.3f ms/block without the %llu ms of fixed pauses)",
                (wall - static_cast<double>(pausedMs) / 1000.0) * 1000.0 / blocks,
                static_cast<unsigned long long>(pausedMs));
  }
  std::printf("\n");
  std::fflush(stdout);
}

// Shows the failures a window would put in a box, on stderr.
struct StderrFailures final : SessionObserver {
  void failed(const Failure& failure) override {
    std::fprintf(stderr, "  message %u: %s %s\n", static_cast<unsigned>(failure.message),
                 std::string(LoadString(failure.message)).c_str(), failure.detail.c_str());
  }
};

// A simulated radio paced at `baud` (0: unpaced) and a session's job on the
// real port layer, through an opener and a clock that count the bytes and
// the pauses.
struct BenchLine {
  // `adapterLatencyMs`: the radio behind a USB adapter that holds its
  // answers for that long (0: a direct line).
  BenchLine(sim::Cable cable, unsigned baud, unsigned adapterLatencyMs = 0) {
    sim::Options options;
    options.cable = cable;
    options.linkPath.clear();
    options.baud = baud;
    options.adapterLatencyMs = adapterLatencyMs;
    std::string error;
    radio = sim::Radio::Start(options, &error);
    if (!radio) std::fprintf(stderr, "cannot start the simulated radio: %s\n", error.c_str());
    job.cable = cable;
    job.port = radio ? radio->devicePath() : std::string();
    job.baud = baud ? baud : 115200;
    platform.opener = &opener;
    platform.clock = &clock;
  }
  const char* cableName() const { return job.cable == Cable::Qap10 ? "QAP-10" : "QAP-8 "; }

  std::unique_ptr<sim::Radio> radio;
  CountingOpener opener;
  StderrFailures failures;
  PauseCountingClock clock;
  RadioJob job;
  SessionPlatform platform;
};

}  // namespace tarvel::bench
