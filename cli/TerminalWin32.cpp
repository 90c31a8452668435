#include <windows.h>

#include "cli/Terminal.h"

namespace tarvel::cli {

namespace {

constexpr int kDefaultColumns = 80;

HANDLE ErrorHandle() { return ::GetStdHandle(STD_ERROR_HANDLE); }

}  // namespace

// A console answers GetConsoleMode; a pipe or a file does not.
bool StderrIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(ErrorHandle(), &mode) != 0;
}

// The console sends no signal when it is resized, and asking is cheap: the
// visible width of the window, not of its buffer.
int StderrColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(ErrorHandle(), &info)) return kDefaultColumns;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : kDefaultColumns;
}

void WatchTerminalSize() {}

}  // namespace tarvel::cli
