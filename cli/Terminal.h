// What tarvel-cli asks of the terminal: whether stderr is one, and how wide
// it is. Kept apart so that another platform replaces only this file.
#pragma once

namespace tarvel::cli {

bool StderrIsTerminal();

// Columns of the terminal behind stderr; 80 when it does not say. Re-read
// after the window changed size (SIGWINCH), not at every call.
int StderrColumns();

// Installs the SIGWINCH handler that makes StderrColumns() ask again.
void WatchTerminalSize();

}  // namespace tarvel::cli
