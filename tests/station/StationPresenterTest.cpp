// The station's presenter without a window: the words of its panels and
// counters, and the keyboard flow and the close against a fake window, with
// a real station writing simulated radios.
#include "station/StationPresenter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/station/StationHarness.h"

namespace tarvel {
namespace {

constexpr const char* kVerified = "Verified: the flash holds every block of the file.";
constexpr const char* kNeedsSerial = "Bed 2 has no serial number: this station needs one for every radio.";
constexpr const char* kNoSerialInBed2 = "No serial number in Bed 2: this station needs one for every radio.";

// A window that keeps what it was told to show, and a field for each bed
// that the test types into.
class FakeWindow final : public StationWindowView {
 public:
  struct Panel {
    std::string title;
    std::optional<BedState> state;
    PanelLook look;
    std::string serial;
    bool marked = false;
    int notes = 0;  // how often its state line was drawn
    bool editable = true;
  };

  void ShowHeader(const StationHeaderLines& lines) override { header = lines; }
  void SetCounters(const std::string& text) override { counters = text; }
  void SetPanelTitle(std::size_t bed, const std::string& title) override { panel(bed).title = title; }
  void SetLamp(std::size_t bed, BedState state, const std::string& text) override {
    panel(bed).state = state;
    panel(bed).look.lamp = text;
  }
  void SetProgress(std::size_t bed, int done, int range, const std::string& text) override {
    PanelLook& look = panel(bed).look;
    look.done = done;
    look.range = range;
    look.progress = text;
  }
  void SetResult(std::size_t bed, const std::string& text) override { panel(bed).look.result = text; }
  void SetDiagnosis(std::size_t bed, const std::string& text) override { panel(bed).look.diagnosis = text; }
  void EnableStart(std::size_t bed, bool enabled) override { panel(bed).look.startEnabled = enabled; }
  void SetBedNote(std::size_t bed, const std::string& state, const std::string& mode) override {
    panel(bed).look.state = state;
    panel(bed).look.mode = mode;
    ++panel(bed).notes;
  }
  std::string SerialText(std::size_t bed) const override { return bed < panels.size() ? panels[bed].serial : ""; }
  void ClearSerial(std::size_t bed) override { panel(bed).serial.clear(); }
  void FocusSerial(std::size_t bed, bool selectAll) override { focus = {bed, selectAll}; }
  void MarkSerial(std::size_t bed, bool marked) override { panel(bed).marked = marked; }
  void SetSerialEditable(std::size_t bed, bool editable) override { panel(bed).editable = editable; }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return answer ? answer() : false;
  }
  void ShowRefusal(const std::string& text) override { refusals.push_back(text); }
  // As the title bar's close: the window goes if the presenter lets it.
  void Close() override {
    ++closeCalls;
    closed = presenter->OnClose();
  }
  void Post(std::function<void()> task) override { tasks.post(std::move(task)); }

  Panel& panel(std::size_t bed) {
    if (bed >= panels.size()) panels.resize(bed + 1);
    return panels[bed];
  }
  void type(const std::vector<std::string>& serials) {
    for (std::size_t i = 0; i < serials.size(); ++i) panel(i).serial = serials[i];
  }
  std::vector<std::optional<BedState>> lamps() const {
    std::vector<std::optional<BedState>> states;
    for (const Panel& shown : panels) states.push_back(shown.state);
    return states;
  }
  bool runUntil(const std::function<bool()>& done) { return tasks.runUntil(done); }

  StationPresenter* presenter = nullptr;
  StationHeaderLines header;
  std::string counters;
  std::vector<Panel> panels;
  // The field with the focus and whether its text was selected; 99: none.
  std::pair<std::size_t, bool> focus{99, false};
  std::vector<std::string> questions;
  std::vector<std::string> refusals;
  std::function<bool()> answer;
  int closeCalls = 0;
  bool closed = false;
  test::PostedTasks tasks;
};

// A presenter over a station file of `bench`, started as a window starts it.
struct Opened {
  Opened(const test::SimBench& bench, const std::string& keys) {
    test::SimBench::Setup setup = bench.station("line.ini", keys);
    presenter = std::make_unique<StationPresenter>(window, std::move(setup.config), std::move(setup.firmware),
                                                   std::move(setup.facts));
    window.presenter = presenter.get();
    presenter->Start();
  }
  bool roundOver() {
    return window.runUntil([&] { return !presenter->station().running(); });
  }

  FakeWindow window;
  std::unique_ptr<StationPresenter> presenter;
};

TEST(StationPresenter, EachBedStateInWords) {
  struct Case {
    const char* name;
    BedState state;
    int done;
    int total;
    BedResult last;
    PanelLook shown;
    int verified = -1;  // blocks read back; -1: not verifying
  };
  const Case cases[] = {
      {"verifying: its own lamp and bar", BedState::Running, 12, 12, {},
       {"verifying", 3, 12, "003 / 00C   25%", "", "", false}, 3},
      {"idle", BedState::Idle, 0, 12, {}, {"idle", 0, 12, "000 / 00C   0%", "", "", true}},
      {"idle, no blocks known", BedState::Idle, 0, 0, {}, {"idle", 0, 1, "000 / 000   0%", "", "", true}},
      {"running", BedState::Running, 5, 12, {}, {"running", 5, 12, "005 / 00C   41%", "", "", false}},
      {"running: the last unit's lines are gone", BedState::Running, 0, 300, {"SN-9", kVerified, "Something.", "", 1000},
       {"running", 0, 300, "000 / 12C   0%", "", "", false}},
      {"passed", BedState::Passed, 12, 12, {"SN-1", kVerified, "", "", 83456},
       {"passed", 12, 12, "00C / 00C   100%",
        "SN-1: Verified: the flash holds every block of the file. (1\u00A0min\u00A023\u00A0sec\u00A0456\u00A0ms)", "", true}},
      {"passed without a serial number", BedState::Passed, 12, 12, {"", "Written.", "", "", 4},
       {"passed", 12, 12, "00C / 00C   100%", "Written. (0\u00A0min\u00A00\u00A0sec\u00A04\u00A0ms)", "", true}},
      // The program's texts end lines with CR for its message boxes.
      {"failed, with its diagnosis", BedState::Failed, 0, 12,
       {"SN-2", "Synchronization Error.\rPlease confirm the connection with the equipment.\r",
        "The loader does not answer.\n  Radio on, in loader mode?\r\n", "Call the technician.", 3010},
       {"failed", 0, 12, "000 / 00C   0%",
        "SN-2: Synchronization Error. Please confirm the connection with the equipment. (0\u00A0min\u00A03\u00A0sec\u00A010\u00A0ms)",
        "The loader does not answer. Radio on, in loader mode?\nCall the technician.", true}},
      {"stopped", BedState::Failed, 7, 400, {"SN-3", "Stopped: 7 of 400 blocks written.", "", "", 9000},
       {"failed", 7, 400, "007 / 190   1%", "SN-3: Stopped: 7 of 400 blocks written. (0\u00A0min\u00A09\u00A0sec\u00A00\u00A0ms)", "", true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bed bed;
    bed.state = c.state;
    bed.blocksDone = c.done;
    bed.blocksTotal = c.total;
    bed.last = c.last;
    bed.verifying = c.verified >= 0;
    bed.blocksVerified = std::max(c.verified, 0);
    const PanelLook look = LookOf(bed);
    EXPECT_EQ(look.lamp, c.shown.lamp);
    EXPECT_EQ(look.done, c.shown.done);
    EXPECT_EQ(look.range, c.shown.range);
    EXPECT_EQ(look.progress, c.shown.progress);
    EXPECT_EQ(look.result, c.shown.result);
    EXPECT_EQ(look.diagnosis, c.shown.diagnosis);
    EXPECT_EQ(look.startEnabled, c.shown.startEnabled);
  }
}

TEST(StationPresenter, CountersAndTheGridOfPanels) {
  struct Counted {
    Tally session;
    Tally today;
    const char* text;
  };
  const Counted counted[] = {
      {{0, 0}, {0, 0},
       "This session: 0 passed, 0 failed, 0 in all, yield -      Today: 0 passed, 0 failed, 0 in all, yield -"},
      {{3, 1}, {40, 2},
       "This session: 3 passed, 1 failed, 4 in all, yield 75.0 %      "
       "Today: 40 passed, 2 failed, 42 in all, yield 95.2 %"},
      {{0, 2}, {1, 2},
       "This session: 0 passed, 2 failed, 2 in all, yield 0.0 %      "
       "Today: 1 passed, 2 failed, 3 in all, yield 33.3 %"},
  };
  for (const Counted& c : counted) EXPECT_EQ(CountersText(c.session, c.today), c.text);

  // As many columns of 400 pixels as fit, never more than the beds; the
  // lamps and results grow with the screen.
  struct Laid {
    std::size_t beds;
    int width;
    int height;
    int columns;
    int rows;
    double scale;
  };
  const Laid laid[] = {{8, 1280, 800, 3, 3, 1.0},   {8, 1366, 768, 3, 3, 0.96},  {8, 800, 600, 2, 4, 0.75},
                       {8, 1920, 1080, 4, 2, 1.35}, {3, 1920, 1080, 3, 1, 1.35}, {1, 1280, 800, 1, 1, 1.0},
                       {32, 1280, 800, 3, 11, 1.0}, {8, 300, 200, 1, 8, 0.75},   {0, 1280, 800, 1, 1, 1.0},
                       {8, 5000, 3000, 8, 1, 2.0}};
  for (const Laid& l : laid) {
    SCOPED_TRACE(testing::Message() << l.beds << " beds at " << l.width << "x" << l.height);
    const PanelGrid grid = GridFor(l.beds, l.width, l.height);
    EXPECT_EQ(grid.columns, l.columns);
    EXPECT_EQ(grid.rows, l.rows);
    EXPECT_NEAR(grid.scale, l.scale, 0.005);
  }
}

TEST(StationPresenter, EnterMovesOnAndTheLastStartsTheBedsWithSerialsClearedAfterTheRound) {
  test::SimBench bench({false, false, false});
  Opened opened(bench, "Cable=QAP-8\nBaud=115200\nVerify=1\n");
  FakeWindow& window = opened.window;
  StationPresenter& presenter = *opened.presenter;

  EXPECT_EQ(window.header.title, "Tarvel station - line.ini");
  const std::regex firmware("fw\\.sfl   SHA-256 [0-9a-f]{12}   QAP-8 at 115200 baud, every block read back");
  EXPECT_TRUE(std::regex_match(window.header.firmware, firmware)) << window.header.firmware;
  EXPECT_EQ(window.header.trust, "");
  EXPECT_EQ(window.counters, "This session: 0 passed, 0 failed, 0 in all, yield -      "
                             "Today: 0 passed, 0 failed, 0 in all, yield -");
  ASSERT_EQ(window.panels.size(), 3U);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(window.panels[i].title, "Bed " + std::to_string(i + 1) + "   " + bench.radios[i]->linkPath());
    EXPECT_EQ(window.panels[i].look.lamp, "idle");
    // Started by the keys: no state line and no mode, but drawn, so that a
    // window never keeps an old one.
    EXPECT_EQ(window.panels[i].notes, 1);
    EXPECT_EQ(window.panels[i].look.state + window.panels[i].look.mode, "");
  }

  presenter.OnShown();
  EXPECT_EQ(window.focus, std::make_pair(std::size_t{0}, false));
  // Bed 2 is left without a serial number; bed 3's has blanks around it,
  // as a scanner may send.
  window.type({"SN-1", "", "  SN-3\t"});
  presenter.OnSerialEntered(0);
  EXPECT_EQ(window.focus, std::make_pair(std::size_t{1}, true));
  presenter.OnSerialEntered(1);
  EXPECT_EQ(window.focus, std::make_pair(std::size_t{2}, true));
  EXPECT_FALSE(presenter.station().running());
  presenter.OnSerialEntered(2);
  EXPECT_TRUE(window.refusals.empty());
  EXPECT_EQ(window.lamps(), (std::vector<std::optional<BedState>>{BedState::Running, BedState::Idle,
                                                                   BedState::Running}));
  EXPECT_EQ(window.panels[0].look.lamp, "running");
  EXPECT_FALSE(window.panels[0].look.startEnabled);
  EXPECT_TRUE(window.panels[1].look.startEnabled);

  // The next unit for bed 1 is scanned before the round is over: it stays.
  window.panels[0].serial = "SN-4";
  window.focus = {99, false};
  ASSERT_TRUE(opened.roundOver());
  EXPECT_EQ(window.lamps(), (std::vector<std::optional<BedState>>{BedState::Passed, BedState::Idle,
                                                                   BedState::Passed}));
  EXPECT_EQ(presenter.station().bed(2).last.serial, "SN-3");
  EXPECT_EQ(window.panels[0].serial, "SN-4");
  EXPECT_EQ(window.panels[2].serial, "");
  // Bed 1 has its next unit already: the scan goes on at the first empty
  // field, its text selected.
  EXPECT_EQ(window.focus, std::make_pair(std::size_t{1}, true));
  for (const std::size_t i : {0, 2}) {
    SCOPED_TRACE(i);
    const PanelLook& look = window.panels[i].look;
    EXPECT_EQ(look.lamp, "passed");
    EXPECT_EQ(look.progress, "00C / 00C   100%");
    EXPECT_EQ(look.result.rfind(std::string(i == 0 ? "SN-1" : "SN-3") + ": " + kVerified + " (", 0), 0U)
        << look.result;
    EXPECT_TRUE(look.startEnabled);
  }
  EXPECT_EQ(window.panels[1].look.result, "");
  EXPECT_EQ(window.counters.substr(0, window.counters.find("      ")),
            "This session: 2 passed, 0 failed, 2 in all, yield 100.0 %");
}

TEST(StationPresenter, StartKeysAndButtonsWithAndWithoutRequiredSerials) {
  enum class Key { F5, EnterInLast, StartBed1, StartBed2 };
  struct Case {
    const char* name;
    bool requireSerial;
    std::vector<std::string> typed;
    Key key;
    const char* refusal;  // empty: none
    std::vector<std::optional<BedState>> lamps;
    std::vector<std::string> serialsWritten;  // of the beds that ran
    const char* keys = "";                    // more [Station] lines
    std::vector<bool> marked = {false, false};
  };
  constexpr BedState kIdle = BedState::Idle;
  constexpr BedState kRunning = BedState::Running;
  const Case cases[] = {
      {"F5 starts every bed", false, {"SN-1", ""}, Key::F5, "", {kRunning, kRunning}, {"SN-1", ""}},
      {"F5 with a serial missing, when every radio needs one", true, {"SN-1", ""}, Key::F5, kNoSerialInBed2,
       {kIdle, kIdle}, {}, "", {false, true}},
      {"F5 with every serial, when every radio needs one", true, {"SN-1", "SN-2"}, Key::F5, "",
       {kRunning, kRunning}, {"SN-1", "SN-2"}},
      {"Enter in the last with a serial missing, when every radio needs one", true, {"", "SN-2"},
       Key::EnterInLast, "No serial number in Bed 1: this station needs one for every radio.", {kIdle, kIdle}, {}, "",
       {true, false}},
      {"the same serial on two beds", false, {"SN-7", "SN-7"}, Key::F5,
       "SN-7 is in Bed 1 and Bed 2: a serial number names one radio.", {kIdle, kIdle}, {}, "", {true, true}},
      {"a scan longer than the station takes", false, {"SN-123456789", ""}, Key::F5,
       "The serial number in Bed 1 is longer than 8 characters: scan it again.", {kIdle, kIdle}, {},
       "SerialMax=8\n", {true, false}},
      {"a scan from the wrong label", false, {"TV24-000141", "XX-1"}, Key::EnterInLast,
       "Bed 2: 'XX-1' is not a serial number of this line (TV24-[0-9]{6}): scan it again.", {kIdle, kIdle}, {},
       "SerialPattern=TV24-[0-9]{6}\n", {false, true}},
      {"scans of the line's labels", false, {"TV24-000141", "TV24-000142"}, Key::EnterInLast, "",
       {kRunning, kRunning}, {"TV24-000141", "TV24-000142"}, "SerialPattern=TV24-[0-9]{6}\n"},
      {"Enter in the last with no serial at all starts nothing", false, {"", ""}, Key::EnterInLast, "",
       {kIdle, kIdle}, {}},
      {"a panel's Start: that bed alone", false, {"SN-1", " SN-2 "}, Key::StartBed2, "", {kIdle, kRunning},
       {"", "SN-2"}},
      {"a panel's Start without a serial", false, {"", ""}, Key::StartBed1, "", {kRunning, kIdle}, {"", ""}},
      {"a panel's Start without a serial, when every radio needs one", true, {"SN-1", ""}, Key::StartBed2,
       kNeedsSerial, {kIdle, kIdle}, {}, "", {false, true}},
  };
  test::SimBench bench({false, false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Opened opened(bench,
                  std::string("Baud=115200\nRequireSerial=") + (c.requireSerial ? "1" : "0") + "\n" + c.keys);
    FakeWindow& window = opened.window;
    StationPresenter& presenter = *opened.presenter;
    window.type(c.typed);
    switch (c.key) {
      case Key::F5: presenter.OnStartAll(); break;
      case Key::EnterInLast: presenter.OnSerialEntered(1); break;
      case Key::StartBed1: presenter.OnStartPressed(0); break;
      case Key::StartBed2: presenter.OnStartPressed(1); break;
    }
    EXPECT_EQ(window.refusals, std::string(c.refusal).empty() ? std::vector<std::string>{}
                                                               : std::vector<std::string>{c.refusal});
    EXPECT_EQ(window.lamps(), c.lamps);
    EXPECT_EQ(std::vector<bool>({window.panels[0].marked, window.panels[1].marked}), c.marked);
    ASSERT_TRUE(opened.roundOver());
    for (std::size_t i = 0; i < c.lamps.size(); ++i) {
      if (c.lamps[i] != BedState::Running) continue;
      EXPECT_EQ(presenter.station().bed(i).state, BedState::Passed) << "bed " << i + 1;
      EXPECT_EQ(presenter.station().bed(i).last.serial, c.serialsWritten[i]) << "bed " << i + 1;
    }
  }
}

// A scan never lands in a running bed: Enter passes it by, and its serial
// number cannot be edited until it has ended.
TEST(StationPresenter, EnterPassesRunningBedsWhoseSerialsStayAsTheyAre) {
  test::SimBench bench({false, false, false}, 38400, 400);
  Opened opened(bench, "Baud=38400\n");
  FakeWindow& window = opened.window;
  StationPresenter& presenter = *opened.presenter;
  window.type({"", "SN-2", ""});
  presenter.OnStartPressed(1);
  ASSERT_TRUE(presenter.station().running());
  EXPECT_FALSE(window.panels[1].editable);
  EXPECT_TRUE(window.panels[0].editable);
  presenter.OnSerialEntered(0);
  EXPECT_EQ(window.focus, std::make_pair(std::size_t{2}, true));
  presenter.station().stop();
  ASSERT_TRUE(opened.roundOver());
  EXPECT_TRUE(window.panels[1].editable);
}

TEST(StationPresenter, ClosingDuringARoundAsksFirst) {
  // Signal: SIGTERM instead of the title bar's close, nothing asked.
  enum class Answer { None, No, Yes, NoAfterTheRoundEnded, Signal, SignalWithoutRound };
  struct Case {
    const char* name;
    Answer answer;
    bool closesAtOnce;
    bool stops;  // each bed stops after its block and the window closes
  };
  const Case cases[] = {
      {"no round: closes without a question", Answer::None, true, false},
      {"No: the round goes on", Answer::No, false, false},
      {"Yes: each bed stops, the window closes after the last", Answer::Yes, false, true},
      {"the round ended while the question was open", Answer::NoAfterTheRoundEnded, true, false},
      {"SIGTERM: each bed stops, records 143, the window closes", Answer::Signal, false, true},
      {"SIGTERM without a round: the window closes", Answer::SignalWithoutRound, true, false},
  };
  constexpr int kLong = 400;  // about 15 s at 38400 baud: every answer comes long before
  test::SimBench bench({false, false}, 38400, kLong);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Opened opened(bench, "Baud=38400\n");
    FakeWindow& window = opened.window;
    Station& station = opened.presenter->station();
    std::filesystem::remove(bench.dir.path() / "station-record.jsonl");
    const bool signal = c.answer == Answer::Signal || c.answer == Answer::SignalWithoutRound;
    if (c.answer != Answer::None && c.answer != Answer::SignalWithoutRound) {
      window.type({"SN-1", "SN-2"});
      opened.presenter->OnStartAll();
      ASSERT_TRUE(window.runUntil([&] { return station.bed(0).blocksDone > 0 && station.bed(1).blocksDone > 0; }));
    }
    window.answer = [&] {
      if (c.answer == Answer::NoAfterTheRoundEnded) {
        station.stop();
        EXPECT_TRUE(window.runUntil([&] { return !station.running(); }));
      }
      return c.answer == Answer::Yes;
    };
    if (signal) {
      opened.presenter->OnStopSignal(143);
      EXPECT_EQ(window.closed, c.closesAtOnce);
      EXPECT_EQ(opened.presenter->StopExitCode(), 143);
    } else {
      EXPECT_EQ(opened.presenter->OnClose(), c.closesAtOnce);
    }
    EXPECT_EQ(window.questions.size(), c.answer == Answer::None || signal ? 0U : 1U);
    if (!window.questions.empty()) {
      EXPECT_EQ(window.questions[0],
                "The beds are writing.\nStop every bed after the block in progress and close the station?");
    }
    if (c.stops) {
      // Asked once: a second close waits for the same end.
      EXPECT_FALSE(opened.presenter->OnClose());
      EXPECT_EQ(window.questions.size(), signal ? 0U : 1U);
      ASSERT_TRUE(window.runUntil([&] { return window.closeCalls > 0; }));
      EXPECT_TRUE(window.closed);
      // Each bed's line says how it ended and how far it got.
      const std::string record = test::Slurp(bench.dir.path() / "station-record.jsonl");
      std::size_t lines = 0;
      for (std::size_t at = 0; (at = record.find("\"exit_code\":" + std::string(signal ? "143" : "130"), at)) !=
                               std::string::npos;
           ++at) {
        ++lines;
      }
      EXPECT_EQ(lines, 2U) << record;
      for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const FakeWindow::Panel& panel = window.panels[i];
        EXPECT_EQ(panel.look.lamp, "failed");
        EXPECT_TRUE(std::regex_match(panel.look.result,
                                     std::regex("SN-[12]: Stopped: [1-9][0-9]* of 400 blocks written\\. \\(.*\\)")))
            << panel.look.result;
        // The window goes as the round was: the serials stay.
        EXPECT_EQ(panel.serial, "SN-" + std::to_string(i + 1));
      }
    } else if (c.answer == Answer::No) {
      EXPECT_TRUE(station.running());
      station.stop();
      ASSERT_TRUE(opened.roundOver());
      // A round that ends on its own clears the fields for the next tray.
      EXPECT_EQ(window.panels[0].serial, "");
    }
    EXPECT_EQ(window.closeCalls, c.stops || c.answer == Answer::SignalWithoutRound ? 1 : 0);
  }
}

// A station that starts by itself and needs serial numbers: the scan and
// its Enter are the only keys per unit, and the panels say what each bed
// waits for.
TEST(StationPresenter, ScannedSerialsStartBedsThatStartByThemselves) {
  test::SimBench bench({false, false});
  Opened opened(bench, "RequireSerial=1\nStart=insert\n");
  FakeWindow& window = opened.window;
  Station& station = opened.presenter->station();
  // Both radios are plugged in at the start: neither has its number yet.
  ASSERT_TRUE(window.runUntil([&] { return station.bed(0).unit.present && station.bed(1).unit.present; }));
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(window.panels[i].look.state, "waiting for its serial number");
    EXPECT_EQ(window.panels[i].look.mode, "start: insert");
  }
  EXPECT_FALSE(station.running());
  opened.presenter->OnShown();

  // The scanner types into the field with the focus and presses Enter.
  window.panels[0].serial = "SN-1";
  opened.presenter->OnSerialEntered(0);
  EXPECT_EQ(window.focus, (std::pair<std::size_t, bool>{1, true}));
  EXPECT_EQ(station.bed(0).state, BedState::Running);
  EXPECT_EQ(station.bed(1).state, BedState::Idle);
  ASSERT_TRUE(opened.roundOver());
  EXPECT_EQ(station.bed(0).last.serial, "SN-1");
  EXPECT_EQ(window.panels[0].look.state, "remove the radio");
  EXPECT_EQ(window.panels[0].serial, "");

  // Typed but not entered is no number yet.
  window.panels[1].serial = "SN-";
  station.startWaitingUnits();
  EXPECT_FALSE(station.running());
  window.panels[1].serial = "SN-2";
  opened.presenter->OnSerialEntered(1);
  ASSERT_TRUE(opened.roundOver());
  EXPECT_EQ(station.bed(1).last.serial, "SN-2");

  // The next unit in bed 1 comes while paused: it waits for the resume.
  const std::string link = bench.radios[0]->linkPath();
  std::filesystem::remove(link);
  ASSERT_TRUE(window.runUntil([&] { return !station.bed(0).unit.present; }));
  EXPECT_EQ(window.panels[0].look.state, "waiting for a radio");
  opened.presenter->OnPauseToggled();
  EXPECT_NE(window.counters.find("Paused: no bed starts until F8 resumes."), std::string::npos);
  window.panels[0].serial = "SN-3";
  opened.presenter->OnSerialEntered(0);
  std::filesystem::create_symlink(bench.radios[0]->devicePath(), link);
  ASSERT_TRUE(window.runUntil([&] { return station.bed(0).unit.present; }));
  EXPECT_EQ(window.panels[0].look.state, "paused");
  EXPECT_FALSE(station.running());
  opened.presenter->OnPauseToggled();
  EXPECT_EQ(window.counters.find("Paused"), std::string::npos);
  ASSERT_TRUE(opened.roundOver());
  EXPECT_EQ(station.bed(0).last.serial, "SN-3");
  EXPECT_EQ(station.session().passed, 3);
}

}  // namespace
}  // namespace tarvel
