#include "cli/UsageWords.h"

#include <algorithm>
#include <cctype>
#include <regex>

#include "base/Strings.h"

namespace tarvel::cli {

namespace {

// The optimal string alignment distance: insertions, deletions,
// substitutions and swaps of two neighbours, each counting one.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

bool IsProgramOption(std::string_view arg) {
  return arg == "-h" || arg == "--help" || arg == "-V" || arg == "--version";
}

bool IsCommandName(const CLI::App& app, const std::string& name) {
  for (const CLI::App* command : app.get_subcommands({})) {
    if (command->check_name(name)) return true;
  }
  return false;
}

// The option of `command` that an error names ("--baud", "-p", "file").
const CLI::Option* OptionNamed(const CLI::App* command, const std::string& name) {
  if (command == nullptr || name.empty()) return nullptr;
  for (const CLI::Option* option : command->get_options()) {
    if (option->check_name(name) || option->get_name() == name) return option;
  }
  return nullptr;
}

bool IsPositional(const CLI::Option* option) {
  return option != nullptr && option->get_lnames().empty() && option->get_snames().empty();
}

// An option's name as the user types it: its long form where it has one;
// an argument's as the usage line shows it (FILE).
std::string Shown(const CLI::Option* option, const std::string& fallback) {
  if (option == nullptr) return fallback;
  if (!option->get_lnames().empty()) return "--" + option->get_lnames().front();
  if (!option->get_snames().empty()) return "-" + option->get_snames().front();
  std::string name = option->get_name();
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return name;
}

// What an option takes: its value's name and its description (an
// argument's description alone).
std::string Takes(const CLI::Option* option) {
  if (option == nullptr) return {};
  std::string text = IsPositional(option) ? std::string() : option->get_type_name();
  const std::string description = option->get_description();
  if (!description.empty()) text += (text.empty() ? "" : ", ") + description;
  return text;
}

std::vector<std::string> OptionNames(const CLI::App* command) {
  std::vector<std::string> names;
  if (command == nullptr) return names;
  for (const CLI::Option* option : command->get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  }
  return names;
}

// The argument the parse did not take, from CLI11's ExtrasError text
// ("... not expected: 1 --bad"): an option among them first, as the words
// after it were taken for its value.
std::string FirstExtra(const std::string& what) {
  const std::size_t colon = what.find(": ");
  if (colon == std::string::npos) return {};
  std::vector<std::string> extras;
  std::string rest = what.substr(colon + 2);
  for (std::size_t start = 0; start < rest.size();) {
    const std::size_t space = rest.find(' ', start);
    const std::size_t end = space == std::string::npos ? rest.size() : space;
    if (end > start) extras.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& extra : extras) {
    if (extra.size() > 1 && extra.front() == '-') return extra;
  }
  return extras.empty() ? std::string() : extras.front();
}

}  // namespace

std::string GuessName(std::string_view word, const std::vector<std::string>& names) {
  // Two edits only in words long enough that two still leave most of it.
  const std::size_t most = word.size() >= 5 ? 2 : 1;
  std::string best;
  std::size_t bestDistance = most + 1;
  for (const std::string& name : names) {
    const std::size_t distance = EditDistance(word, name);
    if (distance < bestDistance && distance > 0) {
      best = name;
      bestDistance = distance;
    }
  }
  return best;
}

std::optional<std::string> CommandFirstLine(int argc, const char* const* argv, const CLI::App& app) {
  int commandAt = 0;
  bool optionBefore = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg(argv[i]);
    if (arg == "--") return std::nullopt;
    if (IsCommandName(app, arg)) {
      commandAt = i;
      break;
    }
    if (!arg.empty() && arg.front() == '-' && !IsProgramOption(arg)) optionBefore = true;
  }
  if (commandAt == 0 || !optionBefore) return std::nullopt;
  std::string line = "tarvel-cli " + ShellWord(argv[commandAt]);
  for (int i = 1; i < argc; ++i) {
    if (i != commandAt) line += " " + ShellWord(argv[i]);
  }
  return line;
}

std::string UsageText(const CLI::ParseError& error, const CLI::App* command) {
  const std::string what = error.what();
  std::smatch match;
  // "--port: 1 required DEVICE missing": the option came without its value.
  static const std::regex kMissingValue(R"(^(\S+): \d+ required (\S+) missing$)");
  if (std::regex_match(what, match, kMissingValue)) {
    const CLI::Option* option = OptionNamed(command, match[1].str());
    return FormatString(IsPositional(option) ? StringId::OptionRequired : StringId::OptionNeedsValue,
                        {Shown(option, match[1].str()), Takes(option)});
  }
  // "--port is required", "file is required".
  static const std::regex kRequired(R"(^(\S+) is required$)");
  if (std::regex_match(what, match, kRequired)) {
    const CLI::Option* option = OptionNamed(command, match[1].str());
    return FormatString(StringId::OptionRequired, {Shown(option, match[1].str()), Takes(option)});
  }
  // "Could not convert: --count = x".
  static const std::regex kConversion(R"(^Could not convert: (\S+) = (.*)$)");
  if (std::regex_match(what, match, kConversion)) {
    const CLI::Option* option = OptionNamed(command, match[1].str());
    return Shown(option, match[1].str()) + ": " +
           FormatString(StringId::ValueNotOneOf, {match[2].str(), Takes(option)});
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    const std::string extra = FirstExtra(what);
    if (!extra.empty() && extra.front() == '-') {
      const std::string name = extra.substr(0, extra.find('='));
      const std::string guess = GuessName(name, OptionNames(command));
      return guess.empty() ? FormatString(StringId::UnknownOption, {name})
                           : FormatString(StringId::UnknownOptionGuess, {name, guess});
    }
    return FormatString(StringId::UnexpectedArgument, {extra});
  }
  return what;
}

CLI::Validator OneOf(std::vector<std::string> values) {
  std::string list;
  for (const std::string& value : values) list += (list.empty() ? "" : ", ") + value;
  return CLI::Validator(
      [values, list](std::string& value) -> std::string {
        if (std::find(values.begin(), values.end(), value) != values.end()) return {};
        return FormatString(StringId::ValueNotOneOf, {value, list});
      },
      "");
}

}  // namespace tarvel::cli
