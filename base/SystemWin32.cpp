#include <windows.h>

#include <shellapi.h>

#include <bcrypt.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "base/FileIo.h"
#include "base/Locale.h"
#include "base/ProgramStart.h"
#include "base/Win32Text.h"

namespace tarvel::fileio {
namespace {

void Fill(const struct _stat64& st, FileInfo& info) {
  info.regular = (st.st_mode & _S_IFMT) == _S_IFREG;
  info.directory = (st.st_mode & _S_IFMT) == _S_IFDIR;
  info.size = static_cast<std::uint64_t>(st.st_size);
  info.modifiedUtcSeconds = st.st_mtime;
}

// FILETIME counts 100 ns steps since 1601-01-01.
std::int64_t UnixSeconds(const FILETIME& time) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ULL;
  return static_cast<std::int64_t>((ticks - kTicksFrom1601To1970) / 10000000ULL);
}

int FailWith(DWORD error) {
  errno = win32::ErrnoOf(error);
  return -1;
}

}  // namespace

int Open(const std::string& path, OpenFor how) {
  int flags = _O_BINARY | _O_NOINHERIT;
  switch (how) {
    case OpenFor::Read:
    case OpenFor::ReadNoWait: flags |= _O_RDONLY; break;
    case OpenFor::CreateNew: flags |= _O_WRONLY | _O_CREAT | _O_EXCL; break;
    case OpenFor::Append: flags |= _O_WRONLY | _O_APPEND | _O_CREAT; break;
    case OpenFor::Truncate: flags |= _O_WRONLY | _O_CREAT | _O_TRUNC; break;
  }
  return ::_wopen(win32::Wide(path).c_str(), flags, _S_IREAD | _S_IWRITE);
}

long long Read(int fd, void* buffer, std::size_t size) {
  return ::_read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

long long Write(int fd, const void* buffer, std::size_t size) {
  return ::_write(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

int Close(int fd) { return ::_close(fd); }

int Truncate(int fd, std::uint64_t size) { return ::_chsize_s(fd, static_cast<long long>(size)) == 0 ? 0 : -1; }

int Stat(int fd, FileInfo& info) {
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0) return -1;
  Fill(st, info);
  return 0;
}

int StatPath(const std::string& path, FileInfo& info) {
  struct _stat64 st {};
  if (::_wstat64(win32::Wide(path).c_str(), &st) != 0) return -1;
  Fill(st, info);
  return 0;
}

// The last-write and change times in 100 ns steps; the change time is the
// file system's own, which SetFileTime does not reach.
int StampPath(const std::string& path, FileStamp& stamp) {
  const HANDLE file = ::CreateFileW(win32::Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FailWith(::GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  const bool known = ::GetFileInformationByHandle(file, &info) &&
                     ::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic);
  const DWORD error = ::GetLastError();
  const DWORD type = ::GetFileType(file);
  ::CloseHandle(file);
  if (!known) return FailWith(error);
  stamp.regular = type == FILE_TYPE_DISK && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  stamp.device = info.dwVolumeSerialNumber;
  stamp.fileId = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.modified = basic.LastWriteTime.QuadPart;
  stamp.changed = basic.ChangeTime.QuadPart;
  return 0;
}

int Sync(int fd) { return ::_commit(fd); }

// Windows links are reparse points that the system follows when it opens a
// file; the replacement goes to the name itself.
bool ResolveLinks(const std::string& path, std::string& resolved) {
  resolved = path;
  return true;
}

void CopyOwnerAndMode(const std::string&, int) {}

int Rename(const std::string& from, const std::string& to) {
  if (::MoveFileExW(win32::Wide(from).c_str(), win32::Wide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return FailWith(::GetLastError());
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::MoveFileExW(win32::Wide(from).c_str(), win32::Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
  return FailWith(::GetLastError());
}

int Remove(const std::string& path) { return ::_wunlink(win32::Wide(path).c_str()); }

long long Seek(int fd, std::uint64_t offset) { return ::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET); }

bool CanWrite(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

// MoveFileExW with MOVEFILE_WRITE_THROUGH returns once the move is on disk.
void SyncFolder(const std::string&) {}

std::string CurrentFolder() {
  std::wstring buffer(32768, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return win32::Utf8(buffer);
}

std::string ExecutablePath() {
  std::wstring buffer(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return win32::Utf8(buffer);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(PathOf(a), PathOf(b), error) && !error;
}

int ProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

bool RandomBytes(void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 20));
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    bytes += chunk;
    size -= chunk;
  }
  return true;
}

bool TryLockFile(int fd) {
  const auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED whole{};
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole) != 0;
}

std::string HostName() {
  wchar_t name[256] = {};
  DWORD length = 256;
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return {};
  return win32::Utf8(std::wstring_view(name, length));
}

std::string LoginName() {
  wchar_t name[257] = {};
  DWORD length = 257;
  // The length counts the terminator.
  if (!::GetUserNameW(name, &length) || length == 0) return {};
  return win32::Utf8(std::wstring_view(name, length - 1));
}

std::vector<FolderEntry> ListFolder(const std::string& folder,
                                    const std::function<bool(std::string_view name)>& wanted) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW found{};
  // The folder with a separator appended, as it is given.
  HANDLE search = ::FindFirstFileW(win32::Wide(folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = win32::Utf8(found.cFileName);
    if (name == "." || name == ".." || !wanted(name)) continue;
    FolderEntry item{name, {}};
    item.info.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.info.regular = !item.info.directory && (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    item.info.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    item.info.modifiedUtcSeconds = UnixSeconds(found.ftLastWriteTime);
    entries.push_back(std::move(item));
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return entries;
}

std::filesystem::path PathOf(const std::string& path) { return std::filesystem::path(win32::Wide(path)); }

std::string TextOf(const std::filesystem::path& path) { return win32::Utf8(path.native()); }

}  // namespace tarvel::fileio

namespace tarvel {

bool UtcParts(std::int64_t utcSeconds, std::tm& parts) {
  const auto time = static_cast<__time64_t>(utcSeconds);
  return ::_gmtime64_s(&parts, &time) == 0;
}

bool LocalParts(std::int64_t utcSeconds, std::tm& parts) {
  const auto time = static_cast<__time64_t>(utcSeconds);
  return ::_localtime64_s(&parts, &time) == 0;
}

long CurrentUtcOffsetSeconds() {
  const __time64_t now = ::_time64(nullptr);
  std::tm local{};
  std::tm utc{};
  if (::_localtime64_s(&local, &now) != 0 || ::_gmtime64_s(&utc, &now) != 0) return 0;
  // The UTC parts read as local time: how far local time runs ahead.
  utc.tm_isdst = local.tm_isdst;
  return static_cast<long>(std::difftime(std::mktime(&local), std::mktime(&utc)));
}

char32_t UnicodeLowerCase(char32_t c) {
  wchar_t units[2];
  int length = 1;
  if (c >= 0x10000) {
    units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    length = 2;
  } else {
    units[0] = static_cast<wchar_t>(c);
  }
  wchar_t lower[2];
  const int got = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, units, length, lower, 2, nullptr,
                                  nullptr, 0);
  if (got == 1) return lower[0];
  if (got == 2 && lower[0] >= 0xD800 && lower[0] < 0xDC00) {
    return 0x10000 + ((static_cast<char32_t>(lower[0]) - 0xD800) << 10) + (lower[1] - 0xDC00);
  }
  return c;
}

}  // namespace tarvel

namespace tarvel {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  ::SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(win32::Utf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

// Nothing to do here: the runtime keeps descriptors 0 to 2 reserved even
// when the process has no such stream, so a file opened later never takes
// their numbers, the ports are handles rather than descriptors, and there
// is no SIGPIPE.
void PrepareStandardStreams() {}

}  // namespace tarvel
