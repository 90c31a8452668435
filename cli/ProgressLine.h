// Progress on a terminal: one line on stderr, rewritten in place, with the
// block counter as the window shows it, the percentage, the data rate and
// the time left. WriteProgress and ReadProgress feed it from the write and
// the read procedures.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "firmware/WriteProcedure.h"
#include "service/FlashRead.h"

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
  // Ends the progress line so that other output starts on a line of its own.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  std::string verb_;
  bool started_ = false;
  bool shown_ = false;
  Clock::time_point start_{};
  Clock::time_point lastDraw_{};
};

class WriteProgress final : public WriteUi {
 public:
  explicit WriteProgress(ProgressLine& line) : line_(line) {}
  void lockForWrite() override {}
  void unlockAfterWrite() override { line_.finish(); }
  void statusChanged(int) override {}
  void setProgressRange(std::uint16_t highest) override { highest_ = highest; }
  void setProgress(int position, const std::string& text) override {
    if (!text.empty()) line_.update(position, highest_ + 1, text);
  }
  void bringToFront() override {}

 private:
  ProgressLine& line_;
  int highest_ = 0;
};

class ReadProgress final : public ReadUi {
 public:
  explicit ReadProgress(ProgressLine& line) : line_(line) {}
  void statusChanged(int) override {}
  void setReadProgress(unsigned, std::uint16_t) override {}
  void showFolderPane() override { line_.finish(); }
  void blockRead(int blocksDone, std::uint16_t endBlock) override;

 private:
  ProgressLine& line_;
};

// "12.3 kB/s", "4:05 left": the figures of the progress line.
std::string FormatRate(double bytesPerSecond);
std::string FormatTimeLeft(double seconds);

}  // namespace tarvel::cli
