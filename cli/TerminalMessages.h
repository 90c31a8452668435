// Messages on a terminal: failures on stderr, reports on stdout (kept, not
// printed, when stdout carries JSON). Texts come from the string table; the
// carriage returns that separate a message's sentences become line breaks.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/MessageDisplay.h"

namespace tarvel::cli {

class TerminalMessages final : public MessageDisplay {
 public:
  // With `reportsToStdout` false (JSON output) reports and information
  // messages are only kept; with `failuresToStderr` false too (one radio
  // among several, whose lines belong to the whole run) failures as well.
  explicit TerminalMessages(bool reportsToStdout = true, bool failuresToStderr = true)
      : reportsToStdout_(reportsToStdout), failuresToStderr_(failuresToStderr) {}

  void showMessage(StringId id, MessageIcon icon, std::string_view detail = {}) override;
  void showReport(const std::string& text, MessageIcon icon) override;

  bool anyFailure() const { return failures_ > 0; }
  StringId lastFailure() const { return lastFailure_; }
  // The text of the last failure as printed, and its detail line.
  const std::string& lastFailureText() const { return lastFailureText_; }
  const std::string& lastFailureDetail() const { return lastFailureDetail_; }
  bool showed(StringId failure) const;
  const std::string& lastReport() const { return lastReport_; }
  bool printsReports() const { return reportsToStdout_; }
  // Called before a message is printed, to end a progress line; `report`
  // is true for the success report (called even when it is not printed).
  void setBeforePrint(std::function<void(bool report)> hook) { beforePrint_ = std::move(hook); }

 private:
  bool reportsToStdout_;
  bool failuresToStderr_;
  int failures_ = 0;
  StringId lastFailure_ = StringId::AppTitle;
  std::string lastFailureText_;
  std::string lastFailureDetail_;
  std::vector<StringId> shown_;
  std::string lastReport_;
  std::function<void(bool)> beforePrint_;
};

// The message text for a terminal: CR and CR LF become LF.
std::string TerminalText(std::string_view text);

}  // namespace tarvel::cli
