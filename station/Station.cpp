#include "station/Station.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/FileIo.h"
#include "run/EventStream.h"
#include "run/ExitCodes.h"
#include "run/RadioDiagnosis.h"
#include "run/RadioResult.h"
#include "run/RadioSession.h"
#include "run/SideBySide.h"
#include "station/SerialCheck.h"

namespace tarvel {

namespace {

std::string TodayUtc() { return IsoTimeUtc(std::chrono::system_clock::now()).substr(0, 10); }

// A bed's progress from its session: the block in hand while it writes,
// then the blocks read back.
class BedProgress final : public SessionObserver {
 public:
  BedProgress(Bed& bed, std::function<void()> changed) : bed_(bed), changed_(std::move(changed)) {}
  void progressed(const Progress& progress) override {
    if (progress.phase == SessionPhase::Writing && progress.block >= 0) {
      bed_.blocksDone.store(progress.block, std::memory_order_relaxed);
    } else if (progress.phase == SessionPhase::Verifying) {
      if (!bed_.verifying.exchange(true)) bed_.blocksDone.store(bed_.blocksTotal.load(), std::memory_order_relaxed);
      bed_.blocksVerified.store(progress.block, std::memory_order_relaxed);
    } else {
      return;
    }
    changed_();
  }

 private:
  Bed& bed_;
  std::function<void()> changed_;
};

// What the panel tells the operator to do: the command line's hint, but
// where that asks for a setting or a port that an operator cannot change
// at a station, the line's technician is called.
std::string StationHint(const RadioOutcome& outcome, const std::string& hint) {
  if (outcome.diagnosis.empty()) return hint;
  switch (outcome.diagnosis.front().id) {
    case FindingId::LoaderSilent:
    case FindingId::Garbled:
    case FindingId::OtherCable:
    case FindingId::PortMissing:
    case FindingId::PortDenied: return std::string(LoadString(StringId::StationCallTechnician));
    default: return hint;
  }
}

}  // namespace

Station::Station(StationConfig config, CheckedSflFile firmware, TransferFacts facts, StationView& view,
                 UnitWatchMaker makeWatch)
    : config_(std::move(config)),
      file_(std::move(firmware)),
      facts_(std::move(facts)),
      view_(view),
      host_(fileio::HostName()),
      operator_(fileio::LoginName()),
      makeWatch_(std::move(makeWatch)) {
  if (!makeWatch_) {
    makeWatch_ = [](std::size_t, const UnitWatchJob& job, std::function<void(UnitSignal)> signal) {
      return WatchForUnit(job, std::move(signal));
    };
  }
  for (const StationBed& named : config_.beds) {
    auto bed = std::make_unique<Bed>();
    bed->name = named.name;
    bed->port = named.port;
    bed->startFacts = named.start;
    bed->blocksTotal.store(facts_.blocksTotal);
    beds_.push_back(std::move(bed));
    bedStateChanged(beds_.size() - 1);
  }
  // Sized once: the beds' threads read their entries while they write.
  watches_.resize(beds_.size());
  countToday();
  if (!config_.database.empty()) {
    std::weak_ptr<int> alive = alive_;
    sender_ = std::make_unique<RecordSender>(config_.record, config_.database, [this, alive] {
      view_.post([this, alive] {
        if (!alive.lock()) return;
        if (sender_) recordsWaiting(static_cast<std::int64_t>(sender_->status().waiting));
        view_.countersChanged();
      });
    });
  }
}

std::string Station::databaseLine() const {
  if (!sender_) return {};
  const RecordSender::Status status = sender_->status();
  if (status.waiting == 0) return {};
  return FormatString(StringId::DatabaseWaiting,
                      {std::to_string(status.waiting), status.reason.empty() ? "sending" : status.reason});
}

void Station::bedStateChanged(std::size_t index) {
  if (config_.metricsServer) config_.metricsServer->bedState(beds_[index]->name, beds_[index]->state);
}

void Station::recordsWaiting(std::int64_t count) {
  if (config_.metricsServer) config_.metricsServer->recordsWaiting(count);
}

void Station::postCounters() {
  if (!config_.eventStream) return;
  const auto tally = [](const Tally& t) {
    const int total = t.passed + t.failed;
    return Json{{"passed", t.passed}, {"failed", t.failed}, {"total", total},
                {"yield", total == 0 ? Json(nullptr) : Json(static_cast<double>(t.passed) / total)}};
  };
  Json event = EventHead("counters");
  event["session"] = tally(session_);
  event["today"] = tally(today_);
  config_.eventStream->post(std::move(event));
}

Station::~Station() {
  stop();
  waitForBeds();
  // No signal comes after this, and no port stays open.
  watches_.clear();
  // Its last pass may still post to the view: it ends before the view goes.
  sender_.reset();
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

std::optional<std::string> Station::startRound(const std::vector<std::string>& serials, bool all,
                                               std::vector<std::size_t>* marked) {
  std::vector<std::size_t> chosen;
  std::vector<std::string> chosenSerials;
  std::vector<std::size_t> missing;
  if (paused_) return std::string(LoadString(StringId::StationPausedRefusal));
  for (std::size_t i = 0; i < beds_.size(); ++i) {
    // A bed that starts by itself is no part of a round of the keys.
    if (beds_[i]->state == BedState::Running || beds_[i]->handsFree()) continue;
    const std::string serial = i < serials.size() ? serials[i] : std::string();
    if (serial.empty()) {
      if (config_.requireSerial) missing.push_back(i);
      if (!all) continue;
    }
    chosen.push_back(i);
    chosenSerials.push_back(serial);
  }
  if (!missing.empty()) {
    // No radio leaves the round unwritten while the others run.
    std::string names;
    for (const std::size_t i : missing) names += (names.empty() ? "" : ", ") + beds_[i]->name;
    if (marked != nullptr) *marked = missing;
    return FormatString(StringId::StationSerialsMissing, {names});
  }
  if (chosen.empty()) return std::string();
  return start(chosen, chosenSerials, marked, true);
}

std::optional<std::string> Station::startBed(std::size_t bed, const std::string& serial,
                                             std::vector<std::size_t>* marked) {
  if (bed >= beds_.size() || beds_[bed]->state == BedState::Running) return std::string();
  if (paused_) return std::string(LoadString(StringId::StationPausedRefusal));
  if (serial.empty() && config_.requireSerial) {
    if (marked != nullptr) *marked = {bed};
    return FormatString(StringId::StationSerialRequired, {beds_[bed]->name});
  }
  return start({bed}, {serial}, marked, false);
}

std::optional<std::string> Station::start(const std::vector<std::size_t>& beds,
                                          const std::vector<std::string>& serials, std::vector<std::size_t>* marked,
                                          bool wholeRound) {
  // A stop in progress ends the beds still running first.
  if (stop_.load() && running()) return std::string();
  std::vector<std::string> names;
  std::vector<std::string> taken;
  for (const auto& bed : beds_) {
    names.push_back(bed->name);
    taken.push_back(bed->state == BedState::Running ? bed->serial : std::string());
  }
  if (std::optional<SerialRefusal> refusal =
          CheckRoundSerials({config_.serialMax, config_.serialPattern}, names, beds, serials, taken)) {
    if (marked != nullptr) *marked = refusal->beds;
    return refusal->text;
  }
  // The one place where the firmware is checked before it goes into radios.
  if (std::optional<std::string> problem = CheckFirmwareBeforeRound(config_, facts_)) return problem;
  stop_.store(false);
  for (std::size_t i = 0; i < beds_.size(); ++i) {
    Bed& bed = *beds_[i];
    if (bed.state == BedState::Running) continue;
    const auto in = std::find(beds.begin(), beds.end(), i);
    // A bed started alone leaves its neighbours' results as they are, and
    // so does a round those of the beds that start by themselves.
    if (in == beds.end() && (!wholeRound || bed.handsFree())) continue;
    // A panel shows only the unit in its bed now: a bed left out of the
    // round forgets the last one.
    bed.state = in == beds.end() ? BedState::Idle : BedState::Running;
    bed.serial = in == beds.end() ? std::string() : serials[static_cast<std::size_t>(in - beds.begin())];
    bed.last = {};
    bed.blocksDone.store(0);
    bed.verifying.store(false);
    bed.blocksVerified.store(0);
    if (in != beds.end()) {
      bed.unit = AfterStarted(bed.unit);
      bed.refusal.clear();
    }
    bedStateChanged(i);
    view_.bedChanged(i);
  }
  const int round = nextRound_++;
  if (config_.eventStream) {
    Json event = EventHead("round");
    event["round"] = round + 1;
    Json& started = event["beds"] = Json::array();
    for (std::size_t k = 0; k < beds.size(); ++k) {
      started.push_back({{"bed", beds_[beds[k]]->name}, {"port", beds_[beds[k]]->port},
                         {"serial", serials[k].empty() ? Json(nullptr) : Json(serials[k])}});
    }
    config_.eventStream->postAlways(std::move(event));
  }
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
  BedProgress progress(bed, [this, index] { progressed(index); });
  std::optional<RadioEvents> events;
  std::optional<BothObservers> both;
  if (config_.eventStream) {
    events.emplace(*config_.eventStream, bed.port, serial);
    events->begin("write", *result.radio, &facts_);
    both.emplace(progress, *events);
  }
  // The watch lets go of the port for the write, and watches again after it.
  UnitWatch* watch = watches_[index].get();
  if (watch != nullptr) watch->hold(true);
  const RadioOutcome outcome = WriteFirmware(job, file_, both ? static_cast<SessionObserver&>(*both) : progress);
  if (watch != nullptr) watch->hold(false);
  // The write shows the block it sends; the bar ends at what was written.
  bed.blocksDone.store(outcome.write.blocksWritten);
  progressed(index);
  DescribeOutcome(outcome, result);
  // A bed stopped by a signal says so in its record, as the command line does.
  if (result.exitCode == kExitStopped) result.exitCode = stopExitCode_.load();
  if (outcome.write.stopped) {
    shown.text = FormatString(StringId::StationStoppedAt,
                              {std::to_string(outcome.write.blocksWritten), std::to_string(facts_.blocksTotal)});
  } else if (outcome.verify && result.exitCode == kExitOk) {
    shown.text = TerminalText(LoadString(StringId::VerifySucceeded));
  } else if (outcome.verify && outcome.verify->failure) {
    shown.text = TerminalText(LoadString(StringId::VerifyNotCompleted));
  } else {
    // The first line: the rest of a box's text asks for what a station's
    // operator cannot change; the hint says what to do.
    shown.text = result.message.substr(0, result.message.find('\n'));
  }
  if (!outcome.diagnosis.empty()) shown.diagnosis = outcome.diagnosis.front().text;
  shown.hint = StationHint(outcome, result.hint);
  result.elapsedMs = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
  shown.elapsedMs = result.elapsedMs;
  recordUnit(result, index, shown);
  // The end carries the unit's record line as it stands.
  if (events) events->end(ResultJson(result));
  return result;
}

void Station::recordUnit(RunResult& result, std::size_t bed, BedResult& shown) {
  result.fields["station"] = config_.name;
  result.fields["bed"] = beds_[bed]->name;
  result.fields["host"] = host_;
  result.fields["operator"] = operator_;
  result.fields["record_id"] = NewRecordId();
  const std::string line = JsonLine(ResultJson(result));
  std::string reason;
  const std::lock_guard lock(recordMutex_);
  // Opened by its name for each unit, as the command line does: a record
  // removed or moved away while the station is open gets its line in the
  // file of that name, not in one that nobody reads.
  RecordFile record;
  if (record.open(config_.record, reason) && record.append(line, reason)) {
    if (sender_) sender_->nudge();
    return;
  }
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
  bed.unit = AfterEnded(bed.unit);
  // A station left open over midnight starts the new day at zero.
  if (TodayUtc() != todayDate_) {
    todayDate_ = TodayUtc();
    today_ = {};
  }
  for (Tally* tally : {&session_, &today_}) ++(passed ? tally->passed : tally->failed);
  if (config_.metricsServer) {
    config_.metricsServer->unitEnded(ResultJson(result), result.transfer ? result.transfer->transferMs : 0);
  }
  bedStateChanged(index);
  postCounters();
  view_.bedChanged(index);
  view_.countersChanged();
  if (!running()) view_.roundEnded();
  // Its unit left during the write and another came: that one waits no more.
  if (bed.handsFree()) startUnit(index);
}

bool Station::handsFree() const {
  return std::any_of(beds_.begin(), beds_.end(), [](const auto& bed) { return bed->handsFree(); });
}

void Station::watchBeds() {
  for (std::size_t i = 0; i < beds_.size(); ++i) {
    const Bed& bed = *beds_[i];
    if (!bed.handsFree() || watches_[i]) continue;
    UnitWatchJob job;
    job.mode = bed.startFacts.mode;
    job.poll = bed.startFacts.poll;
    job.line = bed.startFacts.line;
    job.job.port = bed.port;
    job.job.cable = config_.cable;
    job.job.baud = config_.baud;
    std::weak_ptr<int> alive = alive_;
    watches_[i] = makeWatch_(i, job, [this, alive, i](UnitSignal signal) {
      view_.post([this, alive, i, signal] {
        if (alive.lock()) unitSignalled(i, signal);
      });
    });
  }
}

void Station::unitSignalled(std::size_t index, UnitSignal signal) {
  Bed& bed = *beds_[index];
  const UnitStart before = bed.unit;
  bed.unit = AfterSignal(bed.startFacts.mode, bed.unit, signal);
  if (bed.unit.present != before.present || bed.unit.phase != before.phase) {
    if (!bed.unit.present) bed.refusal.clear();
    view_.bedChanged(index);
  }
  startUnit(index);
}

void Station::startUnit(std::size_t index) {
  Bed& bed = *beds_[index];
  // A closing station starts nothing more.
  if (!ReadyToStart(bed.startFacts.mode, bed.unit) || paused_ || stop_.load()) return;
  const std::optional<std::string> serial = view_.serialForUnit(index);
  if (!serial || (serial->empty() && config_.requireSerial)) return;
  std::vector<std::size_t> marked;
  const std::optional<std::string> refusal = start({index}, {*serial}, &marked, false);
  // The firmware changed, a serial number of another bed: said on the
  // panel; the unit starts when it comes again.
  if (refusal && !refusal->empty() && bed.refusal != *refusal) {
    bed.refusal = *refusal;
    view_.bedChanged(index);
  }
}

void Station::startWaitingUnits() {
  for (std::size_t i = 0; i < beds_.size(); ++i) startUnit(i);
}

void Station::setPaused(bool paused) {
  paused_ = paused;
  for (std::size_t i = 0; i < beds_.size(); ++i) view_.bedChanged(i);
  if (!paused_) startWaitingUnits();
}

void Station::stop(int exitCode) {
  stopExitCode_.store(exitCode);
  stop_.store(true);
}

void Station::waitForBeds() {
  for (auto& [round, thread] : rounds_) {
    if (thread.joinable()) thread.join();
  }
  rounds_.clear();
}

}  // namespace tarvel
