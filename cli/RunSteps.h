// The steps of one radio's session as lines on stderr, for a person: where
// stderr is not a terminal, each change of state, so that a log shows where
// a run stands; with -v also how the loader answered and why a block went
// out again, without a trace file.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "base/Cable.h"
#include "loader/SessionObserver.h"

namespace tarvel::cli {

class RunSteps {
 public:
  // `states`: a line at each change of state; `details`: the loader's
  // answers and the retries' causes too (and the states with them).
  RunSteps(bool states, bool details, std::string port, Cable cable, unsigned baud, std::FILE* out = stderr)
      : states_(states || details), details_(details), port_(std::move(port)), cable_(cable), baud_(baud),
        out_(out) {}

  // Called before a step is printed, with the state it says: ends a
  // progress line (and completes it when the port closes after a success).
  void setBeforePrint(std::function<void(SessionPhase)> hook) { beforePrint_ = std::move(hook); }

  void progressed(const Progress& progress);
  void synchronised(const SyncAnswer& answer);
  void retried(int block, int retry, const RetryReason& reason);

 private:
  void print(SessionPhase phase, const std::string& line);

  bool states_;
  bool details_;
  std::string port_;
  Cable cable_;
  unsigned baud_;
  std::FILE* out_;
  bool answerShown_ = false;  // the Synchronised state said by its answer
  std::function<void(SessionPhase)> beforePrint_;
};

// The text of a retry's cause, as -v shows it.
std::string RetryText(int block, int retry, const RetryReason& reason);

}  // namespace tarvel::cli
