#include "station/Station.h"

#include <chrono>
#include <utility>

#include "base/FileIo.h"
#include "run/ExitCodes.h"
#include "run/RadioDiagnosis.h"
#include "run/RadioResult.h"
#include "run/RadioSession.h"
#include "run/SideBySide.h"

namespace tarvel {

namespace {

std::string TodayUtc() { return IsoTimeUtc(std::chrono::system_clock::now()).substr(0, 10); }

}  // namespace

Station::Station(StationConfig config, CheckedSflFile firmware, TransferFacts facts, StationView& view)
    : config_(std::move(config)),
      file_(std::move(firmware)),
      facts_(std::move(facts)),
      view_(view),
      host_(fileio::HostName()),
      operator_(fileio::LoginName()) {
  for (const StationBed& named : config_.beds) {
    auto bed = std::make_unique<Bed>();
    bed->name = named.name;
    bed->port = named.port;
    bed->blocksTotal.store(facts_.blocksTotal);
    beds_.push_back(std::move(bed));
  }
  countToday();
}

Station::~Station() {
  stop();
  waitForBeds();
}

bool Station::running() const {
  for (const auto& bed : beds_) {
    if (bed->state == BedState::Running) return true;
  }
  return false;
}

void Station::countToday() {
  todayDate_ = TodayUtc();
  today_ = {};
  std::string text;
  std::string reason;
  // No record yet, or one that cannot be read: nothing counted; a line
  // that cannot be appended says so at its unit.
  if (!fileio::ReadRegularFile(config_.record, kMaxRecordBytes, text, reason)) return;
  HistoryFilter filter;
  filter.since = todayDate_;
  filter.station = config_.name;
  std::vector<Json> records;
  int skipped = 0;
  CollectRecords(text, filter, records, skipped);
  for (const auto& [station, tally] : CountRecords(records).perStation) today_ = tally;
}

std::optional<std::string> Station::startRound(const std::vector<std::string>& serials, bool all) {
  std::vector<std::size_t> chosen;
  std::vector<std::string> chosenSerials;
  for (std::size_t i = 0; i < beds_.size(); ++i) {
    if (beds_[i]->state == BedState::Running) continue;
    const std::string serial = i < serials.size() ? serials[i] : std::string();
    if (serial.empty()) {
      if (!all) continue;
      if (config_.requireSerial) return FormatString(StringId::StationSerialRequired, {beds_[i]->name});
    }
    chosen.push_back(i);
    chosenSerials.push_back(serial);
  }
  if (chosen.empty()) return std::string();
  return start(chosen, chosenSerials);
}

std::optional<std::string> Station::startBed(std::size_t bed, const std::string& serial) {
  if (bed >= beds_.size() || beds_[bed]->state == BedState::Running) return std::string();
  if (serial.empty() && config_.requireSerial) {
    return FormatString(StringId::StationSerialRequired, {beds_[bed]->name});
  }
  return start({bed}, {serial});
}

std::optional<std::string> Station::start(const std::vector<std::size_t>& beds,
                                          const std::vector<std::string>& serials) {
  // A stop in progress ends the beds still running first.
  if (stop_.load() && running()) return std::string();
  // The one place where the firmware is checked before it goes into radios.
  if (std::optional<std::string> problem = CheckFirmwareBeforeRound(config_, facts_)) return problem;
  stop_.store(false);
  for (const std::size_t i : beds) {
    Bed& bed = *beds_[i];
    bed.state = BedState::Running;
    bed.last = {};
    bed.blocksDone.store(0);
    view_.bedChanged(i);
  }
  const int round = nextRound_++;
  std::weak_ptr<int> alive = alive_;
  rounds_.emplace(round, std::thread([this, round, beds, serials, alive] {
                    std::vector<BedResult> shown(beds.size());
                    std::vector<RunResult> results(beds.size());
                    RunSideBySide(
                        beds.size(),
                        [&](std::size_t k) {
                          results[k] = writeBed(beds[k], serials[k], shown[k]);
                          view_.post([this, alive, bed = beds[k], result = results[k], unit = shown[k]] {
                            if (alive.lock()) bedEnded(bed, result, unit);
                          });
                        },
                        [&](std::size_t k, const std::string& reason) {
                          shown[k].serial = serials[k];
                          shown[k].text = std::string(LoadString(StringId::CommunicationError));
                          shown[k].diagnosis = reason;
                          RunResult failed;
                          failed.exitCode = kExitUsage;
                          view_.post([this, alive, bed = beds[k], failed, unit = shown[k]] {
                            if (alive.lock()) bedEnded(bed, failed, unit);
                          });
                        });
                    view_.post([this, alive, round] {
                      if (!alive.lock()) return;
                      const auto it = rounds_.find(round);
                      if (it == rounds_.end()) return;
                      it->second.join();
                      rounds_.erase(it);
                    });
                  }));
  return std::nullopt;
}

void Station::progressed(std::size_t bed) {
  // One change waiting per bed is enough: the view reads the counters.
  if (beds_[bed]->changePosted.exchange(true)) return;
  std::weak_ptr<int> alive = alive_;
  view_.post([this, alive, bed] {
    if (!alive.lock()) return;
    beds_[bed]->changePosted.store(false);
    view_.bedChanged(bed);
  });
}

RunResult Station::writeBed(std::size_t index, const std::string& serial, BedResult& shown) {
  Bed& bed = *beds_[index];
  RunResult result;
  result.tool = "tarvel";
  result.command = "write";
  result.startedAt = std::chrono::system_clock::now();
  result.radio = DescribeRadio(RadioLine{bed.port, config_.cable, config_.baud});
  result.radio->serial = serial;
  result.transfer = facts_;
  shown.serial = serial;

  RadioJob job;
  job.port = bed.port;
  job.cable = config_.cable;
  job.baud = config_.baud;
  job.verify = facts_.verify;
  job.serial = serial;
  job.stop = &stop_;

  const auto started = std::chrono::steady_clock::now();
  BlockProgress progress(bed.blocksDone, [this, index] { progressed(index); });
  const RadioOutcome outcome = WriteFirmware(job, file_, progress);
  // The write shows the block it sends; the bar ends at what was written.
  bed.blocksDone.store(outcome.write.blocksWritten);
  progressed(index);
  DescribeOutcome(outcome, result);
  if (outcome.write.stopped) {
    shown.text = FormatString(StringId::StationStoppedAt,
                              {std::to_string(outcome.write.blocksWritten), std::to_string(facts_.blocksTotal)});
  } else if (outcome.verify && result.exitCode == kExitOk) {
    shown.text = TerminalText(LoadString(StringId::VerifySucceeded));
  } else if (outcome.verify && outcome.verify->failure) {
    shown.text = TerminalText(LoadString(StringId::VerifyNotCompleted));
  } else {
    shown.text = result.message;
  }
  if (!outcome.diagnosis.empty()) shown.diagnosis = outcome.diagnosis.front().text;
  result.elapsedMs = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
  shown.elapsedMs = result.elapsedMs;
  recordUnit(result, index, shown);
  return result;
}

void Station::recordUnit(RunResult& result, std::size_t bed, BedResult& shown) {
  result.fields["station"] = config_.name;
  result.fields["bed"] = beds_[bed]->name;
  result.fields["host"] = host_;
  result.fields["operator"] = operator_;
  const std::string line = JsonLine(ResultJson(result));
  std::string reason;
  const std::lock_guard lock(recordMutex_);
  if ((record_.isOpen() || record_.open(config_.record, reason)) && record_.append(line, reason)) return;
  // The radio is written either way; the operator must know that its line
  // is missing.
  if (!shown.diagnosis.empty()) shown.diagnosis += '\n';
  shown.diagnosis += std::string(LoadString(StringId::RecordFileFailed)) + " " + reason;
}

void Station::bedEnded(std::size_t index, const RunResult& result, const BedResult& shown) {
  Bed& bed = *beds_[index];
  const bool passed = result.exitCode == kExitOk;
  bed.state = passed ? BedState::Passed : BedState::Failed;
  bed.last = shown;
  // A station left open over midnight starts the new day at zero.
  if (TodayUtc() != todayDate_) {
    todayDate_ = TodayUtc();
    today_ = {};
  }
  for (Tally* tally : {&session_, &today_}) ++(passed ? tally->passed : tally->failed);
  view_.bedChanged(index);
  view_.countersChanged();
  if (!running()) view_.roundEnded();
}

void Station::stop() { stop_.store(true); }

void Station::waitForBeds() {
  for (auto& [round, thread] : rounds_) {
    if (thread.joinable()) thread.join();
  }
  rounds_.clear();
}

}  // namespace tarvel
