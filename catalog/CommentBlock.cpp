#include "catalog/CommentBlock.h"

#include <cerrno>
#include <cstring>

#include "base/FileIo.h"
#include "catalog/DisplayText.h"

namespace tarvel {

namespace {

constexpr char kEndOfData = 0x1A;

// Closes the descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) fileio::Close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string BuildCommentBlock(std::string_view fileBytes) {
  std::string block;
  bool inComment = false;
  for (std::size_t pos = 0; pos < fileBytes.size(); ++pos) {
    char c = fileBytes[pos];
    // Text mode: CR LF reads as one LF; a lone CR stays.
    if (c == '\r' && pos + 1 < fileBytes.size() && fileBytes[pos + 1] == '\n') c = fileBytes[++pos];
    if (c == kEndOfData) break;
    if (c == ';') {
      inComment = true;
      block += c;
    } else if (c == '+') {
      // Outside a comment, a '+' starts the first record.
      if (!inComment) break;
      block += c;
    } else if (c == '\n') {
      block += "\r\n";
      inComment = false;
    } else {
      block += c;
    }
  }
  return block;
}

std::string CommentBoxText(std::string_view block) {
  if (block.empty()) return std::string(kNoCommentsText);
  // The box takes the text as a C string: it ends at the first NUL.
  const std::size_t nul = block.find('\0');
  return DecodeForDisplay(block.substr(0, nul));
}

std::optional<std::string> ReadCommentBoxText(const std::string& path, std::string* reason) {
  // Non-blocking, so that a pipe with no writer cannot hold the window.
  const FileDescriptor file(fileio::Open(path, fileio::OpenFor::ReadNoWait));
  fileio::FileInfo info;
  if (file.get() < 0 || fileio::Stat(file.get(), info) != 0) {
    if (reason) *reason = std::strerror(errno);
    return std::nullopt;
  }
  if (!info.regular) {
    if (reason) *reason = info.directory ? std::strerror(EISDIR) : "not a regular file";
    return std::nullopt;
  }
  std::string bytes(kCommentReadLimitBytes, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const long long got = fileio::Read(file.get(), bytes.data() + filled, bytes.size() - filled);
    // A read error ends the data as the end of the file does.
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return CommentBoxText(BuildCommentBlock(bytes));
}

}  // namespace tarvel
