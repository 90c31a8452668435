#include "tests/support/Fakes.h"

#include <algorithm>

namespace tarvel::test {

void FakeLine::note(const std::string& event) {
  events.push_back(clock ? std::to_string(clock->tickMs()) + " " + event : event);
}

void FakeLine::replyAfter(std::uint32_t ms, std::initializer_list<std::uint8_t> bytes) {
  const std::uint32_t at = clock ? clock->tickMs() + ms : 0;
  for (std::uint8_t b : bytes) arriving.emplace_back(at, b);
}

void FakeLine::arrive() {
  while (!arriving.empty() && (!clock || arriving.front().first <= clock->tickMs())) {
    input.push_back(arriving.front().second);
    arriving.pop_front();
  }
}

std::vector<std::uint8_t> FakeLine::allWritten() const {
  std::vector<std::uint8_t> all;
  for (const auto& w : writes) all.insert(all.end(), w.begin(), w.end());
  return all;
}

FakePort::FakePort(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {
  ++line_->openPorts;
  line_->maxOpenPorts = std::max(line_->maxOpenPorts, line_->openPorts);
  line_->note("open");
}

FakePort::~FakePort() {
  --line_->openPorts;
  line_->note("close");
}

IoResult FakePort::write(std::span<const std::uint8_t> bytes) {
  if (line_->gone) return {0, PortStatus::Gone, 5};
  line_->writes.emplace_back(bytes.begin(), bytes.end());
  if (line_->respond) line_->respond(*line_, bytes);
  return {bytes.size(), PortStatus::Ok, 0};
}

IoResult FakePort::read(std::span<std::uint8_t> bytes) {
  if (line_->gone) return {0, PortStatus::Gone, 5};
  line_->arrive();
  const std::size_t n = std::min(bytes.size(), line_->input.size());
  std::copy_n(line_->input.begin(), n, bytes.begin());
  line_->input.erase(line_->input.begin(), line_->input.begin() + static_cast<std::ptrdiff_t>(n));
  return {n, n == bytes.size() ? PortStatus::Ok : PortStatus::TimedOut, 0};
}

void FakePort::setLine(ControlLine which, bool raised) {
  line_->note(std::string(which == ControlLine::Dtr ? "DTR " : "RTS ") + (raised ? "1" : "0"));
}

OpenResult FakeOpener::open(const std::string& name, unsigned baud, const PortTimeouts&) {
  ++opens;
  lastName = name;
  lastBaud = baud;
  const bool fail = failWith != OpenStatus::Ok && (failOnOpen == 0 || failOnOpen == opens);
  if (fail && failWith == OpenStatus::CannotOpen) return {nullptr, OpenStatus::CannotOpen, 2, "No such file"};
  OpenResult result{std::make_unique<FakePort>(line), OpenStatus::Ok, 0, {}};
  if (fail) {
    result.status = failWith;
    result.detail = "Invalid argument";
  }
  return result;
}

}  // namespace tarvel::test
