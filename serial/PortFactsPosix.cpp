#include "serial/PortFacts.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/UucpLock.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

fs::path Resolved(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  return error ? path : resolved;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

}  // namespace

std::vector<PortHolder> FindPortHolders(const std::string& device, const std::string& procRoot,
                                        const std::vector<std::string>& lockFolders) {
  std::vector<PortHolder> holders;
  // The lock file names the holder even where its descriptors cannot be
  // looked into (another user's process), and it comes first.
  std::optional<PortHolder> locked;
  for (const std::string& folder : lockFolders) {
    if (const std::optional<LockHolder> holder = UucpLockHolder(folder, device, procRoot)) {
      locked = PortHolder{static_cast<int>(holder->pid), holder->program, holder->lockPath};
      break;
    }
  }
  const fs::path target = Resolved(device);
  std::error_code error;
  for (fs::directory_iterator process(procRoot, error), end; !error && process != end; process.increment(error)) {
    const std::string pid = process->path().filename().string();
    // This process's own descriptors name no other program.
    if (!AllDigits(pid) || pid.size() > 9 || std::stoi(pid) == ::getpid()) continue;
    std::error_code fdError;
    for (fs::directory_iterator fd(process->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd;
         fd.increment(fdError)) {
      std::error_code linkError;
      const fs::path opened = fs::read_symlink(fd->path(), linkError);
      if (linkError || (opened != target && Resolved(opened) != target)) continue;
      const int number = std::stoi(pid);
      if (!locked || locked->pid != number) holders.push_back({number, ProcessProgramName(procRoot, number), {}});
      break;
    }
  }
  std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
  if (locked) holders.insert(holders.begin(), *locked);
  return holders;
}

std::optional<DeviceGroup> DeviceGroupOf(const std::string& device, const std::string& groupFile) {
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) return std::nullopt;
  DeviceGroup group;
  group.name = std::to_string(info.st_gid);
  // name:password:gid:members
  std::ifstream in(groupFile);
  for (std::string line; std::getline(in, line);) {
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    const std::size_t third = second == std::string::npos ? second : line.find(':', second + 1);
    if (third == std::string::npos || line.substr(second + 1, third - second - 1) != group.name) continue;
    group.name = line.substr(0, first);
    break;
  }
  if (info.st_gid == ::getegid()) {
    group.member = true;
  } else {
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> mine(count > 0 ? static_cast<std::size_t>(count) : 0);
    const int got = mine.empty() ? 0 : ::getgroups(count, mine.data());
    group.member = got > 0 && std::find(mine.begin(), mine.begin() + got, info.st_gid) != mine.begin() + got;
  }
  return group;
}

std::string CurrentUserName() {
  std::vector<char> buffer(16384);
  passwd entry {};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr && *found->pw_name != '\0') {
    return found->pw_name;
  }
  const char* user = std::getenv("USER");
  return user != nullptr && *user != '\0' ? user : "$USER";
}

int LatencyTimerOfTty(const std::string& sysRoot, const std::string& ttyName) {
  if (ttyName.empty()) return -1;
  const std::string text = FirstLine(fs::path(sysRoot) / "class" / "tty" / ttyName / "device" / "latency_timer");
  if (!AllDigits(text) || text.size() > 3) return -1;
  return std::stoi(text);
}

int CurrentLatencyTimer(const std::string& device, const std::string& sysRoot) {
  return LatencyTimerOfTty(sysRoot, Resolved(device).filename().string());
}

}  // namespace tarvel
