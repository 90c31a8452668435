#include "cli/StopSignals.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <string_view>

#include "base/Strings.h"
#include "serial/PosixSerialPort.h"

namespace tarvel::cli {

namespace {

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

// What a signal handler may touch: lock-free atomics only.
std::atomic<bool> g_stopRequest{false};
std::atomic<int> g_signal{0};
std::array<struct sigaction, kSignals.size()> g_previous{};
// How many StopSignals live; sessions of several radios come and go on
// their own threads.
std::mutex g_nesting;
int g_depth = 0;

void WriteLine(std::string_view text) {
  // Nothing can be done when stderr is gone; the stop goes on all the same.
  if (::write(STDERR_FILENO, text.data(), text.size()) < 0 || ::write(STDERR_FILENO, "\n", 1) < 0) return;
}

extern "C" void OnStopSignal(int number) {
  const int savedErrno = errno;
  if (g_stopRequest.exchange(true)) {
    ReleaseOpenPortsNow();
    WriteLine(LoadString(StringId::StoppedAtOnce));
    ::_exit(128 + number);
  }
  g_signal.store(number);
  WriteLine(LoadString(StringId::StopRequested));
  errno = savedErrno;
}

}  // namespace

StopSignals::StopSignals() {
  const std::lock_guard lock(g_nesting);
  if (g_depth++ > 0) return;
  g_stopRequest.store(false);
  g_signal.store(0);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait in progress wakes, looks at its deadline and goes on.
  action.sa_flags = 0;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);
}

StopSignals::~StopSignals() {
  const std::lock_guard lock(g_nesting);
  if (--g_depth > 0) return;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
}

const std::atomic<bool>& StopSignals::request() const { return g_stopRequest; }

int StopSignals::exitCode() const {
  const int number = g_signal.load();
  return number == 0 ? 0 : 128 + number;
}

}  // namespace tarvel::cli
