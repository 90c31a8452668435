// The serial numbers of a round, checked before any bed starts: the length
// a scan may give, the pattern of the line's labels, and one radio per
// serial number.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarvel {

// Whether `pattern` is a regular expression that a serial can be matched
// against (ECMAScript syntax).
bool ValidSerialPattern(const std::string& pattern);

// Whether `serial` matches all of `pattern`; an empty pattern takes any.
bool SerialMatches(const std::string& serial, const std::string& pattern);

struct SerialRefusal {
  std::string text;
  std::vector<std::size_t> beds;  // the beds whose fields are at fault
};

struct SerialRules {
  std::size_t most = 64;
  std::string pattern;
};

// `serials[i]` goes into bed `beds[i]` (named `names[beds[i]]`); `taken`
// holds each bed's serial that is running now (empty: none). Empty serials
// are not checked here.
std::optional<SerialRefusal> CheckRoundSerials(const SerialRules& rules, const std::vector<std::string>& names,
                                               const std::vector<std::size_t>& beds,
                                               const std::vector<std::string>& serials,
                                               const std::vector<std::string>& taken);

}  // namespace tarvel
