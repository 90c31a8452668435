#include "station/StationMetrics.h"

#include <algorithm>
#include <charconv>

#include "run/ExitCodes.h"
#include "station/Station.h"

#ifdef TARVEL_METRICS
#include <prometheus/counter.h>
#include <prometheus/exposer.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#endif

namespace tarvel {

namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Ipv4(std::string_view text) {
  int parts = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('.', start), text.size());
    const std::string_view part = text.substr(start, end - start);
    unsigned value = 0;
    if (part.size() > 3 || !AllDigits(part)) return false;
    std::from_chars(part.data(), part.data() + part.size(), value);
    if (value > 255) return false;
    ++parts;
    start = end + 1;
  }
  return parts == 4;
}

bool Ipv6InBrackets(std::string_view text) {
  if (text.size() < 4 || text.front() != '[' || text.back() != ']') return false;
  const std::string_view inside = text.substr(1, text.size() - 2);
  return std::all_of(inside.begin(), inside.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
  });
}

const char* StateName(BedState state) {
  switch (state) {
    case BedState::Idle: return "idle";
    case BedState::Running: return "running";
    case BedState::Passed: return "passed";
    case BedState::Failed: return "failed";
  }
  return "idle";
}

}  // namespace

std::optional<std::string> MetricsBindAddress(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  std::string host = colon == std::string::npos ? std::string() : text.substr(0, colon);
  const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
  // Only a port: never every interface by accident.
  if (host.empty() || host == "localhost") host = "127.0.0.1";
  unsigned number = 0;
  if (!AllDigits(port) || port.size() > 5) return std::nullopt;
  std::from_chars(port.data(), port.data() + port.size(), number);
  if (number > 65535) return std::nullopt;
  if (!Ipv4(host) && !Ipv6InBrackets(host)) return std::nullopt;
  return host + ":" + std::to_string(number);
}

std::string UnitFailureKind(const Json& object) {
  const int exitCode = object.value("exit_code", 0);
  if (exitCode == kExitOk) return "none";
  if (const auto found = object.find("diagnosis"); found != object.end() && found->is_array() && !found->empty()) {
    return found->front().value("id", "other");
  }
  switch (exitCode) {
    case kExitUsage: return "usage";
    case kExitPort: return "port";
    case kExitSync: return "loader-silent";
    case kExitFile: return "file";
    case kExitCommunication: return "communication";
    case kExitFlashWrite: return "block-refused";
    case kExitFlashRead: return "read";
    case kExitVerify: return "verify";
    case 129:
    case kExitStopped:
    case 143: return "stopped";
    default: return "other";
  }
}

#ifdef TARVEL_METRICS

namespace {

class PrometheusMetrics final : public StationMetrics {
 public:
  PrometheusMetrics(const std::string& address, const std::string& station)
      : registry_(std::make_shared<prometheus::Registry>()),
        units_(prometheus::BuildCounter()
                   .Name("tarvel_units_total")
                   .Help("Units written, by result and failure kind")
                   .Labels({{"station", station}})
                   .Register(*registry_)),
        writeSeconds_(prometheus::BuildHistogram()
                          .Name("tarvel_write_seconds")
                          .Help("A unit's write, from waking the loader to its last block")
                          .Labels({{"station", station}})
                          .Register(*registry_)),
        retries_(prometheus::BuildCounter()
                     .Name("tarvel_retries_total")
                     .Help("Blocks sent again")
                     .Labels({{"station", station}})
                     .Register(*registry_)),
        beds_(prometheus::BuildGauge()
                  .Name("tarvel_bed_state")
                  .Help("1 for each bed's present state")
                  .Labels({{"station", station}})
                  .Register(*registry_)),
        firmware_(prometheus::BuildGauge()
                      .Name("tarvel_firmware_info")
                      .Help("The firmware the station writes")
                      .Labels({{"station", station}})
                      .Register(*registry_)),
        waiting_(prometheus::BuildGauge()
                     .Name("tarvel_records_waiting")
                     .Help("Record lines not yet in the database")
                     .Labels({{"station", station}})
                     .Register(*registry_)
                     .Add({})),
        exposer_(address, 1) {
    exposer_.RegisterCollectable(registry_, "/metrics");
    // Both results always present: a dashboard's yield has no gap at zero.
    units_.Add({{"result", "passed"}, {"kind", "none"}});
    retries_.Add({});
  }

  unsigned port() const override {
    const std::vector<int> ports = exposer_.GetListeningPorts();
    return ports.empty() ? 0 : static_cast<unsigned>(ports.front());
  }
  void firmware(const std::string& file, const std::string& sha256) override {
    firmware_.Add({{"file", file}, {"sha256", sha256}}).Set(1);
  }
  void unitEnded(const Json& object, std::uint32_t writeMs) override {
    const bool passed = object.value("exit_code", 0) == kExitOk;
    units_.Add({{"result", passed ? "passed" : "failed"}, {"kind", UnitFailureKind(object)}}).Increment();
    retries_.Add({}).Increment(object.value("retries", 0));
    // A unit whose loader never answered wrote nothing to time.
    if (object.value("blocks_done", 0) > 0) writeSeconds_.Add({}, Buckets()).Observe(writeMs / 1000.0);
  }
  void bedState(const std::string& bed, BedState state) override {
    for (BedState each : {BedState::Idle, BedState::Running, BedState::Passed, BedState::Failed}) {
      beds_.Add({{"bed", bed}, {"state", StateName(each)}}).Set(each == state ? 1 : 0);
    }
  }
  void recordsWaiting(std::int64_t count) override { waiting_.Set(static_cast<double>(count)); }

 private:
  // A 1,024-block write takes about 15 s at 115200 baud and 45 s at 38400.
  static prometheus::Histogram::BucketBoundaries Buckets() { return {5, 10, 15, 20, 30, 45, 60, 90, 120, 180, 300}; }

  std::shared_ptr<prometheus::Registry> registry_;
  prometheus::Family<prometheus::Counter>& units_;
  prometheus::Family<prometheus::Histogram>& writeSeconds_;
  prometheus::Family<prometheus::Counter>& retries_;
  prometheus::Family<prometheus::Gauge>& beds_;
  prometheus::Family<prometheus::Gauge>& firmware_;
  prometheus::Gauge& waiting_;
  prometheus::Exposer exposer_;
};

}  // namespace

bool StationMetrics::Built() { return true; }

std::unique_ptr<StationMetrics> StationMetrics::Serve(const std::string& address, const std::string& station,
                                                      std::string& reason) {
  // The server library says a port it cannot bind with an exception; it
  // goes no further than here.
  try {
    return std::make_unique<PrometheusMetrics>(address, station);
  } catch (const std::exception& error) {
    reason = error.what();
    return nullptr;
  }
}

#else

bool StationMetrics::Built() { return false; }

std::unique_ptr<StationMetrics> StationMetrics::Serve(const std::string&, const std::string&, std::string& reason) {
  reason = "this build serves no metrics";
  return nullptr;
}

#endif

}  // namespace tarvel
