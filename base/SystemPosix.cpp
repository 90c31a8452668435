#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <locale.h>
#include <signal.h>
#include <wctype.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <vector>

#include "base/FileIo.h"
#include "base/Locale.h"
#include "base/ProgramStart.h"

namespace tarvel::fileio {
namespace {

void Fill(const struct stat& st, FileInfo& info) {
  info.regular = S_ISREG(st.st_mode);
  info.directory = S_ISDIR(st.st_mode);
  info.size = static_cast<std::uint64_t>(st.st_size);
  info.modifiedUtcSeconds = st.st_mtim.tv_sec;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

int Open(const std::string& path, OpenFor how) {
  int flags = O_CLOEXEC;
  switch (how) {
    case OpenFor::Read: flags |= O_RDONLY; break;
    case OpenFor::ReadNoWait: flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY; break;
    case OpenFor::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    case OpenFor::Append: flags |= O_WRONLY | O_APPEND | O_CREAT; break;
    case OpenFor::Truncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
  }
  // The mode before the umask is that of any new file.
  return ::open(path.c_str(), flags, 0666);
}

long long Read(int fd, void* buffer, std::size_t size) {
  while (true) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

long long Write(int fd, const void* buffer, std::size_t size) {
  while (true) {
    const ssize_t n = ::write(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

int Close(int fd) { return ::close(fd); }

int Truncate(int fd, std::uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)); }

int Stat(int fd, FileInfo& info) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  Fill(st, info);
  return 0;
}

int StatPath(const std::string& path, FileInfo& info) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  Fill(st, info);
  return 0;
}

int StampPath(const std::string& path, FileStamp& stamp) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  stamp.regular = S_ISREG(st.st_mode);
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.fileId = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.modified = st.st_mtim.tv_sec;
  stamp.modifiedNs = st.st_mtim.tv_nsec;
  stamp.changed = st.st_ctim.tv_sec;
  stamp.changedNs = st.st_ctim.tv_nsec;
  return 0;
}

int Sync(int fd) { return ::fsync(fd); }

bool ResolveLinks(const std::string& path, std::string& resolved) {
  // As the system follows them when it opens a path.
  constexpr int kMaxLinkHops = 40;
  std::filesystem::path current(path);
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      resolved = current.string();
      return true;
    }
    char target[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
    if (length < 0) return false;
    const std::filesystem::path next(std::string(target, static_cast<std::size_t>(length)));
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  errno = ELOOP;
  return false;
}

void CopyOwnerAndMode(const std::string& path, int fd) {
  struct stat old {};
  if (::stat(path.c_str(), &old) != 0) return;
  // Owner first: a change of owner clears the set-id bits. Only root may
  // give the file away; anyone else keeps their own and the old mode.
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
    // Not permitted: the file is the writer's, which is what it was made as.
  }
  if (::fchmod(fd, old.st_mode & 07777) != 0) {
    // The usual mode of a new file then; the content is what matters.
  }
}

int Rename(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()); }

int RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
  // Through syscall(): older C libraries have no renameat2 wrapper.
  constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE
  if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
  // A file system without it: a link fails on any existing name.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return -1;
  // Nor links (FAT): a check just before the rename is the best there is.
  struct stat existing {};
  if (::lstat(to.c_str(), &existing) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

int Remove(const std::string& path) { return ::unlink(path.c_str()); }

long long Seek(int fd, std::uint64_t offset) { return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET); }

bool CanWrite(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
         ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX);
  return ::getcwd(buffer.data(), buffer.size()) != nullptr ? std::string(buffer.data()) : std::string();
}

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

int ProcessId() { return static_cast<int>(::getpid()); }

bool RandomBytes(void* buffer, std::size_t size) {
  const FileHandle source(Open("/dev/urandom", OpenFor::Read));
  if (!source.isOpen()) return false;
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t got = 0;
  while (got < size) {
    const long long n = Read(source.get(), bytes + got, size - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

bool TryLockFile(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string LoginName() {
  // The account, not $USER: a shell can set that to anything.
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(4096);
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return {};
}

std::vector<FolderEntry> ListFolder(const std::string& folder,
                                    const std::function<bool(std::string_view name)>& wanted) {
  std::vector<FolderEntry> entries;
  // The folder with a separator appended, as it is given: a trailing
  // separator doubles, which the system accepts.
  const std::unique_ptr<DIR, DirCloser> dir(::opendir((folder + "/").c_str()));
  if (!dir) return entries;
  const int dirFd = ::dirfd(dir.get());
  // readdir reports a failure only through errno; a listing that breaks off
  // keeps the entries found so far.
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !wanted(name)) continue;
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, 0) != 0 &&
        ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    FolderEntry item{name, {}};
    Fill(st, item.info);
    entries.push_back(std::move(item));
  }
  return entries;
}

std::filesystem::path PathOf(const std::string& path) { return std::filesystem::path(path); }

std::string TextOf(const std::filesystem::path& path) { return path.string(); }

}  // namespace tarvel::fileio

namespace tarvel {

bool UtcParts(std::int64_t utcSeconds, std::tm& parts) {
  const auto time = static_cast<std::time_t>(utcSeconds);
  return ::gmtime_r(&time, &parts) != nullptr;
}

bool LocalParts(std::int64_t utcSeconds, std::tm& parts) {
  const auto time = static_cast<std::time_t>(utcSeconds);
  return ::localtime_r(&time, &parts) != nullptr;
}

long CurrentUtcOffsetSeconds() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  if (::localtime_r(&now, &parts) == nullptr) return 0;
  return parts.tm_gmtoff;
}

char32_t UnicodeLowerCase(char32_t c) {
  // The case table of the C.UTF-8 locale; null where that locale is missing.
  static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return c;
  return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(c), locale));
}

}  // namespace tarvel

namespace tarvel {

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

void PrepareStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // Not close-on-exec: a child started later finds its streams as well.
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tarvel
