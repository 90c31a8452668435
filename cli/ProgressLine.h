// Progress on stderr. On a terminal: one line, rewritten in place, with the
// block counter as the window shows it, the percentage, the data rate and
// the time left, cut to the terminal's width so that it never wraps into a
// second line that the next redraw could not reach. Elsewhere (a log, a
// pipe): the same figures as plain lines, one at every tenth of the work,
// which a reader of the log can follow without carriage returns.
// WriteProgress and ReadProgress feed it from the write, its read-back and
// the read.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "firmware/WriteProcedure.h"
#include "loader/SessionObserver.h"

namespace tarvel::cli {

enum class ProgressStyle {
  Off,     // --quiet
  Redraw,  // a terminal: one line rewritten in place
  Plain,   // not a terminal: a line at every tenth, no carriage returns
};

class ProgressLine {
 public:
  ProgressLine(ProgressStyle style, std::string verb, std::FILE* out = stderr)
      : style_(style), verb_(std::move(verb)), out_(out) {}
  ~ProgressLine() { finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `done` blocks of `total` are finished; `counter` is the block shown.
  void update(int done, int total, const std::string& counter);
  // The work succeeded: the line shows 100 %, whatever the last update was,
  // with `counter` (empty: the last one shown).
  void complete(const std::string& counter);
  // Ends the progress line so that other output starts on a line of its own.
  void finish();
  // Another stage of the same run (the read-back after the write): a new
  // line with its own verb, percentage and rate.
  void restart(std::string verb);

 private:
  using Clock = std::chrono::steady_clock;
  void draw(int done, int total, Clock::time_point now);

  ProgressStyle style_;
  std::string verb_;
  std::FILE* out_;
  bool started_ = false;
  bool shown_ = false;
  int total_ = 0;
  int tenthsShown_ = 0;  // Plain: the last tenth written
  bool completed_ = false;
  std::string counter_;
  Clock::time_point start_{};
  Clock::time_point lastDraw_{};
};

// A write's progress events on the line, and its read-back's after them.
class WriteProgress {
 public:
  explicit WriteProgress(ProgressLine& line) : line_(line) {}
  void progressed(const Progress& progress) {
    if (progress.phase == SessionPhase::Verifying) {
      // The read-back announces itself with no blocks yet.
      if (progress.blocks == 0) {
        line_.restart("Verifying");
      } else if (progress.block >= progress.blocks) {
        line_.update(progress.block, progress.blocks, VerifyCounter(progress.block, progress.blocks));
        line_.complete({});
        line_.finish();
      } else {
        line_.update(progress.block, progress.blocks, VerifyCounter(progress.block, progress.blocks));
      }
      return;
    }
    if (progress.phase != SessionPhase::Writing) return;
    if (progress.block < 0) {
      total_ = progress.blocks;
      return;
    }
    line_.update(progress.block, total_, FormatBlockCounter(progress.block));
  }
  int total() const { return total_; }

  // "5 of 8": the read-back counts the file's blocks, not their numbers.
  static std::string VerifyCounter(int done, int total) {
    return std::to_string(done) + " of " + std::to_string(total);
  }

 private:
  ProgressLine& line_;
  int total_ = 1;
};

class ReadProgress {
 public:
  explicit ReadProgress(ProgressLine& line) : line_(line) {}
  void progressed(const Progress& progress) {
    if (progress.phase == SessionPhase::Reading && progress.block < progress.blocks) {
      line_.update(progress.block, progress.blocks, FormatBlockCounter(progress.block));
    }
  }

 private:
  ProgressLine& line_;
};

// The text cut or padded to `columns` - 1 characters: the last column stays
// free, as some terminals wrap when it is written.
std::string FitToColumns(std::string line, int columns);

// "12.3 kB/s", "4:05 left": the figures of the progress line.
std::string FormatRate(double bytesPerSecond);
std::string FormatTimeLeft(double seconds);

}  // namespace tarvel::cli
