#include "cli/TerminalMessages.h"

#include <cerrno>

namespace tarvel::cli {

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void TerminalMessages::showMessage(StringId id, MessageIcon icon, std::string_view detail) {
  if (beforePrint_) beforePrint_();
  std::string text = TerminalText(LoadString(id));
  if (icon == MessageIcon::Stop) {
    ++failures_;
    lastFailure_ = id;
    lastFailureText_ = std::string(LoadString(id));
    for (char& c : lastFailureText_) {
      if (c == '\r') c = ' ';
    }
    if (!detail.empty()) lastFailureText_ += " (" + std::string(detail) + ")";
  }
  FILE* out = icon == MessageIcon::Information ? stdout : stderr;
  std::fprintf(out, "%s\n", text.c_str());
  if (!detail.empty()) std::fprintf(out, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
  std::fflush(out);
}

void TerminalMessages::showReport(const std::string& text, MessageIcon) {
  lastReport_ = text;
  if (!reportsToStdout_) return;
  if (beforePrint_) beforePrint_();
  std::printf("%s\n", TerminalText(text).c_str());
  std::fflush(stdout);
}

}  // namespace tarvel::cli
