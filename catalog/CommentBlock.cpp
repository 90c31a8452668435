#include "catalog/CommentBlock.h"

#include <cerrno>
#include <cstring>

#include "base/FileIo.h"
#include "catalog/DisplayText.h"

namespace tarvel {

namespace {

constexpr char kEndOfData = 0x1A;

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
  fileio::FileHandle file;
  fileio::FileInfo info;
  switch (fileio::OpenRegularFile(path, file, info)) {
    case fileio::OpenResult::Failed:
      if (reason) *reason = std::strerror(errno);
      return std::nullopt;
    case fileio::OpenResult::NotRegular:
      if (reason) *reason = info.directory ? std::strerror(EISDIR) : "not a regular file";
      return std::nullopt;
    case fileio::OpenResult::Opened:
      break;
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
