#include "winui/ControlText.h"

#include "base/Win32Text.h"

namespace tarvel::winui {

std::wstring MessageBoxText(const std::string& text, const std::string& detail) {
  std::string joined = text;
  if (!detail.empty()) joined += "\r\r" + detail;
  std::string lines;
  for (std::size_t i = 0; i < joined.size(); ++i) {
    if (joined[i] == '\r') {
      lines += "\r\n";
      if (i + 1 < joined.size() && joined[i + 1] == '\n') ++i;
    } else if (joined[i] == '\n') {
      lines += "\r\n";
    } else {
      lines += joined[i];
    }
  }
  return win32::Wide(lines);
}

std::wstring CommentBoxText(const std::string& text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) lines += '\r';
    lines += text[i];
  }
  return win32::Wide(lines);
}

std::wstring FileFilterText(const std::array<const char*, 2>& filters) {
  std::wstring text;
  for (const char* filter : filters) {
    const std::string label = filter;
    const std::size_t open = label.rfind('(');
    const std::size_t close = label.rfind(')');
    std::string pattern = open == std::string::npos || close == std::string::npos || close < open
                              ? "*.*"
                              : label.substr(open + 1, close - open - 1);
    if (pattern == "*") pattern = "*.*";
    text += win32::Wide(label);
    text.push_back(L'\0');
    text += win32::Wide(pattern);
    text.push_back(L'\0');
  }
  text.push_back(L'\0');
  return text;
}

}  // namespace tarvel::winui
