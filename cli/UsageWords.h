// What the command line says when its arguments are wrong, in the
// program's own words: the valid values named, a close miss of a command or
// an option guessed, options given before the command put in their place.
// CLI11's own wording ("Check qap9 value in {...} FAILED") never reaches
// the user.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace tarvel::cli {

// The name among `names` that `word` misses by a letter or two (a letter
// left out, added, changed, or two swapped); empty when none is that close.
std::string GuessName(std::string_view word, const std::vector<std::string>& names);

// When an option comes before the command ("tarvel-cli -p X sync"): the
// same line with the command first, for the message that refuses it.
// Only the program's own options (--help, --version) may come first.
std::optional<std::string> CommandFirstLine(int argc, const char* const* argv, const CLI::App& app);

// The usage error `error` of `command` (null: the program itself) in the
// program's words.
std::string UsageText(const CLI::ParseError& error, const CLI::App* command);

// A check that takes one of `values` and names them all when it refuses.
CLI::Validator OneOf(std::vector<std::string> values);

}  // namespace tarvel::cli
