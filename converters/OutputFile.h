// Writing the converters' SFL files.
#pragma once

#include <string>
#include <string_view>

namespace tarvel::converters {

// Writes `bytes` as the file `path`: first into a temporary file in the same
// folder, which replaces `path` only once every byte is written, so a failed
// conversion leaves neither a partial file nor a changed old one. The
// temporary name starts with '.' and does not end in ".sfl", so a catalog
// listing the folder meanwhile does not show it.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& reason);

// Appends `bytes` to the file at `path` (created when missing) with
// `header` in front when the file is empty. On failure the file is cut back
// to its old length.
bool AppendToFile(const std::string& path, std::string_view header, std::string_view bytes, std::string& reason);

}  // namespace tarvel::converters
