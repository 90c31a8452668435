#include "cli/RecordFile.h"

#include <cerrno>
#include <cstring>

#include "base/FileIo.h"
#include "base/OutputFile.h"

namespace tarvel::cli {

RecordFile::~RecordFile() {
  if (fd_ >= 0) fileio::Close(fd_);
}

bool RecordFile::open(const std::string& path, std::string& reason) {
  path_ = path;
  // A FIFO or a device would block or swallow the record.
  OutputError refusal;
  if (!CheckOutputPath(path, {}, refusal)) {
    reason = refusal.text + ": " + std::string(LoadString(RefusalMessage(refusal.problem)));
    return false;
  }
  fd_ = fileio::Open(path, fileio::OpenFor::Append);
  if (fd_ < 0) {
    reason = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool RecordFile::append(const std::string& line, std::string& reason) {
  const std::string text = line + "\n";
  const long long written = fileio::Write(fd_, text.data(), text.size());
  if (written < 0) {
    reason = path_ + ": " + std::strerror(errno);
    return false;
  }
  if (static_cast<std::size_t>(written) != text.size()) {
    // A full disk took part of the line; a reader skips a line without its
    // end, and the next line must not be glued to it.
    const char end = '\n';
    (void)fileio::Write(fd_, &end, 1);
    reason = path_ + ": the disk took only part of the line";
    return false;
  }
  if (fileio::Sync(fd_) != 0) {
    reason = path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tarvel::cli
