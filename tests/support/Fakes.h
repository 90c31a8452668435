// Test doubles for the platform interfaces: a scripted line, a clock that
// only moves when paused, and a message display that records what it shows.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "base/MessageDisplay.h"
#include "loader/LoaderContext.h"
#include "loader/SessionObserver.h"
#include "base/UiPump.h"
#include "serial/SerialPort.h"

namespace tarvel::test {

class FakeClock final : public Clock {
 public:
  std::uint32_t tickMs() override { return now; }
  void pauseMs(std::uint32_t ms) override {
    now += ms;
    pauses.push_back(ms);
  }
  std::uint32_t now = 1000;
  std::vector<std::uint32_t> pauses;
};

struct CountingPump final : UiPump {
  void runOnce() override { ++runs; }
  int runs = 0;
};

struct ShownMessage {
  StringId id;
  MessageIcon icon;
};

// Records what a window would show: the message boxes, and a session's
// failures (as the boxes they make), reports, status and progress.
class RecordingMessages final : public MessageDisplay, public SessionObserver {
 public:
  void showMessage(StringId id, MessageIcon icon, std::string_view detail) override {
    shown.push_back({id, icon});
    details.emplace_back(detail);
    if (onShow) onShow(id);
  }
  void showReport(const std::string& text, MessageIcon icon) override {
    reports.push_back(text);
    reportIcons.push_back(icon);
  }
  std::vector<StringId> ids() const {
    std::vector<StringId> out;
    for (const auto& m : shown) out.push_back(m.id);
    return out;
  }
  void statusChanged(AccessStatus status) override { statuses.push_back(StatusCode(status)); }
  void progressed(const Progress& step) override { progress.push_back(step); }
  void failed(const Failure& failure) override {
    failures.push_back(failure);
    showMessage(failure.message, MessageIcon::Stop, failure.detail);
  }
  void succeeded(const std::string& report) override { showReport(report, MessageIcon::Information); }

  // The progress events of one phase.
  std::vector<Progress> phase(SessionPhase which) const {
    std::vector<Progress> out;
    for (const Progress& step : progress) {
      if (step.phase == which) out.push_back(step);
    }
    return out;
  }
  // The write's range (the highest position) and the blocks it sent, in order.
  std::vector<int> ranges() const {
    std::vector<int> out;
    for (const Progress& step : phase(SessionPhase::Writing)) {
      if (step.block < 0) out.push_back(step.blocks - 1);
    }
    return out;
  }
  std::vector<int> positions() const {
    std::vector<int> out;
    for (const Progress& step : phase(SessionPhase::Writing)) {
      if (step.block >= 0) out.push_back(step.block);
    }
    return out;
  }

  std::vector<ShownMessage> shown;
  std::vector<std::string> details;  // beside `shown`
  std::vector<Failure> failures;     // a session's, as it reported them
  std::vector<int> statuses;
  std::vector<Progress> progress;
  std::vector<std::string> reports;
  std::vector<MessageIcon> reportIcons;
  std::function<void(StringId)> onShow;  // e.g. to look at state while a box is "up"
};

// The far end of a fake line: what the tool wrote, what it will read, and
// the control-line history. It outlives the ports opened on it.
struct FakeLine {
  using Responder = std::function<void(FakeLine&, std::span<const std::uint8_t>)>;

  std::vector<std::vector<std::uint8_t>> writes;  // one entry per write call
  std::deque<std::uint8_t> input;                  // bytes the tool will read
  // Bytes still on their way: each joins `input` once the clock reaches its
  // time (at once without a clock).
  std::deque<std::pair<std::uint32_t, std::uint8_t>> arriving;
  std::vector<std::string> events;                 // "open", "close", "DTR 1", "RTS 0"
  Responder respond;                               // called after every write
  Clock* clock = nullptr;                          // when set, events carry times
  int openPorts = 0;
  int maxOpenPorts = 0;
  bool gone = false;                               // the device vanished: every transfer fails

  void reply(std::initializer_list<std::uint8_t> bytes) { input.insert(input.end(), bytes); }
  void reply(std::span<const std::uint8_t> bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }
  void replyAfter(std::uint32_t ms, std::initializer_list<std::uint8_t> bytes);
  void arrive();
  void note(const std::string& event);
  std::vector<std::uint8_t> allWritten() const;
};

class FakePort final : public SerialPort {
 public:
  explicit FakePort(std::shared_ptr<FakeLine> line);
  ~FakePort() override;
  IoResult write(std::span<const std::uint8_t> bytes) override;
  IoResult read(std::span<std::uint8_t> bytes) override;
  std::size_t bytesWaiting() override {
    line_->arrive();
    return line_->input.size();
  }
  bool waitForInput(std::chrono::milliseconds) override {
    line_->arrive();
    return line_->gone || !line_->input.empty();
  }
  void setLine(ControlLine line, bool raised) override;
  bool hasModemLines() const override { return true; }

 private:
  std::shared_ptr<FakeLine> line_;
};

class FakeOpener final : public PortOpener {
 public:
  OpenResult open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) override;

  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  OpenStatus failWith = OpenStatus::Ok;
  int failOnOpen = 0;  // fail only the n-th open (1-based); 0: every open while failWith is set
  int opens = 0;
  std::string lastName;
  unsigned lastBaud = 0;
};

}  // namespace tarvel::test
