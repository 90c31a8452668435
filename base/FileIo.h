// The few file-system calls the logic makes, on paths held as UTF-8 (any
// byte string on Linux). POSIX semantics everywhere: descriptors, -1 with
// errno on failure. On Windows the paths go through the wide calls, so any
// Unicode name works.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvel::fileio {

struct FileInfo {
  bool regular = false;
  bool directory = false;
  std::uint64_t size = 0;
  std::int64_t modifiedUtcSeconds = 0;
};

enum class OpenFor {
  Read,
  ReadNoWait,  // reading without waiting for a writer (a pipe, a device)
  CreateNew,   // write-only; fails with EEXIST when the name exists
  Append,      // write-only at the end; created when missing
  Truncate,    // write-only from empty; created when missing
};

int Open(const std::string& path, OpenFor how);
// As read(2) and write(2); EINTR is retried inside.
long long Read(int fd, void* buffer, std::size_t size);
long long Write(int fd, const void* buffer, std::size_t size);
int Close(int fd);
int Truncate(int fd, std::uint64_t size);
// Moves the read and write position to `offset` from the start; -1 with errno.
long long Seek(int fd, std::uint64_t offset);
int Stat(int fd, FileInfo& info);
// Through links.
int StatPath(const std::string& path, FileInfo& info);

// One version of a file's content, told apart without reading it: the file
// itself (device and inode; volume and file index on Windows), its size,
// and its modification and change times in the system's own units, which
// are only ever compared. The change time moves with every write and with
// every change of the other times, and no user can set it back: a file
// edited in place and given its old modification time has a new one.
struct FileStamp {
  bool regular = false;
  std::uint64_t device = 0;
  std::uint64_t fileId = 0;
  std::uint64_t size = 0;
  // The times as the system keeps them: seconds and nanoseconds apart, as a
  // far-off time's nanoseconds since 1970 do not fit 64 bits.
  std::int64_t modified = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changed = 0;
  std::int64_t changedNs = 0;
  bool operator==(const FileStamp&) const = default;
};
// Through links; -1 with errno.
int StampPath(const std::string& path, FileStamp& stamp);
// Flushes the file's data to the device: a full disk or a failing device
// may only show here.
int Sync(int fd);
// The file `path` names once the links of its last component are followed
// (a dangling link: the file opening it would create); false with errno.
bool ResolveLinks(const std::string& path, std::string& resolved);
// Gives the new file `fd` the owner and mode of the file at `path`, as far
// as the system and the user's rights allow; nothing where files have none.
void CopyOwnerAndMode(const std::string& path, int fd);
// Moves `from` over `to`, replacing it in one step.
int Rename(const std::string& from, const std::string& to);
// Moves `from` to `to` only while no file has that name: EEXIST otherwise,
// also when one appeared after any earlier check.
int RenameNoReplace(const std::string& from, const std::string& to);
int Remove(const std::string& path);
// Whether this user may write the existing file: its permission bits (a
// file without any write bit is read-only for everybody, the administrator
// included) or its read-only attribute.
bool CanWrite(const std::string& path);
// Makes a rename in `folder` durable where the system needs that asked for.
void SyncFolder(const std::string& folder);
// The working folder and the running program's own path; empty when the
// system does not say.
std::string CurrentFolder();
std::string ExecutablePath();
// True when both name the same existing file.
bool SameFile(const std::string& a, const std::string& b);
// True when both are one file: the same existing file, or, where one does
// not exist yet, the same name once links and relative parts are resolved.
bool SameFileOrName(const std::string& a, const std::string& b);
int ProcessId();
// Fills `buffer` from the system's random generator (/dev/urandom;
// BCryptGenRandom on Windows); false when it cannot be read.
bool RandomBytes(void* buffer, std::size_t size);
// Takes an exclusive lock of the open file `fd` without waiting, held until
// `fd` closes; false when another holder has it (or the system refuses).
bool TryLockFile(int fd);
// This machine's name; empty when the system does not say.
std::string HostName();
// The login name of the user running the program; empty when the system
// does not say.
std::string LoginName();

struct FolderEntry {
  std::string name;
  FileInfo info;
};
// The entries of a folder whose names `wanted` accepts, without "." and
// ".."; entries that vanish while being listed are left out. Empty when the
// folder cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& folder,
                                    const std::function<bool(std::string_view name)>& wanted);

// A descriptor that closes itself on every path out.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() { reset(); }
  FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  int get() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  // Closes at once, with the system's answer: a written file's last error
  // may only show here. 0 when nothing was open.
  int close() { return fd_ < 0 ? 0 : Close(release()); }
  // Closes at once, or takes `fd` in its place.
  void reset(int fd = -1) {
    if (fd_ >= 0) Close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

enum class OpenResult {
  Opened,
  Failed,      // errno says why
  NotRegular,  // a folder, a FIFO, a device: `info` says what
};

// Opens `path` for reading without waiting (a FIFO without a writer, a
// device) and refuses it unless it is a regular file; `info` is its status.
// The handle stays closed unless Opened.
OpenResult OpenRegularFile(const std::string& path, FileHandle& file, FileInfo& info);

// The whole of a regular file of at most `maxBytes`, opened as
// OpenRegularFile does. False with the reason: the system's, "not a regular
// file" or `tooLarge` (by default "larger than N bytes").
bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& reason,
                     const std::string& tooLarge = {});

// Writes every byte, as often as the system takes only part; false with
// errno (EIO for a write that takes nothing).
bool WriteAll(int fd, std::string_view bytes);

// A path object for a UTF-8 path, and back.
std::filesystem::path PathOf(const std::string& path);
std::string TextOf(const std::filesystem::path& path);

}  // namespace tarvel::fileio
