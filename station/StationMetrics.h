// The station's figures for a line's dashboard, in the Prometheus text
// format on /metrics and nowhere else: units by result and failure kind,
// the write's time, retries, each bed's state, the firmware's digest and
// the records waiting for the database. Off unless the station file asks
// (Metrics=); a build without prometheus-cpp (the Windows one) refuses it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/RunResult.h"

namespace tarvel {

enum class BedState;

// "HOST:PORT" as the server binds it, from what a station file gives:
// "9464" or ":9464" is the loopback address's port; "localhost" is
// 127.0.0.1. Nothing when the text is no address (a host name or a port
// out of range).
std::optional<std::string> MetricsBindAddress(const std::string& text);

// A unit's failure kind for the failure Pareto: its diagnosis's first id,
// else its exit code's kind ("block-refused", "verify", ...); "none" for a
// unit that passed.
std::string UnitFailureKind(const Json& object);

class StationMetrics {
 public:
  // Listens on `address` (a MetricsBindAddress); null, with the reason,
  // when it cannot, or when this build has no metrics.
  static std::unique_ptr<StationMetrics> Serve(const std::string& address, const std::string& station,
                                               std::string& reason);
  // Whether this build can serve metrics at all.
  static bool Built();

  virtual ~StationMetrics() = default;
  // The port it listens on (the system's choice for port 0).
  virtual unsigned port() const = 0;
  virtual void firmware(const std::string& file, const std::string& sha256) = 0;
  // A unit's object, as its record line has it, and its write's own time.
  virtual void unitEnded(const Json& object, std::uint32_t writeMs) = 0;
  virtual void bedState(const std::string& bed, BedState state) = 0;
  // The record lines not yet in the database, as its sender counts them.
  virtual void recordsWaiting(std::int64_t count) = 0;
};

}  // namespace tarvel
