#include "base/Report.h"

#include <cstdio>

namespace tarvel {

std::string FormatElapsed(std::uint32_t elapsedMs) {
  const std::uint32_t s = elapsedMs / 1000;
  char text[48];
  std::snprintf(text, sizeof text, "%u min %u sec %u ms", (s % 3600) / 60, s % 60, elapsedMs % 1000);
  return text;
}

std::string FormatHex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return text;
}

std::string FormatReport(StringId title, std::uint32_t elapsedMs, std::uint16_t sum) {
  std::string report(LoadString(title));
  report += "\n\n";
  report += FormatElapsed(elapsedMs);
  report += "\n\nCheck SUM is ";
  report += FormatHex4(sum);
  return report;
}

}  // namespace tarvel
