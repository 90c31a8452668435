// The lock files of the UUCP convention that minicom, picocom and
// ModemManager keep: FOLDER/LCK..NAME for the device NAME, holding the
// holder's PID as ten ASCII characters and a line feed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tarvel {

// The folder where the lock files live on this system.
inline constexpr const char* kUucpLockFolder = "/run/lock";
// The longest lock path that a signal handler can still remove.
inline constexpr std::size_t kLockPathCapacity = 512;

struct LockHolder {
  long pid = 0;
  std::string program;  // see ProcessProgramName; empty when it cannot be read
  std::string lockPath;
};

// The program of process `pid`: its comm name, which the kernel cuts at 15
// characters ("tarvel-radio-si"), made whole from the first word of its
// command line where that begins the same. Empty when neither can be read.
std::string ProcessProgramName(const std::string& procRoot, long pid);

// FOLDER/LCK..NAME, NAME being the base name of the device the path leads
// to (a link in /dev/serial/by-id leads to its ttyUSB).
std::string UucpLockPath(const std::string& folder, const std::string& device);

// The running process whose PID `device`'s lock file in `folder` holds;
// none when there is no such file, no PID in it, or the process is gone
// (no <procRoot>/PID): a stale lock.
std::optional<LockHolder> UucpLockHolder(const std::string& folder, const std::string& device,
                                         const std::string& procRoot = "/proc");

// A lock file that this process holds; removed when the object goes.
class UucpLock {
 public:
  enum class Result {
    Taken,    // the file is ours
    Skipped,  // the folder is missing or not writable: no lock, as picocom does
    Held,     // a running process holds it: `holder` names it
  };

  UucpLock() = default;
  ~UucpLock() { release(); }
  UucpLock(UucpLock&& other) noexcept;
  UucpLock& operator=(UucpLock&& other) noexcept;
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;

  // Takes `device`'s lock in `folder`, taking over a stale one.
  Result take(const std::string& folder, const std::string& device, LockHolder& holder);
  // The lock file held; empty when none.
  const std::string& path() const { return path_; }
  // Removes the lock file.
  void release();
  // Someone else removed the file (a signal handler): only forget it.
  void forget();

 private:
  std::string path_;
};

}  // namespace tarvel
