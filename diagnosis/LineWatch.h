// A port wrapper that watches a synchronisation: which bytes came back and
// how long after the request. It tells a silent radio from one that answers
// in bytes that are not the loader's, and measures late replies.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "serial/SerialPort.h"

namespace tarvel {

struct LineWatch {
  std::size_t bytesReceived = 0;
  // The first bytes that are no answer of a synchronisation (0x00, 'Z').
  std::vector<std::uint8_t> foreign;
  // The shortest time from a request to the moment its reply was seen
  // waiting: the round trip through the adapter and the radio.
  std::optional<std::chrono::microseconds> shortestReply;

  // Kept while watching: when the request not yet answered went out.
  std::optional<std::chrono::steady_clock::time_point> requestAt;
};

class WatchingOpener final : public PortOpener {
 public:
  // `inner` and `watch` must outlive every port opened.
  WatchingOpener(PortOpener& inner, LineWatch& watch) : inner_(inner), watch_(watch) {}
  OpenResult open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) override;

 private:
  PortOpener& inner_;
  LineWatch& watch_;
};

}  // namespace tarvel
