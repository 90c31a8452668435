#include "serial/TracingPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace tarvel {
namespace {

// Bytes per trace line: a long block stays readable and greppable.
constexpr std::size_t kBytesPerLine = 32;

constexpr char kSent = '>';
constexpr char kReceived = '<';
constexpr char kEvent = '*';

std::string Outcome(const IoResult& result, std::size_t asked) {
  std::string text;
  switch (result.status) {
    case PortStatus::Ok: return {};
    case PortStatus::TimedOut: text = "timed out"; break;
    case PortStatus::Failed: text = "failed"; break;
    case PortStatus::Gone: text = "device gone"; break;
  }
  text += ", " + std::to_string(result.count) + " of " + std::to_string(asked) + " bytes";
  if (result.osError != 0) text += std::string(" (") + std::strerror(result.osError) + ")";
  return text;
}

}  // namespace

TraceLog::TraceLog(std::ostream& out)
    : TraceLog(out, [start = std::chrono::steady_clock::now()] {
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                     start);
      }) {}

TraceLog::TraceLog(std::ostream& out, Elapsed elapsed) : out_(out), elapsed_(std::move(elapsed)) {}

void TraceLog::bytes(char direction, std::span<const std::uint8_t> data) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t first = 0; first < data.size(); first += kBytesPerLine) {
    const std::size_t count = std::min(kBytesPerLine, data.size() - first);
    std::string text;
    text.reserve(count * 3);
    for (std::size_t i = first; i < first + count; ++i) {
      if (i != first) text += ' ';
      text += kHex[data[i] >> 4];
      text += kHex[data[i] & 0x0F];
    }
    line(direction, text);
  }
}

void TraceLog::note(char direction, std::string_view text) { line(direction, text); }

void TraceLog::line(char direction, std::string_view text) {
  std::lock_guard lock(mutex_);
  const auto us = elapsed_().count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%5lld.%03lld %c ", static_cast<long long>(us / 1000000),
                static_cast<long long>(us / 1000 % 1000), direction);
  // Flushed line by line so that a trace survives a crash.
  out_ << stamp << text << std::endl;
}

TracingPort::TracingPort(std::unique_ptr<SerialPort> inner, std::shared_ptr<TraceLog> log, std::string name)
    : inner_(std::move(inner)), log_(std::move(log)), name_(std::move(name)) {}

TracingPort::~TracingPort() {
  inner_.reset();
  log_->note(kEvent, "close " + name_);
}

IoResult TracingPort::write(std::span<const std::uint8_t> bytes) {
  const IoResult result = inner_->write(bytes);
  log_->bytes(kSent, bytes.first(std::min(result.count, bytes.size())));
  if (result.status != PortStatus::Ok) log_->note(kSent, Outcome(result, bytes.size()));
  return result;
}

IoResult TracingPort::read(std::span<std::uint8_t> bytes) {
  const IoResult result = inner_->read(bytes);
  log_->bytes(kReceived, bytes.first(std::min(result.count, bytes.size())));
  if (result.status != PortStatus::Ok) log_->note(kReceived, Outcome(result, bytes.size()));
  return result;
}

// Polled in loops: not worth a line each.
std::size_t TracingPort::bytesWaiting() { return inner_->bytesWaiting(); }
bool TracingPort::waitForInput(std::chrono::milliseconds bound) { return inner_->waitForInput(bound); }

void TracingPort::setLine(ControlLine line, bool raised) {
  inner_->setLine(line, raised);
  std::string text = line == ControlLine::Dtr ? "DTR" : "RTS";
  text += raised ? " on" : " off";
  if (!inner_->hasModemLines()) text += " (no modem lines)";
  log_->note(kEvent, text);
}

bool TracingPort::hasModemLines() const { return inner_->hasModemLines(); }

TracingOpener::TracingOpener(PortOpener& inner, std::ostream& out)
    : TracingOpener(inner, std::make_shared<TraceLog>(out)) {}

TracingOpener::TracingOpener(PortOpener& inner, std::shared_ptr<TraceLog> log)
    : inner_(inner), log_(std::move(log)) {}

OpenResult TracingOpener::open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) {
  OpenResult result = inner_.open(name, baud, timeouts);
  std::string text = "open " + name + " at " + std::to_string(baud) + " baud: ";
  switch (result.status) {
    case OpenStatus::Ok: text += "ok"; break;
    case OpenStatus::CannotOpen: text += "cannot open"; break;
    case OpenStatus::CannotConfigure: text += "cannot configure"; break;
  }
  if (!result.detail.empty()) text += " (" + result.detail + ")";
  if (result.port && !result.port->hasModemLines()) text += ", no modem lines";
  log_->note(kEvent, text);
  if (result.port) result.port = std::make_unique<TracingPort>(std::move(result.port), log_, name);
  return result;
}

}  // namespace tarvel
