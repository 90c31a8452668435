#include "cli/TerminalMessages.h"

namespace tarvel::cli {

void TerminalMessages::showMessage(StringId id, MessageIcon icon, std::string_view detail) {
  const std::string text = TerminalText(LoadString(id));
  FILE* out = icon == MessageIcon::Information ? stdout : stderr;
  if (out == stdout ? !reportsToStdout_ : !failuresToStderr_) return;
  if (beforePrint_) beforePrint_(false);
  std::fprintf(out, "%s\n", text.c_str());
  if (!detail.empty()) std::fprintf(out, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
  std::fflush(out);
}

void TerminalMessages::showReport(const std::string& text, MessageIcon) {
  if (beforePrint_) beforePrint_(true);
  if (!reportsToStdout_) return;
  if (holding_) {
    held_ = text;
    return;
  }
  std::printf("%s\n", TerminalText(text).c_str());
  std::fflush(stdout);
}

void TerminalMessages::releaseReports() {
  holding_ = false;
  if (held_.empty()) return;
  std::printf("%s\n", TerminalText(held_).c_str());
  std::fflush(stdout);
  held_.clear();
}

}  // namespace tarvel::cli
