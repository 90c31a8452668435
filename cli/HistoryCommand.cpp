// `tarvel-cli history`: the radios of one or more record files, filtered,
// as a table, JSON or CSV, or counted per firmware, station and day. A
// serial number's whole history is what a line asks after a field return.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/FileIo.h"
#include "base/Strings.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "cli/RadioOptions.h"
#include "cli/UsageWords.h"
#include "records/FactoryQueries.h"
#include "run/ExitCodes.h"
#include "run/RecordHistory.h"

namespace tarvel::cli {

namespace {

struct HistoryOptions {
  std::vector<std::string> records;
  std::string database;
  HistoryFilter filter;
  bool json = false;
  bool csv = false;
  bool stats = false;
};

void PrintTable(const std::vector<std::string>& columns, const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) widths[i] = columns[i].size();
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  auto print = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      line += cells[i];
      if (i + 1 < cells.size()) line += std::string(widths[i] - cells[i].size() + 2, ' ');
    }
    std::printf("%s\n", line.c_str());
  };
  print(columns);
  for (const auto& row : rows) print(row);
}

Json TallyJson(const std::string& key, const Tally& tally) {
  return {{"key", key},
          {"passed", tally.passed},
          {"failed", tally.failed},
          {"total", tally.passed + tally.failed},
          {"yield_percent", tally.passed + tally.failed == 0 ? Json(nullptr) : Json(std::stod(YieldText(tally)))}};
}

void PrintTallies(const char* heading, const std::map<std::string, Tally>& tallies) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& [key, tally] : tallies) {
    rows.push_back({TerminalSafeText(key), std::to_string(tally.passed), std::to_string(tally.failed),
                    std::to_string(tally.passed + tally.failed), YieldText(tally)});
  }
  PrintTable({heading, "passed", "failed", "total", "yield %"}, rows);
}

// What the command line names wins over the environment: a --record given
// there is read even when TARVEL_DATABASE is set, and the other way round.
HistoryOptions WithEnvironment(HistoryOptions options) {
  if (!options.database.empty() || !options.records.empty()) return options;
  const char* database = std::getenv("TARVEL_DATABASE");
  const char* record = std::getenv("TARVEL_RECORD");
  if (database != nullptr && *database != '\0') {
    options.database = database;
  } else if (record != nullptr && *record != '\0') {
    options.records.emplace_back(record);
  }
  return options;
}

int RunHistory(const HistoryOptions& given) {
  const HistoryOptions options = WithEnvironment(given);
  CommandRun run("history", {options.json, {}});
  RunResult& result = run.result();
  std::vector<Json> records;
  if (!options.database.empty()) {
    // The factory's history: the same filters, answered by the database.
    std::string reason;
    const std::optional<std::string> connection = ConnectionString(options.database, reason);
    if (!connection) {
      run.fail(kExitUsage, reason);
      return run.finish();
    }
    const auto db = ConnectDatabase(*connection, reason, std::chrono::seconds(60));
    if (!db || !QueryHistory(*db, options.filter, records, reason)) {
      run.fail(kExitDatabase, FormatString(StringId::DatabaseFailed, {reason}));
      return run.finish();
    }
  } else if (options.records.empty()) {
    run.fail(kExitUsage, std::string(LoadString(StringId::HistoryNoRecordFile)));
    return run.finish();
  }
  for (const std::string& path : options.records) {
    std::string text;
    std::string reason;
    if (!fileio::ReadRegularFile(path, kMaxRecordBytes, text, reason)) {
      run.fail(kExitUsage, FormatString(StringId::HistoryRecordUnreadable, {path, reason}));
      return run.finish();
    }
    int skipped = 0;
    CollectRecords(text, options.filter, records, skipped);
    if (skipped > 0) {
      std::fprintf(stderr, "%s\n", FormatString(StringId::HistoryLinesSkipped, {std::to_string(skipped), path}).c_str());
    }
  }
  SortRecords(records);

  if (options.stats) {
    const HistoryStats stats = CountRecords(records);
    Json perFirmware = Json::array(), perStation = Json::array(), perDay = Json::array();
    for (const auto& [key, tally] : stats.perFirmware) perFirmware.push_back(TallyJson(key, tally));
    for (const auto& [key, tally] : stats.perStation) perStation.push_back(TallyJson(key, tally));
    for (const auto& [key, tally] : stats.perDay) perDay.push_back(TallyJson(key, tally));
    Json firstPass = Json::array();
    std::vector<std::vector<std::string>> firstPassRows;
    for (const auto& [key, tally] : stats.firstPass) {
      Json row = TallyJson(key.first, tally);
      row["key"] = key.first + " " + key.second;
      row["station"] = key.first;
      row["day"] = key.second;
      firstPass.push_back(row);
      firstPassRows.push_back({TerminalSafeText(key.first), key.second, std::to_string(tally.passed + tally.failed),
                               std::to_string(tally.passed), YieldText(tally)});
    }
    result.fields["stats"] = {{"per_firmware", perFirmware},
                              {"per_station", perStation},
                              {"per_day", perDay},
                              {"first_pass", firstPass}};
    if (!options.json) {
      PrintTallies("firmware", stats.perFirmware);
      std::printf("\n");
      PrintTallies("station", stats.perStation);
      std::printf("\n");
      PrintTallies("day", stats.perDay);
      std::printf("\n");
      PrintTable({"station", "day", "units", "first pass", "first-pass yield %"}, firstPassRows);
    }
    return run.finish();
  }

  result.fields["records"] = records;
  if (options.csv && !options.json) {
    std::printf("%s\r\n", CsvLine(HistoryColumns()).c_str());
    for (const Json& record : records) std::printf("%s\r\n", CsvLine(HistoryRow(record)).c_str());
  } else if (!options.json) {
    std::vector<std::vector<std::string>> rows;
    for (const Json& record : records) {
      std::vector<std::string> row = HistoryRow(record);
      for (std::string& cell : row) cell = TerminalSafeText(cell);
      if (row[0].size() >= 19) row[0] = row[0].substr(0, 10) + " " + row[0].substr(11, 8);
      rows.push_back(std::move(row));
    }
    PrintTable(HistoryColumns(), rows);
  }
  return run.finish();
}

}  // namespace

void AddHistoryCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<HistoryOptions>();
  CLI::App* command = app.add_subcommand("history", "The radios of record files: filter, list, count");
  command->add_option("--record", options->records,
                      "A record file (JSON Lines); several may be given (default: TARVEL_RECORD)")
      ->type_name("FILE");
  AddDatabaseOption(*command, options->database);
  // Both variables are read after parsing, so that either option given
  // here wins over both of them.
  command->get_option("--database")->envname("");
  command->add_option("--serial", options->filter.serial, "Only this serial number")->type_name("SN");
  command->add_option("--since", options->filter.since, "Only records from this time on (UTC)")
      ->type_name("YYYY-MM-DD[THH:MM[:SS]]")
      ->check(CLI::Validator(
          [](std::string& text) { return IsHistoryDate(text) ? std::string() : "a UTC time as YYYY-MM-DD[THH:MM[:SS]] is expected"; },
          "", ""));
  command->add_option("--result", options->filter.result, "Only radios that passed or failed")
      ->check(OneOf({"passed", "failed"}))
      ->type_name("passed|failed");
  command->add_option("--station", options->filter.station, "Only records of this station")->type_name("NAME");
  command->add_flag("--csv", options->csv, "Comma-separated values with a heading line");
  command->add_flag("--stats", options->stats, "Passed, failed, total and yield per firmware, station and day");
  AddJsonFlag(*command, options->json);
  command->callback([options, &exitCode] { exitCode = RunHistory(*options); });
}

}  // namespace tarvel::cli
