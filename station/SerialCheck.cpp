#include "station/SerialCheck.h"

#include <regex>

#include "base/Strings.h"

namespace tarvel {

bool ValidSerialPattern(const std::string& pattern) {
  try {
    const std::regex compiled(pattern, std::regex::ECMAScript);
    return true;
  } catch (const std::regex_error&) {
    return false;
  }
}

bool SerialMatches(const std::string& serial, const std::string& pattern) {
  if (pattern.empty()) return true;
  // A pattern too costly for this serial is no match: the scan is refused,
  // never taken on trust.
  try {
    return std::regex_match(serial, std::regex(pattern, std::regex::ECMAScript));
  } catch (const std::regex_error&) {
    return false;
  }
}

std::optional<SerialRefusal> CheckRoundSerials(const SerialRules& rules, const std::vector<std::string>& names,
                                               const std::vector<std::size_t>& beds,
                                               const std::vector<std::string>& serials,
                                               const std::vector<std::string>& taken) {
  for (std::size_t k = 0; k < beds.size(); ++k) {
    const std::string& serial = serials[k];
    const std::string& name = names[beds[k]];
    if (serial.empty()) continue;
    if (serial.size() > rules.most) {
      return SerialRefusal{FormatString(StringId::StationSerialTooLong, {name, std::to_string(rules.most)}), {beds[k]}};
    }
    if (!SerialMatches(serial, rules.pattern)) {
      return SerialRefusal{FormatString(StringId::StationSerialNoMatch, {name, serial, rules.pattern}), {beds[k]}};
    }
  }
  // One radio per serial number: within the round, and against the beds
  // still running.
  for (std::size_t k = 0; k < beds.size(); ++k) {
    if (serials[k].empty()) continue;
    std::vector<std::size_t> holders;
    for (std::size_t other = 0; other < taken.size(); ++other) {
      if (taken[other] == serials[k]) holders.push_back(other);
    }
    for (std::size_t j = 0; j < beds.size(); ++j) {
      if (serials[j] == serials[k]) holders.push_back(beds[j]);
    }
    if (holders.size() < 2) continue;
    std::string where;
    for (std::size_t i = 0; i < holders.size(); ++i) {
      where += (i == 0 ? "" : i + 1 == holders.size() ? " and " : ", ") + names[holders[i]];
    }
    return SerialRefusal{FormatString(StringId::StationSerialTwice, {serials[k], where}), holders};
  }
  return std::nullopt;
}

}  // namespace tarvel
