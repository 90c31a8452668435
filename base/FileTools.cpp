#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/FileIo.h"

namespace tarvel::fileio {

OpenResult OpenRegularFile(const std::string& path, FileHandle& file, FileInfo& info) {
  file.reset(Open(path, OpenFor::ReadNoWait));
  if (!file.isOpen()) return OpenResult::Failed;
  if (Stat(file.get(), info) != 0) {
    const int saved = errno;
    file.reset();
    errno = saved;
    return OpenResult::Failed;
  }
  if (!info.regular) {
    file.reset();
    return OpenResult::NotRegular;
  }
  return OpenResult::Opened;
}

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& reason,
                     const std::string& tooLargeText) {
  text.clear();
  const std::string tooLarge =
      tooLargeText.empty() ? "larger than " + std::to_string(maxBytes) + " bytes" : tooLargeText;
  FileHandle file;
  FileInfo info;
  switch (OpenRegularFile(path, file, info)) {
    case OpenResult::Failed:
      reason = std::strerror(errno);
      return false;
    case OpenResult::NotRegular:
      reason = "not a regular file";
      return false;
    case OpenResult::Opened:
      break;
  }
  if (info.size > maxBytes) {
    reason = tooLarge;
    return false;
  }
  char chunk[1 << 16];
  for (;;) {
    const long long n = Read(file.get(), chunk, sizeof chunk);
    if (n == 0) return true;
    if (n < 0) {
      reason = std::strerror(errno);
    } else if (text.size() + static_cast<std::size_t>(n) > maxBytes) {
      reason = tooLarge;  // it grew while being read
    } else {
      text.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    text.clear();
    return false;
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const long long n = Write(fd, bytes.data(), bytes.size());
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool SameFileOrName(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  if (SameFile(a, b)) return true;
  std::error_code errorA;
  std::error_code errorB;
  const fs::path pathA = fs::weakly_canonical(fs::absolute(PathOf(a), errorA), errorA);
  const fs::path pathB = fs::weakly_canonical(fs::absolute(PathOf(b), errorB), errorB);
  return !errorA && !errorB && pathA == pathB;
}

}  // namespace tarvel::fileio
