#include "run/RecordHistory.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>

namespace tarvel {

namespace {



std::string Text(const Json& record, const char* key) {
  const auto it = record.find(key);
  return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool Passed(const Json& record) { return Text(record, "result") == "success"; }

// Only a write is a unit that passed or failed; a diagnosis (the doctor's
// line, marked with its job), a read or a sync only succeeded or not.
bool IsUnit(const Json& record) { return Text(record, "command") == "write"; }

bool Matches(const Json& record, const HistoryFilter& filter) {
  if (!filter.serial.empty() && Text(record, "serial") != filter.serial) return false;
  if (!filter.station.empty() && Text(record, "station") != filter.station) return false;
  if (!filter.result.empty() && (!IsUnit(record) || Passed(record) != (filter.result == "passed"))) return false;
  // ISO times in UTC compare as text.
  if (!filter.since.empty() && Text(record, "started_at") < filter.since) return false;
  return true;
}

void Count(Tally& tally, bool passed) { (passed ? tally.passed : tally.failed) += 1; }

void Count(std::map<std::string, Tally>& tallies, const std::string& key, bool passed) { Count(tallies[key], passed); }

}  // namespace

bool IsHistoryDate(const std::string& text) {
  // YYYY-MM-DD, then optionally THH:MM and :SS.
  static constexpr const char* kShapes[] = {"dddd-dd-dd", "dddd-dd-ddTdd:dd", "dddd-dd-ddTdd:dd:dd"};
  for (const char* shape : kShapes) {
    const std::string pattern(shape);
    if (pattern.size() != text.size()) continue;
    bool fits = true;
    for (std::size_t i = 0; i < text.size() && fits; ++i) {
      fits = pattern[i] == 'd' ? std::isdigit(static_cast<unsigned char>(text[i])) != 0 : pattern[i] == text[i];
    }
    if (fits) return true;
  }
  return false;
}

void CollectRecords(const std::string& text, const HistoryFilter& filter, std::vector<Json>& records, int& skipped) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    Json record = ParseJsonInput(line);
    if (record.is_discarded() || !record.is_object() || Text(record, "command").empty()) {
      ++skipped;
      continue;
    }
    if (Matches(record, filter)) records.push_back(std::move(record));
  }
}

void SortRecords(std::vector<Json>& records) {
  std::stable_sort(records.begin(), records.end(),
                   [](const Json& a, const Json& b) { return Text(a, "started_at") < Text(b, "started_at"); });
}

HistoryStats CountRecords(const std::vector<Json>& records) {
  HistoryStats stats;
  std::set<std::string> units;
  for (std::size_t index = 0; index < records.size(); ++index) {
    const Json& record = records[index];
    if (!IsUnit(record)) continue;
    const std::string serial = Text(record, "serial");
    if (serial.empty() || units.insert(serial).second) {
      const std::string station = Text(record, "station");
      Count(stats.firstPass[{station.empty() ? "-" : station, Text(record, "started_at").substr(0, 10)}],
            Passed(record));
    }
    const bool passed = Passed(record);
    const std::string file = std::filesystem::path(Text(record, "file")).filename().string();
    const std::string sha = Text(record, "file_sha256");
    Count(stats.perFirmware, (file.empty() ? "-" : file) + (sha.empty() ? "" : " (" + sha.substr(0, 12) + ")"),
          passed);
    const std::string station = Text(record, "station");
    Count(stats.perStation, station.empty() ? "-" : station, passed);
    Count(stats.perDay, Text(record, "started_at").substr(0, 10), passed);
  }
  return stats;
}

std::string YieldText(const Tally& tally) {
  const int total = tally.passed + tally.failed;
  if (total == 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 100.0 * tally.passed / total);
  return text;
}

std::vector<std::string> HistoryColumns() {
  return {"time", "serial", "result", "command", "station", "bed", "port", "file", "sha256"};
}

std::vector<std::string> HistoryRow(const Json& record) {
  const std::string sha = Text(record, "file_sha256");
  return {Text(record, "started_at"), Text(record, "serial"),
          IsUnit(record) ? (Passed(record) ? "passed" : "failed") : Text(record, "result"), Text(record, "command"),
          Text(record, "station"), Text(record, "bed"),
          Text(record, "port"), Text(record, "file"),
          sha.substr(0, 12)};
}

std::string CsvLine(const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += ',';
    const std::string& cell = cells[i];
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
      line += cell;
      continue;
    }
    line += '"';
    for (char c : cell) {
      if (c == '"') line += '"';
      line += c;
    }
    line += '"';
  }
  return line;
}

}  // namespace tarvel
