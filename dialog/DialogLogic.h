// The rules of the main window that need no window: the command-line
// switches, the port and speed lists, the interface choice with its settings
// writes, the enabled state of the controls, the lamp, and the geometry of
// dialog units, the progress fill and the dark gradient.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/ConverterProbe.h"
#include "dialog/DialogPort.h"
#include "settings/Settings.h"

namespace tarvel {

// What the system allows, fixed at start-up. On Linux the QAP-10 cable may
// be chosen and its start needs no RTS pulse (which also lets the dark
// scheme paint the dialog).
struct PlatformFlags {
  bool m_bType1Allowed = true;
  bool m_bRtsPulse = false;
};
PlatformFlags LinuxPlatformFlags();
// On Windows from the system's version record: the 95/98/Me family
// (platform id 1) cannot use QAP-10; elsewhere a minor version of 1 or 2
// (XP, Server 2003, 7, 8) starts QAP-10 with the RTS pulse.
PlatformFlags WindowsPlatformFlags(unsigned long platformId, unsigned long minorVersion);

struct CommandLineModes {
  bool serviceMode = false;
  bool darkScheme = false;
};

// The arguments after the program name, joined by single blanks: the text
// that the switches are compared with.
std::string ArgumentText(const std::vector<std::string>& arguments);

// "-q" selects service mode, "-qk" service mode and the dark scheme; the
// whole text is compared, ignoring case, so anything more selects neither.
CommandLineModes ParseCommandLine(std::string_view argumentText);

// What the window's command line asks for, decided before anything is
// touched. "--help" or "--version" alone: the text is printed and the
// program ends before its settings or its window. "--station FILE" or
// "--station=FILE": the station window over that file. Nothing, "-q" or
// "-qk" (any case): the main window, which reads its own switches. Anything
// else is refused with a text that names it: a mistyped switch must not
// open a window that looks as if it had been taken.
enum class StartRequest { Window, Help, Version, Station, Refused };
struct StartChoice {
  StartRequest request = StartRequest::Window;
  std::string station;  // Station: the station file
  std::string refusal;  // Refused: why
};
StartChoice ParseStartRequest(const std::vector<std::string>& arguments);

// The dark scheme paints the dialog only where no RTS pulse is needed.
bool DarkSchemeActive(bool darkScheme, bool rtsPulse);

// The port box entries for the system's port names, in the system's order.
// "COM" names lose the first colon and what follows ("COM3:" lists as
// "COM3"); device paths ("/dev/ttyUSB0") are listed as they are; anything
// else (LPT1:, FILE:) is left out.
std::vector<std::string> PortBoxEntries(const std::vector<std::string>& systemPorts);

// No port to offer: the system lists none and `port` is no device path
// (the default COM1, meaningless here). Never on Windows, whose COM names
// are ports.
bool NoPortToUse(const std::vector<std::string>& systemPorts, const std::string& port);

// The system's serial ports, each once: its stable name under
// /dev/serial/by-id where it has one, else its device path.
std::vector<std::string> SystemPortNames();

// What the narrow port box shows of a port: the name under /dev
// ("ttyUSB0", "pts/3"), the last part of a /dev/serial/by-id or by-path
// name or of any other path, a "COM" name as it is.
std::string PortDisplayName(const std::string& port);

// A port's line in the box's drop-down list: a name under /dev/serial/ as
// its short name with the device it leads to beside it ("FTDI FT232R
// …A1B2  (ttyUSB0)"), any other port as its whole path. `device`: the
// device the name leads to; empty when unknown.
std::string PortListText(const std::string& port, const std::string& device);

// A port typed into the box, without surrounding blanks; none for an empty
// text.
std::optional<std::string> TypedPortName(std::string_view text);

// The entry equal to `text` without regard to ASCII case, as the combo box
// finds an exact string; -1 when there is none.
int FindEntryExact(const std::vector<std::string>& entries, std::string_view text);

// The speed box of an interface type: the cable's speeds, and the entry
// selected.
struct SpeedBox {
  std::vector<std::string> entries;
  int selected = 0;
};
std::vector<std::string> SpeedEntries(int type);

// The entry that shows a stored speed at start-up: its place in the list,
// or the first entry when the list does not offer it.
int StoredSpeedEntry(int type, int storedSpeed);

// A speed box entry read as a decimal integer, as atoi reads it.
int EntrySpeed(const std::string& entry);

// The interface type, the port and the speed of the window, kept in the
// loader context, with the settings writes of the port box, the speed box
// and the two radio buttons.
class InterfaceChoice {
 public:
  InterfaceChoice(DialogPort& ctx, Settings& settings) : m_ctx(ctx), m_settings(settings) {}

  // Start-up: the type and its port from the settings. A system without
  // QAP-10 falls back to QAP-8 but keeps the port read for QAP-10; the
  // settings file is not changed. Returns the stored speed.
  int Load(bool type1Allowed);
  // Start-up: the speed box for the stored speed; the speed becomes the
  // selected entry's, so a speed the list does not offer is replaced (the
  // settings keep it until the user picks one).
  SpeedBox StartupSpeedBox(int storedSpeed);

  // A radio button clicked. Nothing (no box change, no write) when `type`
  // is the current one. Otherwise the port of the type being left is
  // stored, the new type and its port are read, and the speed box starts
  // at 38400 without storing it.
  std::optional<SpeedBox> SelectType(int type);

  // The user picked a port or a speed entry.
  void PortChosen(const std::string& entry);
  void SpeedChosen(const std::string& entry);

  // "+5V" and "MD" work only with the QAP-8 cable (any type other than 1).
  bool LineSwitchesEnabled() const { return m_ctx.cableFacts().lineSwitches; }

 private:
  DialogPort& m_ctx;
  Settings& m_settings;
};

struct ControlEnable {
  int id;
  bool enabled;
};

// The controls that a write disables: also "&Browse..." and "Re&load",
// whose dialogs and list changes have no place in a write. "+5V" and "MD"
// are also unchecked.
std::vector<ControlEnable> LockedForAccess();
// The idle state that the write restores: WRITE enabled (a file was
// chosen), QAP-10 where allowed, the line switches with QAP-8 only.
std::vector<ControlEnable> IdleAfterAccess(int type, bool type1Allowed);

// The controls that a flash read disables: the write's, and also the file
// list, so that the selection cannot change under the read. "Cl&ose" stays
// enabled. "+5V" and "MD" are also unchecked.
std::vector<ControlEnable> LockedForRead();
// The idle state after a read: as after a write, with the file list enabled
// again, but WRITE left disabled until a file is clicked again.
std::vector<ControlEnable> IdleAfterRead(int type, bool type1Allowed);

// "Cl&ose": refused while the lamp is red and for the moments of an access
// around it; after a synchronisation error (the yellow lamp) the dialog
// ends once the access is over; otherwise at once.
enum class CloseAnswer { Refuse, AfterAccess, Now };
CloseAnswer AnswerClose(int status, bool accessing);

// The controls that start-up removes: in normal mode the converter buttons
// and the line switches with their frame; in service mode each converter
// button whose library is missing (`probe` runs only then).
std::vector<int> ControlsRemovedAtStart(bool serviceMode, const std::function<ConverterAvailability()>& probe);

// The access lamp of status pane 1.
enum class Lamp { Idle, Busy, Error };
Lamp LampForStatus(int status);

// Dialog base units: the dialog font's average character width and its
// height, in pixels.
struct DialogBaseUnits {
  int cx = 0;
  int cy = 0;
};
// From the width of "A".."Z" "a".."z" and the font height, as the dialog
// manager measures a dialog font.
DialogBaseUnits BaseUnitsFromFont(int alphabetWidthPx, int fontHeightPx);
int DluToPixelsX(int dlu, DialogBaseUnits units);
int DluToPixelsY(int dlu, DialogBaseUnits units);

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PixelRect&) const = default;
};
PixelRect MapDialogRect(int x, int y, int cx, int cy, DialogBaseUnits units);

// The filled width of the write progress bar, in pixels from the inner
// rectangle's left edge: (position - lower) / (upper - lower) times
// (innerRight - 1), rounded half up; 0 for an empty range.
int FilledWidth(int lower, int upper, int position, int innerRight);

// The upper bound of the status bar's progress: one step per 20 blocks.
int StatusProgressUpper(std::uint16_t endBlock);

// The pen (0 ... 59, black to dark red) of row `y` of the dark gradient in a
// client area whose bottom is `bottom`; rows past the last pen keep it.
// -1 for a client area of height 0, which paints nothing.
inline constexpr int kGradientPens = 60;
int GradientPen(int y, int bottom);

}  // namespace tarvel
