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

bool TerminalMessages::showed(StringId failure) const {
  for (const StringId id : shown_) {
    if (id == failure) return true;
  }
  return false;
}

void TerminalMessages::showMessage(StringId id, MessageIcon icon, std::string_view detail) {
  std::string text = TerminalText(LoadString(id));
  if (icon == MessageIcon::Stop) {
    ++failures_;
    lastFailure_ = id;
    lastFailureText_ = text;
    lastFailureDetail_ = std::string(detail);
    shown_.push_back(id);
  }
  FILE* out = icon == MessageIcon::Information ? stdout : stderr;
  if (out == stdout ? !reportsToStdout_ : !failuresToStderr_) return;
  if (beforePrint_) beforePrint_(false);
  std::fprintf(out, "%s\n", text.c_str());
  if (!detail.empty()) std::fprintf(out, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
  std::fflush(out);
}

void TerminalMessages::showReport(const std::string& text, MessageIcon) {
  lastReport_ = text;
  if (beforePrint_) beforePrint_(true);
  if (!reportsToStdout_) return;
  std::printf("%s\n", TerminalText(text).c_str());
  std::fflush(stdout);
}

}  // namespace tarvel::cli
