#include "serial/PosixSerialPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>
#include <utility>

#include "serial/PosixSysCalls.h"
#include "serial/Termios2.h"
#include "serial/UucpLock.h"

namespace tarvel {
namespace {

using Time = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a write held back by CTS or DSR looks at the lines again.
constexpr milliseconds kModemLinePollInterval{1};
// Between two looks at a fixture switch's line.
constexpr milliseconds kLineEdgePollInterval{5};

// Errors after which the device will not come back under this descriptor:
// a hung-up terminal, an unplugged adapter.
bool IsGoneError(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

IoResult Failure(std::size_t count, int error) {
  return {count, IsGoneError(error) ? PortStatus::Gone : PortStatus::Failed, error};
}

// Whole milliseconds left until `deadline`, rounded up so that a poll never
// wakes just before it; 0 once it has passed.
int RemainingMs(Time::time_point deadline) {
  const auto left = deadline - Time::now();
  if (left <= Time::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<milliseconds>(left).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

// The descriptors of the open ports, plus one (0: a free slot), and the
// lock files they hold, for ReleaseOpenPortsNow; only lock-free atomics and
// fixed buffers, as a signal handler reads them. As many as the command
// line takes radios at once.
constexpr std::size_t kMostOpenPorts = 256;
std::array<std::atomic<int>, kMostOpenPorts> g_openPorts{};
std::array<std::array<char, kLockPathCapacity>, kMostOpenPorts> g_openPortLocks{};

// False when the table is full: the port then closes only with its object.
bool RegisterOpenPort(int fd, const std::string& lockPath) {
  for (std::size_t i = 0; i < g_openPorts.size(); ++i) {
    int expected = 0;
    // Claimed with -1 first, so that the handler never sees a slot whose
    // lock path is still being written.
    if (!g_openPorts[i].compare_exchange_strong(expected, -1)) continue;
    auto& path = g_openPortLocks[i];
    path.fill('\0');
    if (lockPath.size() < path.size()) std::copy(lockPath.begin(), lockPath.end(), path.begin());
    g_openPorts[i].store(fd + 1);
    return true;
  }
  return false;
}

// False when ReleaseOpenPortsNow has taken the descriptor (and closed it).
bool UnregisterOpenPort(int fd) {
  for (auto& slot : g_openPorts) {
    int expected = fd + 1;
    if (slot.compare_exchange_strong(expected, 0)) return true;
  }
  return false;
}

class PosixSerialPort final : public SerialPort {
 public:
  PosixSerialPort(int fd, const PosixSysCalls& sys, const PortTimeouts& timeouts, unsigned baud, UucpLock lock)
      : fd_(fd), sys_(sys), timeouts_(timeouts), byteTime_(ByteTime(baud)), lock_(std::move(lock)) {
    registered_ = RegisterOpenPort(fd_, lock_.path());
  }

  ~PosixSerialPort() override {
    if (registered_ && !UnregisterOpenPort(fd_)) {
      lock_.forget();  // removed with the port by ReleaseOpenPortsNow
      return;
    }
    // The exclusive flag belongs to the terminal, not to this descriptor; a
    // pseudo-terminal whose other end stays open would keep refusing us.
    sys_.ioctl(fd_, TIOCNXCL, nullptr);
    ::close(fd_);
    lock_.release();
  }

  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  // Lowers DTR and RTS and learns whether the device has modem lines at all.
  void lowerLines() {
    int bits = TIOCM_DTR | TIOCM_RTS;
    int status = 0;
    modemLines_ = sys_.ioctl(fd_, TIOCMBIC, &bits) == 0 && sys_.ioctl(fd_, TIOCMGET, &status) == 0;
  }

  // USB adapters otherwise hold received bytes back for their latency timer
  // (16 ms on many), twice per exchange.
  void requestLowLatency() {
    serial_struct serial{};
    if (sys_.ioctl(fd_, TIOCGSERIAL, &serial) != 0) return;
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    sys_.ioctl(fd_, TIOCSSERIAL, &serial);
  }

  IoResult write(std::span<const std::uint8_t> bytes) override {
    if (bytes.empty()) return {};
    const auto deadline =
        Time::now() + timeouts_.writePerByte * static_cast<long>(bytes.size()) + timeouts_.writeConstant;

    if (modemLines_) {
      IoResult held = waitForClearToSend(deadline);
      if (held.status != PortStatus::Ok) return held;
    }

    std::size_t sent = 0;
    bool errorSeen = false;
    while (sent < bytes.size()) {
      const ssize_t written = sys_.write(fd_, bytes.data() + sent, bytes.size() - sent);
      if (written > 0) {
        sent += static_cast<std::size_t>(written);
        errorSeen = false;
        continue;
      }
      if (written < 0 && errno == EINTR) continue;
      if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Failure(sent, errno);
      // The output queue is full (or the driver took nothing).
      if (errorSeen) return {sent, PortStatus::Gone, EIO};
      const int waitMs = RemainingMs(deadline);
      if (waitMs == 0) return {sent, PortStatus::TimedOut, 0};
      pollfd entry{fd_, POLLOUT, 0};
      const int ready = sys_.poll(&entry, 1, waitMs);
      if (ready < 0 && errno != EINTR) return Failure(sent, errno);
      if (ready > 0 && (entry.revents & POLLNVAL) != 0) return {sent, PortStatus::Gone, EBADF};
      if (ready > 0 && (entry.revents & (POLLERR | POLLHUP)) != 0) errorSeen = true;
    }
    return {sent, PortStatus::Ok, 0};
  }

  IoResult read(std::span<std::uint8_t> bytes) override {
    if (bytes.empty()) return {};
    const auto start = Time::now();
    const auto deadline = start + timeouts_.readPerByte * static_cast<long>(bytes.size());
    // A dead line ends the read after one per-byte time-out, not after n.
    auto idleUntil = start + timeouts_.readPerByte;

    std::size_t got = 0;
    bool errorSeen = false;
    while (true) {
      const ssize_t count = sys_.read(fd_, bytes.data() + got, bytes.size() - got);
      if (count > 0) {
        got += static_cast<std::size_t>(count);
        if (got == bytes.size()) return {got, PortStatus::Ok, 0};
        idleUntil = Time::now() + timeouts_.readPerByte;
        errorSeen = false;
        awaitMissingBytes(bytes.size() - got, std::min(deadline, idleUntil));
        continue;
      }
      // With VMIN 1 and O_NONBLOCK, end of file only comes from a hang-up;
      // reported as the EIO that writes to a hung-up terminal get.
      if (count == 0) return {got, PortStatus::Gone, EIO};
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return Failure(got, errno);
      if (errorSeen) return {got, PortStatus::Gone, EIO};

      const int waitMs = RemainingMs(std::min(deadline, idleUntil));
      if (waitMs == 0) return {got, PortStatus::TimedOut, 0};
      pollfd entry{fd_, POLLIN, 0};
      const int ready = sys_.poll(&entry, 1, waitMs);
      if (ready < 0 && errno != EINTR) return Failure(got, errno);
      if (ready > 0 && (entry.revents & POLLNVAL) != 0) return {got, PortStatus::Gone, EBADF};
      if (ready > 0 && (entry.revents & (POLLERR | POLLHUP)) != 0) errorSeen = true;
    }
  }

  std::size_t bytesWaiting() override {
    int count = 0;
    if (sys_.ioctl(fd_, FIONREAD, &count) != 0 || count < 0) return 0;
    return static_cast<std::size_t>(count);
  }

  bool waitForInput(milliseconds bound) override {
    const auto deadline = Time::now() + std::max(bound, milliseconds::zero());
    while (true) {
      pollfd entry{fd_, POLLIN, 0};
      const int ready = sys_.poll(&entry, 1, RemainingMs(deadline));
      if (ready > 0) return true;  // input, or an error for the next read to report
      if (ready == 0) return false;
      if (errno != EINTR) return true;
    }
  }

  void setLine(ControlLine line, bool raised) override {
    if (!modemLines_) return;
    int bits = line == ControlLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    sys_.ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &bits);
  }

  bool hasModemLines() const override { return modemLines_; }

  std::optional<ModemLevels> modemLevels() override {
    if (!modemLines_) return std::nullopt;
    int status = 0;
    while (sys_.ioctl(fd_, TIOCMGET, &status) != 0) {
      if (errno != EINTR) return std::nullopt;
    }
    return ModemLevels{(status & TIOCM_CTS) != 0, (status & TIOCM_DSR) != 0, (status & TIOCM_CAR) != 0};
  }

  // TIOCMIWAIT would sleep until an edge, but it has no bound and nothing
  // short of a signal or a hang-up ends it: a bed that must let go of its
  // port for a write, or a station that closes, could not get it back. The
  // lines are read every few milliseconds instead, far more often than a
  // fixture's switch can move.
  void waitForLineChange(milliseconds bound) override {
    const std::optional<ModemLevels> before = modemLevels();
    const auto deadline = Time::now() + std::max(bound, milliseconds::zero());
    while (Time::now() < deadline) {
      std::this_thread::sleep_for(std::min<Time::duration>(kLineEdgePollInterval, deadline - Time::now()));
      const std::optional<ModemLevels> now = modemLevels();
      if (!before || !now) return;
      if (now->cts != before->cts || now->dsr != before->dsr || now->dcd != before->dcd) return;
    }
  }

 private:
  // A byte on the line: a start bit, 8 data bits and two stop bits. Zero
  // (no pacing) when the rate is not known.
  static std::chrono::nanoseconds ByteTime(unsigned baud) {
    constexpr long long kBitsPerByte = 11;
    return baud == 0 ? std::chrono::nanoseconds::zero()
                     : std::chrono::nanoseconds(kBitsPerByte * 1'000'000'000LL / baud);
  }

  // The missing bytes cannot all be there before the line has carried
  // them: sleeping until shortly before that turns a reply into a few
  // wake-ups instead of one per byte. The last few bytes' time is left to
  // poll, so that a sender slightly slower than the line (or a late wake-up)
  // costs no extra sleep. Never past `bound`: the time-outs keep their meaning.
  void awaitMissingBytes(std::size_t missing, Time::time_point bound) const {
    constexpr std::size_t kPolledBytes = 4;
    if (byteTime_ == std::chrono::nanoseconds::zero() || missing <= kPolledBytes) return;
    const auto sleep = std::chrono::duration_cast<Time::duration>(
        byteTime_ * static_cast<long long>(missing - kPolledBytes));
    std::this_thread::sleep_until(std::min(Time::now() + sleep, bound));
  }

  // Output waits while the cable holds CTS or DSR off, as the radio's
  // interface signals that it is not ready.
  IoResult waitForClearToSend(Time::time_point deadline) {
    constexpr int kBothOn = TIOCM_CTS | TIOCM_DSR;
    while (true) {
      int status = 0;
      if (sys_.ioctl(fd_, TIOCMGET, &status) != 0) {
        if (errno == EINTR) continue;
        return Failure(0, errno);
      }
      if ((status & kBothOn) == kBothOn) return {};
      if (Time::now() >= deadline) return {0, PortStatus::TimedOut, 0};
      std::this_thread::sleep_for(kModemLinePollInterval);
    }
  }

  int fd_;
  PosixSysCalls sys_;
  PortTimeouts timeouts_;
  std::chrono::nanoseconds byteTime_;
  UucpLock lock_;
  bool registered_ = false;
  bool modemLines_ = false;
};

int RealIoctl(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }

OpenResult CannotOpen(const std::string& name, int error) {
  return {nullptr, OpenStatus::CannotOpen, error, name + ": " + std::strerror(error)};
}

// The system's "Inappropriate ioctl for device" says nothing to a user who
// gave /dev/null or a file by mistake.
OpenResult NotATerminal(const std::string& name) {
  return {nullptr, OpenStatus::CannotOpen, ENOTTY, name + ": not a serial device"};
}

}  // namespace

void ReleaseOpenPortsNow() {
  for (std::size_t i = 0; i < g_openPorts.size(); ++i) {
    int entry = g_openPorts[i].load();
    // Skips free slots and those being filled (-1).
    if (entry <= 0 || !g_openPorts[i].compare_exchange_strong(entry, 0)) continue;
    ::ioctl(entry - 1, TIOCNXCL, nullptr);
    ::close(entry - 1);
    if (g_openPortLocks[i][0] != '\0') ::unlink(g_openPortLocks[i].data());
  }
}

std::size_t OpenPortsTableSize() { return kMostOpenPorts; }

PosixSysCalls RealSysCalls() {
  return {
      .read = [](int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); },
      .write = [](int fd, const void* buffer, std::size_t size) { return ::write(fd, buffer, size); },
      .poll = [](pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); },
      .ioctl = RealIoctl,
  };
}

std::unique_ptr<PortOpener> MakeSystemPortOpener() { return std::make_unique<PosixPortOpener>(); }

std::unique_ptr<PortOpener> MakePosixPortOpener(PosixSysCalls sys) {
  return std::make_unique<PosixPortOpener>(sys);
}

PosixPortOpener::PosixPortOpener() : sys_(std::make_unique<PosixSysCalls>(RealSysCalls())) {}
PosixPortOpener::PosixPortOpener(const PosixSysCalls& sys, std::string lockFolder)
    : sys_(std::make_unique<PosixSysCalls>(sys)), lockFolder_(std::move(lockFolder)) {}
PosixPortOpener::~PosixPortOpener() = default;

OpenResult PosixPortOpener::open(const std::string& name, unsigned baud, const PortTimeouts& timeouts) {
  // A file that is no device at all takes no lock file in its name.
  struct stat info {};
  if (::stat(name.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) return NotATerminal(name);
  // Before the open, which raises DTR and RTS: a port that another program
  // locked is not touched at all.
  UucpLock lock;
  LockHolder holder;
  if (lock.take(lockFolder_, name, holder) == UucpLock::Result::Held) {
    const std::string program = holder.program.empty() ? std::string() : " (" + holder.program + ")";
    return {nullptr, OpenStatus::CannotOpen, EBUSY,
            name + ": locked by process " + std::to_string(holder.pid) + program + " in " + holder.lockPath};
  }
  // O_NONBLOCK: do not wait for a carrier that a programming cable never has.
  const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return CannotOpen(name, errno);
  if (::isatty(fd) == 0) {
    ::close(fd);
    return NotATerminal(name);
  }
  // TIOCEXCL alone does not stop a privileged process; the lock does.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return CannotOpen(name, error);
  }
  if (sys_->ioctl(fd, TIOCEXCL, nullptr) != 0) {
    const int error = errno;
    ::close(fd);
    return CannotOpen(name, error);
  }

  auto port = std::make_unique<PosixSerialPort>(fd, *sys_, timeouts, baud, std::move(lock));
  const posix::LineSetup setup = posix::ApplyLineSettings(fd, baud, *sys_);
  // Opening (and leaving rate 0) raises DTR and RTS; the radio takes DTR
  // as its programming supply, so lower both whatever else happens.
  port->lowerLines();
  if (setup.osError != 0) {
    return {std::move(port), OpenStatus::CannotConfigure, setup.osError, name + ": " + setup.detail};
  }
  posix::FlushQueues(fd, *sys_);
  port->requestLowLatency();
  return {std::move(port), OpenStatus::Ok, 0, {}};
}

}  // namespace tarvel
