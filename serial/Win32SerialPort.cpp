#include "serial/Win32SerialPort.h"

#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "base/Win32Text.h"

namespace tarvel {
namespace {

using Time = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a wait for input looks at the input queue again: a handle
// opened for synchronous I/O cannot be waited on with a bound.
constexpr milliseconds kInputPollInterval{1};

// Errors after which the port will not come back under this handle: an
// unplugged USB adapter, a closed handle.
bool IsGoneError(DWORD error) {
  switch (error) {
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_ACCESS_DENIED:
    case ERROR_FILE_NOT_FOUND:
      return true;
    default:
      return false;
  }
}

IoResult Failure(std::size_t count, DWORD error) {
  return {count, IsGoneError(error) ? PortStatus::Gone : PortStatus::Failed, static_cast<int>(error)};
}

DWORD Clamp(std::size_t size) { return static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD)); }

DWORD Ms(milliseconds value) { return static_cast<DWORD>(std::clamp<long long>(value.count(), 0, MAXDWORD - 1)); }

class Win32SerialPort final : public SerialPort {
 public:
  Win32SerialPort(HANDLE handle, const PortTimeouts& timeouts) : handle_(handle), timeouts_(timeouts) {
    // Waits for input and the program's pauses count in milliseconds; the
    // default timer tick would stretch each to 15.6 ms.
    timerPeriodSet_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
  }

  ~Win32SerialPort() override {
    ::CloseHandle(handle_);
    if (timerPeriodSet_) ::timeEndPeriod(1);
  }

  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  // Learns whether the device has modem lines at all: a pseudo-terminal
  // under wine refuses every modem-line call (ERROR_NOT_SUPPORTED).
  void probeModemLines() {
    DWORD status = 0;
    modemLines_ = ::GetCommModemStatus(handle_, &status) != 0;
  }

  // The driver holds output back while CTS or DSR is off and gives up after
  // the write time-out of the open.
  IoResult write(std::span<const std::uint8_t> bytes) override {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      DWORD written = 0;
      if (!::WriteFile(handle_, bytes.data() + sent, Clamp(bytes.size() - sent), &written, nullptr)) {
        return Failure(sent + written, ::GetLastError());
      }
      if (written == 0) return {sent, PortStatus::TimedOut, 0};
      sent += written;
    }
    return {sent, PortStatus::Ok, 0};
  }

  // What waits is taken at once; then one byte at a time within the per-byte
  // time-out, so a dead line ends the read after one such time-out, not
  // after n of them, and the whole read after at most n.
  IoResult read(std::span<std::uint8_t> bytes) override {
    const auto deadline = Time::now() + timeouts_.readPerByte * static_cast<long>(bytes.size());
    std::size_t got = 0;
    while (got < bytes.size()) {
      const std::size_t waiting = bytesWaiting();
      const std::size_t ask = std::clamp<std::size_t>(waiting, 1, bytes.size() - got);
      DWORD count = 0;
      if (!::ReadFile(handle_, bytes.data() + got, Clamp(ask), &count, nullptr)) {
        return Failure(got + count, ::GetLastError());
      }
      got += count;
      if (count == 0 || (got < bytes.size() && Time::now() >= deadline)) return {got, PortStatus::TimedOut, 0};
    }
    return {got, PortStatus::Ok, 0};
  }

  std::size_t bytesWaiting() override {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle_, &errors, &status)) return 0;
    return status.cbInQue;
  }

  bool waitForInput(milliseconds bound) override {
    const auto deadline = Time::now() + std::max(bound, milliseconds::zero());
    while (true) {
      DWORD errors = 0;
      COMSTAT status{};
      // A failure is for the read that follows to report.
      if (!::ClearCommError(handle_, &errors, &status) || status.cbInQue > 0) return true;
      if (Time::now() >= deadline) return false;
      std::this_thread::sleep_for(kInputPollInterval);
    }
  }

  void setLine(ControlLine line, bool raised) override {
    if (!modemLines_) return;
    const DWORD code = line == ControlLine::Dtr ? (raised ? SETDTR : CLRDTR) : (raised ? SETRTS : CLRRTS);
    ::EscapeCommFunction(handle_, code);
  }

  bool hasModemLines() const override { return modemLines_; }

  std::optional<ModemLevels> modemLevels() override {
    DWORD status = 0;
    if (!modemLines_ || !::GetCommModemStatus(handle_, &status)) return std::nullopt;
    return ModemLevels{(status & MS_CTS_ON) != 0, (status & MS_DSR_ON) != 0, (status & MS_RLSD_ON) != 0};
  }

 private:
  HANDLE handle_;
  PortTimeouts timeouts_;
  bool modemLines_ = false;
  bool timerPeriodSet_ = false;
};

std::string Explain(const std::string& name, DWORD error) { return name + ": " + win32::ErrorText(error); }

}  // namespace

std::string DevicePath(const std::string& portName) {
  if (portName.rfind("\\\\", 0) == 0) return portName;
  return "\\\\.\\" + portName;
}

void ApplyLineSettings(DCB& dcb, unsigned baud) {
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fBinary = 1;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 1;
  dcb.fOutxDsrFlow = 1;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.XonLim = 100;
  dcb.XoffLim = 100;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
}

void ApplyTimeouts(COMMTIMEOUTS& commTimeouts, const PortTimeouts& timeouts) {
  commTimeouts.ReadTotalTimeoutMultiplier = Ms(timeouts.readPerByte);
  commTimeouts.WriteTotalTimeoutMultiplier = Ms(timeouts.writePerByte);
  commTimeouts.WriteTotalTimeoutConstant = Ms(timeouts.writeConstant);
}

OpenResult Win32PortOpener::open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) {
  const std::string path = DevicePath(name);
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return {nullptr, OpenStatus::CannotOpen, static_cast<int>(error), Explain(name, error)};
  }
  // A file or a pipe opens too; only a communications device has a state.
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  if (!::GetCommState(handle, &dcb)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return {nullptr, OpenStatus::CannotOpen, static_cast<int>(error), name + ": not a serial port"};
  }
  auto port = std::make_unique<Win32SerialPort>(handle, timeouts);
  ::SetCommMask(handle, EV_RXCHAR | EV_RXFLAG);

  COMMTIMEOUTS commTimeouts{};
  ::GetCommTimeouts(handle, &commTimeouts);
  ApplyTimeouts(commTimeouts, timeouts);
  ::SetCommTimeouts(handle, &commTimeouts);

  ApplyLineSettings(dcb, baud);
  if (!::SetCommState(handle, &dcb)) {
    const DWORD error = ::GetLastError();
    return {std::move(port), OpenStatus::CannotConfigure, static_cast<int>(error), Explain(name, error)};
  }
  port->probeModemLines();
  return {std::move(port), OpenStatus::Ok, 0, {}};
}

std::unique_ptr<PortOpener> MakeSystemPortOpener() { return std::make_unique<Win32PortOpener>(); }

}  // namespace tarvel
