#include "run/RecordFile.h"

#include <cerrno>
#include <cstring>

#include "base/FileIo.h"
#include "base/OutputFile.h"

namespace tarvel {

std::string NewRecordId() {
  unsigned char bytes[16];
  if (!fileio::RandomBytes(bytes, sizeof bytes)) return {};
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    id += kHex[bytes[i] >> 4];
    id += kHex[bytes[i] & 0x0F];
  }
  return id;
}

bool RecordFile::open(const std::string& path, std::string& reason) {
  path_ = path;
  // A FIFO or a device would block or swallow the record.
  OutputError refusal;
  if (!CheckOutputPath(path, {}, refusal)) {
    reason = refusal.text + ": " + std::string(LoadString(RefusalMessage(refusal.problem)));
    return false;
  }
  file_.reset(fileio::Open(path, fileio::OpenFor::Append));
  if (!file_.isOpen()) {
    reason = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool RecordFile::endsInsideLine() const {
  const fileio::FileHandle file(fileio::Open(path_, fileio::OpenFor::ReadNoWait));
  if (!file.isOpen()) return false;
  fileio::FileInfo info;
  char last = '\n';
  if (fileio::Stat(file.get(), info) == 0 && info.size > 0 && fileio::Seek(file.get(), info.size - 1) >= 0 &&
      fileio::Read(file.get(), &last, 1) != 1) {
    last = '\n';
  }
  return last != '\n';
}

bool RecordFile::append(const std::string& line, std::string& reason) {
  // A line cut by a full disk or a hand edit without its end: this line
  // starts on a line of its own, in the same single write.
  const std::string text = (endsInsideLine() ? "\n" : "") + line + "\n";
  const long long written = fileio::Write(file_.get(), text.data(), text.size());
  if (written < 0) {
    reason = path_ + ": " + std::strerror(errno) + "; the record is incomplete: this run's line is missing";
    return false;
  }
  if (static_cast<std::size_t>(written) != text.size()) {
    // A full disk took part of the line; a reader skips a line without its
    // end, and the next line must not be glued to it.
    const char end = '\n';
    const bool ended = fileio::Write(file_.get(), &end, 1) == 1;
    reason = path_ + ": only " + std::to_string(written) + " of " + std::to_string(text.size()) +
             " bytes of the line were written" + (ended ? "" : std::string(" (") + std::strerror(errno) + ")") +
             "; the record is incomplete: this run's line is cut";
    return false;
  }
  if (fileio::Sync(file_.get()) != 0) {
    reason = path_ + ": " + std::strerror(errno) + "; the record may be incomplete";
    return false;
  }
  fileio::FileInfo info;
  if (fileio::Stat(file_.get(), info) == 0) appendedUpTo_ = info.size;
  return true;
}

}  // namespace tarvel
