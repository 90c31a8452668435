// A port that writes every byte sent and received, every line change and
// every open and close to a text log (`tarvel-cli write --trace FILE`):
//
//       0.000 * open /dev/ttyUSB0 at 38400 baud: ok
//       0.012 > 57 00 0A
//       0.015 < 05
//       3.015 < timed out, 0 of 1 bytes
//       3.020 * DTR on
//       3.021 * close /dev/ttyUSB0
//
// Times are seconds since the trace started, to the millisecond.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "serial/SerialPort.h"

namespace tarvel {

class TraceLog {
 public:
  // The time since the trace started.
  using Elapsed = std::function<std::chrono::microseconds()>;

  explicit TraceLog(std::ostream& out);  // timed by the steady clock
  TraceLog(std::ostream& out, Elapsed elapsed);

  void bytes(char direction, std::span<const std::uint8_t> data);
  void note(char direction, std::string_view text);

 private:
  void line(char direction, std::string_view text);

  std::mutex mutex_;  // several ports may share one log
  std::ostream& out_;
  Elapsed elapsed_;
};

class TracingPort final : public SerialPort {
 public:
  TracingPort(std::unique_ptr<SerialPort> inner, std::shared_ptr<TraceLog> log, std::string name);
  ~TracingPort() override;

  IoResult write(std::span<const std::uint8_t> bytes) override;
  IoResult read(std::span<std::uint8_t> bytes) override;
  std::size_t bytesWaiting() override;
  bool waitForInput(std::chrono::milliseconds bound) override;
  void setLine(ControlLine line, bool raised) override;
  bool hasModemLines() const override;

 private:
  std::unique_ptr<SerialPort> inner_;
  std::shared_ptr<TraceLog> log_;
  std::string name_;
};

class TracingOpener final : public PortOpener {
 public:
  // `inner` and `out` must outlive the opener and every port it opens.
  TracingOpener(PortOpener& inner, std::ostream& out);
  TracingOpener(PortOpener& inner, std::shared_ptr<TraceLog> log);

  OpenResult open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) override;

 private:
  PortOpener& inner_;
  std::shared_ptr<TraceLog> log_;
};

}  // namespace tarvel
