#include "converters/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/OutputFile.h"

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

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string_view input, std::string& reason) {
  OutputFile out;
  OutputError error;
  if (out.open(path, {input}, error) && out.write(bytes, error) && out.commit(error)) return true;
  reason = error.problem == OutputProblem::System
               ? error.text
               : std::string(LoadString(RefusalMessage(error.problem))) + " (" + error.text + ")";
  return false;
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
