// The history of radios from record files (JSON Lines, as --record and the
// station append them): the records one asks for, and their counts and
// yields per firmware, station and day.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run/RunResult.h"

namespace tarvel {

// A record file grows by a line per radio: years of a busy line fit.
inline constexpr std::size_t kMaxRecordBytes = std::size_t{1} << 30;

struct HistoryFilter {
  std::string serial;   // empty: any
  std::string since;    // "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM[:SS]", UTC; empty: any
  std::string result;   // "passed", "failed" or empty
  std::string station;  // empty: any
};

// Whether `text` is a date (and time) --since takes.
bool IsHistoryDate(const std::string& text);

// Adds the records of one file's lines that pass the filter to `records`.
// Lines that are not JSON objects of a command, or that nest deeper than
// kMaxJsonDepth, are counted in `skipped`.
void CollectRecords(const std::string& text, const HistoryFilter& filter, std::vector<Json>& records,
                    int& skipped);

// Oldest first; records of one moment keep their order.
void SortRecords(std::vector<Json>& records);

struct Tally {
  int passed = 0;
  int failed = 0;
};
struct HistoryStats {
  std::map<std::string, Tally> perFirmware;  // "name (sha256 prefix)"
  std::map<std::string, Tally> perStation;   // the station's name, or "-" for the command line
  std::map<std::string, Tally> perDay;       // "YYYY-MM-DD" (UTC)
  // Each unit (a serial number; a write without one is a unit of its own)
  // at the station and on the day of its first write: passed when that
  // first write passed. A unit that failed and then passed is not a first
  // pass. Keyed by station ("-" for the command line), then day.
  std::map<std::pair<std::string, std::string>, Tally> firstPass;
};
// Only writes count: each is one unit that passed or failed. `records`
// oldest first, as SortRecords leaves them.
HistoryStats CountRecords(const std::vector<Json>& records);

// "97.5": passed of the total, in percent with one decimal; "-" for none.
std::string YieldText(const Tally& tally);

// The table's and the CSV's columns of a record.
std::vector<std::string> HistoryColumns();
std::vector<std::string> HistoryRow(const Json& record);
// One CSV line (RFC 4180 quoting), without its line end.
std::string CsvLine(const std::vector<std::string>& cells);

}  // namespace tarvel
