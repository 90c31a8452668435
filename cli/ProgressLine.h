// Progress on a terminal: one line on stderr, rewritten in place, with the
// block counter as the window shows it, the percentage, the data rate and
// the time left. The line is cut to the terminal's width, so it never wraps
// into a second line that the next redraw could not reach. WriteProgress and ReadProgress feed it from the write and
// the read procedures.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "firmware/WriteProcedure.h"
#include "loader/SessionObserver.h"

namespace tarvel::cli {

class ProgressLine {
 public:
  // `enabled` false prints nothing (not a terminal, or --quiet).
  ProgressLine(bool enabled, std::string verb) : enabled_(enabled), verb_(std::move(verb)) {}
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

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  std::string verb_;
  bool started_ = false;
  bool shown_ = false;
  int total_ = 0;
  std::string counter_;
  Clock::time_point start_{};
  Clock::time_point lastDraw_{};
};

// A write's or a read's progress events on the line.
class WriteProgress {
 public:
  explicit WriteProgress(ProgressLine& line) : line_(line) {}
  void progressed(const Progress& progress) {
    if (progress.phase != SessionPhase::Writing) return;
    if (progress.block < 0) {
      total_ = progress.blocks;
      return;
    }
    line_.update(progress.block, total_, FormatBlockCounter(progress.block));
  }
  int total() const { return total_; }

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
