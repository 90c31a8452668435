#include "app/StationApp.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <memory>

#include "station/StationFile.h"
#include "ui/DialogWidgets.h"
#include "ui/StationWindow.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

#include "serial/PosixSerialPort.h"
#endif

namespace tarvel {

#ifndef _WIN32
namespace {

// SIGTERM, SIGHUP and SIGINT reach the window through a pipe: a handler
// may only write a byte, and the window's thread does the rest.
int g_signalPipe[2] = {-1, -1};
std::atomic<bool> g_signalled{false};

extern "C" void OnStationSignal(int number) {
  const int savedErrno = errno;
  // A second signal ends at once, still releasing the ports, as it does for
  // tarvel-cli.
  if (g_signalled.exchange(true)) {
    ReleaseOpenPortsNow();
    ::_exit(128 + number);
  }
  const auto byte = static_cast<unsigned char>(number);
  // A pipe that cannot take the byte has one waiting already.
  const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
  static_cast<void>(written);
  errno = savedErrno;
}

// Until the window has gone, a stop signal stops every bed after its block,
// writes its record line and frees its port, then closes the window.
class StopSignalWatch {
 public:
  explicit StopSignalWatch(CStationWindow& window) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [&window] {
      unsigned char byte = 0;
      while (::read(g_signalPipe[0], &byte, 1) == 1) window.StopForSignal(128 + byte);
    });
    struct sigaction action {};
    action.sa_handler = OnStationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(number, &action, nullptr);
  }
  ~StopSignalWatch() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(number, &action, nullptr);
    notifier_.reset();
    for (int& fd : g_signalPipe) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
  }
  StopSignalWatch(const StopSignalWatch&) = delete;
  StopSignalWatch& operator=(const StopSignalWatch&) = delete;

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace
#endif

int RunStation(int& argc, char** argv, const std::string& file) {
  StationConfig config;
  CheckedSflFile firmware;
  TransferFacts facts;
  // Read before any window: a station with half a configuration never opens.
  if (const std::optional<std::string> problem = ReadStationFile(file, config, firmware, facts)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
#ifndef _WIN32
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return 2;
#endif
    const QApplication application(argc, argv);
    const std::unique_ptr<QMessageBox> box =
        BuildMessageBox(ToQString(*problem), MessageIcon::Stop, QString(), nullptr);
    box->exec();
    return 2;
  }
  QApplication application(argc, argv);
  CStationWindow window(std::move(config), std::move(firmware), std::move(facts));
#ifndef _WIN32
  const StopSignalWatch stopSignals(window);
#endif
  window.show();
  const int exitCode = QApplication::exec();
  return window.StopExitCode() != 0 ? window.StopExitCode() : exitCode;
}

}  // namespace tarvel
