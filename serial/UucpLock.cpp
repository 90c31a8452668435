#include "serial/UucpLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <system_error>
#include <utility>

namespace tarvel {
namespace {

namespace fs = std::filesystem;

// The PID at the start of a lock file, after any spaces; 0 when there is
// none (an empty or garbled file, or the old binary form).
long ReadLockPid(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char text[32] = {};
  in.read(text, sizeof text - 1);
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  const bool ended = end != text && (*end == '\n' || *end == '\0' || *end == ' ');
  return ended && pid > 0 ? pid : 0;
}

// The lock files this process holds: a file with our PID that is not among
// them is a leftover of an earlier process that had the same PID.
std::mutex g_heldMutex;
std::set<std::string> g_held;

bool HeldHere(const std::string& path) {
  const std::lock_guard guard(g_heldMutex);
  return g_held.count(path) != 0;
}

void SetHeldHere(const std::string& path, bool held) {
  const std::lock_guard guard(g_heldMutex);
  if (held) {
    g_held.insert(path);
  } else {
    g_held.erase(path);
  }
}

bool WriteAll(int fd, const std::string& text) {
  return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

}  // namespace

std::string ProcessProgramName(const std::string& procRoot, long pid) {
  const fs::path process = fs::path(procRoot) / std::to_string(pid);
  std::ifstream comm(process / "comm");
  std::string name;
  std::getline(comm, name);
  // The first word of the command line ends at its NUL.
  std::ifstream cmdline(process / "cmdline", std::ios::binary);
  std::string first;
  std::getline(cmdline, first, '\0');
  const std::string program = fs::path(first).filename().string();
  // Only a name the comm name begins: a process may have rewritten its
  // command line into something else.
  if (!name.empty() && program.size() > name.size() && program.compare(0, name.size(), name) == 0) return program;
  return name;
}

std::string UucpLockPath(const std::string& folder, const std::string& device) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(device, error);
  if (error) resolved = fs::path(device);
  return (fs::path(folder) / ("LCK.." + resolved.filename().string())).string();
}

std::optional<LockHolder> UucpLockHolder(const std::string& folder, const std::string& device,
                                         const std::string& procRoot) {
  const std::string path = UucpLockPath(folder, device);
  const long pid = ReadLockPid(path);
  std::error_code error;
  if (pid <= 0 || !fs::exists(fs::path(procRoot) / std::to_string(pid), error)) return std::nullopt;
  return LockHolder{pid, ProcessProgramName(procRoot, pid), path};
}

UucpLock::UucpLock(UucpLock&& other) noexcept : path_(std::exchange(other.path_, {})) {}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

UucpLock::Result UucpLock::take(const std::string& folder, const std::string& device, LockHolder& holder) {
  release();
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return Result::Skipped;
  const std::string path = UucpLockPath(folder, device);
  if (path.size() >= kLockPathCapacity) return Result::Skipped;
  const long self = ::getpid();
  // Written whole under another name first and then linked: a reader never
  // sees a lock file without its PID, and the link fails when the name is taken.
  const std::string temporary = (fs::path(folder) / ("LTMP." + std::to_string(self))).string();
  char content[16];
  std::snprintf(content, sizeof content, "%10ld\n", self);
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return Result::Skipped;
  const bool written = WriteAll(fd, content);
  if (::close(fd) != 0 || !written) {
    ::unlink(temporary.c_str());
    return Result::Skipped;
  }
  Result result = Result::Skipped;
  // A stale lock is removed and the link tried again; a few rounds, as
  // another process may be doing the same.
  for (int attempt = 0; attempt < 3 && result == Result::Skipped; ++attempt) {
    if (::link(temporary.c_str(), path.c_str()) == 0) {
      path_ = path;
      SetHeldHere(path, true);
      result = Result::Taken;
      break;
    }
    if (errno != EEXIST) break;
    if (auto live = UucpLockHolder(folder, device); live && (live->pid != self || HeldHere(path))) {
      holder = std::move(*live);
      result = Result::Held;
      break;
    }
    // Gone, garbled, or a leftover of an earlier process with our PID.
    ::unlink(path.c_str());
  }
  ::unlink(temporary.c_str());
  return result;
}

void UucpLock::release() {
  if (path_.empty()) return;
  // Only our own: a lock that someone took over after removing ours stays.
  if (ReadLockPid(path_) == ::getpid()) ::unlink(path_.c_str());
  SetHeldHere(path_, false);
  path_.clear();
}

void UucpLock::forget() {
  SetHeldHere(path_, false);
  path_.clear();
}

}  // namespace tarvel
