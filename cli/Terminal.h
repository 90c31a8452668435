// What tarvel-cli asks of the terminal: whether stderr is one, and how wide
// it is. Kept apart so that another platform replaces only this file.
#pragma once

#include <string>

namespace tarvel::cli {

bool StderrIsTerminal();

// Columns of the terminal behind stderr; 80 when it does not say. Re-read
// after the window changed size (SIGWINCH), not at every call.
int StderrColumns();

// Shows `prompt` on the terminal and reads one line typed there (without
// its line end): the controlling terminal, never stdin, which may be a
// pipe. Ended: the input ended (Ctrl-D) or a signal came (the stop is the
// caller's to see).
enum class TerminalAnswer { Line, Ended, NoTerminal };
TerminalAnswer AskTerminal(const std::string& prompt, std::string& line);

// Installs the SIGWINCH handler that makes StderrColumns() ask again.
void WatchTerminalSize();

}  // namespace tarvel::cli
