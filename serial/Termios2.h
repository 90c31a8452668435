// Line settings through termios2, which carries any rate (BOTHER) as well as
// the standard ones. Kept apart from <termios.h>: the kernel's termios2
// header redefines struct termios.
#pragma once

#include <string>

#include "serial/PosixSysCalls.h"

namespace tarvel::posix {

struct LineSetup {
  int osError = 0;     // 0 when the driver took the settings
  std::string detail;  // what went wrong, for the user's log
};

// Raw 8-bit transfer at `baud`, no parity, two stop bits, receiver on, modem
// status ignored, no hardware or software flow control, lines left alone on
// close. Fails when the driver refuses the settings or reports a rate more
// than 2 % away from `baud` (the tolerance of a UART's receiver).
LineSetup ApplyLineSettings(int fd, unsigned baud, const PosixSysCalls& sys);

// Discards whatever waits in the input and output queues.
void FlushQueues(int fd, const PosixSysCalls& sys);

}  // namespace tarvel::posix
