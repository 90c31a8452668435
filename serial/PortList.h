// The serial devices of this machine, for the port list of the window and
// `tarvel-cli ports`.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

struct PortInfo {
  std::string device;  // the name to open: /dev/ttyUSB0 on Linux, COM5 on Windows
  std::string byId;    // its stable link in /dev/serial/by-id, if any
  std::string byPath;  // its link in /dev/serial/by-path (the socket it is plugged into), if any
  // From the USB device the port belongs to; empty for other ports.
  std::string vendorId, productId, serial, manufacturer, product;
  // Linux: the kernel driver of the port, e.g. ftdi_sio. Windows: the
  // device behind the name, e.g. \Device\VCP0.
  std::string driver;
  std::string friendlyName;  // Windows: the name Device Manager shows
  // The adapter's latency timer in milliseconds, for adapters that hold
  // short replies until it runs out (FTDI); -1 where there is none.
  int latencyTimerMs = -1;
};

// The serial ports of this machine, sorted by name in natural order
// (ttyUSB2 before ttyUSB10, COM2 before COM10).
std::vector<PortInfo> ListSerialPorts();

// Whether this user can take the device now, judged without opening it:
// opening a terminal raises DTR and RTS, which a radio's cable may take as
// the loader's entry pulse.
enum class PortAccess { Ok, Missing, Denied, Busy, NotSerial };
// Busy: another process holds the device's flock (as tarvel does) or a UUCP
// lock file (LCK..NAME in /run/lock or /var/lock) of a running process.
// NotSerial: a regular file, a folder, or a device of another kind
// (/dev/null), which no radio can be behind.
PortAccess CheckPortAccess(const std::string& device, const std::string& procRoot = "/proc");
const char* PortAccessName(PortAccess access);

// Natural order of names: runs of digits compare by value.
bool NaturalLess(const std::string& left, const std::string& right);

}  // namespace tarvel
