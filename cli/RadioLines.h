// What several radios written at once look like on a terminal: a line per
// port, redrawn in place while they run, and the table at the end.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/GangWrite.h"

namespace tarvel::cli {

// "PORT  block 01F   48%  writing": the port, the block counter, the share
// done and the state; once the radio has ended (`ended` given), its result.
std::string RadioLineText(const std::string& port, const RadioProgress& progress, const RunResult* ended);

// Lines redrawn in place: each draw moves back over the lines drawn before.
// Every line is cut to the terminal's width so that none wraps.
class LiveLines {
 public:
  explicit LiveLines(std::FILE* out) : out_(out) {}
  void draw(const std::vector<std::string>& lines, int columns);

 private:
  std::FILE* out_;
  std::size_t drawn_ = 0;
};

// The table of every radio of `results` (each round's, in order): the
// round (when there are rounds), the port, blocks written of the file's,
// retries, time, the checksum of a complete write, whether the read-back
// matched (with --verify), and the result (the message shown). A sync
// has no block columns.
std::string FormatRadioTable(const std::vector<RunResult>& results);

// A message on one line, for a line or a table cell.
std::string OneLine(std::string text);

}  // namespace tarvel::cli
