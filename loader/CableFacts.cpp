#include "loader/CableFacts.h"

#include <algorithm>

namespace tarvel {

namespace {
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::optional<Cable> CableNamed(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  for (const CableFacts& facts : kCables) {
    if (std::find(facts.spellings.begin(), facts.spellings.end(), lower) != facts.spellings.end()) {
      return facts.cable;
    }
  }
  return std::nullopt;
}

bool SpeedOffered(Cable cable, unsigned baud) {
  const std::span<const unsigned> speeds = FactsOf(cable).speeds;
  return std::find(speeds.begin(), speeds.end(), baud) != speeds.end();
}

std::string SpeedList(Cable cable) {
  const std::span<const unsigned> speeds = FactsOf(cable).speeds;
  std::string list;
  for (std::size_t i = 0; i < speeds.size(); ++i) {
    if (i > 0) list += i + 1 == speeds.size() ? " or " : ", ";
    list += std::to_string(speeds[i]);
  }
  return list;
}

}  // namespace tarvel
