// The window's rules without a window: switches, port and speed lists, the
// interface choice against a real settings file, lamps and geometry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dialog/DialogLogic.h"
#include "dialog/DialogTemplate.h"
#include "dialog/Looks.h"
#include "settings/ProfileFile.h"
#include "tests/support/Fakes.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

TEST(CommandLine, OnlyTheWholeSwitchIgnoringCaseSelectsAMode) {
  const struct {
    std::vector<std::string> arguments;
    bool service, dark;
  } rows[] = {
      {{}, false, false},           {{"-q"}, true, false},       {{"-Q"}, true, false},
      {{"-qk"}, true, true},        {{"-QK"}, true, true},       {{"-qK"}, true, true},
      {{"-q", ""}, false, false},  // a trailing blank
      {{"-q", "-k"}, false, false}, {{"-q", "x"}, false, false}, {{"-qkx"}, false, false},
      {{"q"}, false, false},        {{"/q"}, false, false},      {{"--q"}, false, false},
  };
  for (const auto& row : rows) {
    const std::string text = ArgumentText(row.arguments);
    SCOPED_TRACE("'" + text + "'");
    const CommandLineModes modes = ParseCommandLine(text);
    EXPECT_EQ(modes.serviceMode, row.service);
    EXPECT_EQ(modes.darkScheme, row.dark);
  }
}

TEST(CommandLine, DarkSchemePaintsTheDialogOnlyWithoutRtsPulse) {
  EXPECT_TRUE(DarkSchemeActive(true, false));
  EXPECT_FALSE(DarkSchemeActive(true, true));
  EXPECT_FALSE(DarkSchemeActive(false, false));
}

TEST(CommandLine, WindowsVersionsDecideQap10AndTheRtsPulse) {
  struct Case {
    unsigned long platformId, minor;
    bool type1Allowed, rtsPulse;
  };
  const Case cases[] = {
      {1, 10, false, false},  // Windows 98
      {1, 90, false, false},  // Me
      {2, 0, true, false},    // 2000, Vista, 10 and 11 (10.0)
      {2, 1, true, true},     // XP, 7
      {2, 2, true, true},     // Server 2003, 8
      {2, 3, true, false},    // 8.1
  };
  for (const Case& c : cases) {
    const PlatformFlags flags = WindowsPlatformFlags(c.platformId, c.minor);
    EXPECT_EQ(flags.m_bType1Allowed, c.type1Allowed) << c.platformId << "." << c.minor;
    EXPECT_EQ(flags.m_bRtsPulse, c.rtsPulse) << c.platformId << "." << c.minor;
  }
}

TEST(ControlStates, CloseAndTheControlsRemovedAtStart) {
  struct CloseCase {
    int status;
    bool accessing;
    CloseAnswer answer;
  };
  for (const CloseCase c : {CloseCase{0, false, CloseAnswer::Now}, CloseCase{1, false, CloseAnswer::Refuse},
                            CloseCase{2, false, CloseAnswer::Now}, CloseCase{0, true, CloseAnswer::Refuse},
                            CloseCase{1, true, CloseAnswer::Refuse}, CloseCase{2, true, CloseAnswer::AfterAccess}}) {
    EXPECT_EQ(AnswerClose(c.status, c.accessing), c.answer) << c.status << " " << c.accessing;
  }

  int probes = 0;
  auto probe = [&probes](bool hex, bool flash) {
    return [&probes, hex, flash] {
      ++probes;
      return ConverterAvailability{hex, flash};
    };
  };
  EXPECT_EQ(ControlsRemovedAtStart(false, probe(true, true)),
            (std::vector<int>{IDC_SFL_CONV, IDC_DUMP, IDC_LINE_GROUP, IDC_CHECK_5V, IDC_CHECK_MD}));
  EXPECT_EQ(probes, 0);  // normal mode loads no library
  EXPECT_EQ(ControlsRemovedAtStart(true, probe(true, true)), std::vector<int>{});
  EXPECT_EQ(ControlsRemovedAtStart(true, probe(false, true)), std::vector<int>{IDC_SFL_CONV});
  EXPECT_EQ(ControlsRemovedAtStart(true, probe(false, false)), (std::vector<int>{IDC_SFL_CONV, IDC_DUMP}));
  EXPECT_EQ(probes, 3);
}

TEST(PortList, ComNamesAreShortenedDevicePathsKeptOthersSkipped) {
  const struct {
    std::vector<std::string> system;
    std::vector<std::string> entries;
  } rows[] = {
      {{"COM3:", "COM1:", "LPT1:"}, {"COM3", "COM1"}},
      {{"COM12:"}, {"COM12"}},
      {{"COM5"}, {"COM5"}},
      {{"COM1:9600,n,8,1"}, {"COM1"}},
      {{"com2:", "Com4:", "FILE:"}, {}},
      {{"/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyUSB0"}, {"/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyUSB0"}},
      {{"ttyS0", "", "/devices/x"}, {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(PortBoxEntries(row.system), row.entries);
  }
}

TEST(PortList, AnEntryMatchesTheWholeNameIgnoringCase) {
  const std::vector<std::string> entries{"COM1", "COM3", "/dev/ttyUSB0"};
  EXPECT_EQ(FindEntryExact(entries, "com3"), 1);
  EXPECT_EQ(FindEntryExact(entries, "/DEV/TTYUSB0"), 2);
  EXPECT_EQ(FindEntryExact(entries, "COM"), -1);
  EXPECT_EQ(FindEntryExact(entries, "COM10"), -1);
  EXPECT_EQ(FindEntryExact(entries, ""), -1);
  EXPECT_EQ(FindEntryExact({}, "COM1"), -1);
}

TEST(SpeedBox, AStoredSpeedTheListDoesNotOfferShowsTheFirstEntry) {
  const struct {
    int type, stored, entry;
  } rows[] = {
      {kTypeQap8, 9600, 0},   {kTypeQap8, 14400, 1}, {kTypeQap8, 56000, 4}, {kTypeQap8, 115200, 5},
      {kTypeQap8, 57600, 0},  {kTypeQap8, 0, 0},     {kTypeQap8, -1, 0},    {kTypeQap10, 115200, 1},
      {kTypeQap10, 38400, 0}, {kTypeQap10, 9600, 0}, {kTypeQap10, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.type) + " " + std::to_string(row.stored));
    EXPECT_EQ(StoredSpeedEntry(row.type, row.stored), row.entry);
  }
  EXPECT_EQ(SpeedEntries(kTypeQap8),
            (std::vector<std::string>{"9600", "14400", "19200", "38400", "56000", "115200"}));
  EXPECT_EQ(SpeedEntries(kTypeQap10), (std::vector<std::string>{"38400", "115200"}));
  EXPECT_EQ(EntrySpeed("115200"), 115200);
  EXPECT_EQ(EntrySpeed(" 9600x"), 9600);
  EXPECT_EQ(EntrySpeed("fast"), 0);
}

class InterfaceChoiceTest : public ::testing::Test {
 protected:
  InterfaceChoiceTest() : ctx(opener) {}

  std::string path() const { return (dir.path() / "tarvel.ini").string(); }
  void writeFile(const std::string& text) const { dir.write("tarvel.ini", text); }
  std::string fileText() const {
    std::ifstream in(path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // A key as it stands in the file; "<absent>" when it is not there.
  std::string raw(const char* key) const { return ReadProfileString(path(), "Initialize", key, "<absent>"); }

  test::TempDir dir;
  test::FakeOpener opener;
  test::RecordingMessages messages;
  test::FakeClock clock;
  test::CountingPump pump;
  DialogPort ctx;
  Settings settings{path()};
  InterfaceChoice choice{ctx, settings};
};

TEST_F(InterfaceChoiceTest, WithoutASettingsFileStartsWithQap8Com1At38400AndWritesNothing) {
  const SpeedBox box = choice.StartupSpeedBox(choice.Load(true));
  EXPECT_EQ(ctx.m_nType, kTypeQap8);
  EXPECT_EQ(ctx.link.m_strCommName, "COM1");
  EXPECT_EQ(box.entries, SpeedEntries(kTypeQap8));
  EXPECT_EQ(box.selected, 3);
  EXPECT_EQ(ctx.link.m_nBaudRate, 38400u);
  EXPECT_TRUE(choice.LineSwitchesEnabled());
  EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(InterfaceChoiceTest, AStoredSpeedNotOfferedIsReplacedInMemoryOnly) {
  for (const auto& [type, expected] : {std::pair{0, 9600u}, std::pair{1, 38400u}}) {
    writeFile("[Initialize]\nType=" + std::to_string(type) + "\nBaudRate=12345\n");
    const SpeedBox box = choice.StartupSpeedBox(choice.Load(true));
    EXPECT_EQ(box.selected, 0);
    EXPECT_EQ(ctx.link.m_nBaudRate, expected);
    EXPECT_EQ(raw("BaudRate"), "12345");
  }
}

TEST_F(InterfaceChoiceTest, TheTypeReadsItsOwnPortAndTheKeysOwnNameCountsAsAbsent) {
  writeFile("[Initialize]\nType=1\nCommName=/dev/ttyS0\nCommName2=CommName2\nBaudRate=115200\n");
  const SpeedBox box = choice.StartupSpeedBox(choice.Load(true));
  EXPECT_EQ(ctx.link.m_strCommName, "COM3");
  EXPECT_EQ(box.entries, SpeedEntries(kTypeQap10));
  EXPECT_EQ(box.selected, 1);
  EXPECT_FALSE(choice.LineSwitchesEnabled());

  writeFile("[Initialize]\nCommName=CommName\n");
  choice.Load(true);
  EXPECT_EQ(ctx.link.m_strCommName, "COM1");
  writeFile("[Initialize]\nCommName=commname\n");
  choice.Load(true);
  EXPECT_EQ(ctx.link.m_strCommName, "commname");
}

TEST_F(InterfaceChoiceTest, WithoutQap10TheQap8ListShowsButTheQap10PortIsKept) {
  writeFile("[Initialize]\nType=1\nCommName2=/dev/ttyUSB1\nBaudRate=115200\n");
  const std::string before = fileText();
  const SpeedBox box = choice.StartupSpeedBox(choice.Load(false));
  EXPECT_EQ(ctx.m_nType, kTypeQap8);
  EXPECT_EQ(ctx.link.m_strCommName, "/dev/ttyUSB1");
  EXPECT_EQ(box.entries, SpeedEntries(kTypeQap8));
  EXPECT_EQ(box.selected, 5);
  EXPECT_EQ(fileText(), before);
}

TEST_F(InterfaceChoiceTest, SwitchingTypesStoresThePortBeingLeftAndStartsAt38400) {
  writeFile("[Initialize]\nBaudRate=9600\n");
  choice.StartupSpeedBox(choice.Load(true));
  ASSERT_EQ(ctx.link.m_nBaudRate, 9600u);

  const std::optional<SpeedBox> toQap10 = choice.SelectType(kTypeQap10);
  ASSERT_TRUE(toQap10);
  EXPECT_EQ(toQap10->entries, SpeedEntries(kTypeQap10));
  EXPECT_EQ(toQap10->selected, 0);
  EXPECT_EQ(raw("CommName"), "COM1");
  EXPECT_EQ(raw("Type"), "1");
  EXPECT_EQ(ctx.link.m_strCommName, "COM3");
  EXPECT_EQ(ctx.link.m_nBaudRate, 38400u);
  EXPECT_FALSE(choice.LineSwitchesEnabled());

  choice.PortChosen("/dev/ttyUSB3");
  EXPECT_EQ(raw("CommName2"), "/dev/ttyUSB3");
  EXPECT_EQ(raw("CommName"), "COM1");

  const std::optional<SpeedBox> toQap8 = choice.SelectType(kTypeQap8);
  ASSERT_TRUE(toQap8);
  EXPECT_EQ(toQap8->entries, SpeedEntries(kTypeQap8));
  EXPECT_EQ(toQap8->selected, 3);
  EXPECT_EQ(raw("CommName2"), "/dev/ttyUSB3");
  EXPECT_EQ(raw("Type"), "0");
  EXPECT_EQ(ctx.link.m_strCommName, "COM1");
  EXPECT_EQ(ctx.link.m_nBaudRate, 38400u);
  EXPECT_TRUE(choice.LineSwitchesEnabled());
  EXPECT_EQ(raw("BaudRate"), "9600");  // the switches never store the speed
}

TEST_F(InterfaceChoiceTest, ChoosingTheSelectedTypeChangesNothing) {
  choice.StartupSpeedBox(choice.Load(true));
  EXPECT_FALSE(choice.SelectType(kTypeQap8));
  EXPECT_FALSE(std::filesystem::exists(path()));

  writeFile("; by hand\n[Initialize]\nType=1\n");
  choice.Load(true);
  const std::string before = fileText();
  EXPECT_FALSE(choice.SelectType(kTypeQap10));
  EXPECT_EQ(fileText(), before);
}

TEST_F(InterfaceChoiceTest, PickedEntriesAreStoredForTheCurrentType) {
  choice.StartupSpeedBox(choice.Load(true));
  choice.SpeedChosen("115200");
  EXPECT_EQ(ctx.link.m_nBaudRate, 115200u);
  EXPECT_EQ(raw("BaudRate"), "115200");
  choice.PortChosen("/dev/ttyS1");
  EXPECT_EQ(raw("CommName"), "/dev/ttyS1");
  EXPECT_EQ(raw("CommName2"), "<absent>");
}

TEST_F(InterfaceChoiceTest, APortNameWithALineBreakCannotAddAKey) {
  choice.StartupSpeedBox(choice.Load(true));
  choice.PortChosen("/dev/ttyS1\nType=1\r\nBaudRate=1");
  EXPECT_EQ(settings.type(), kTypeQap8);
  EXPECT_EQ(settings.baudRate(), 38400);
}

TEST(ControlStates, AWriteLocksThePortChoicesAndRestoresTheIdleState) {
  for (const ControlEnable& control : LockedForAccess()) EXPECT_FALSE(control.enabled) << control.id;

  auto enabled = [](const std::vector<ControlEnable>& controls, int id) {
    for (const ControlEnable& control : controls) {
      if (control.id == id) return control.enabled;
    }
    ADD_FAILURE() << "no entry for " << id;
    return false;
  };
  const auto qap8 = IdleAfterAccess(kTypeQap8, true);
  const auto qap10 = IdleAfterAccess(kTypeQap10, true);
  const auto noQap10 = IdleAfterAccess(kTypeQap8, false);
  for (int id : {IDC_WRITE, IDC_PORT, IDC_BAUD, IDC_TYPE0, IDC_DUMP, IDC_SFL_CONV, IDC_BROWSE, IDC_RELOAD}) {
    EXPECT_TRUE(enabled(qap8, id) && enabled(qap10, id) && enabled(noQap10, id)) << id;
  }
  EXPECT_TRUE(enabled(qap8, IDC_CHECK_5V) && enabled(qap8, IDC_CHECK_MD));
  EXPECT_FALSE(enabled(qap10, IDC_CHECK_5V) || enabled(qap10, IDC_CHECK_MD));
  EXPECT_TRUE(enabled(qap10, IDC_TYPE1));
  EXPECT_FALSE(enabled(noQap10, IDC_TYPE1));
  // Every control the lock disables is restored.
  for (const ControlEnable& control : LockedForAccess()) enabled(qap8, control.id);
}

TEST(ControlStates, AReadAlsoLocksTheListAndLeavesWriteDisabledAfter) {
  auto state = [](const std::vector<ControlEnable>& controls, int id) {
    int found = -1;
    for (const ControlEnable& control : controls) {
      if (control.id == id) {
        EXPECT_EQ(found, -1) << "twice: " << id;
        found = control.enabled;
      }
    }
    return found;
  };
  const auto locked = LockedForRead();
  for (int id : {IDC_FILE_LIST, IDC_DUMP, IDC_BROWSE, IDC_RELOAD, IDC_WRITE, IDC_SFL_CONV, IDC_PORT, IDC_BAUD,
                 IDC_TYPE0, IDC_TYPE1, IDC_CHECK_5V, IDC_CHECK_MD}) {
    EXPECT_EQ(state(locked, id), 0) << id;
  }
  // Close refuses while the read runs.
  EXPECT_EQ(state(locked, IDC_CLOSE), -1);

  for (int type : {kTypeQap8, kTypeQap10}) {
    for (bool type1Allowed : {true, false}) {
      SCOPED_TRACE(testing::Message() << type << type1Allowed);
      const auto idle = IdleAfterRead(type, type1Allowed);
      for (const ControlEnable& control : locked) EXPECT_NE(state(idle, control.id), -1) << control.id;
      EXPECT_EQ(state(idle, IDC_WRITE), 0);
      for (int id : {IDC_FILE_LIST, IDC_DUMP, IDC_BROWSE, IDC_RELOAD, IDC_SFL_CONV, IDC_PORT, IDC_BAUD, IDC_TYPE0}) {
        EXPECT_EQ(state(idle, id), 1) << id;
      }
      EXPECT_EQ(state(idle, IDC_TYPE1), type1Allowed ? 1 : 0);
      EXPECT_EQ(state(idle, IDC_CHECK_5V), type == kTypeQap8 ? 1 : 0);
      EXPECT_EQ(state(idle, IDC_CHECK_MD), type == kTypeQap8 ? 1 : 0);
    }
  }
}

TEST(PortBox, ShortNamesAndTypedNames) {
  const struct {
    std::string port, shown;
  } rows[] = {
      {"/dev/ttyS0", "ttyS0"},
      {"/dev/pts/3", "pts/3"},
      {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "FTDI FT232R USB UART \u202685BI"},
      {"/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0",
       "Silicon Labs CP2102 USB to UART Bridge Controller \u20260001"},
      {"/dev/serial/by-id/usb-Maker_X12-if01-port0", "Maker \u2026X12"},
      {"/dev/serial/by-id/usb-Plain-if00-port0", "usb-Plain-if00-port0"},
      {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "pci-0000:00:14.0-usb-0:2:1.0-port0"},
      {"/home/tech/radio", "radio"},
      {"COM3", "COM3"},
      {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(PortDisplayName(row.port), row.shown) << row.port;

  const struct {
    std::string port, device, listed;
  } lines[] = {
      {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "/dev/ttyUSB0",
       "FTDI FT232R USB UART \u202685BI  (ttyUSB0)"},
      {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "/dev/ttyACM1",
       "pci-0000:00:14.0-usb-0:2:1.0-port0  (ttyACM1)"},
      {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "",
       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
      {"/dev/ttyS0", "/dev/ttyS0", "/dev/ttyS0"},
      {"/tmp/radio", "/dev/pts/4", "/tmp/radio"},
      {"COM3", "", "COM3"},
  };
  for (const auto& line : lines) EXPECT_EQ(PortListText(line.port, line.device), line.listed) << line.port;

  EXPECT_EQ(TypedPortName(" \t/dev/ttyACM0  "), "/dev/ttyACM0");
  EXPECT_EQ(TypedPortName("/tmp/my radio"), "/tmp/my radio");
  EXPECT_EQ(TypedPortName(" \t "), std::nullopt);

  // Linux with no port listed: COM1 is no port; a device path still is.
  EXPECT_TRUE(NoPortToUse({}, "COM1"));
  EXPECT_TRUE(NoPortToUse({}, ""));
  EXPECT_FALSE(NoPortToUse({}, "/dev/ttyUSB0"));
  EXPECT_FALSE(NoPortToUse({"/dev/ttyS0"}, "COM1"));
  // The boxes' white fields keep their dark text in the dark scheme.
  for (int id : {IDC_PORT, IDC_BAUD}) EXPECT_EQ(StaticTextColour(id, true), std::nullopt) << id;
}

TEST(CommandLine, HelpVersionAndTheStationEndBeforeTheWindowAndAnythingElseIsRefused) {
  constexpr StartRequest kRefused = StartRequest::Refused;
  const struct {
    std::vector<std::string> arguments;
    StartRequest request;
    std::string station;
    std::string refusal;
  } rows[] = {
      {{"--help"}, StartRequest::Help, "", ""},
      {{"--version"}, StartRequest::Version, "", ""},
      {{}, StartRequest::Window, "", ""},
      {{"-q"}, StartRequest::Window, "", ""},
      {{"-QK"}, StartRequest::Window, "", ""},
      {{"--station", "line 3.ini"}, StartRequest::Station, "line 3.ini", ""},
      {{"--station=C:\\line=3.ini"}, StartRequest::Station, "C:\\line=3.ini", ""},
      {{"--station"}, kRefused, "", "--station needs the station file: tarvel --station FILE.ini"},
      {{"--station", ""}, kRefused, "", "--station needs the station file: tarvel --station FILE.ini"},
      {{"--station="}, kRefused, "", "--station needs the station file: tarvel --station FILE.ini"},
      {{"--station", "a.ini", "-q"}, kRefused, "", "'-q' is not an option of tarvel: tarvel --help lists them."},
      {{"--station=a.ini", "b.ini"}, kRefused, "", "'b.ini' is not an option of tarvel: tarvel --help lists them."},
      {{"--stations", "a.ini"}, kRefused, "", "'--stations' is not an option of tarvel: tarvel --help lists them."},
      {{"--help", "-q"}, kRefused, "", "'-q' is not an option of tarvel: tarvel --help lists them."},
      {{"-q", "-k"}, kRefused, "", "'-k' is not an option of tarvel: tarvel --help lists them."},
      {{"--HELP"}, kRefused, "", "'--HELP' is not an option of tarvel: tarvel --help lists them."},
      {{"-x"}, kRefused, "", "'-x' is not an option of tarvel: tarvel --help lists them."},
      {{"fw.sfl"}, kRefused, "", "'fw.sfl' is not an option of tarvel: tarvel --help lists them."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ArgumentText(row.arguments));
    const StartChoice choice = ParseStartRequest(row.arguments);
    EXPECT_EQ(choice.request, row.request);
    EXPECT_EQ(choice.station, row.station);
    EXPECT_EQ(choice.refusal, row.refusal);
  }
}

TEST(Lamp, FollowsTheAccessStatus) {
  EXPECT_EQ(LampForStatus(0), Lamp::Idle);
  EXPECT_EQ(LampForStatus(1), Lamp::Busy);
  EXPECT_EQ(LampForStatus(2), Lamp::Error);
  EXPECT_EQ(LampForStatus(3), Lamp::Idle);
  EXPECT_EQ(LampForStatus(-1), Lamp::Idle);
}

TEST(Geometry, DialogUnitsUseTheFontsAverageCharacterSize) {
  const DialogBaseUnits units = BaseUnitsFromFont(380, 15);
  EXPECT_EQ(units.cx, 7);
  EXPECT_EQ(units.cy, 15);
  EXPECT_EQ(BaseUnitsFromFont(337, 16).cx, 6);  // (337 / 26 + 1) / 2 in whole numbers
  // Halves round away from zero, as the dialog manager's MulDiv does.
  EXPECT_EQ(DluToPixelsX(86, units), 151);
  EXPECT_EQ(DluToPixelsY(10, units), 19);
  EXPECT_EQ(DluToPixelsY(4, units), 8);
  EXPECT_EQ(MapDialogRect(kMainDialogWidthDlu, kMainDialogHeightDlu, 229, 85, units),
            (PixelRect{684, 377, 401, 159}));
}

TEST(Geometry, ProgressFillFollowsThePositionWithinTheRange) {
  const struct {
    int lower, upper, position, innerRight, width;
  } rows[] = {
      {0, 0, 0, 101, 0},  // an empty range paints no fill
      {7, 7, 9, 101, 0},     {0, 10, 0, 101, 0},         {0, 10, 5, 101, 50},
      {0, 10, 10, 101, 100}, {0, 3, 1, 92, 30},  // 30.33 + 0.5 truncates to 30
      {0, 3, 2, 92, 61},                         // 60.67 + 0.5 truncates to 61
      {10, 20, 15, 41, 20},  {0, 0x3FE, 0x155, 181, 60},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FilledWidth(row.lower, row.upper, row.position, row.innerRight), row.width)
        << row.lower << ".." << row.upper << " at " << row.position;
  }
}

TEST(Geometry, TheStatusBarProgressStepsEvery20Blocks) {
  EXPECT_EQ(StatusProgressUpper(0), 0);
  EXPECT_EQ(StatusProgressUpper(19), 0);
  EXPECT_EQ(StatusProgressUpper(20), 1);
  EXPECT_EQ(StatusProgressUpper(0x0FFF), 204);
  EXPECT_EQ(StatusProgressUpper(0xFFFF), 3276);
}

TEST(Geometry, TheGradientKeepsTheLastPenAndSkipsAnEmptyArea) {
  EXPECT_EQ(GradientPen(0, 0), -1);
  EXPECT_EQ(GradientPen(0, 64), 0);
  EXPECT_EQ(GradientPen(1, 64), 1);
  EXPECT_EQ(GradientPen(59, 64), 59);
  EXPECT_EQ(GradientPen(60, 64), 59);
  EXPECT_EQ(GradientPen(64, 64), 59);
  EXPECT_EQ(GradientPen(188, 377), 31);
  for (int y = 0; y <= 377; ++y) {
    const int pen = GradientPen(y, 377);
    ASSERT_GE(pen, 0);
    ASSERT_LT(pen, kGradientPens);
  }
}

}  // namespace
}  // namespace tarvel
