#include <windows.h>
// windows.h names LoadStringW LoadString; ours is the string table's.
#undef LoadString

#include <csignal>
#include <mutex>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/Strings.h"
#include "cli/StopSignals.h"

namespace tarvel::cli {

namespace {

// The console calls the handler on a thread of its own.
std::atomic<bool> g_stopRequest{false};
std::atomic<int> g_signal{0};

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

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int number = SignalNumberOf(event);
  if (g_stopRequest.exchange(true)) {
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

// How many StopSignals live; sessions of several radios come and go on
// their own threads.
std::mutex g_nesting;
int g_depth = 0;

}  // namespace

StopSignals::StopSignals() {
  const std::lock_guard lock(g_nesting);
  if (g_depth++ > 0) return;
  g_stopRequest.store(false);
  g_signal.store(0);
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
  const std::lock_guard lock(g_nesting);
  if (--g_depth > 0) return;
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

const std::atomic<bool>& StopSignals::request() const { return g_stopRequest; }

int StopSignals::exitCode() const {
  const int number = g_signal.load();
  return number == 0 ? 0 : 128 + number;
}

}  // namespace tarvel::cli
