#include "diagnosis/LineWatch.h"

#include <algorithm>
#include <utility>

namespace tarvel {
namespace {

constexpr std::size_t kForeignKept = 8;

class WatchingPort final : public SerialPort {
 public:
  WatchingPort(std::unique_ptr<SerialPort> inner, LineWatch& watch) : inner_(std::move(inner)), watch_(watch) {}

  IoResult write(std::span<const std::uint8_t> bytes) override {
    // A request repeated before its answer came counts from its first send.
    if (!watch_.requestAt) watch_.requestAt = std::chrono::steady_clock::now();
    return inner_->write(bytes);
  }
  IoResult read(std::span<std::uint8_t> bytes) override {
    const IoResult result = inner_->read(bytes);
    if (result.count > 0) replySeen();
    watch_.bytesReceived += result.count;
    for (std::size_t i = 0; i < result.count; ++i) {
      const std::uint8_t byte = bytes[i];
      if (byte != 0x00 && byte != 'Z' && watch_.foreign.size() < kForeignKept) watch_.foreign.push_back(byte);
    }
    return result;
  }
  std::size_t bytesWaiting() override {
    const std::size_t waiting = inner_->bytesWaiting();
    if (waiting > 0) replySeen();
    return waiting;
  }
  bool waitForInput(std::chrono::milliseconds bound) override {
    const bool arrived = inner_->waitForInput(bound);
    if (arrived) replySeen();
    return arrived;
  }
  void setLine(ControlLine line, bool raised) override { inner_->setLine(line, raised); }
  bool hasModemLines() const override { return inner_->hasModemLines(); }

 private:
  void replySeen() {
    if (!watch_.requestAt) return;
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - *watch_.requestAt);
    watch_.shortestReply = watch_.shortestReply ? std::min(*watch_.shortestReply, took) : took;
    watch_.requestAt.reset();
  }

  std::unique_ptr<SerialPort> inner_;
  LineWatch& watch_;
};

}  // namespace

OpenResult WatchingOpener::open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) {
  OpenResult result = inner_.open(name, baud, timeouts);
  if (result.port) result.port = std::make_unique<WatchingPort>(std::move(result.port), watch_);
  watch_.requestAt.reset();
  return result;
}

}  // namespace tarvel
