// The serial port on Linux: a tty device opened exclusively and driven with
// termios, poll() and the modem-line ioctls.
#pragma once

#include <memory>
#include <string>

#include "serial/SerialPort.h"

namespace tarvel {

struct PosixSysCalls;

class PosixPortOpener final : public PortOpener {
 public:
  PosixPortOpener();
  explicit PosixPortOpener(const PosixSysCalls& sys);
  ~PosixPortOpener() override;

  // `name` is a device path such as /dev/ttyUSB0. CannotOpen keeps errno in
  // osError (EACCES for a missing permission, EBUSY for a port in use,
  // ENOTTY for a file that is not a terminal).
  OpenResult open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) override;

 private:
  std::unique_ptr<PosixSysCalls> sys_;
};

// For a program that must end at once (a second Ctrl-C): clears the
// exclusive flag of every port this process holds open and closes it, so
// that the next run can open the port. Safe to call in a signal handler.
void ReleaseOpenPortsNow();

}  // namespace tarvel
