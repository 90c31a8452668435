// A write's progress on a terminal: one line on stderr, rewritten in place,
// with the block counter as the window shows it, the percentage, the data
// rate and the time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "firmware/WriteProcedure.h"

namespace tarvel::cli {

class ProgressLine final : public WriteUi {
 public:
  // `enabled` false prints nothing (not a terminal, or --quiet).
  ProgressLine(bool enabled, std::string verb) : enabled_(enabled), verb_(std::move(verb)) {}
  ~ProgressLine() override { finish(); }

  void lockForWrite() override {}
  void unlockAfterWrite() override { finish(); }
  void statusChanged(int) override {}
  void setProgressRange(std::uint16_t highest) override;
  void setProgress(int position, const std::string& text) override;
  void bringToFront() override {}

  // Ends the progress line so that other output starts on a line of its own.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  std::string verb_;
  int highest_ = 0;
  bool started_ = false;
  bool shown_ = false;
  Clock::time_point start_{};
  Clock::time_point lastDraw_{};
};

// "12.3 kB/s", "4:05 left": the figures of the progress line.
std::string FormatRate(double bytesPerSecond);
std::string FormatTimeLeft(double seconds);

}  // namespace tarvel::cli
