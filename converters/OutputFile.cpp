#include "converters/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tarvel::converters {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& reason) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path target(path);
  const std::string name = target.filename().string();
  if (name.empty()) {
    reason = "no file name in " + path;
    return false;
  }
  std::string temporary;
  int fd = -1;
  // O_EXCL with a fresh name: never write through a file someone else
  // placed there. The mode before the umask is that of any new file.
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = (target.parent_path() / ("." + name + "." + std::to_string(::getpid()) + "-" +
                                         std::to_string(counter.fetch_add(1)) + ".part"))
                    .string();
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    reason = SystemError("cannot create a file beside", path);
    return false;
  }
  bool written = WriteAll(fd, bytes);
  if (!written) reason = SystemError("cannot write", temporary);
  if (::close(fd) != 0 && written) {
    written = false;
    reason = SystemError("cannot write", temporary);
  }
  if (written && ::rename(temporary.c_str(), path.c_str()) != 0) {
    written = false;
    reason = SystemError("cannot create", path);
  }
  if (!written) ::unlink(temporary.c_str());
  return written;
}

bool AppendToFile(const std::string& path, std::string_view header, std::string_view bytes, std::string& reason) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    reason = SystemError("cannot open", path);
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  if (ok) {
    std::string text;
    if (info.st_size == 0) {
      text.reserve(header.size() + bytes.size());
      text.append(header);
    }
    text.append(bytes);
    ok = WriteAll(fd, text);
    // A record cut in the middle would make the whole file invalid.
    if (!ok && S_ISREG(info.st_mode)) {
      const int saved = errno;
      if (::ftruncate(fd, info.st_size) != 0) {
        // Nothing more can be done; the reason names the first failure.
      }
      errno = saved;
    }
  }
  if (!ok) reason = SystemError("cannot write", path);
  if (::close(fd) != 0 && ok) {
    ok = false;
    reason = SystemError("cannot write", path);
  }
  return ok;
}

}  // namespace tarvel::converters
