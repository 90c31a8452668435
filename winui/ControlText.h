// Texts as the Windows controls want them: line breaks, filters.
#pragma once

#include <array>
#include <string>

namespace tarvel::winui {

// A message box's text: `detail` (the system's reason) after an empty line;
// every line break (CR, LF or CR LF) as CR LF.
std::wstring MessageBoxText(const std::string& text, const std::string& detail);

// The comment box's text: a lone LF as CR LF, as the edit control breaks
// lines only there.
std::wstring CommentBoxText(const std::string& text);

// A file dialog's filter list: each "Label (pattern)" as the label and the
// pattern between its brackets, "*" as "*.*", the list ended by an extra NUL.
std::wstring FileFilterText(const std::array<const char*, 2>& filters);

}  // namespace tarvel::winui
