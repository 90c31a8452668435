// One run of a command from start to end: the clock, the result, and what
// goes out at the end: the hint on stderr, the record line, the JSON object
// on stdout.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "records/RecordSender.h"
#include "run/EventStream.h"
#include "run/RecordFile.h"
#include "run/RunResult.h"

namespace tarvel::cli {

// A file a run reads or writes, with the option (or role) that names it.
struct NamedFile {
  std::string role;
  std::string path;
};

// The first two of `files` that are one file (the same device and inode,
// or, where one does not exist yet, the same name once links and relative
// parts are resolved); null when they are all different.
std::optional<std::pair<NamedFile, NamedFile>> SharedFile(const std::vector<NamedFile>& files);

struct OutputOptions {
  // Commands without a radio name only the first two.
  OutputOptions(bool asJson = false, std::string recordFile = {}, std::string eventsFile = {},
                std::string databaseUrl = {})
      : json(asJson), record(std::move(recordFile)), events(std::move(eventsFile)), database(std::move(databaseUrl)) {}
  bool json = false;
  std::string record;    // the record file; empty: none
  std::string events;    // the event stream: a file, "-" for stdout; empty: none
  std::string database;  // the factory's database (a libpq connection string); empty: none
};

// The sender of a record file to a database, one per file and database for
// the whole process: the rounds of a run share it, so none waits for it.
// Null, with the reason, when the connection string is refused.
std::shared_ptr<RecordSender> SharedSender(const std::string& record, const std::string& database,
                                           std::string& reason);

// Opens the run's event stream and says hello, or fills `reason`. Null
// with `reason` empty when no stream is asked for.
std::unique_ptr<EventStream> OpenEvents(const OutputOptions& output, const std::string& command,
                                        const std::string& port, std::string& reason);

class CommandRun {
 public:
  // `events`: a stream that outlives the run (a line's rounds share one);
  // null: the run opens its own when asked for.
  CommandRun(std::string command, OutputOptions output, EventStream* events = nullptr);

  RunResult& result() { return result_; }
  bool json() const { return output_.json; }

  // Opens the record file, before any radio is touched. False when it
  // cannot be written, or when it or any of `files` (an option or a role,
  // and the file it names) is the same file as another of them: the result
  // then says so (exit code 2).
  bool openRecord(const std::vector<NamedFile>& files = {});

  // The database's connection string as libpq takes it, once openRecord
  // accepted it; empty without a database.
  const std::string& database() const { return connection_; }
  // The stream's events of the run's one radio (null without a stream):
  // says begin, then hears the session alongside `inner`.
  EventStream* events() const { return events_; }
  // The stream this run opened, for the runs after it; the caller closes it.
  std::unique_ptr<EventStream> keepEvents() { return std::move(ownEvents_); }
  SessionObserver& beginRadio(const std::string& job, SessionObserver& inner);

  // Sets the exit code, the message and its detail of a failure the
  // command line found itself, and prints them on stderr.
  void fail(int exitCode, const std::string& message, const std::string& detail = {});

  // The hint line, the record line, the radio's end event and the JSON
  // object (on a shared stdout, the stream's last line); returns the exit
  // code.
  int finish();

 private:
  OutputOptions output_;
  RunResult result_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  RecordFile record_;
  void reportDatabase(Json& object);

  std::string connection_;
  std::shared_ptr<RecordSender> sender_;
  std::unique_ptr<EventStream> ownEvents_;
  EventStream* events_ = nullptr;
  std::unique_ptr<RadioEvents> radioEvents_;
  std::unique_ptr<BothObservers> both_;
};

}  // namespace tarvel::cli
