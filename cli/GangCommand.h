// `tarvel-cli write FILE.sfl -p PORT -p PORT ...` and `sync -p PORT -p PORT
// ...`: a line of radios at once, with live lines on a terminal, a table
// at the end and, with --repeat, round after round.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/RadioOptions.h"

namespace tarvel::cli {

struct GangOptions {
  std::string portsFile;  // one port per line, # comments
  bool repeat = false;
  // Before each round, each port's serial number typed at the terminal.
  bool askSerial = false;
};

// At most this many radios at once (a thread and a port each).
inline constexpr std::size_t kMaxRadios = 256;

// Adds --ports-file and --repeat.
void AddGangOptions(CLI::App& command, GangOptions& options);

// The ports of the command line and of the ports file, in that order;
// `radio.port` becomes the first. Throws CLI::ValidationError when there is
// none or more than kMaxRadios, the file cannot be read or a port is named
// twice.
std::vector<std::string> TakeGangPorts(RadioOptions& radio, const GangOptions& options);

// Whether the command runs as a line of radios: more than one port, a
// ports file or --repeat. A single -p runs as it always did.
bool RunsAsGang(const std::vector<std::string>& ports, const GangOptions& options);

// Writes `file` into every port (or, with `file` empty, checks every
// port's connection); returns the exit code.
int RunGang(const std::string& command, const RadioOptions& radio, const std::vector<std::string>& ports,
            const GangOptions& options, const std::string& file, bool verify);

}  // namespace tarvel::cli
