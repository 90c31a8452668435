// The station's behaviour, whatever window shows it: the words and lamps of
// the panels, the counters, the keyboard flow of an operator with a barcode
// scanner, and what closing during a round does. Each window forwards its
// events here and draws what it is told through StationWindowView.
//
// The keyboard: Enter in a serial field moves to the next bed's, Enter in
// the last starts every bed with a serial number, F5 starts them all. After
// a round the serial numbers written are cleared and the first field has
// the focus, ready for the next tray.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "station/Station.h"
#include "station/StationWindowView.h"

namespace tarvel {

// What a bed's panel shows for the bed as it is now.
struct PanelLook {
  std::string lamp;
  int done = 0;
  int range = 1;  // the bar's end: the blocks of the firmware, at least 1
  std::string progress;
  std::string result;     // the unit, its result and the time; empty until the bed has ended
  std::string diagnosis;  // empty until the bed has ended
  bool startEnabled = true;
  // What the bed waits for and how it starts; empty while every bed is
  // started by the operator's keys.
  std::string state;
  std::string mode;
};
PanelLook LookOf(const Bed& bed);

// A panel's state line and mode label: what a bed that starts by itself
// waits for, and how each bed starts once any bed of the station starts by
// itself.
struct BedNoteFacts {
  bool anyHandsFree = false;
  bool paused = false;
  bool waitingForSerial = false;  // its unit is there and waits to be scanned
};
void AddNote(const Bed& bed, const BedNoteFacts& facts, PanelLook& look);

// A lamp's colour (0xRRGGBB) in every window, and the colour of a serial
// field that kept a round from starting.
std::uint32_t LampColour(BedState state);
inline constexpr std::uint32_t kMarkedSerialColour = 0xffd0d0;

// The counters' line: this session's units, then today's.
std::string CountersText(const Tally& session, const Tally& today);

// The header: the title, the firmware's line, the manifest's line, and the
// firmware's comment (read from its file).
StationHeaderLines HeaderLines(const StationConfig& config, const TransferFacts& facts);

// How the panels are laid out in a window of `width` by `height` pixels: as
// many columns as panels of a readable width fit, filled row by row so that
// the beds of a row read left to right (bed i in row i / columns, column
// i % columns), and how much larger than at 1280x800 the lamps and the
// results are drawn.
struct PanelGrid {
  int columns = 1;
  int rows = 1;
  double scale = 1.0;
};
inline constexpr int kPanelWidth = 400;
PanelGrid GridFor(std::size_t beds, int width, int height);

class StationPresenter final : public StationView {
 public:
  StationPresenter(StationWindowView& view, StationConfig config, CheckedSflFile firmware, TransferFacts facts);
  // Stops every bed after its block in progress and waits for them.
  ~StationPresenter() override;
  StationPresenter(const StationPresenter&) = delete;
  StationPresenter& operator=(const StationPresenter&) = delete;

  Station& station() { return *station_; }
  const Station& station() const { return *station_; }

  // Once the window's panels exist: the header, the counters and every
  // panel drawn.
  void Start();

  // The window's events.
  void OnShown();
  // Enter in a bed's serial field.
  void OnSerialEntered(std::size_t bed);
  // A panel's Start: that bed alone.
  void OnStartPressed(std::size_t bed);
  // F5.
  void OnStartAll();
  // F8 or the window's pause button: pauses, or resumes.
  void OnPauseToggled();
  // The title bar's close: true when the window may close now. During a
  // round it asks first; on Yes each bed stops after its block in progress
  // and the window closes once the last has ended.
  bool OnClose();
  // SIGTERM, SIGHUP or SIGINT: as a close answered Yes, without the
  // question; the program then ends with `exitCode` (128 + the signal).
  void OnStopSignal(int exitCode);
  // 0, or the exit code of the signal that closed the window.
  int StopExitCode() const { return stopExitCode_; }

  // StationView, for the station.
  void post(std::function<void()> task) override;
  void bedChanged(std::size_t bed) override;
  void countersChanged() override;
  void roundEnded() override;
  std::optional<std::string> serialForUnit(std::size_t bed) override;

 private:
  // What a panel shows now, so that only a change is drawn again.
  struct Shown {
    std::optional<BedState> state;
    bool verifying = false;
    int blocks = -1;
    std::optional<std::pair<std::string, std::string>> note;
  };

  std::string Serial(std::size_t bed) const;
  std::vector<std::string> Serials() const;
  void StartRound(bool all);
  void Refused(const std::optional<std::string>& refusal, const std::vector<std::size_t>& marked);
  // Where the focus goes once the running beds have ended.
  std::size_t NextFieldToScan() const;
  bool WaitingForSerial(std::size_t bed) const;

  StationWindowView& view_;
  std::vector<Shown> shown_;
  // The serial number scanned into a bed that starts by itself, with its
  // Enter: its unit is written with it. A field typed into since holds no
  // number yet.
  std::vector<std::string> entered_;
  bool closeAfterRound_ = false;
  int stopExitCode_ = 0;
  // Last, so that it is the first to go: its beds report to the rest.
  std::unique_ptr<Station> station_;
};

}  // namespace tarvel
