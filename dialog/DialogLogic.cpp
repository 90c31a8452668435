#include "dialog/DialogLogic.h"

#include <algorithm>
#include <cstdlib>

#include "base/AsciiCase.h"
#include "base/Strings.h"
#include "dialog/DialogTemplate.h"
#include "serial/PortList.h"

namespace tarvel {

namespace {

constexpr std::string_view kSwitchService = "-q";
constexpr std::string_view kSwitchDark = "-qk";

constexpr int kSpeedAfterTypeChange = 38400;

// The dialog manager's rounding: a * b / c to the nearest integer, halves
// away from zero.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

PlatformFlags LinuxPlatformFlags() { return PlatformFlags{true, false}; }

PlatformFlags WindowsPlatformFlags(unsigned long platformId, unsigned long minorVersion) {
  constexpr unsigned long kWindows9x = 1;
  if (platformId == kWindows9x) return PlatformFlags{false, false};
  return PlatformFlags{true, minorVersion == 1 || minorVersion == 2};
}

std::string ArgumentText(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    if (&argument != &arguments.front()) text += ' ';
    text += argument;
  }
  return text;
}

CommandLineModes ParseCommandLine(std::string_view argumentText) {
  if (EqualsNoCase(argumentText, kSwitchService)) return {true, false};
  if (EqualsNoCase(argumentText, kSwitchDark)) return {true, true};
  return {};
}

StartChoice ParseStartRequest(const std::vector<std::string>& arguments) {
  constexpr std::string_view kStation = "--station";
  const auto refused = [](StringId id, const std::string& argument) {
    return StartChoice{StartRequest::Refused, {}, FormatString(id, {argument})};
  };
  if (arguments.empty()) return {};
  const std::string& first = arguments.front();
  if (first == kStation) {
    if (arguments.size() < 2 || arguments[1].empty()) return refused(StringId::WindowStationFileMissing, first);
    if (arguments.size() > 2) return refused(StringId::WindowUnknownOption, arguments[2]);
    return {StartRequest::Station, arguments[1], {}};
  }
  if (first.starts_with(std::string(kStation) + "=")) {
    if (first.size() == kStation.size() + 1) return refused(StringId::WindowStationFileMissing, std::string(kStation));
    if (arguments.size() > 1) return refused(StringId::WindowUnknownOption, arguments[1]);
    return {StartRequest::Station, first.substr(kStation.size() + 1), {}};
  }
  const bool windowSwitch = EqualsNoCase(first, kSwitchService) || EqualsNoCase(first, kSwitchDark);
  if (first != "--help" && first != "--version" && !windowSwitch) return refused(StringId::WindowUnknownOption, first);
  if (arguments.size() > 1) return refused(StringId::WindowUnknownOption, arguments[1]);
  if (first == "--help") return {StartRequest::Help, {}, {}};
  if (first == "--version") return {StartRequest::Version, {}, {}};
  return {};
}

bool DarkSchemeActive(bool darkScheme, bool rtsPulse) { return darkScheme && !rtsPulse; }

std::vector<std::string> PortBoxEntries(const std::vector<std::string>& systemPorts) {
  std::vector<std::string> entries;
  for (const std::string& name : systemPorts) {
    if (name.starts_with("COM")) {
      entries.push_back(name.substr(0, name.find(':')));
    } else if (name.starts_with("/dev/")) {
      entries.push_back(name);
    }
  }
  return entries;
}

bool NoPortToUse(const std::vector<std::string>& systemPorts, const std::string& port) {
#ifdef _WIN32
  (void)systemPorts;
  (void)port;
  return false;
#else
  return systemPorts.empty() && !port.starts_with('/');
#endif
}

std::vector<std::string> SystemPortNames() {
  std::vector<std::string> names;
  for (const PortInfo& port : ListSerialPorts()) {
    names.push_back(port.byId.empty() ? port.device : port.byId);
  }
  return names;
}

namespace {

// usb-MAKER_PRODUCT_SERIAL-ifNN-portN as "MAKER PRODUCT ...TAIL": two
// adapters of one kind differ only in their serial number's end. Other
// names as they are.
std::string ByIdDisplayName(const std::string& name) {
  constexpr std::string_view kUsb = "usb-";
  constexpr std::size_t kSerialTail = 4;
  if (!name.starts_with(kUsb)) return name;
  std::string rest = name.substr(kUsb.size());
  if (const std::size_t interface = rest.rfind("-if"); interface != std::string::npos) rest.resize(interface);
  const std::size_t lastUnderscore = rest.rfind('_');
  if (lastUnderscore == std::string::npos || lastUnderscore == 0) return name;
  std::string maker = rest.substr(0, lastUnderscore);
  std::replace(maker.begin(), maker.end(), '_', ' ');
  const std::string serial = rest.substr(lastUnderscore + 1);
  if (serial.empty()) return maker;
  return maker + " \u2026" + (serial.size() > kSerialTail ? serial.substr(serial.size() - kSerialTail) : serial);
}

}  // namespace

std::string PortDisplayName(const std::string& port) {
  constexpr std::string_view kDev = "/dev/";
  constexpr std::string_view kSerialLinks = "/dev/serial/";
  constexpr std::string_view kById = "/dev/serial/by-id/";
  if (port.starts_with(kDev) && !port.starts_with(kSerialLinks)) return port.substr(kDev.size());
  if (port.starts_with(kById)) return ByIdDisplayName(port.substr(kById.size()));
  const std::size_t slash = port.rfind('/');
  return slash == std::string::npos ? port : port.substr(slash + 1);
}

std::string PortListText(const std::string& port, const std::string& device) {
  if (!port.starts_with("/dev/serial/") || device.empty() || device == port) return port;
  return PortDisplayName(port) + "  (" + PortDisplayName(device) + ")";
}

std::optional<std::string> TypedPortName(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t last = text.find_last_not_of(kBlanks);
  return std::string(text.substr(first, last - first + 1));
}

int FindEntryExact(const std::vector<std::string>& entries, std::string_view text) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (EqualsNoCase(entries[i], text)) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> SpeedEntries(int type) {
  std::vector<std::string> entries;
  for (unsigned speed : FactsOf(CableOfType(type)).speeds) entries.push_back(std::to_string(speed));
  return entries;
}

int StoredSpeedEntry(int type, int storedSpeed) {
  const std::vector<std::string> entries = SpeedEntries(type);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (EntrySpeed(entries[i]) == storedSpeed) return static_cast<int>(i);
  }
  return 0;
}

int EntrySpeed(const std::string& entry) {
  // The entries are the box's own; anything else reads as atoi reads it.
  return std::atoi(entry.c_str());  // NOLINT(cert-err34-c)
}

int InterfaceChoice::Load(bool type1Allowed) {
  m_ctx.m_nType = m_settings.type();
  m_ctx.link.m_strCommName = m_ctx.cable() == Cable::Qap10 ? m_settings.commName2() : m_settings.commName();
  const int storedSpeed = m_settings.baudRate();
  if (!type1Allowed) m_ctx.setCable(Cable::Qap8);
  return storedSpeed;
}

SpeedBox InterfaceChoice::StartupSpeedBox(int storedSpeed) {
  // Only 1 selects the QAP-10 list; any other stored type shows QAP-8's.
  SpeedBox box{SpeedEntries(m_ctx.m_nType), StoredSpeedEntry(m_ctx.m_nType, storedSpeed)};
  m_ctx.link.m_nBaudRate =
      static_cast<unsigned>(EntrySpeed(box.entries[static_cast<std::size_t>(box.selected)]));
  return box;
}

std::optional<SpeedBox> InterfaceChoice::SelectType(int type) {
  if (m_ctx.m_nType == type) return std::nullopt;
  const Cable cable = CableOfType(type);
  m_ctx.setCable(cable);
  if (cable == Cable::Qap8) {
    m_settings.setCommName2(m_ctx.link.m_strCommName);
    m_settings.setType(kTypeQap8);
    m_ctx.link.m_strCommName = m_settings.commName();
  } else {
    m_settings.setCommName(m_ctx.link.m_strCommName);
    m_settings.setType(kTypeQap10);
    m_ctx.link.m_strCommName = m_settings.commName2();
  }
  SpeedBox box{SpeedEntries(type), 0};
  box.selected = FindEntryExact(box.entries, std::to_string(kSpeedAfterTypeChange));
  m_ctx.link.m_nBaudRate = kSpeedAfterTypeChange;
  return box;
}

void InterfaceChoice::PortChosen(const std::string& entry) {
  m_ctx.link.m_strCommName = entry;
  if (m_ctx.cable() == Cable::Qap10) {
    m_settings.setCommName2(entry);
  } else {
    m_settings.setCommName(entry);
  }
}

void InterfaceChoice::SpeedChosen(const std::string& entry) {
  const int speed = EntrySpeed(entry);
  m_ctx.link.m_nBaudRate = static_cast<unsigned>(speed);
  m_settings.setBaudRate(speed);
}

std::vector<ControlEnable> LockedForAccess() {
  return {{IDC_WRITE, false},    {IDC_PORT, false},     {IDC_BAUD, false},     {IDC_TYPE0, false},
          {IDC_TYPE1, false},    {IDC_CHECK_5V, false}, {IDC_CHECK_MD, false}, {IDC_DUMP, false},
          {IDC_SFL_CONV, false}, {IDC_BROWSE, false},   {IDC_RELOAD, false}};
}

std::vector<ControlEnable> IdleAfterAccess(int type, bool type1Allowed) {
  const bool lines = FactsOf(CableOfType(type)).lineSwitches;
  return {{IDC_WRITE, true},         {IDC_PORT, true},      {IDC_BAUD, true},
          {IDC_TYPE0, true},         {IDC_TYPE1, type1Allowed}, {IDC_CHECK_5V, lines},
          {IDC_CHECK_MD, lines},     {IDC_DUMP, true},      {IDC_SFL_CONV, true},
          {IDC_BROWSE, true},        {IDC_RELOAD, true}};
}

std::vector<ControlEnable> LockedForRead() {
  std::vector<ControlEnable> controls = LockedForAccess();
  controls.push_back({IDC_FILE_LIST, false});
  return controls;
}

std::vector<ControlEnable> IdleAfterRead(int type, bool type1Allowed) {
  std::vector<ControlEnable> controls = IdleAfterAccess(type, type1Allowed);
  for (ControlEnable& control : controls) {
    if (control.id == IDC_WRITE) control.enabled = false;
  }
  controls.push_back({IDC_FILE_LIST, true});
  return controls;
}

CloseAnswer AnswerClose(int status, bool accessing) {
  const AccessStatus access = StatusOf(status);
  if (access == AccessStatus::Accessing || (accessing && access != AccessStatus::SyncFailed)) {
    return CloseAnswer::Refuse;
  }
  return accessing ? CloseAnswer::AfterAccess : CloseAnswer::Now;
}

std::vector<int> ControlsRemovedAtStart(bool serviceMode, const std::function<ConverterAvailability()>& probe) {
  if (!serviceMode) return {IDC_SFL_CONV, IDC_DUMP, IDC_LINE_GROUP, IDC_CHECK_5V, IDC_CHECK_MD};
  const ConverterAvailability converters = probe();
  std::vector<int> removed;
  if (!converters.hexToSfl) removed.push_back(IDC_SFL_CONV);
  if (!converters.flashImage) removed.push_back(IDC_DUMP);
  return removed;
}

Lamp LampForStatus(int status) {
  switch (StatusOf(status)) {
    case AccessStatus::Accessing:
      return Lamp::Busy;
    case AccessStatus::SyncFailed:
      return Lamp::Error;
    case AccessStatus::Idle:
      break;
  }
  return Lamp::Idle;
}

DialogBaseUnits BaseUnitsFromFont(int alphabetWidthPx, int fontHeightPx) {
  return DialogBaseUnits{(alphabetWidthPx / 26 + 1) / 2, fontHeightPx};
}

int DluToPixelsX(int dlu, DialogBaseUnits units) { return MulDiv(dlu, units.cx, 4); }
int DluToPixelsY(int dlu, DialogBaseUnits units) { return MulDiv(dlu, units.cy, 8); }

PixelRect MapDialogRect(int x, int y, int cx, int cy, DialogBaseUnits units) {
  return PixelRect{DluToPixelsX(x, units), DluToPixelsY(y, units), DluToPixelsX(cx, units),
                   DluToPixelsY(cy, units)};
}

int FilledWidth(int lower, int upper, int position, int innerRight) {
  if (upper == lower) return 0;
  const double fraction = static_cast<double>(position - lower) / static_cast<double>(upper - lower);
  // Adding a half and truncating is the bar's own rounding; below the lower
  // bound it goes toward zero, where lround would not.
  return static_cast<int>(fraction * (innerRight - 1) + 0.5);  // NOLINT(bugprone-incorrect-roundings)
}

int StatusProgressUpper(std::uint16_t endBlock) { return endBlock / 20; }

int GradientPen(int y, int bottom) {
  if (bottom <= 0) return -1;
  return std::min(64 * y / bottom, kGradientPens - 1);
}

}  // namespace tarvel
