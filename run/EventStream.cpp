#include "run/EventStream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/FileIo.h"
#include "base/Report.h"
#include "firmware/WriteProcedure.h"
#include "formats/FlashBlock.h"

namespace tarvel {

namespace {

constexpr int kStdout = 1;

// The states in the order a job reaches them, each said once.
enum StateBit : unsigned { kWaking = 1, kSynchronised = 2, kWriting = 4, kVerifying = 8, kReading = 16 };

const char* CauseName(RetryCause cause) {
  switch (cause) {
    case RetryCause::Refused: return "refused";
    case RetryCause::SumDiffers: return "sum-differs";
    case RetryCause::CutShort: return "cut-short";
  }
  return "refused";
}

}  // namespace

EventStream::EventStream(LineWriter write, std::size_t capacity)
    : write_(std::move(write)), capacity_(capacity), thread_([this] { run(); }) {}

EventStream::~EventStream() { close(); }

std::unique_ptr<EventStream> EventStream::Open(const std::string& target, std::string& reason) {
  if (target == "-") {
    // A failed print is that print's error, never the radio's: a reader
    // that has gone ends the writing, not the run.
    return std::make_unique<EventStream>([](std::string_view line) { return fileio::WriteAll(kStdout, line); });
  }
  auto file = std::make_shared<fileio::FileHandle>(fileio::Open(target, fileio::OpenFor::Append));
  if (!file->isOpen()) {
    reason = target + ": " + std::strerror(errno);
    return nullptr;
  }
  fileio::FileInfo info;
  if (fileio::Stat(file->get(), info) == 0 && info.directory) {
    reason = target + ": " + std::strerror(EISDIR);
    return nullptr;
  }
  return std::make_unique<EventStream>([file](std::string_view line) { return fileio::WriteAll(file->get(), line); });
}

bool EventStream::queue(Item item, bool always) {
  {
    const std::lock_guard lock(mutex_);
    if (closing_ || (!always && items_.size() >= capacity_)) {
      dropped_.fetch_add(1);
      return false;
    }
    items_.push_back(std::move(item));
  }
  ready_.notify_one();
  return true;
}

bool EventStream::post(Json event) { return queue({std::move(event), {}}, false); }

void EventStream::postAlways(Json event) { queue({std::move(event), {}}, true); }

void EventStream::postLine(std::string line) { queue({Json(), std::move(line)}, true); }

void EventStream::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ready_.wait(lock, [this] { return closing_ || !items_.empty(); });
    if (items_.empty()) break;
    Item item = std::move(items_.front());
    items_.pop_front();
    lock.unlock();
    // Made here, not on the radio's thread.
    std::string line = item.line.empty() ? JsonLine(item.event) : std::move(item.line);
    line += '\n';
    if (!gone_.load() && !write_(line)) gone_.store(true);
    lock.lock();
  }
}

void EventStream::close() {
  {
    const std::lock_guard lock(mutex_);
    if (closing_ && !thread_.joinable()) return;
    closing_ = true;
  }
  ready_.notify_one();
  if (thread_.joinable()) thread_.join();
}

Json EventHead(std::string_view name, const std::string& port, const std::string& serial) {
  Json event;
  event["event"] = name;
  event["schema"] = kEventSchema;
  event["time"] = IsoTimeUtc(std::chrono::system_clock::now());
  if (!port.empty()) event["port"] = port;
  if (!serial.empty()) event["serial"] = serial;
  return event;
}

Json HelloEvent(const std::string& tool, const std::string& command, const std::string& port) {
  Json event = EventHead("hello", port);
  event["tool"] = {{"name", tool}, {"version", TARVEL_VERSION}};
  event["command"] = command;
  return event;
}

void RadioEvents::begin(const std::string& job, const RadioFacts& radio, const TransferFacts* transfer) {
  Json event = EventHead("begin", port_, serial_);
  event["job"] = job;
  if (transfer != nullptr) {
    event["file"] = transfer->file;
    event["file_sha256"] = transfer->fileSha256.empty() ? Json(nullptr) : Json(transfer->fileSha256);
    event["blocks"] = transfer->blocksTotal;
  }
  event["cable"] = radio.cable;
  event["baud"] = radio.baud;
  stream_.postAlways(std::move(event));
}

void RadioEvents::end(const Json& object) {
  // The blocks of the last exchange: the count reaches the object's.
  if (!current_.empty() && object.contains("blocks_done")) {
    const int done = object["blocks_done"].get<int>();
    if (current_ != "verifying" && done > lastDone_) {
      progress(current_, done, of_, object.value("retries", retries_), elapsedMs_);
    }
  }
  Json event = EventHead("end", port_, serial_);
  event["dropped"] = dropped_.load();
  event["outcome"] = object;
  stream_.postAlways(std::move(event));
}

void RadioEvents::post(Json event) {
  if (!stream_.post(std::move(event))) dropped_.fetch_add(1);
}

void RadioEvents::state(const char* name) {
  static constexpr struct {
    const char* name;
    unsigned bit;
  } kBits[] = {{"waking", kWaking}, {"synchronised", kSynchronised}, {"writing", kWriting},
               {"verifying", kVerifying}, {"reading", kReading}};
  unsigned bit = 0;
  for (const auto& known : kBits) {
    if (std::string_view(known.name) == name) bit = known.bit;
  }
  if ((statesSaid_ & bit) != 0) return;
  // After the write, the read-back wakes the loader again: still verifying.
  if ((statesSaid_ & kVerifying) != 0 && (bit == kWaking || bit == kSynchronised)) return;
  statesSaid_ |= bit;
  Json event = EventHead("state", port_, serial_);
  event["state"] = name;
  post(std::move(event));
}

void RadioEvents::progress(std::string_view stateName, int done, int of, int retries, std::uint32_t elapsedMs) {
  lastDone_ = done;
  Json event = EventHead("progress", port_, serial_);
  event["state"] = stateName;
  event["block"] = done;
  event["of"] = of;
  event["bytes"] = static_cast<std::uint64_t>(done) * kBlockSize;
  event["retries"] = retries;
  event["elapsed_ms"] = elapsedMs;
  post(std::move(event));
}

void RadioEvents::progressed(const Progress& p) {
  const auto counting = [this](std::string_view name, int of) {
    if (current_ != name) {
      current_ = name;
      lastDone_ = -1;
    }
    of_ = of;
  };
  switch (p.phase) {
    case SessionPhase::Started: return;
    case SessionPhase::Waking: state("waking"); return;
    case SessionPhase::Synchronised: state("synchronised"); return;
    case SessionPhase::Writing:
      state("writing");
      counting("writing", p.blocks);
      // Before the first block only the range is known. The block in hand
      // is the count of those done before it.
      retries_ = p.retries;
      elapsedMs_ = p.elapsedMs;
      if (p.block > lastDone_) progress("writing", p.block, p.blocks, p.retries, p.elapsedMs);
      return;
    case SessionPhase::Verifying:
      state("verifying");
      // The read-back's start tells no range yet.
      if (p.blocks == 0) return;
      counting("verifying", p.blocks);
      if (p.block > lastDone_) progress("verifying", p.block, p.blocks, 0, p.elapsedMs);
      return;
    case SessionPhase::Reading:
      state("reading");
      counting("reading", p.blocks);
      elapsedMs_ = p.elapsedMs;
      if (p.block > lastDone_) progress("reading", p.block, p.blocks, 0, p.elapsedMs);
      return;
    case SessionPhase::Ended:
      // The write's or the read's last block, which no block in hand follows.
      if (!current_.empty() && current_ != "verifying" && p.block > lastDone_) {
        progress(current_, p.block, of_, p.retries, p.elapsedMs);
      }
      return;
  }
}

void RadioEvents::retriedBecause(int block, int attempt, const RetryReason& reason) {
  Json event = EventHead("retry", port_, serial_);
  event["block"] = FormatBlockCounter(block);
  event["attempt"] = attempt;
  event["reason"] = CauseName(reason.cause);
  switch (reason.cause) {
    case RetryCause::Refused: {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(reason.answer));
      event["answer"] = hex;
      break;
    }
    case RetryCause::SumDiffers:
      event["loader_sum"] = FormatHex4(reason.loaderSum);
      event["sent_sum"] = FormatHex4(reason.sentSum);
      break;
    case RetryCause::CutShort: event["bytes"] = reason.bytes; break;
  }
  post(std::move(event));
}

void BothObservers::statusChanged(AccessStatus status) {
  first_.statusChanged(status);
  second_.statusChanged(status);
}
void BothObservers::progressed(const Progress& progress) {
  first_.progressed(progress);
  second_.progressed(progress);
}
void BothObservers::retried(int block, int retries) {
  first_.retried(block, retries);
  second_.retried(block, retries);
}
void BothObservers::retriedBecause(int block, int attempt, const RetryReason& reason) {
  first_.retriedBecause(block, attempt, reason);
  second_.retriedBecause(block, attempt, reason);
}
void BothObservers::synchronised(const SyncAnswer& answer) {
  first_.synchronised(answer);
  second_.synchronised(answer);
}
void BothObservers::failed(const Failure& failure) {
  first_.failed(failure);
  second_.failed(failure);
}
void BothObservers::succeeded(const std::string& report) {
  first_.succeeded(report);
  second_.succeeded(report);
}

}  // namespace tarvel
