// Checks of the Windows-only code that need no radio, run under wine by
// tests/windows/wine-tests (no test framework is cross-built).
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/FileIo.h"
#include "base/Locale.h"
#include "serial/Win32SerialPort.h"
#include "settings/ProfileFile.h"

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const char* what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  (ok ? passed : failed)++;
}

// The flags word of a DCB: the bit fields after DCBlength and BaudRate.
DWORD Flags(const DCB& dcb) {
  DWORD flags = 0;
  std::memcpy(&flags, reinterpret_cast<const char*>(&dcb) + 2 * sizeof(DWORD), sizeof flags);
  return flags;
}
void SetFlags(DCB& dcb, DWORD flags) {
  std::memcpy(reinterpret_cast<char*>(&dcb) + 2 * sizeof(DWORD), &flags, sizeof flags);
}

void LineSettings() {
  // Bits 4-5, 8-9 and 12-13 cleared, bits 2 and 3 set, bit 1 cleared,
  // bit 0 set; every other bit as the driver left it.
  for (const DWORD before : {0x00000000UL, 0xFFFFFFFFUL, 0x00004040UL}) {
    DCB dcb{};
    SetFlags(dcb, before);
    dcb.ErrorChar = 0x3F;
    dcb.EofChar = 0x1A;
    dcb.EvtChar = 0x7E;
    dcb.wReserved = 0x1234;
    tarvel::ApplyLineSettings(dcb, 14400);
    const DWORD expected = (before & ~0x3332UL) | 0x000DUL;
    Check(Flags(dcb) == expected, "DCB flags word");
    Check(dcb.DCBlength == 28 && dcb.BaudRate == 14400 && dcb.ByteSize == 8 && dcb.Parity == 0 &&
              dcb.StopBits == 2,
          "DCB length, rate, 8 data bits, no parity, two stop bits");
    Check(dcb.XonLim == 100 && dcb.XoffLim == 100 && dcb.XonChar == 0x11 && dcb.XoffChar == 0x13,
          "DCB XON/XOFF limits and characters");
    Check(dcb.ErrorChar == 0x3F && dcb.EofChar == 0x1A && dcb.EvtChar == 0x7E && dcb.wReserved == 0x1234,
          "DCB fields not named keep the driver's values");
  }
}

void Timeouts() {
  COMMTIMEOUTS t{7, 8, 9, 10, 11};
  tarvel::ApplyTimeouts(t, tarvel::PortTimeouts{});
  Check(t.ReadIntervalTimeout == 7 && t.ReadTotalTimeoutMultiplier == 3000 && t.ReadTotalTimeoutConstant == 9 &&
            t.WriteTotalTimeoutMultiplier == 10 && t.WriteTotalTimeoutConstant == 100,
        "COMMTIMEOUTS: 3000 ms per byte read, 10 ms per byte + 100 ms written, the rest kept");
}

void DevicePaths() {
  Check(tarvel::DevicePath("COM1") == "\\\\.\\COM1", "COM1 in the device namespace");
  Check(tarvel::DevicePath("COM12") == "\\\\.\\COM12", "COM12 in the device namespace");
  Check(tarvel::DevicePath("\\\\.\\COM3") == "\\\\.\\COM3", "a name with its namespace stays");
}

void UnicodeFiles() {
  namespace fileio = tarvel::fileio;
  const std::string folder = fileio::TextOf(std::filesystem::temp_directory_path()) + "\\tarvel-Ünï-" +
                             std::to_string(fileio::ProcessId()) + "-\xE5\x9B\xBA\xE4\xBB\xB6";
  std::filesystem::create_directory(fileio::PathOf(folder));
  const std::string name = folder + "\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB-\xE2\x82\xAC.sfl";
  const std::string temporary = folder + "\\new-\xE2\x82\xAC.part";
  for (const auto& [path, text] : {std::pair{name, std::string("old")}, std::pair{temporary, std::string("new!")}}) {
    const int fd = fileio::Open(path, fileio::OpenFor::CreateNew);
    Check(fd >= 0 && fileio::Write(fd, text.data(), text.size()) == static_cast<long long>(text.size()) &&
              fileio::Close(fd) == 0,
          "create a file with a Unicode name");
  }
  Check(fileio::Open(name, fileio::OpenFor::CreateNew) < 0 && errno == EEXIST, "CreateNew refuses an existing name");
  Check(fileio::Rename(temporary, name) == 0, "rename replaces the existing file");
  fileio::FileInfo info;
  Check(fileio::StatPath(name, info) == 0 && info.regular && info.size == 4, "the replaced file has the new bytes");
  const auto entries = fileio::ListFolder(folder, [](std::string_view) { return true; });
  Check(entries.size() == 1 && entries[0].name == "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB-\xE2\x82\xAC.sfl" &&
            entries[0].info.size == 4,
        "the folder lists the Unicode name in UTF-8");
  Check(fileio::SameFile(name, folder + "\\.\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB-\xE2\x82\xAC.sfl"), "SameFile");
  fileio::Remove(name);
  std::filesystem::remove(fileio::PathOf(folder));
}

// The settings file in a Unicode folder: written through a temporary file
// and replaced in one step, read back, and refused while read-only.
void SettingsFile() {
  namespace fileio = tarvel::fileio;
  const std::string folder = fileio::TextOf(std::filesystem::temp_directory_path()) + "\\tarvel-ini-" +
                             std::to_string(fileio::ProcessId()) + "-\xE2\x82\xAC";
  std::filesystem::create_directory(fileio::PathOf(folder));
  const std::string ini = folder + "\\tarvel.ini";
  const bool written = tarvel::WriteProfileString(ini, "Initialize", "CommName", "COM5") &&
                       tarvel::WriteProfileString(ini, "Initialize", "BaudRate", "115200") &&
                       tarvel::WriteProfileString(ini, "Initialize", "CommName", "COM12");
  Check(written, "settings: three writes");
  Check(tarvel::ReadProfileString(ini, "Initialize", "CommName", "") == "COM12" &&
            tarvel::ReadProfileString(ini, "initialize", "baudrate", "") == "115200",
        "settings: read back, names in any case");
  Check(fileio::ListFolder(folder, [](std::string_view) { return true; }).size() == 1,
        "settings: no temporary file left");
  ::SetFileAttributesW(fileio::PathOf(ini).c_str(), FILE_ATTRIBUTE_READONLY);
  Check(!tarvel::WriteProfileString(ini, "Initialize", "CommName", "COM1") &&
            tarvel::ReadProfileString(ini, "Initialize", "CommName", "") == "COM12",
        "settings: a read-only file is left as it is");
  ::SetFileAttributesW(fileio::PathOf(ini).c_str(), FILE_ATTRIBUTE_NORMAL);
  fileio::Remove(ini);
  std::filesystem::remove(fileio::PathOf(folder));
}

void CaseAndCalendar() {
  Check(tarvel::UnicodeLowerCase(U'\u00C4') == U'\u00E4' && tarvel::UnicodeLowerCase(U'\u03A3') == U'\u03C3' &&
            tarvel::UnicodeLowerCase(U'\u4E00') == U'\u4E00',
        "Unicode lower case");
  std::tm parts{};
  Check(tarvel::UtcParts(86400 * 365 + 3600, parts) && parts.tm_year == 71 && parts.tm_yday == 0 &&
            parts.tm_hour == 1,
        "UTC calendar parts");
}

}  // namespace

int main() {
  LineSettings();
  Timeouts();
  DevicePaths();
  UnicodeFiles();
  SettingsFile();
  CaseAndCalendar();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
