// The history's filters, order and counts over one record file that has
// what real ones have: writes and syncs from the command line and a
// station, passes and failures over two days, a line that is no record and
// a line cut short by a crash.
#include "run/RecordHistory.h"

#include <gtest/gtest.h>

namespace tarvel::cli {
namespace {

const char* const kRecords =
    R"({"command":"write","result":"success","started_at":"2026-12-07T10:00:00.000Z","serial":"SN1","station":"Line 3","bed":"Bed 1","file":"/fw/radio.sfl","file_sha256":"aaaaaaaaaaaaaaaa"})"
    "\n"
    R"({"command":"write","result":"failure","started_at":"2026-12-06T09:00:00.000Z","serial":"SN2","station":"Line 3","file":"radio.sfl","file_sha256":"aaaaaaaaaaaaaaaa"})"
    "\n"
    "not a record\n"
    R"({"command":"sync","result":"success","started_at":"2026-12-07T08:00:00.000Z","serial":"SN2"})"
    "\n\n"
    R"({"command":"write","result":"success","started_at":"2026-12-07T11:30:00.000Z","serial":"SN2","file":"old.sfl","file_sha256":"bbbbbbbbbbbbbbbb"})"
    "\n"
    R"({"command":"doctor","job":"diagnosis","result":"success","started_at":"2026-12-07T12:00:00.000Z","port":"/dev/ttyUSB0"})"
    "\n"
    R"({"command":"write","result":"succ)";

TEST(RecordHistory, FiltersOrderAndCounts) {
  const struct {
    HistoryFilter filter;  // serial, since, result, station
    std::vector<std::string> times;  // of the records kept, oldest first
  } rows[] = {
      {{"", "", "", ""},
       {"2026-12-06T09:00:00.000Z", "2026-12-07T08:00:00.000Z", "2026-12-07T10:00:00.000Z", "2026-12-07T11:30:00.000Z",
        "2026-12-07T12:00:00.000Z"}},
      // Only writes pass or fail: the sync and the diagnosis are no units.
      {{"", "2026-12-07T08:00", "passed", ""}, {"2026-12-07T10:00:00.000Z", "2026-12-07T11:30:00.000Z"}},
      {{"SN2", "", "", ""}, {"2026-12-06T09:00:00.000Z", "2026-12-07T08:00:00.000Z", "2026-12-07T11:30:00.000Z"}},
      {{"", "2026-12-07T09:00", "", ""},
       {"2026-12-07T10:00:00.000Z", "2026-12-07T11:30:00.000Z", "2026-12-07T12:00:00.000Z"}},
      {{"", "", "failed", ""}, {"2026-12-06T09:00:00.000Z"}},
      {{"", "", "passed", "Line 3"}, {"2026-12-07T10:00:00.000Z"}},
      {{"SN9", "", "", ""}, {}},
  };
  for (const auto& row : rows) {
    std::vector<Json> records;
    int skipped = 0;
    CollectRecords(kRecords, row.filter, records, skipped);
    SortRecords(records);
    std::vector<std::string> times;
    for (const Json& record : records) times.push_back(record["started_at"]);
    EXPECT_EQ(times, row.times) << row.filter.serial << row.filter.since << row.filter.result;
    EXPECT_EQ(skipped, 2);
  }

  std::vector<Json> all;
  int skipped = 0;
  CollectRecords(kRecords, {}, all, skipped);
  const HistoryStats stats = CountRecords(all);
  auto tally = [](const std::map<std::string, Tally>& tallies, const std::string& key) {
    const auto it = tallies.find(key);
    return it == tallies.end() ? std::pair(-1, -1) : std::pair(it->second.passed, it->second.failed);
  };
  EXPECT_EQ(stats.perFirmware.size(), 2u);
  EXPECT_EQ(tally(stats.perFirmware, "radio.sfl (aaaaaaaaaaaa)"), std::pair(1, 1));
  EXPECT_EQ(tally(stats.perFirmware, "old.sfl (bbbbbbbbbbbb)"), std::pair(1, 0));
  EXPECT_EQ(tally(stats.perStation, "Line 3"), std::pair(1, 1));
  EXPECT_EQ(tally(stats.perStation, "-"), std::pair(1, 0));
  EXPECT_EQ(tally(stats.perDay, "2026-12-07"), std::pair(2, 0));  // the sync and the diagnosis are no units
  // The listing says what a diagnosis found, not that a unit passed.
  EXPECT_EQ(HistoryRow(all.back())[2], "success");
  EXPECT_EQ(all.back()["job"], "diagnosis");
  EXPECT_EQ(HistoryRow(all.front())[2], "passed");
  EXPECT_EQ(YieldText(stats.perFirmware.at("radio.sfl (aaaaaaaaaaaa)")), "50.0");
  EXPECT_EQ(YieldText(Tally{2, 1}), "66.7");
  EXPECT_EQ(YieldText(Tally{}), "-");

  // SN2 failed at Line 3 first and passed later from the command line: a
  // unit of Line 3's first day that did not pass the first time, and no
  // unit of the command line's.
  SortRecords(all);
  const HistoryStats sorted = CountRecords(all);
  const std::map<std::pair<std::string, std::string>, std::pair<int, int>> expected = {
      {{"Line 3", "2026-12-06"}, {0, 1}}, {{"Line 3", "2026-12-07"}, {1, 0}}};
  std::map<std::pair<std::string, std::string>, std::pair<int, int>> firstPass;
  for (const auto& [key, tally] : sorted.firstPass) firstPass[key] = {tally.passed, tally.failed};
  EXPECT_EQ(firstPass, expected);
}

// A line nested deeper than any record is skipped before it is parsed: its
// copy for --json, and its printing, would recurse once a level.
TEST(RecordHistory, ALineNestedTooDeepIsSkippedAsUnreadable) {
  const auto nested = [](std::size_t levels) {
    return R"({"command":"write","started_at":"2026-12-07T10:00:00.000Z","x":)" + std::string(levels, '[') +
           std::string(levels, ']') + "}";
  };
  // Brackets inside a string, one after an escaped quote, are no nesting.
  const std::string quoted = R"({"command":"write","started_at":"2026-12-07T09:00:00.000Z","note":"\"[{)" +
                             std::string(500, '[') + R"("})";
  const struct {
    const char* name;
    std::string line;
    int kept;
  } rows[] = {
      {"60,000 levels", nested(60000), 0},
      {"one level past the limit", nested(kMaxJsonDepth), 0},
      {"at the limit", nested(kMaxJsonDepth - 1), 1},
      {"brackets in a string", quoted, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<Json> records;
    int skipped = 0;
    CollectRecords(row.line + "\n" + kRecords, {}, records, skipped);
    // kRecords holds five readable lines.
    EXPECT_EQ(records.size(), 5u + static_cast<std::size_t>(row.kept));
    EXPECT_EQ(skipped, 3 - row.kept);
    // What --json does with the records.
    EXPECT_FALSE(JsonLine(Json(records)).empty());
  }
}

TEST(RecordHistory, DatesAndCsvCells) {
  for (const char* good : {"2026-12-07", "2026-12-07T09:30", "2026-12-07T09:30:15"}) EXPECT_TRUE(IsHistoryDate(good));
  for (const char* bad : {"", "12/07/2026", "2026-12-7", "2026-12-07 09:30", "2026-12-07T09", "2026-12-07Z"}) {
    EXPECT_FALSE(IsHistoryDate(bad)) << bad;
  }
  EXPECT_EQ(CsvLine({"plain", "a,b", "say \"hi\"", "two\nlines", ""}),
            "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",");
}

}  // namespace
}  // namespace tarvel::cli
