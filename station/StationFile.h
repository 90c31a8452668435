// The station file: what a supervisor fixes for a production bench and an
// operator cannot change. An INI file:
//
//   [Station]
//   Firmware=app.sfl          the SFL file (relative: beside the station file)
//   Sha256=...                optional: the digest the firmware must have
//   Cable=QAP-8 | QAP-10      default QAP-8
//   Baud=38400                a speed the cable offers
//   Verify=0 | 1              read every block back after the write
//   Record=FILE               default station-record.jsonl beside it
//   Database=URL              optional: the factory's PostgreSQL database, fed from the record
//   RequireSerial=0 | 1       every radio needs its serial number
//   SerialMax=64              the longest serial number a scan may give
//   SerialPattern=REGEX       optional: what every serial number must match
//   RequireManifest=0 | 1     the firmware must be listed in its folder's SHA256SUMS
//   Keys=a.pub;b.pub          trusted minisign keys for that manifest
//   Events=FILE | -           every bed's events as JSON Lines (- : stdout)
//   Metrics=127.0.0.1:9464    serve Prometheus metrics on /metrics
//   Start=keys | insert | answer | line   how a bed starts (default keys)
//   Poll=2                    answer: seconds between two polls of the loader
//   StartLine=cts | dsr | dcd line: the modem line the fixture's switch raises
//   [Beds]
//   Bed 1=/dev/serial/by-path/...   one NAME=PORT line per bed, in order
//   [Bed 1]                   optional: Start=, Poll= and StartLine= of that
//                             bed where it differs from the station
//
// A ';' after a blank starts a comment. A section or key given twice, and a
// NUL byte anywhere, are refused: which one counts would be a guess. The
// record, the firmware, its manifest, the keys and the station file itself
// are different files.
#pragma once

#include <memory>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/Cable.h"
#include "firmware/WriteProcedure.h"
#include "run/EventStream.h"
#include "run/RunResult.h"
#include "station/StationMetrics.h"
#include "run/UnitStart.h"
#include "run/UnitWatch.h"
#include "trust/FileTrust.h"

namespace tarvel {

// How a bed starts.
struct BedStartFacts {
  StartMode mode = StartMode::Keys;
  std::chrono::milliseconds poll = kDefaultPoll;
  StartLine line = StartLine::Cts;
};

struct StationBed {
  std::string name;
  std::string port;
  BedStartFacts start;  // the station's, or its own section's
};

struct StationConfig {
  std::string path;  // the station file as given
  std::string name;  // its file name: the records' "station"
  std::string firmware;
  std::string sha256;  // lower case; empty: any
  Cable cable = Cable::Qap8;
  unsigned baud = 38400;
  bool verify = false;
  bool requireSerial = false;
  std::size_t serialMax = 64;
  std::string serialPattern;  // ECMAScript syntax, matched against the whole serial; empty: any
  std::string record;
  // The factory's database (a libpq connection string, as libpq takes it);
  // empty: the record file alone.
  std::string database;
  std::vector<StationBed> beds;
  BedStartFacts start;  // the station's Start=, Poll= and StartLine=
  // Keys= (trusted minisign keys, ';' between them) and RequireManifest=.
  TrustOptions trust;
  // What the firmware's folder manifest says of it; empty without one.
  std::string trustLine;
  std::string events;   // Events=: a file beside the station file, "-" stdout; empty: none
  std::string metrics;  // Metrics=: the address served, "HOST:PORT"; empty: none
  // Opened as the file is read: a station whose events or metrics cannot
  // go out does not open.
  std::shared_ptr<EventStream> eventStream;
  std::shared_ptr<StationMetrics> metricsServer;
};

// The most beds a station takes: a thread and a port each.
inline constexpr std::size_t kMaxBeds = 32;

// Reads the station file and the firmware it names. On success the
// firmware is read and checked into `firmware` and described in `facts`;
// otherwise the text says what is wrong, naming the file and the line.
std::optional<std::string> ReadStationFile(const std::string& path, StationConfig& config,
                                           CheckedSflFile& firmware, TransferFacts& facts);

// Whether the firmware as it is now on disk is still the one the station
// read, with the digest it must have. Run before every round.
std::optional<std::string> CheckFirmwareBeforeRound(const StationConfig& config, const TransferFacts& facts);

}  // namespace tarvel
