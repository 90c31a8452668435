// The one owner of the settings file "tarvel.ini": its sections, its keys
// and the values that stand in for absent keys. Every read goes to the file
// and every setter writes it at once. A write that fails changes nothing;
// callers may ignore it and go on with the values they hold.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/ProfileFile.h"

namespace tarvel {

class Settings {
 public:
  explicit Settings(std::string path) : m_file(std::move(path)) {}

  const std::string& path() const { return m_file.path(); }

  int type() const;                // interface type: 0 = QAP-8, 1 = QAP-10
  std::string commName() const;    // port of the QAP-8 interface
  std::string commName2() const;   // port of the QAP-10 interface
  int baudRate() const;
  std::string sflStart() const;    // first block of a HEX-to-SFL conversion, 3 hex digits
  std::string sflEnd() const;      // last block of a HEX-to-SFL conversion
  // [Manifest] Keys=: the trusted minisign public key files, separated by
  // ';', a relative one taken from the settings file's folder.
  std::vector<std::string> manifestKeys() const;
  // [Manifest] RequireManifest=1: a file its folder's SHA256SUMS does not
  // vouch for is not written.
  bool requireManifest() const;

  bool setType(int type);
  bool setCommName(const std::string& port);
  bool setCommName2(const std::string& port);
  bool setBaudRate(int baudRate);
  bool setSflStart(const std::string& block);
  bool setSflEnd(const std::string& block);
  // Records the program's version; done at every start, never read back.
  bool writeVersion();
  // A file too large to be read or written: the settings are the defaults,
  // and the window says so at start.
  bool fileTooLarge() const { return ProfileFileTooLarge(m_file.path()); }

 private:
  ProfileFile m_file;
};

// The longest start-up directory the program takes, in characters.
inline constexpr std::size_t kStartDirMaxChars = 254;

// The settings file of a start-up directory.
std::string SettingsPathFor(const std::string& startDir);

// The working directory at start. One longer than kStartDirMaxChars (or one
// that cannot be found out) gives way to the executable's folder, and when
// that is too long as well, to "/".
std::string StartupDirectory();

// The choice behind StartupDirectory, from what the system reported.
std::string ChooseStartupDirectory(const std::optional<std::string>& workingDir,
                                   const std::optional<std::string>& executablePath);

}  // namespace tarvel
