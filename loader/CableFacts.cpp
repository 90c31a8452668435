#include "loader/CableFacts.h"

#include <algorithm>

#include "base/AsciiCase.h"

namespace tarvel {

std::optional<Cable> CableNamed(std::string_view text) {
  const std::string lower = LowerAsciiText(text);
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
