#include "cli/RecordFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/OutputFile.h"

namespace tarvel::cli {

RecordFile::~RecordFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool RecordFile::open(const std::string& path, std::string& reason) {
  path_ = path;
  // A FIFO or a device would block or swallow the record.
  OutputError refusal;
  if (!CheckOutputPath(path, {}, refusal)) {
    reason = refusal.text + ": " + std::string(LoadString(RefusalMessage(refusal.problem)));
    return false;
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd_ < 0) {
    reason = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool RecordFile::append(const std::string& line, std::string& reason) {
  const std::string text = line + "\n";
  ssize_t written = -1;
  do {
    written = ::write(fd_, text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    reason = path_ + ": " + std::strerror(errno);
    return false;
  }
  if (static_cast<std::size_t>(written) != text.size()) {
    // A full disk took part of the line; a reader skips a line without its
    // end, and the next line must not be glued to it.
    const char end = '\n';
    (void)!::write(fd_, &end, 1);
    reason = path_ + ": the disk took only part of the line";
    return false;
  }
  if (::fsync(fd_) != 0) {
    reason = path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tarvel::cli
