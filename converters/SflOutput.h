// Writing the converters' SFL files.
#pragma once

#include <string>
#include <string_view>

namespace tarvel::converters {

// Writes `bytes` as the file `path` through tarvel::OutputFile: an existing
// file is replaced only once every byte is written and keeps its mode, a
// link keeps pointing at the new content, and an output that is not a
// regular file or is `input` itself is refused untouched.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string_view input, std::string& reason);

// Appends `bytes` to the file at `path` (created when missing) with
// `header` in front when the file is empty. On failure the file is cut back
// to its old length.
bool AppendToFile(const std::string& path, std::string_view header, std::string_view bytes, std::string& reason);

}  // namespace tarvel::converters
