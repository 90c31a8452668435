// The serial port on Linux: a tty device opened exclusively and driven with
// termios, poll() and the modem-line ioctls.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "serial/SerialPort.h"
#include "serial/UucpLock.h"

namespace tarvel {

struct PosixSysCalls;

class PosixPortOpener final : public PortOpener {
 public:
  PosixPortOpener();
  // `lockFolder`: where the UUCP lock files are (a test's own folder).
  explicit PosixPortOpener(const PosixSysCalls& sys, std::string lockFolder = kUucpLockFolder);
  ~PosixPortOpener() override;

  // `name` is a device path such as /dev/ttyUSB0. CannotOpen keeps errno in
  // osError (EACCES for a missing permission, EBUSY for a port in use or
  // locked by a running process, whose PID and name the detail gives;
  // ENOTTY for a file that is not a terminal). The port's UUCP lock file is
  // held while it is open, when the lock folder exists and is writable.
  OpenResult open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) override;

 private:
  std::unique_ptr<PosixSysCalls> sys_;
  std::string lockFolder_ = kUucpLockFolder;
};

// For a program that must end at once (a second Ctrl-C): clears the
// exclusive flag of every port this process holds open, closes it and
// removes its lock file, so that the next run can open the port. Safe to
// call in a signal handler.
void ReleaseOpenPortsNow();

// How many open ports ReleaseOpenPortsNow knows of at most; a port beyond
// them is still closed when its object goes.
std::size_t OpenPortsTableSize();

}  // namespace tarvel
