// The port as the loader sees it: raw bytes with time-outs, a count of bytes
// waiting, and the two control lines. The POSIX implementation is one of
// several; tests use scripted fakes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>

namespace tarvel {

enum class PortStatus {
  Ok,        // the whole transfer happened
  TimedOut,  // fewer bytes than asked for within the time-out (possibly none)
  Failed,    // the system refused the transfer
  Gone,      // the device vanished (USB adapter unplugged, terminal closed)
};

struct IoResult {
  std::size_t count = 0;
  PortStatus status = PortStatus::Ok;
  int osError = 0;
};

enum class ControlLine { Dtr, Rts };

// The input lines that a fixture's switch may drive.
struct ModemLevels {
  bool cts = false;
  bool dsr = false;
  bool dcd = false;
};

// Time-outs of every open port.
struct PortTimeouts {
  // A read of n bytes returns after at most n times this with what arrived.
  std::chrono::milliseconds readPerByte{3000};
  // A write of n bytes gives up after n * writePerByte + writeConstant.
  std::chrono::milliseconds writePerByte{10};
  std::chrono::milliseconds writeConstant{100};
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Sends the bytes. Output waits while CTS or DSR is off, at most the write
  // time-out; a device without modem lines is never held back.
  virtual IoResult write(std::span<const std::uint8_t> bytes) = 0;
  // Reads up to bytes.size() bytes; returns when all have arrived or the read
  // time-out has expired, with what arrived.
  virtual IoResult read(std::span<std::uint8_t> bytes) = 0;
  // Bytes waiting in the input queue; 0 when that cannot be learned.
  virtual std::size_t bytesWaiting() = 0;
  // Waits until at least one byte waits (true) or `bound` passes (false).
  // A port with an error to report returns true at once, so that the read
  // that follows reports it instead of waiting.
  virtual bool waitForInput(std::chrono::milliseconds bound) = 0;
  // Raises or lowers DTR or RTS. A device without modem lines ignores it.
  virtual void setLine(ControlLine line, bool raised) = 0;
  // False for devices without modem lines (pseudo-terminals).
  virtual bool hasModemLines() const = 0;
  // CTS, DSR and DCD as they are now; none for a device without modem
  // lines, or when the driver does not say.
  virtual std::optional<ModemLevels> modemLevels() { return std::nullopt; }
  // Waits until CTS, DSR or DCD may have changed, at most `bound`; the
  // caller reads the levels again either way. A port that cannot wait for
  // the lines waits out the bound.
  virtual void waitForLineChange(std::chrono::milliseconds bound) { std::this_thread::sleep_for(bound); }
};

enum class OpenStatus {
  Ok,
  CannotOpen,       // missing, in use, not a port, no permission
  CannotConfigure,  // the driver refused the line settings (e.g. the rate)
};

struct OpenResult {
  // On CannotConfigure the port is still returned, open, for the caller to
  // close, as the handle of a refused configuration stays with the caller.
  std::unique_ptr<SerialPort> port;
  OpenStatus status = OpenStatus::Ok;
  int osError = 0;
  std::string detail;  // the system's explanation of a failure
};

class PortOpener {
 public:
  virtual ~PortOpener() = default;
  // Opens the named port exclusively at `baud`, 8 data bits, no parity, two
  // stop bits, raw, with both control lines lowered and both queues empty.
  virtual OpenResult open(const std::string& name, unsigned baud,
                          const PortTimeouts& timeouts) = 0;
};

// The ports of the system the program runs on: tty devices through termios
// on Linux, COM ports through the communications functions on Windows.
std::unique_ptr<PortOpener> MakeSystemPortOpener();

}  // namespace tarvel
