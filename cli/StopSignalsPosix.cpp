// SIGINT, SIGTERM and SIGHUP as the stop signals.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <string_view>

#include "base/Strings.h"
#include "cli/StopSignalsHandlers.h"
#include "serial/PosixSerialPort.h"

namespace tarvel::cli::stop {

namespace {

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, kSignals.size()> g_previous{};

void WriteLine(std::string_view text) {
  // Nothing can be done when stderr is gone; the stop goes on all the same.
  if (::write(STDERR_FILENO, text.data(), text.size()) < 0 || ::write(STDERR_FILENO, "\n", 1) < 0) return;
}

extern "C" void OnStopSignal(int number) {
  const int savedErrno = errno;
  if (g_request.exchange(true)) {
    ReleaseOpenPortsNow();
    WriteLine(LoadString(StringId::StoppedAtOnce));
    ::_exit(128 + number);
  }
  g_signal.store(number);
  WriteLine(LoadString(StringId::StopRequested));
  errno = savedErrno;
}

}  // namespace

void InstallHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait in progress wakes, looks at its deadline and goes on.
  action.sa_flags = 0;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);
}

void RestoreHandlers() {
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
}

}  // namespace tarvel::cli::stop
