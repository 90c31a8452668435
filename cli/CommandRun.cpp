#include "cli/CommandRun.h"


#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <filesystem>
#include <vector>

#include "base/FileIo.h"
#include "base/Strings.h"
#include "run/ExitCodes.h"
#include "cli/TerminalMessages.h"

namespace tarvel::cli {

CommandRun::CommandRun(std::string command, OutputOptions output, EventStream* events)
    : output_(std::move(output)), events_(events) {
  result_.command = std::move(command);
}

std::unique_ptr<EventStream> OpenEvents(const OutputOptions& output, const std::string& command,
                                        const std::string& port, std::string& reason) {
  reason.clear();
  if (output.events.empty()) return nullptr;
  std::unique_ptr<EventStream> stream = EventStream::Open(output.events, reason);
  if (stream) stream->postAlways(HelloEvent("tarvel-cli", command, port));
  return stream;
}

std::optional<std::pair<NamedFile, NamedFile>> SharedFile(const std::vector<NamedFile>& files) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      if (!files[i].path.empty() && !files[j].path.empty() && fileio::SameFileOrName(files[i].path, files[j].path)) {
        return std::pair{files[i], files[j]};
      }
    }
  }
  return std::nullopt;
}

bool CommandRun::openRecord(const std::vector<NamedFile>& files) {
  // Two roles on one file: a trace would replace the record, a record line
  // would land in the firmware.
  std::vector<NamedFile> all = files;
  all.push_back({"--record", output_.record});
  if (output_.events != "-") all.push_back({"--events", output_.events});
  if (const auto shared = SharedFile(all)) {
    fail(kExitUsage, FormatString(StringId::FilesClash, {shared->first.role, shared->second.role, shared->second.path}));
    return false;
  }
  if (!output_.database.empty()) {
    // The record file is the first write; the database is fed from it.
    if (output_.record.empty()) {
      fail(kExitUsage, std::string(LoadString(StringId::DatabaseNeedsRecord)));
      return false;
    }
    std::string reason;
    const std::optional<std::string> connection = ConnectionString(output_.database, reason);
    if (!connection) {
      fail(kExitUsage, reason);
      return false;
    }
    connection_ = *connection;
  }
  std::string reason;
  if (!output_.record.empty()) {
    if (!record_.open(output_.record, reason)) {
      fail(kExitUsage, std::string(LoadString(StringId::RecordFileFailed)), reason);
      return false;
    }
    // Started now, it sends what earlier runs left queued while the radio
    // is written.
    if (!connection_.empty()) sender_ = SharedSender(output_.record, connection_, reason);
  }
  if (events_ == nullptr && !output_.events.empty()) {
    ownEvents_ = OpenEvents(output_, result_.command, result_.radio ? result_.radio->port : std::string(), reason);
    if (!ownEvents_) {
      fail(kExitUsage, std::string(LoadString(StringId::EventsFileFailed)), reason);
      return false;
    }
    events_ = ownEvents_.get();
  }
  return true;
}

std::shared_ptr<RecordSender> SharedSender(const std::string& record, const std::string& database,
                                           std::string& reason) {
  const std::optional<std::string> connection = ConnectionString(database, reason);
  if (!connection) return nullptr;
  static std::mutex mutex;
  static std::map<std::pair<std::string, std::string>, std::shared_ptr<RecordSender>> senders;
  const std::lock_guard lock(mutex);
  std::shared_ptr<RecordSender>& sender = senders[{record, *connection}];
  if (!sender) sender = std::make_shared<RecordSender>(record, *connection);
  return sender;
}

SessionObserver& CommandRun::beginRadio(const std::string& job, SessionObserver& inner) {
  if (events_ == nullptr || !result_.radio) return inner;
  radioEvents_ = std::make_unique<RadioEvents>(*events_, result_.radio->port, result_.radio->serial);
  radioEvents_->begin(job, *result_.radio, result_.transfer ? &*result_.transfer : nullptr);
  both_ = std::make_unique<BothObservers>(inner, *radioEvents_);
  return *both_;
}

void CommandRun::fail(int exitCode, const std::string& message, const std::string& detail) {
  result_.exitCode = exitCode;
  result_.message = message;
  result_.detail = detail;
  std::fprintf(stderr, "%s\n", message.c_str());
  if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
}

void CommandRun::reportDatabase(Json& object) {
  // The radio is done; the send is bounded by the database's own limits
  // and skipped at once while the database is known to be down.
  const bool stored = sender_->waitSent(record_.appendedUpTo(), kDatabaseWait + std::chrono::seconds(1));
  const RecordSender::Status status = sender_->status();
  object["database"] = stored ? "stored" : "queued";
  if (!stored) {
    const std::string reason = status.reason.empty() ? "the database did not answer in time" : status.reason;
    object["database_reason"] = reason;
    // Said once per run, however many rounds it has.
    static std::atomic<bool> said{false};
    if (!said.exchange(true)) {
      std::fprintf(stderr, "%s\n", FormatString(StringId::DatabaseQueued, {output_.record, reason}).c_str());
    }
  }
  if (status.setAside > 0) {
    object["database_set_aside"] = status.setAside;
    static std::atomic<int> saidAside{0};
    if (saidAside.exchange(status.setAside) != status.setAside) {
      std::fprintf(stderr, "%s\n",
                   FormatString(StringId::DatabaseSetAside, {std::to_string(status.setAside), RefusedPath(output_.record),
                                                             status.setAsideReason})
                       .c_str());
    }
  }
}

int CommandRun::finish() {
  result_.elapsedMs = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
  if (!result_.hint.empty()) std::fprintf(stderr, "hint: %s\n", result_.hint.c_str());
  Json object = ResultJson(result_);
  if (record_.isOpen()) {
    // One line per radio: a run over several records each of them. Each
    // line's id also goes into the object that tells of it.
    std::vector<Json> lines;
    if (result_.radios.empty()) {
      object["record_id"] = NewRecordId();
      lines.push_back(object);
    }
    if (object.contains("radios")) {
      for (Json& radio : object["radios"]) {
        radio["record_id"] = NewRecordId();
        lines.push_back(radio);
      }
    }
    const std::string host = fileio::HostName();
    bool recorded = true;
    for (Json& line : lines) {
      line["host"] = host;
      std::string reason;
      if (!record_.append(JsonLine(line), reason)) {
        // The radio's outcome stands; the lost line is said, not hidden.
        std::fprintf(stderr, "%s\n  %s\n", std::string(LoadString(StringId::RecordFileFailed)).c_str(),
                     reason.c_str());
        object["record_error"] = reason;
        recorded = false;
        break;
      }
    }
    if (sender_ && recorded) reportDatabase(object);
  }
  if (events_ != nullptr) {
    if (radioEvents_) {
      radioEvents_->end(object);
    } else {
      // A line of radios: each said its own end; this one is the run's.
      Json event = EventHead("end");
      event["dropped"] = events_->dropped();
      event["outcome"] = object;
      events_->postAlways(std::move(event));
    }
  }
  const bool sharedStdout = events_ != nullptr && output_.events == "-";
  if (output_.json && sharedStdout) {
    // One stream: the object after the events, never between two lines.
    events_->postLine(JsonLine(object));
  } else if (output_.json) {
    std::printf("%s\n", JsonLine(object).c_str());
    std::fflush(stdout);
  }
  if (ownEvents_) ownEvents_->close();
  return result_.exitCode;
}

}  // namespace tarvel::cli
