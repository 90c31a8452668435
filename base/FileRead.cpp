#include <cerrno>
#include <cstring>

#include "base/FileIo.h"

namespace tarvel::fileio {

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& reason,
                     const std::string& tooLargeText) {
  text.clear();
  const int fd = Open(path, OpenFor::ReadNoWait);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  const std::string tooLarge =
      tooLargeText.empty() ? "larger than " + std::to_string(maxBytes) + " bytes" : tooLargeText;
  FileInfo info;
  bool ok = Stat(fd, info) == 0;
  if (!ok) {
    reason = std::strerror(errno);
  } else if (!info.regular) {
    reason = "not a regular file";
    ok = false;
  } else if (info.size > maxBytes) {
    reason = tooLarge;
    ok = false;
  }
  char chunk[1 << 16];
  while (ok) {
    const long long n = Read(fd, chunk, sizeof chunk);
    if (n < 0) {
      reason = std::strerror(errno);
      ok = false;
    } else if (n == 0) {
      break;
    } else if (text.size() + static_cast<std::size_t>(n) > maxBytes) {
      reason = tooLarge;  // it grew while being read
      ok = false;
    } else {
      text.append(chunk, static_cast<std::size_t>(n));
    }
  }
  Close(fd);
  if (!ok) text.clear();
  return ok;
}

}  // namespace tarvel::fileio
