#include "tests/support/SflText.h"

#include <cstdio>

#include "formats/SflWriter.h"

namespace tarvel::test {

std::array<std::uint8_t, 128> PatternBlock(std::uint16_t block, unsigned seed) {
  std::array<std::uint8_t, 128> data{};
  unsigned x = block * 2654435761u + seed * 40503u + 1;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return data;
}

std::string SflText(const std::string& header, const std::vector<TestRecord>& records,
                    const std::string& lineEnd, bool lowerCase) {
  std::string text = header;
  const char* format = lowerCase ? "%02x" : "%02X";
  char digits[8];
  for (const TestRecord& r : records) {
    std::snprintf(digits, sizeof digits, lowerCase ? "+%04x " : "+%04X ", static_cast<unsigned>(r.block));
    text += digits;
    for (std::uint8_t b : r.data) {
      std::snprintf(digits, sizeof digits, format, static_cast<unsigned>(b));
      text += digits;
    }
    text += lineEnd;
  }
  return text;
}

std::string ConventionalSfl(std::uint16_t first, int count, unsigned seed) {
  std::string text = SflHeader("TEST RADIO", "1.00");
  for (int i = 0; i < count; ++i) {
    const auto block = static_cast<std::uint16_t>(first + i);
    text += SflRecordLine(block, PatternBlock(block, seed));
  }
  return text;
}

}  // namespace tarvel::test
