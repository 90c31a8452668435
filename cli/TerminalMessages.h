// Messages on a terminal: failures on stderr, reports on stdout (kept, not
// printed, when stdout carries JSON). Texts come from the string table; the
// carriage returns that separate a message's sentences become line breaks.
// TerminalObserver prints a radio session's failures and report the same
// way, as they happen, with its progress on one line of stderr.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "base/MessageDisplay.h"
#include "cli/RunSteps.h"
#include "loader/SessionObserver.h"

namespace tarvel::cli {

class TerminalMessages final : public MessageDisplay {
 public:
  // With `reportsToStdout` false (JSON output) reports and information
  // messages are not printed; with `failuresToStderr` false too (one radio
  // among several, whose lines belong to the whole run) failures neither.
  explicit TerminalMessages(bool reportsToStdout = true, bool failuresToStderr = true)
      : reportsToStdout_(reportsToStdout), failuresToStderr_(failuresToStderr) {}

  void showMessage(StringId id, MessageIcon icon, std::string_view detail = {}) override;
  void showReport(const std::string& text, MessageIcon icon) override;

  bool printsReports() const { return reportsToStdout_; }
  // While held, a success report is kept instead of printed (a write whose
  // read-back is still to come): released, it is printed then; dropped, never.
  void holdReports() { holding_ = true; }
  void releaseReports();
  void dropReports() {
    holding_ = false;
    held_.clear();
  }
  // Called before a message is printed, to end a progress line; `report`
  // is true for the success report (called even when it is not printed).
  void setBeforePrint(std::function<void(bool report)> hook) { beforePrint_ = std::move(hook); }

 private:
  bool reportsToStdout_;
  bool failuresToStderr_;
  std::function<void(bool)> beforePrint_;
  bool holding_ = false;
  std::string held_;
};

// A session's events on the terminal: each failure and the report printed
// by `messages` as they come; the progress handed to `progress` (may be
// null), and to `steps` (may be null) with the loader's answers and retries.
class TerminalObserver final : public SessionObserver {
 public:
  explicit TerminalObserver(TerminalMessages& messages, std::function<void(const Progress&)> progress = {},
                            RunSteps* steps = nullptr)
      : messages_(messages), progress_(std::move(progress)), steps_(steps) {}
  void progressed(const Progress& progress) override {
    // The state's line comes before the progress of that state.
    if (steps_) steps_->progressed(progress);
    if (progress_) progress_(progress);
  }
  void synchronised(const SyncAnswer& answer) override {
    if (steps_) steps_->synchronised(answer);
  }
  void retriedBecause(int block, int retry, const RetryReason& reason) override {
    if (steps_) steps_->retried(block, retry, reason);
  }
  void failed(const Failure& failure) override { messages_.showMessage(failure.message, MessageIcon::Stop, failure.detail); }
  void succeeded(const std::string& report) override { messages_.showReport(report, MessageIcon::Information); }

 private:
  TerminalMessages& messages_;
  std::function<void(const Progress&)> progress_;
  RunSteps* steps_;
};

}  // namespace tarvel::cli
