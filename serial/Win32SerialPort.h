// The serial port on Windows: a COM port opened exclusively for synchronous
// I/O and driven with the communications functions.
#pragma once

#include <windows.h>

#include <string>

#include "serial/SerialPort.h"

namespace tarvel {

class Win32PortOpener final : public PortOpener {
 public:
  // `name` is a port name such as COM5. CannotOpen keeps GetLastError() in
  // osError (ERROR_FILE_NOT_FOUND for a missing port, ERROR_ACCESS_DENIED
  // for a port in use).
  OpenResult open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) override;
};

// The name CreateFileA gets: the device namespace, so that COM10 and above
// open too ("COM12" -> "\\.\COM12"); a name that already has a namespace
// prefix stays as it is.
std::string DevicePath(const std::string& portName);

// The line settings of every open on the block the driver returned: 8N2,
// binary, output held by CTS and DSR, DTR and RTS only by explicit calls,
// no XON/XOFF; the fields not named keep the driver's values.
void ApplyLineSettings(DCB& dcb, unsigned baud);
// The three time-outs of every open; the other two keep the driver's values.
void ApplyTimeouts(COMMTIMEOUTS& commTimeouts, const PortTimeouts& timeouts);

}  // namespace tarvel
