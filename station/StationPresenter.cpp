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

// Beds per column beyond two columns.
constexpr std::size_t kRowsPerColumn = 4;
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

StringId LampText(BedState state) {
  switch (state) {
    case BedState::Running: return StringId::StationBedRunning;
    case BedState::Passed: return StringId::StationBedPassed;
    case BedState::Failed: return StringId::StationBedFailed;
    case BedState::Idle: break;
  }
  return StringId::StationBedIdle;
}

std::string CounterText(StringId label, const Tally& tally) {
  return FormatString(StringId::StationCounters,
                      {LoadString(label), std::to_string(tally.passed), std::to_string(tally.failed),
                       std::to_string(tally.passed + tally.failed), YieldText(tally)});
}

}  // namespace

PanelLook LookOf(const Bed& bed) {
  PanelLook look;
  look.lamp = std::string(LoadString(LampText(bed.state)));
  const int total = bed.blocksTotal.load();
  look.done = bed.blocksDone.load();
  look.range = std::max(total, 1);
  // The percent rounded down, as a progress bar shows it.
  look.progress = FormatBlockCounter(look.done) + " / " + FormatBlockCounter(total) + "   " +
                  std::to_string(look.done * 100 / look.range) + "%";
  look.startEnabled = bed.state != BedState::Running;
  if (bed.state == BedState::Passed || bed.state == BedState::Failed) {
    // The fields clear after a round: the result names the unit it was.
    const std::string unit = bed.last.serial.empty() ? std::string() : bed.last.serial + ": ";
    look.result = OneLine(unit + bed.last.text + " (" + FormatElapsed(bed.last.elapsedMs) + ")");
    look.diagnosis = OneLine(bed.last.diagnosis);
  }
  return look;
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

PanelGrid GridFor(std::size_t beds) {
  PanelGrid grid;
  if (beds > 1) grid.columns = beds <= 4 ? 2 : static_cast<int>((beds + kRowsPerColumn - 1) / kRowsPerColumn);
  grid.rows = static_cast<int>((beds + grid.columns - 1) / grid.columns);
  return grid;
}

StationPresenter::StationPresenter(StationWindowView& view, StationConfig config, CheckedSflFile firmware,
                                   TransferFacts facts)
    : view_(view),
      station_(std::make_unique<Station>(std::move(config), std::move(firmware), std::move(facts), *this)) {
  shown_.resize(station_->bedCount());
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
}

void StationPresenter::OnShown() {
  if (station_->bedCount() > 0) view_.FocusSerial(0, false);
}

void StationPresenter::OnSerialEntered(std::size_t bed) {
  if (bed + 1 < station_->bedCount()) {
    view_.FocusSerial(bed + 1, true);
    return;
  }
  StartRound(false);
}

void StationPresenter::OnStartPressed(std::size_t bed) { Refused(station_->startBed(bed, Serial(bed))); }

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

std::string StationPresenter::Serial(std::size_t bed) const { return Trimmed(view_.SerialText(bed)); }

std::vector<std::string> StationPresenter::Serials() const {
  std::vector<std::string> serials;
  for (std::size_t i = 0; i < station_->bedCount(); ++i) serials.push_back(Serial(i));
  return serials;
}

void StationPresenter::StartRound(bool all) { Refused(station_->startRound(Serials(), all)); }

void StationPresenter::Refused(const std::optional<std::string>& refusal) {
  // An empty refusal: nothing to start, nothing to say.
  if (refusal && !refusal->empty()) view_.ShowRefusal(*refusal);
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
  if (shown.state == bed.state) return;
  shown.state = bed.state;
  view_.SetLamp(index, bed.state, look.lamp);
  view_.SetResult(index, look.result);
  view_.SetDiagnosis(index, look.diagnosis);
  view_.EnableStart(index, look.startEnabled);
}

void StationPresenter::countersChanged() { view_.SetCounters(CountersText(station_->session(), station_->today())); }

void StationPresenter::roundEnded() {
  if (closeAfterRound_) {
    view_.Close();
    return;
  }
  // Ready for the next tray: the serial numbers written are cleared; one
  // typed over during the round stays.
  for (std::size_t i = 0; i < station_->bedCount(); ++i) {
    if (Serial(i) == station_->bed(i).last.serial) view_.ClearSerial(i);
  }
  OnShown();
}

}  // namespace tarvel
