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
  if (!enabled_ || total_ <= 0) return;
  lastDraw_ = {};
  update(total_, total_, counter.empty() ? counter_ : counter);
}

void ProgressLine::update(int done, int total, const std::string& counter) {
  if (!enabled_) return;
  total_ = total;
  counter_ = counter;
  const auto now = Clock::now();
  if (!started_) {
    started_ = true;
    start_ = now;
  } else if (now - lastDraw_ < kRedrawInterval && done + 1 < total) {
    return;
  }
  lastDraw_ = now;
  const double percent = total > 0 ? 100.0 * done / total : 0.0;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? done * kBlockBytes / seconds : 0.0;
  std::string line = verb_ + " block " + counter;
  char figures[64];
  std::snprintf(figures, sizeof figures, "  %3.0f%%", percent > 100 ? 100.0 : percent);
  line += figures;
  if (done > 0 && rate > 0) {
    line += "  " + FormatRate(rate);
    line += "  " + FormatTimeLeft((total - done) * kBlockBytes / rate);
  }
  std::fprintf(stderr, "\r%s", FitToColumns(std::move(line), StderrColumns()).c_str());
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::finish() {
  if (!shown_) return;
  std::fprintf(stderr, "\n");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace tarvel::cli
