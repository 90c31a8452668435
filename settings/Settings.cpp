#include "settings/Settings.h"

#include <filesystem>
#include <string_view>
#include <vector>

#include "base/FileIo.h"
#include "base/Strings.h"

namespace tarvel {

namespace {

constexpr std::string_view kSectionVersion = "Version";
constexpr std::string_view kSectionInitialize = "Initialize";
constexpr std::string_view kSectionSfl = "SFL";
constexpr std::string_view kSectionManifest = "Manifest";

constexpr std::string_view kKeyVersion = "Version";
constexpr std::string_view kKeyType = "Type";
constexpr std::string_view kKeyCommName = "CommName";
constexpr std::string_view kKeyCommName2 = "CommName2";
constexpr std::string_view kKeyBaudRate = "BaudRate";
constexpr std::string_view kKeyStart = "Start";
constexpr std::string_view kKeyEnd = "End";
constexpr std::string_view kKeyKeys = "Keys";
constexpr std::string_view kKeyRequireManifest = "RequireManifest";

constexpr int kDefaultType = 0;  // QAP-8
constexpr std::string_view kDefaultCommName = "COM1";
constexpr std::string_view kDefaultCommName2 = "COM3";
constexpr int kDefaultBaudRate = 38400;
constexpr std::string_view kDefaultSflStart = "000";
constexpr std::string_view kDefaultSflEnd = "3FF";

constexpr std::string_view kSettingsFileName = "tarvel.ini";

// A text key is read with its own name as the stand-in; getting the name
// back, byte for byte, means the key is absent. The same word in another
// case is a real value.
std::string ReadText(const ProfileFile& file, std::string_view section, std::string_view key,
                     std::string_view absent) {
  std::string value = file.readString(section, key, key);
  if (value == key) return std::string(absent);
  return value;
}

}  // namespace

int Settings::type() const { return m_file.readInt(kSectionInitialize, kKeyType, kDefaultType); }

std::string Settings::commName() const {
  return ReadText(m_file, kSectionInitialize, kKeyCommName, kDefaultCommName);
}

std::string Settings::commName2() const {
  return ReadText(m_file, kSectionInitialize, kKeyCommName2, kDefaultCommName2);
}

int Settings::baudRate() const {
  return m_file.readInt(kSectionInitialize, kKeyBaudRate, kDefaultBaudRate);
}

std::string Settings::sflStart() const {
  return ReadText(m_file, kSectionSfl, kKeyStart, kDefaultSflStart);
}

std::string Settings::sflEnd() const {
  return ReadText(m_file, kSectionSfl, kKeyEnd, kDefaultSflEnd);
}

std::vector<std::string> Settings::manifestKeys() const {
  const std::string list = ReadText(m_file, kSectionManifest, kKeyKeys, "");
  const std::filesystem::path folder = fileio::PathOf(m_file.path()).parent_path();
  std::vector<std::string> keys;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string key = list.substr(start, end - start);
    while (!key.empty() && key.front() == ' ') key.erase(0, 1);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    if (!key.empty()) {
      const std::filesystem::path path = fileio::PathOf(key);
      keys.push_back(path.is_absolute() ? key : fileio::TextOf(folder / path));
    }
    start = end + 1;
  }
  return keys;
}

bool Settings::requireManifest() const { return m_file.readInt(kSectionManifest, kKeyRequireManifest, 0) == 1; }

bool Settings::setType(int type) { return m_file.writeInt(kSectionInitialize, kKeyType, type); }

bool Settings::setCommName(const std::string& port) {
  return m_file.writeString(kSectionInitialize, kKeyCommName, port);
}

bool Settings::setCommName2(const std::string& port) {
  return m_file.writeString(kSectionInitialize, kKeyCommName2, port);
}

bool Settings::setBaudRate(int baudRate) {
  return m_file.writeInt(kSectionInitialize, kKeyBaudRate, baudRate);
}

bool Settings::setSflStart(const std::string& block) {
  return m_file.writeString(kSectionSfl, kKeyStart, block);
}

bool Settings::setSflEnd(const std::string& block) {
  return m_file.writeString(kSectionSfl, kKeyEnd, block);
}

bool Settings::writeVersion() {
  return m_file.writeString(kSectionVersion, kKeyVersion, LoadString(StringId::Version));
}

// The separator is always added, except after a directory that already ends
// in one: on Linux that is only the root, and "/tarvel.ini" reads better in
// messages than the equally valid "//tarvel.ini".
std::string SettingsPathFor(const std::string& startDir) {
  std::string path = startDir;
  if (path.empty() || path.back() != '/') path += '/';
  path.append(kSettingsFileName);
  return path;
}

std::string ChooseStartupDirectory(const std::optional<std::string>& workingDir,
                                   const std::optional<std::string>& executablePath) {
  if (workingDir && !workingDir->empty() && workingDir->size() <= kStartDirMaxChars) {
    return *workingDir;
  }
  if (executablePath) {
    // Windows separates with either; elsewhere a backslash is part of a name.
#ifdef _WIN32
    const std::size_t slash = executablePath->find_last_of("/\\");
#else
    const std::size_t slash = executablePath->rfind('/');
#endif
    if (slash != std::string::npos) {
      const std::string folder = slash == 0 ? "/" : executablePath->substr(0, slash);
      if (folder.size() <= kStartDirMaxChars) return folder;
    }
  }
  return "/";
}

std::string StartupDirectory() {
  const std::string workingDir = fileio::CurrentFolder();
  const std::string executablePath = fileio::ExecutablePath();
  return ChooseStartupDirectory(workingDir.empty() ? std::nullopt : std::optional<std::string>(workingDir),
                                executablePath.empty() ? std::nullopt : std::optional<std::string>(executablePath));
}

}  // namespace tarvel
