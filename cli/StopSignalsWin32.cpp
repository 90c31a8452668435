// Ctrl-C, Ctrl-Break and a closing console as the stop signals.
#include <windows.h>
// windows.h names LoadStringW LoadString; ours is the string table's.
#undef LoadString

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/Strings.h"
#include "cli/StopSignalsHandlers.h"

namespace tarvel::cli::stop {

namespace {

// Ctrl-C and Ctrl-Break as SIGINT; a closed console window, a log-off and a
// shut-down as a hang-up, as on Linux.
int SignalNumberOf(DWORD event) {
  constexpr int kHangUp = 1;
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : kHangUp;
}

void WriteLine(std::string_view text) {
  std::fprintf(stderr, "%s\n", std::string(text).c_str());
  std::fflush(stderr);
}

// The console calls the handler on a thread of its own.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int number = SignalNumberOf(event);
  if (g_request.exchange(true)) {
    // Ending the process closes its handles: the port is released with it.
    WriteLine(LoadString(StringId::StoppedAtOnce));
    ::ExitProcess(static_cast<UINT>(128 + number));
  }
  g_signal.store(number);
  WriteLine(LoadString(StringId::StopRequested));
  if (number != SIGINT) {
    // Windows ends the process once the handler of a closing console
    // returns: give the run its few seconds to finish the exchange and
    // release the port.
    constexpr DWORD kCloseGraceMs = 4000;
    ::Sleep(kCloseGraceMs);
  }
  return TRUE;
}

}  // namespace

void InstallHandlers() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void RestoreHandlers() { ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE); }

}  // namespace tarvel::cli::stop
