#include "records/RecordSender.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

#include "base/FileIo.h"
#include "base/OutputFile.h"
#include "base/Sha256.h"
#include "records/Schema.h"
#include "run/RecordFile.h"
#include "run/RecordHistory.h"
#include "run/RunResult.h"

namespace tarvel {

namespace {

struct Mark {
  std::uint64_t offset = 0;
  std::string lastId;  // the id of the line that ends at offset
};

Mark ReadMark(const std::string& record) {
  std::string text;
  std::string reason;
  Mark mark;
  if (!fileio::ReadRegularFile(SentPath(record), std::size_t{64} * 1024, text, reason)) return mark;
  const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
  if (!object.is_object()) return mark;
  const auto offset = object.find("offset");
  const auto id = object.find("record_id");
  if (offset == object.end() || !offset->is_number_unsigned() || id == object.end() || !id->is_string()) return mark;
  mark.offset = offset->get<std::uint64_t>();
  mark.lastId = id->get<std::string>();
  return mark;
}

bool WriteMark(const std::string& record, const Mark& mark, std::string& reason) {
  const std::string text = nlohmann::json{{"offset", mark.offset}, {"record_id", mark.lastId}}.dump() + "\n";
  OutputFile out;
  OutputError error;
  if (out.open(SentPath(record), {record}, error) && out.write(text, error) && out.commit(error)) return true;
  reason = SentPath(record) + ": " + error.text;
  return false;
}

// What kind of failure a record line tells of, from its exit code.
DbValue FailureKind(const nlohmann::json& line) {
  const auto code = line.find("exit_code");
  if (code == line.end() || !code->is_number_integer()) return std::nullopt;
  switch (code->get<int>()) {
    case 0: return std::nullopt;
    case 2: return "usage";
    case 3: return "port";
    case 4: return "sync";
    case 5: return "file";
    case 6: return "communication";
    case 7: return "flash_write";
    case 8: return "flash_read";
    case 9: return "conversion";
    case 10: return "verify";
    case 129:
    case 130:
    case 143: return "stopped";
    default: return "other";
  }
}

bool ReadFrom(int fd, std::uint64_t start, std::string& text) {
  text.clear();
  if (fileio::Seek(fd, start) < 0) return false;
  char buffer[65536];
  for (;;) {
    const long long n = fileio::Read(fd, buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxRecordBytes) return true;
  }
}

std::size_t CompleteLines(std::string_view text) {
  std::size_t lines = 0;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
    if (text.substr(start, end - start).find_first_not_of(" \t\r") != std::string_view::npos) ++lines;
    start = end + 1;
  }
  return lines;
}

std::string LineId(const std::string& line) {
  const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
  const bool hasId = object.is_object() && object.contains("record_id") && object["record_id"].is_string();
  return RecordIdOf(line, hasId ? object["record_id"].get<std::string>() : std::string());
}

}  // namespace

std::string SentPath(const std::string& record) { return record + ".sent"; }
std::string RefusedPath(const std::string& record) { return record + ".refused"; }

std::string RecordIdOf(const std::string& line, const std::string& given) {
  if (!given.empty()) return given;
  Sha256 digest;
  digest.add(std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
  std::string hex = digest.hex().substr(0, 32);
  // A name-based UUID: version 8 (made by the program), the RFC's variant.
  hex[12] = '8';
  hex[16] = "89ab"[std::stoi(hex.substr(16, 1), nullptr, 16) & 3];
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
         hex.substr(20);
}

std::size_t CountWaiting(const std::string& record) {
  const fileio::FileHandle file(fileio::Open(record, fileio::OpenFor::ReadNoWait));
  if (!file.isOpen()) return 0;
  Mark mark = ReadMark(record);
  std::string text;
  if (!ReadFrom(file.get(), 0, text)) return 0;
  if (mark.offset > text.size() || (mark.offset > 0 && text[mark.offset - 1] != '\n')) mark.offset = 0;
  return CompleteLines(std::string_view(text).substr(mark.offset));
}

SendReport SendPending(DatabaseConnection& db, const std::string& record, const std::atomic<bool>* stop) {
  SendReport report;
  const fileio::FileHandle file(fileio::Open(record, fileio::OpenFor::ReadNoWait));
  if (!file.isOpen()) {
    report.reason = record + ": " + std::strerror(errno);
    return report;
  }
  // Another process's pass over the same file: wait for it a little, as
  // it may be sending this process's own line.
  const auto lockDeadline = std::chrono::steady_clock::now() + kDatabaseWait;
  while (!fileio::TryLockFile(file.get())) {
    if (std::chrono::steady_clock::now() >= lockDeadline) {
      report.reason = "another process is sending " + record;
      report.waiting = CountWaiting(record);
      return report;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  Mark mark = ReadMark(record);
  // The line before the mark is read too, to see that the mark still
  // belongs to this file: a file replaced or cut back is sent from its
  // start (the database keeps each line once).
  constexpr std::uint64_t kLookBack = std::uint64_t{256} * 1024;
  std::uint64_t start = mark.offset > kLookBack ? mark.offset - kLookBack : 0;
  std::string text;
  if (!ReadFrom(file.get(), start, text)) {
    report.reason = record + ": " + std::strerror(errno);
    return report;
  }
  bool markHolds = mark.offset == 0;
  if (!markHolds && mark.offset - start <= text.size() && text[mark.offset - start - 1] == '\n') {
    const std::size_t end = mark.offset - start - 1;
    const std::size_t lineStart = end == 0 ? 0 : text.rfind('\n', end - 1);
    const std::size_t from = lineStart == std::string::npos || end == 0 ? 0 : lineStart + 1;
    markHolds = (from > 0 || start == 0) && LineId(text.substr(from, end - from)) == mark.lastId;
  }
  if (!markHolds) {
    mark = {};
    start = 0;
    if (!ReadFrom(file.get(), 0, text)) {
      report.reason = record + ": " + std::strerror(errno);
      return report;
    }
  }

  std::size_t at = mark.offset - start;
  const std::uint64_t markedAt = mark.offset;
  std::string failure;
  while (at < text.size()) {
    if (stop != nullptr && stop->load()) {
      failure = "stopped";
      break;
    }
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos) break;  // still being written
    const std::string line = text.substr(at, end - at);
    const std::size_t next = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) {
      at = next;
      mark.offset = start + at;
      continue;
    }
    const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    std::string refusal;
    std::string id;
    if (!object.is_object()) {
      refusal = "not a JSON object";
      id = RecordIdOf(line, {});
    } else {
      id = LineId(line);
      const DbReply reply = db.run(kInsertRecordSql, {line, id, FailureKind(object)});
      if (!reply.ok && !RefusedForGood(reply)) {
        failure = reply.error;
        report.connectionLost = reply.connectionLost;
        break;
      }
      if (!reply.ok) refusal = reply.error;
    }
    if (!refusal.empty()) {
      // Set aside, never dropped: the line and why, for a person to look at.
      const nlohmann::json aside = {{"refused_at", IsoTimeUtc(std::chrono::system_clock::now())},
                                    {"reason", refusal},
                                    {"line", line}};
      RecordFile refused;
      std::string reason;
      if (!refused.open(RefusedPath(record), reason) ||
          !refused.append(aside.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), reason)) {
        failure = reason;
        break;
      }
      if (report.setAside++ == 0) report.setAsideReason = refusal;
    } else {
      ++report.stored;
    }
    at = next;
    mark.offset = start + at;
    mark.lastId = id;
    // A crash before the mark is kept only sends lines again, which the
    // database keeps once; the mark is kept now and then to spare that.
    if (!refusal.empty() || report.stored % 200 == 0) {
      std::string reason;
      if (!WriteMark(record, mark, reason) && failure.empty()) failure = reason;
    }
  }
  if (mark.offset != markedAt) {
    std::string reason;
    if (!WriteMark(record, mark, reason) && failure.empty()) failure = reason;
  }
  report.sentUpTo = mark.offset;
  report.waiting = CompleteLines(std::string_view(text).substr(std::min<std::size_t>(mark.offset - start, text.size())));
  report.complete = report.waiting == 0 && failure.empty();
  report.reason = report.waiting == 0 ? std::string() : failure;
  if (!report.complete && report.reason.empty()) report.reason = failure.empty() ? "not sent yet" : failure;
  return report;
}

RecordSender::RecordSender(std::string record, std::string connection, std::function<void()> changed,
                           std::chrono::milliseconds retry)
    : record_(std::move(record)), connection_(std::move(connection)), changed_(std::move(changed)), retry_(retry) {
  status_.waiting = CountWaiting(record_);
  thread_ = std::thread([this] { loop(); });
}

RecordSender::~RecordSender() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stopping_.store(true);
  wake_.notify_all();
  done_.notify_all();
  thread_.join();
}

void RecordSender::nudge() {
  {
    const std::lock_guard lock(mutex_);
    nudged_ = true;
  }
  wake_.notify_one();
}

bool RecordSender::waitSent(std::uint64_t offset, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  if (status_.sentUpTo >= offset) return true;
  if (status_.failing) {
    nudged_ = true;
    wake_.notify_one();
    return false;
  }
  nudged_ = true;
  wake_.notify_one();
  const int before = status_.passes;
  done_.wait_for(lock, limit, [&] {
    return stop_ || status_.sentUpTo >= offset || (status_.passes > before && status_.failing);
  });
  return status_.sentUpTo >= offset;
}

RecordSender::Status RecordSender::status() const {
  const std::lock_guard lock(mutex_);
  return status_;
}

void RecordSender::loop() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      const auto wait = status_.failing ? retry_ : std::chrono::milliseconds(std::chrono::hours(1));
      wake_.wait_for(lock, wait, [&] { return nudged_ || stop_; });
      if (stop_) return;
      nudged_ = false;
    }
    pass();
  }
}

bool RecordSender::pass() {
  std::string reason;
  if (!db_) {
    db_ = ConnectDatabase(connection_, reason);
    if (db_) {
      // Lines go only into the schema this program knows.
      const std::optional<int> version = SchemaVersion(*db_, reason);
      bool current = false;
      if (version) reason = SchemaVerdict(*version, current);
      if (!current) db_.reset();
    }
  }
  SendReport report;
  if (db_) {
    report = SendPending(*db_, record_, &stopping_);
    if (report.connectionLost) db_.reset();
  } else {
    report.waiting = CountWaiting(record_);
    report.reason = reason;
  }
  {
    const std::lock_guard lock(mutex_);
    status_.waiting = report.waiting;
    status_.failing = !report.complete;
    status_.reason = report.complete ? std::string() : report.reason;
    if (db_) status_.sentUpTo = std::max(status_.sentUpTo, report.sentUpTo);
    if (report.setAside > 0 && status_.setAside == 0) status_.setAsideReason = report.setAsideReason;
    status_.setAside += report.setAside;
    ++status_.passes;
  }
  done_.notify_all();
  if (changed_) changed_();
  return report.complete;
}

}  // namespace tarvel
