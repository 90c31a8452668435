#include <windows.h>

#include "base/Win32Text.h"
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

// The console itself (CONIN$, CONOUT$), whatever stdin and stdout are.
TerminalAnswer AskTerminal(const std::string& prompt, std::string& line) {
  HANDLE in = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return TerminalAnswer::NoTerminal;
  HANDLE out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  bool ok = true;
  if (out != INVALID_HANDLE_VALUE) {
    const std::wstring text = win32::Wide(prompt);
    DWORD written = 0;
    ok = ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
    ::CloseHandle(out);
  }
  std::wstring typed;
  wchar_t buffer[256];
  while (ok) {
    DWORD got = 0;
    if (!::ReadConsoleW(in, buffer, 256, &got, nullptr) || got == 0) {
      ok = false;
      break;
    }
    typed.append(buffer, got);
    if (typed.find(L'\n') != std::wstring::npos) break;
  }
  ::CloseHandle(in);
  if (const std::size_t end = typed.find_first_of(L"\r\n"); end != std::wstring::npos) typed.resize(end);
  line = win32::Utf8(typed);
  return ok ? TerminalAnswer::Line : TerminalAnswer::Ended;
}

void WatchTerminalSize() {}

}  // namespace tarvel::cli
