// `tarvel-cli database init|check URL`: the factory database's schema;
// `tarvel-cli records send`: a record file's lines into the database by
// hand, for lines written offline or by a build without a database client
// (--follow forwards files, or a shared folder of them, as they grow).
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/FileIo.h"
#include "base/Strings.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "cli/RadioOptions.h"
#include "cli/StopSignals.h"
#include "records/RecordSender.h"
#include "records/Schema.h"
#include "run/ExitCodes.h"

namespace tarvel::cli {

namespace {

// Schema changes and catching up take longer than a round's send may.
constexpr std::chrono::milliseconds kAdminWait{60000};

struct DatabaseOptions {
  std::string database;
  bool json = false;
};

std::unique_ptr<DatabaseConnection> Open(CommandRun& run, const std::string& given, std::chrono::milliseconds wait) {
  std::string reason;
  const std::optional<std::string> connection = ConnectionString(given, reason);
  if (!connection) {
    run.fail(kExitUsage, reason);
    return nullptr;
  }
  auto db = ConnectDatabase(*connection, reason, wait);
  if (!db) run.fail(kExitDatabase, FormatString(StringId::DatabaseFailed, {reason}));
  return db;
}

int RunInit(const DatabaseOptions& options) {
  CommandRun run("database init", {options.json, {}, {}});
  const auto db = Open(run, options.database, kAdminWait);
  if (!db) return run.finish();
  int from = 0;
  std::string reason;
  if (!UpgradeSchema(*db, from, reason)) {
    run.fail(kExitDatabase, FormatString(StringId::DatabaseFailed, {reason}));
    return run.finish();
  }
  RunResult& result = run.result();
  result.message = FormatString(StringId::SchemaMade, {std::to_string(kSchemaVersion)});
  result.fields["schema_before"] = from;
  result.fields["schema_version"] = kSchemaVersion;
  if (!options.json) std::printf("%s\n", result.message.c_str());
  return run.finish();
}

int RunCheck(const DatabaseOptions& options) {
  CommandRun run("database check", {options.json, {}, {}});
  const auto db = Open(run, options.database, kDatabaseWait);
  if (!db) return run.finish();
  std::string reason;
  const std::optional<int> version = SchemaVersion(*db, reason);
  if (!version) {
    run.fail(kExitDatabase, FormatString(StringId::DatabaseFailed, {reason}));
    return run.finish();
  }
  bool current = false;
  const std::string verdict = SchemaVerdict(*version, current);
  RunResult& result = run.result();
  result.fields["schema_version"] = *version;
  result.fields["current"] = current;
  if (!current) {
    run.fail(kExitDatabase, verdict);
    return run.finish();
  }
  result.message = verdict;
  if (!options.json) std::printf("%s\n", verdict.c_str());
  return run.finish();
}

struct SendOptions {
  std::vector<std::string> records;
  std::string database;
  bool follow = false;
  bool json = false;
};

// The record files named: a folder stands for its *.jsonl files, read
// again on every pass of --follow, so new files are taken up.
std::vector<std::string> RecordFiles(const std::vector<std::string>& named) {
  std::vector<std::string> files;
  for (const std::string& path : named) {
    fileio::FileInfo info;
    if (fileio::StatPath(path, info) == 0 && info.directory) {
      for (const fileio::FolderEntry& entry : fileio::ListFolder(path, [](std::string_view name) {
             return name.size() > 6 && name.substr(name.size() - 6) == ".jsonl";
           })) {
        if (entry.info.regular) files.push_back((fileio::PathOf(path) / fileio::PathOf(entry.name)).string());
      }
    } else {
      files.push_back(path);
    }
  }
  return files;
}

int RunSend(const SendOptions& options) {
  CommandRun run("records send", {options.json, {}, {}});
  RunResult& result = run.result();
  if (options.records.empty()) {
    run.fail(kExitUsage, std::string(LoadString(StringId::HistoryNoRecordFile)));
    return run.finish();
  }
  std::string reason;
  const std::optional<std::string> connection = ConnectionString(options.database, reason);
  if (!connection) {
    run.fail(kExitUsage, reason);
    return run.finish();
  }
  const StopSignals stop;
  std::unique_ptr<DatabaseConnection> db;
  Json files = Json::array();
  bool complete = true;
  std::string lastSaid;
  for (;;) {
    complete = true;
    files = Json::array();
    std::string failure;
    if (!db) {
      db = ConnectDatabase(*connection, reason, kAdminWait);
      if (db) {
        const std::optional<int> version = SchemaVersion(*db, reason);
        bool current = false;
        if (version) reason = SchemaVerdict(*version, current);
        if (!current) db.reset();
      }
      if (!db) failure = reason;
    }
    for (const std::string& file : RecordFiles(options.records)) {
      SendReport report;
      if (db) {
        report = SendPending(*db, file, &stop.request());
        if (report.connectionLost) db.reset();
      } else {
        report.waiting = CountWaiting(file);
        report.reason = failure;
        report.complete = report.waiting == 0;
      }
      complete = complete && report.complete;
      files.push_back({{"record", file},
                       {"stored", report.stored},
                       {"waiting", report.waiting},
                       {"set_aside", report.setAside},
                       {"reason", report.complete ? Json(nullptr) : Json(report.reason)}});
      std::string said;
      if (report.stored > 0 || report.waiting > 0 || !options.follow) {
        said = file + ": " + FormatString(StringId::RecordsSent, {std::to_string(report.stored),
                                                                    std::to_string(report.waiting)});
        if (!report.complete && !report.reason.empty()) said += " (" + report.reason + ")";
      }
      if (report.setAside > 0) {
        said += (said.empty() ? "" : "\n") + FormatString(StringId::DatabaseSetAside,
                                                          {std::to_string(report.setAside), RefusedPath(file),
                                                           report.setAsideReason});
      }
      // --follow says a state once, not once a second.
      if (!said.empty() && !options.json && (said != lastSaid || report.stored > 0 || report.setAside > 0)) {
        std::fprintf(options.follow ? stderr : stdout, "%s\n", said.c_str());
        std::fflush(options.follow ? stderr : stdout);
      }
      if (!said.empty()) lastSaid = said;
    }
    if (!options.follow || stop.exitCode() != 0) break;
    for (int tick = 0; tick < 10 && stop.exitCode() == 0; ++tick) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (stop.exitCode() != 0) break;
  }
  result.fields["files"] = files;
  if (!complete) {
    result.exitCode = kExitDatabase;
    result.message = "record lines wait for the database";
  } else {
    result.message = "every record line is in the database";
  }
  if (options.follow && stop.exitCode() != 0) result.exitCode = stop.exitCode();
  return run.finish();
}

}  // namespace

void AddDatabaseCommands(CLI::App& app, int& exitCode) {
  CLI::App* database = app.add_subcommand("database", "The factory's PostgreSQL database: its schema");
  database->require_subcommand(1);
  for (const bool init : {true, false}) {
    auto options = std::make_shared<DatabaseOptions>();
    CLI::App* command = database->add_subcommand(
        init ? "init" : "check",
        init ? "Create the tables, or upgrade an older schema (in one transaction)" : "Whether the schema is current");
    command->add_option("database", options->database, "A libpq connection string or service name")
        ->type_name("URL")
        ->envname("TARVEL_DATABASE")
        ->required();
    AddJsonFlag(*command, options->json);
    command->callback([options, init, &exitCode] { exitCode = init ? RunInit(*options) : RunCheck(*options); });
  }

  CLI::App* records = app.add_subcommand("records", "A record file's lines and the factory's database");
  records->require_subcommand(1);
  auto options = std::make_shared<SendOptions>();
  CLI::App* send = records->add_subcommand("send", "Store the lines of record files that the database lacks");
  send->add_option("--record", options->records, "A record file, or a folder of *.jsonl record files; several may be given")
      ->type_name("FILE")
      ->envname("TARVEL_RECORD");
  AddDatabaseOption(*send, options->database);
  send->get_option("--database")->required();
  send->add_flag("--follow", options->follow, "Keep forwarding the files as they grow, until Ctrl-C");
  AddJsonFlag(*send, options->json);
  send->callback([options, &exitCode] { exitCode = RunSend(*options); });
}

}  // namespace tarvel::cli
