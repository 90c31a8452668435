#include "station/StationPresenter.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "base/Report.h"
#include "base/Strings.h"
#include "catalog/CommentBlock.h"
#include "loader/CableFacts.h"

namespace tarvel {

namespace {

constexpr std::size_t kDigestShown = 12;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trimmed(const std::string& text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
  return first < last ? std::string(first, last) : std::string();
}

// The program's texts end lines with CR for the message boxes; a panel
// shows them on one line, each run of blanks as one space.
std::string OneLine(const std::string& text) {
  std::string line;
  bool blank = false;
  for (const char c : text) {
    if (IsBlank(c)) {
      blank = true;
      continue;
    }
    if (blank && !line.empty()) line += ' ';
    blank = false;
    line += c;
  }
  return line;
}

StringId LampText(const Bed& bed) {
  switch (bed.state) {
    case BedState::Running:
      return bed.verifying.load() ? StringId::StationBedVerifying : StringId::StationBedRunning;
    case BedState::Passed: return StringId::StationBedPassed;
    case BedState::Failed: return StringId::StationBedFailed;
    case BedState::Idle: break;
  }
  return StringId::StationBedIdle;
}

std::string CounterText(StringId label, const Tally& tally) {
  const int total = tally.passed + tally.failed;
  return FormatString(StringId::StationCounters, {LoadString(label), std::to_string(tally.passed),
                                                  std::to_string(tally.failed), std::to_string(total),
                                                  total == 0 ? std::string("-") : YieldText(tally) + " %"});
}

// The time taken never breaks across lines: its spaces do not break.
std::string Unbroken(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == ' ' ? std::string("\u00A0") : std::string(1, c);
  return out;
}

}  // namespace

PanelLook LookOf(const Bed& bed) {
  PanelLook look;
  look.lamp = std::string(LoadString(LampText(bed)));
  const int total = bed.blocksTotal.load();
  const bool verifying = bed.state == BedState::Running && bed.verifying.load();
  look.done = verifying ? bed.blocksVerified.load() : bed.blocksDone.load();
  look.range = std::max(total, 1);
  // The percent rounded down, as a progress bar shows it.
  look.progress = FormatBlockCounter(look.done) + " / " + FormatBlockCounter(total) + "   " +
                  std::to_string(look.done * 100 / look.range) + "%";
  look.startEnabled = bed.state != BedState::Running;
  if (bed.state == BedState::Passed || bed.state == BedState::Failed) {
    // The fields clear after a round: the result names the unit it was.
    const std::string unit = bed.last.serial.empty() ? std::string() : bed.last.serial + ": ";
    look.result = OneLine(unit + bed.last.text) + " (" + Unbroken(FormatElapsed(bed.last.elapsedMs)) + ")";
    look.diagnosis = OneLine(bed.last.diagnosis);
    const std::string hint = OneLine(bed.last.hint);
    if (!hint.empty()) look.diagnosis += (look.diagnosis.empty() ? "" : "\n") + hint;
  }
  return look;
}

void AddNote(const Bed& bed, const BedNoteFacts& facts, PanelLook& look) {
  if (!facts.anyHandsFree) return;
  std::string mode(NameOf(bed.startFacts.mode));
  if (bed.startFacts.mode == StartMode::Line) {
    std::string line(NameOf(bed.startFacts.line));
    for (char& c : line) c = static_cast<char>(c - 'a' + 'A');
    mode += " (" + line + ")";
  }
  look.mode = FormatString(StringId::StationStartMode, {mode});
  if (!bed.handsFree() || bed.state == BedState::Running) return;
  if (bed.unit.phase == UnitPhase::Remove) {
    look.state = std::string(LoadString(StringId::StationRemoveRadio));
  } else if (!bed.unit.present) {
    look.state = std::string(LoadString(StringId::StationWaitingForRadio));
  } else if (!bed.refusal.empty()) {
    look.state = OneLine(bed.refusal);
  } else if (facts.paused) {
    look.state = std::string(LoadString(StringId::StationBedPaused));
  } else if (facts.waitingForSerial) {
    look.state = std::string(LoadString(StringId::StationWaitingForSerial));
  }
}

std::uint32_t LampColour(BedState state) {
  switch (state) {
    case BedState::Running: return 0xf0c020;
    case BedState::Passed: return 0x30b040;
    case BedState::Failed: return 0xe03030;
    case BedState::Idle: break;
  }
  return 0xb0b0b0;
}

std::string CountersText(const Tally& session, const Tally& today) {
  return CounterText(StringId::StationSession, session) + "      " + CounterText(StringId::StationToday, today);
}

StationHeaderLines HeaderLines(const StationConfig& config, const TransferFacts& facts) {
  StationHeaderLines header;
  header.title = FormatString(StringId::StationWindowTitle, {config.name});
  header.firmware = FormatString(config.verify ? StringId::StationHeaderVerify : StringId::StationHeader,
                                 {std::filesystem::path(config.firmware).filename().string(),
                                  facts.fileSha256.substr(0, kDigestShown), FactsOf(config.cable).label,
                                  std::to_string(config.baud)});
  header.trust = config.trustLine;
  header.comment = OneLine(ReadCommentBoxText(config.firmware).value_or(std::string()));
  return header;
}

PanelGrid GridFor(std::size_t beds, int width, int height) {
  PanelGrid grid;
  const int count = static_cast<int>(std::max<std::size_t>(beds, 1));
  grid.columns = std::clamp(width / kPanelWidth, 1, count);
  grid.rows = (count + grid.columns - 1) / grid.columns;
  grid.scale = std::clamp(std::min(width / 1280.0, height / 800.0), 0.75, 2.0);
  return grid;
}

StationPresenter::StationPresenter(StationWindowView& view, StationConfig config, CheckedSflFile firmware,
                                   TransferFacts facts)
    : view_(view),
      station_(std::make_unique<Station>(std::move(config), std::move(firmware), std::move(facts), *this)) {
  shown_.resize(station_->bedCount());
  entered_.resize(station_->bedCount());
}

StationPresenter::~StationPresenter() {
  // The beds end before the panels they report to.
  station_.reset();
}

void StationPresenter::Start() {
  view_.ShowHeader(HeaderLines(station_->config(), station_->firmware()));
  countersChanged();
  for (std::size_t i = 0; i < station_->bedCount(); ++i) {
    const Bed& bed = station_->bed(i);
    view_.SetPanelTitle(i, bed.name + "   " + bed.port);
    bedChanged(i);
  }
  station_->watchBeds();
}

void StationPresenter::OnShown() {
  if (station_->bedCount() > 0) view_.FocusSerial(0, false);
}

void StationPresenter::OnSerialEntered(std::size_t bed) {
  if (bed >= station_->bedCount()) return;
  if (station_->bed(bed).handsFree()) {
    // The scan is the unit's number: its bed starts with it once the unit
    // is there, and the next scan goes to the next bed that has none.
    entered_[bed] = Serial(bed);
    const std::size_t count = station_->bedCount();
    for (std::size_t k = 1; k < count; ++k) {
      const std::size_t next = (bed + k) % count;
      const Bed& other = station_->bed(next);
      if (!other.handsFree() || other.state == BedState::Running || !Serial(next).empty()) continue;
      view_.FocusSerial(next, true);
      break;
    }
    station_->startWaitingUnits();
    bedChanged(bed);
    return;
  }
  // The next field of a bed that takes a unit by the keys; a running bed's
  // is passed by.
  for (std::size_t next = bed + 1; next < station_->bedCount(); ++next) {
    const Bed& other = station_->bed(next);
    if (other.state == BedState::Running || other.handsFree()) continue;
    view_.FocusSerial(next, true);
    return;
  }
  StartRound(false);
}

void StationPresenter::OnPauseToggled() {
  station_->setPaused(!station_->paused());
  countersChanged();
}

bool StationPresenter::WaitingForSerial(std::size_t bed) const {
  return station_->config().requireSerial && (entered_[bed].empty() || Serial(bed) != entered_[bed]);
}

std::optional<std::string> StationPresenter::serialForUnit(std::size_t bed) {
  if (WaitingForSerial(bed)) return std::nullopt;
  // Typed but not entered: not a number the operator has given.
  return Serial(bed) == entered_[bed] ? entered_[bed] : std::string();
}

void StationPresenter::OnStartPressed(std::size_t bed) {
  std::vector<std::size_t> marked;
  const std::optional<std::string> refusal = station_->startBed(bed, Serial(bed), &marked);
  Refused(refusal, marked);
}

void StationPresenter::OnStartAll() { StartRound(true); }

bool StationPresenter::OnClose() {
  if (!station_->running()) return true;
  // Asked already: the window closes once the last bed has ended.
  if (closeAfterRound_) return false;
  const bool yes = view_.AskYesNo(std::string(LoadString(StringId::StationCloseDuringRound)));
  // The round may have ended while the question was open: nothing holds
  // the window any more, whatever the answer.
  if (!station_->running()) return true;
  if (!yes) return false;
  // Each bed ends after its block in progress and says how far it got.
  closeAfterRound_ = true;
  station_->stop();
  return false;
}

void StationPresenter::OnStopSignal(int exitCode) {
  // A second signal changes nothing: the beds are stopping already.
  if (stopExitCode_ != 0) return;
  stopExitCode_ = exitCode;
  if (!station_->running()) {
    view_.Close();
    return;
  }
  closeAfterRound_ = true;
  station_->stop(exitCode);
}

std::string StationPresenter::Serial(std::size_t bed) const { return Trimmed(view_.SerialText(bed)); }

std::vector<std::string> StationPresenter::Serials() const {
  std::vector<std::string> serials;
  for (std::size_t i = 0; i < station_->bedCount(); ++i) serials.push_back(Serial(i));
  return serials;
}

void StationPresenter::StartRound(bool all) {
  std::vector<std::size_t> marked;
  const std::optional<std::string> refusal = station_->startRound(Serials(), all, &marked);
  Refused(refusal, marked);
}

void StationPresenter::Refused(const std::optional<std::string>& refusal, const std::vector<std::size_t>& marked) {
  // Marks from an earlier refusal go with the next answer.
  for (std::size_t i = 0; i < station_->bedCount(); ++i) {
    view_.MarkSerial(i, std::find(marked.begin(), marked.end(), i) != marked.end());
  }
  // An empty refusal: nothing to start, nothing to say.
  if (!refusal || refusal->empty()) return;
  if (!marked.empty()) view_.FocusSerial(marked.front(), true);
  view_.ShowRefusal(*refusal);
}

std::size_t StationPresenter::NextFieldToScan() const {
  // The first empty field of a bed that takes a unit: after a whole round
  // the first bed, while the operator scans on, where he is.
  std::optional<std::size_t> free;
  for (std::size_t i = 0; i < station_->bedCount(); ++i) {
    if (station_->bed(i).state == BedState::Running) continue;
    if (Serial(i).empty()) return i;
    if (!free) free = i;
  }
  return free.value_or(0);
}

void StationPresenter::post(std::function<void()> task) { view_.Post(std::move(task)); }

void StationPresenter::bedChanged(std::size_t index) {
  const Bed& bed = station_->bed(index);
  Shown& shown = shown_[index];
  const PanelLook look = LookOf(bed);
  if (look.done != shown.blocks) {
    shown.blocks = look.done;
    view_.SetProgress(index, look.done, look.range, look.progress);
  }
  const bool verifying = bed.verifying.load();
  PanelLook noted;
  AddNote(bed, {station_->handsFree(), station_->paused(), bed.unit.present && WaitingForSerial(index)}, noted);
  std::pair<std::string, std::string> note{noted.state, noted.mode};
  if (shown.note != note) {
    shown.note = note;
    view_.SetBedNote(index, note.first, note.second);
  }
  if (shown.state == bed.state && shown.verifying == verifying) return;
  if (bed.handsFree() && bed.state == BedState::Running) {
    // Its number went with the unit: the next unit needs a scan of its own.
    entered_[index].clear();
  } else if (bed.handsFree() && shown.state == BedState::Running && Serial(index) == bed.last.serial) {
    view_.ClearSerial(index);
  }
  shown.state = bed.state;
  shown.verifying = verifying;
  view_.SetLamp(index, bed.state, look.lamp);
  view_.SetSerialEditable(index, bed.state != BedState::Running);
  view_.SetResult(index, look.result);
  view_.SetDiagnosis(index, look.diagnosis);
  view_.EnableStart(index, look.startEnabled);
}

void StationPresenter::countersChanged() {
  std::string text = CountersText(station_->session(), station_->today());
  const std::string waiting = station_->databaseLine();
  if (!waiting.empty()) text += "\n" + waiting;
  if (station_->paused()) text += "\n" + std::string(LoadString(StringId::StationPausedLine));
  view_.SetCounters(text);
}

void StationPresenter::roundEnded() {
  if (closeAfterRound_) {
    view_.Close();
    return;
  }
  // Ready for the next tray: the serial numbers written are cleared; one
  // typed over during the round stays.
  for (std::size_t i = 0; i < station_->bedCount(); ++i) {
    const Bed& bed = station_->bed(i);
    if (!bed.handsFree() && Serial(i) == bed.last.serial) view_.ClearSerial(i);
  }
  // Beds that start by themselves end at any time: the focus stays where
  // the operator scans.
  if (station_->bedCount() > 0 && !station_->handsFree()) view_.FocusSerial(NextFieldToScan(), true);
}

}  // namespace tarvel
