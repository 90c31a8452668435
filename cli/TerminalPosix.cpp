#include "cli/Terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace tarvel::cli {

namespace {

constexpr int kDefaultColumns = 80;
// Set by the signal handler; only lock-free atomics may be touched there.
std::atomic<bool> g_sizeChanged{true};
std::atomic<int> g_columns{kDefaultColumns};

extern "C" void OnWindowChange(int /*signal*/) { g_sizeChanged.store(true); }

}  // namespace

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int StderrColumns() {
  if (g_sizeChanged.exchange(false)) {
    struct winsize size {};
    g_columns.store(::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col
                                                                                          : kDefaultColumns);
  }
  return g_columns.load();
}

TerminalAnswer AskTerminal(const std::string& prompt, std::string& line) {
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return TerminalAnswer::NoTerminal;
  bool ok = ::write(fd, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size());
  line.clear();
  for (char c = 0; ok;) {
    // A signal (Ctrl-C) ends the wait: the stop is the caller's to see.
    if (::read(fd, &c, 1) != 1) {
      ok = false;
    } else if (c == '\n') {
      break;
    } else {
      line += c;
    }
  }
  ::close(fd);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ok ? TerminalAnswer::Line : TerminalAnswer::Ended;
}

void WatchTerminalSize() {
  struct sigaction action {};
  action.sa_handler = OnWindowChange;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGWINCH, &action, nullptr);
}

}  // namespace tarvel::cli
