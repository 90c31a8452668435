// The comment block of an SFL file: the text in front of its first record,
// shown when the file is chosen.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvel {

// Shown for a file with nothing in front of its first record (with its
// leading space).
inline constexpr std::string_view kNoCommentsText = " Not comments in this file !!";

// Real headers are a few hundred bytes; reading stops here so that a huge
// file without a record, or a file that is not an SFL file at all, cannot
// stall the window. The block built from it is at most twice as long.
inline constexpr std::size_t kCommentReadLimitBytes = std::size_t{64} * 1024;

// The block from a file's first bytes read as text (CR LF reads as LF, 0x1A
// ends the data): every byte up to, not including, the first '+' that does
// not follow a ';' on its line; each LF written as CR LF.
std::string BuildCommentBlock(std::string_view fileBytes);

// What the comment box shows for a block: kNoCommentsText for an empty
// block, otherwise the block up to its first NUL, decoded for display.
std::string CommentBoxText(std::string_view block);

// Reads the first kCommentReadLimitBytes of `path` and returns the comment
// box text. Nothing when the file cannot be opened for reading or is not a
// regular file (a folder, a pipe, a device); the caller then shows message
// 104. `reason` receives the system's explanation.
std::optional<std::string> ReadCommentBoxText(const std::string& path, std::string* reason = nullptr);

}  // namespace tarvel
