#include "cli/ProgressLine.h"

#include <cmath>
#include <cstdio>

#include "cli/Terminal.h"

namespace tarvel::cli {

namespace {
constexpr double kBlockBytes = 128.0;
// Redrawing more often than this only costs the writer time.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

std::string FormatRate(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond >= 1000.0) {
    std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  }
  return text;
}

std::string FormatTimeLeft(double seconds) {
  const long whole = seconds < 0 ? 0 : std::lround(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld left", whole / 60, whole % 60);
  return text;
}

std::string FitToColumns(std::string line, int columns) {
  const std::size_t width = columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
  line.resize(width, ' ');
  return line;
}

void ProgressLine::complete(const std::string& counter) {
  if (style_ == ProgressStyle::Off || total_ <= 0 || completed_) return;
  lastDraw_ = {};
  if (!counter.empty()) counter_ = counter;
  completed_ = true;
  draw(total_, total_, Clock::now());
}

void ProgressLine::update(int done, int total, const std::string& counter) {
  if (style_ == ProgressStyle::Off) return;
  total_ = total;
  counter_ = counter;
  const auto now = Clock::now();
  if (!started_) {
    started_ = true;
    start_ = now;
  }
  if (style_ == ProgressStyle::Plain) {
    // A line at each tenth reached; the last one only from complete().
    const int tenths = total > 0 ? 10 * done / total : 0;
    if (tenths <= tenthsShown_ || done >= total) return;
    tenthsShown_ = tenths;
  } else if (now - lastDraw_ < kRedrawInterval && done + 1 < total) {
    return;
  }
  draw(done, total, now);
}

void ProgressLine::draw(int done, int total, Clock::time_point now) {
  lastDraw_ = now;
  if (!started_) {
    started_ = true;
    start_ = now;
  }
  const double percent = total > 0 ? 100.0 * done / total : 0.0;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? done * kBlockBytes / seconds : 0.0;
  std::string line = verb_ + " block " + counter_;
  char figures[64];
  std::snprintf(figures, sizeof figures, "  %3.0f%%", percent > 100 ? 100.0 : percent);
  line += figures;
  if (done > 0 && rate > 0) {
    line += "  " + FormatRate(rate);
    if (done < total) line += "  " + FormatTimeLeft((total - done) * kBlockBytes / rate);
  }
  if (style_ == ProgressStyle::Plain) {
    std::fprintf(out_, "%s\n", line.c_str());
  } else {
    std::fprintf(out_, "\r%s", FitToColumns(std::move(line), StderrColumns()).c_str());
    shown_ = true;
  }
  std::fflush(out_);
}

void ProgressLine::finish() {
  if (!shown_) return;
  std::fprintf(out_, "\n");
  std::fflush(out_);
  shown_ = false;
}

void ProgressLine::restart(std::string verb) {
  finish();
  verb_ = std::move(verb);
  started_ = false;
  completed_ = false;
  tenthsShown_ = 0;
  total_ = 0;
  counter_.clear();
  lastDraw_ = {};
}

}  // namespace tarvel::cli
