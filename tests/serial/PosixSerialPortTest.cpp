#include "serial/PosixSerialPort.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "serial/PosixSysCalls.h"
#include "tests/serial/Pty.h"
#include "tests/support/CliRunner.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

using namespace std::chrono_literals;
using Time = std::chrono::steady_clock;

// Time-outs for lines that carry data: generous, as a loaded machine may
// hand bytes over late; reads that get all their bytes end at once anyway.
PortTimeouts DataTimeouts() {
  PortTimeouts timeouts;
  timeouts.readPerByte = 1000ms;
  timeouts.writePerByte = 10ms;
  timeouts.writeConstant = 2000ms;
  return timeouts;
}

// For reads and writes that are meant to time out.
PortTimeouts ShortTimeouts() {
  PortTimeouts timeouts;
  timeouts.readPerByte = 50ms;
  timeouts.writePerByte = 10ms;
  timeouts.writeConstant = 100ms;
  return timeouts;
}

std::vector<std::uint8_t> AllByteValues() {
  std::vector<std::uint8_t> bytes(256);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  return bytes;
}

class PosixPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available"; }

  std::unique_ptr<SerialPort> openPort(PortOpener& opener, PortTimeouts timeouts = DataTimeouts()) {
    OpenResult opened = opener.open(pty.slavePath(), 38400, timeouts);
    EXPECT_EQ(opened.status, OpenStatus::Ok) << opened.detail;
    return std::move(opened.port);
  }
  std::unique_ptr<SerialPort> openPort() { return openPort(opener); }

  test::Pty pty;
  PosixPortOpener opener;
};

TEST_F(PosixPortTest, CarriesEveryByteValueRawInBothDirections) {
  auto port = openPort();
  ASSERT_TRUE(port);
  const auto bytes = AllByteValues();

  // Sent: no CR/LF translation on output.
  const IoResult written = port->write(bytes);
  EXPECT_EQ(written.status, PortStatus::Ok);
  EXPECT_EQ(written.count, bytes.size());
  EXPECT_EQ(pty.receive(bytes.size()), bytes);

  // Received: no translation, no signal on 0x03 or 0x1A, no special 0x04.
  pty.send(bytes);
  std::vector<std::uint8_t> got(bytes.size());
  const IoResult read = port->read(got);
  EXPECT_EQ(read.status, PortStatus::Ok);
  EXPECT_EQ(read.count, bytes.size());
  EXPECT_EQ(got, bytes);

  // Nothing was echoed back to the sender.
  EXPECT_TRUE(pty.receive(1, 100ms).empty());
}

TEST_F(PosixPortTest, ShortReadReturnsWhatArrived) {
  PortTimeouts timeouts = DataTimeouts();
  timeouts.readPerByte = 300ms;
  auto port = openPort(opener, timeouts);
  ASSERT_TRUE(port);
  pty.send(std::vector<std::uint8_t>{0x57, 0x00, 0x0A});
  std::vector<std::uint8_t> got(8);
  const IoResult read = port->read(got);
  EXPECT_EQ(read.status, PortStatus::TimedOut);
  ASSERT_EQ(read.count, 3u);
  EXPECT_EQ(got[0], 0x57);
  EXPECT_EQ(got[2], 0x0A);
}

TEST_F(PosixPortTest, ReadOnASilentLineEndsAfterAnIdleGap) {
  auto port = openPort(opener, ShortTimeouts());
  ASSERT_TRUE(port);
  // 200 bytes at 50 ms each would be 10 s; the idle gap ends it long before.
  std::vector<std::uint8_t> got(200);
  const auto start = Time::now();
  const IoResult read = port->read(got);
  EXPECT_EQ(read.status, PortStatus::TimedOut);
  EXPECT_EQ(read.count, 0u);
  EXPECT_LT(Time::now() - start, 2s);
}

TEST_F(PosixPortTest, ReplyArrivingLongerThanOneIdleGapIsReadWhole) {
  PortTimeouts timeouts = DataTimeouts();
  timeouts.readPerByte = 400ms;
  auto port = openPort(opener, timeouts);
  ASSERT_TRUE(port);
  // Four bytes 150 ms apart: 600 ms in all, more than one idle gap, but no
  // gap as long as one. The idle timer starts again with every byte.
  std::thread sender([this] {
    for (std::uint8_t byte : {0x11, 0x22, 0x33, 0x44}) {
      std::this_thread::sleep_for(150ms);
      pty.send(std::vector<std::uint8_t>{byte});
    }
  });
  std::vector<std::uint8_t> got(4);
  const IoResult read = port->read(got);
  sender.join();
  EXPECT_EQ(read.status, PortStatus::Ok);
  EXPECT_EQ(got, (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0x44}));
}

TEST_F(PosixPortTest, ReportsWaitingInput) {
  auto port = openPort();
  ASSERT_TRUE(port);
  EXPECT_EQ(port->bytesWaiting(), 0u);
  EXPECT_FALSE(port->waitForInput(20ms));
  EXPECT_FALSE(port->waitForInput(0ms));

  pty.send(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
  EXPECT_TRUE(port->waitForInput(5s));
  // The terminal hands input over in the background.
  const auto deadline = Time::now() + 5s;
  while (port->bytesWaiting() < 5 && Time::now() < deadline) port->waitForInput(10ms);
  EXPECT_EQ(port->bytesWaiting(), 5u);
}

TEST_F(PosixPortTest, StartsWithEmptyQueues) {
  {
    auto first = openPort();
    ASSERT_TRUE(first);
  }
  // Left over from an earlier conversation: a fresh open must not see it.
  pty.send(std::vector<std::uint8_t>{9, 9, 9});
  auto port = openPort();
  ASSERT_TRUE(port);
  EXPECT_EQ(port->bytesWaiting(), 0u);
  EXPECT_FALSE(port->waitForInput(100ms));
}

TEST_F(PosixPortTest, PseudoTerminalHasNoModemLinesAndIsNotHeldBack) {
  auto port = openPort();
  ASSERT_TRUE(port);
  EXPECT_FALSE(port->hasModemLines());
  port->setLine(ControlLine::Dtr, true);
  port->setLine(ControlLine::Rts, false);
  const std::uint8_t byte = 0x55;
  EXPECT_EQ(port->write({&byte, 1}).status, PortStatus::Ok);
}

TEST_F(PosixPortTest, SecondOpenOfAnOpenPortIsRefused) {
  auto first = openPort();
  ASSERT_TRUE(first);
  OpenResult second = opener.open(pty.slavePath(), 38400, ShortTimeouts());
  EXPECT_EQ(second.status, OpenStatus::CannotOpen);
  EXPECT_EQ(second.port, nullptr);
  EXPECT_EQ(second.osError, EBUSY);
  EXPECT_FALSE(second.detail.empty());

  // Closing gives the port back.
  first.reset();
  EXPECT_TRUE(openPort());
}

TEST_F(PosixPortTest, ReopensWhileAnotherProgramHoldsTheTerminal) {
  // Like the simulated radio, which keeps a descriptor of its own: the
  // exclusive flag must not outlive our port.
  const int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    EXPECT_TRUE(openPort());
  }
  ::close(holder);
}

TEST_F(PosixPortTest, HangUpIsReportedPromptly) {
  PortTimeouts timeouts = DataTimeouts();
  timeouts.readPerByte = 3000ms;
  auto port = openPort(opener, timeouts);
  ASSERT_TRUE(port);
  pty.closeMaster();

  const auto start = Time::now();
  EXPECT_TRUE(port->waitForInput(10s));
  std::vector<std::uint8_t> got(10);
  EXPECT_EQ(port->read(got).status, PortStatus::Gone);
  const std::uint8_t byte = 0x57;
  EXPECT_EQ(port->write({&byte, 1}).status, PortStatus::Gone);
  // Far below one per-byte read time-out.
  EXPECT_LT(Time::now() - start, 2s);
}

struct OpenFailureCase {
  const char* what;
  std::string path;
  int osError;
};

TEST(PosixPortOpen, RefusesWhatIsNotAnAvailableTerminal) {
  test::TempDir dir;
  const std::string regularFile = dir.write("not-a-port", "hello");
  const OpenFailureCase cases[] = {
      {"missing device", "/dev/ttyTARVEL-missing", ENOENT},
      {"character device that is not a tty", "/dev/null", ENOTTY},
      {"regular file", regularFile, ENOTTY},
      {"directory", dir.path().string(), ENOTTY},
  };
  PosixPortOpener opener;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OpenResult opened = opener.open(c.path, 38400, ShortTimeouts());
    EXPECT_EQ(opened.status, OpenStatus::CannotOpen);
    EXPECT_EQ(opened.port, nullptr);
    EXPECT_EQ(opened.osError, c.osError);
    EXPECT_NE(opened.detail.find(c.path), std::string::npos) << opened.detail;
    // Not the system's "Inappropriate ioctl for device".
    if (c.osError == ENOTTY) {
      EXPECT_EQ(opened.detail, c.path + ": not a serial device");
    }
  }
}

int Fail(int error) {
  errno = error;
  return -1;
}

TEST(PosixPortOpen, MissingPermissionIsTellableFromOtherFailures) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may open anything";
  test::TempDir dir;
  const std::string locked = dir.write("locked", "");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  PosixPortOpener opener;
  const OpenResult opened = opener.open(locked, 38400, ShortTimeouts());
  EXPECT_EQ(opened.status, OpenStatus::CannotOpen);
  EXPECT_EQ(opened.osError, EACCES);
}

// System calls that misbehave on request, passing everything else through.
struct FlakySysCalls {
  PosixSysCalls real = RealSysCalls();
  int readEintr = 0;   // the next n reads fail with EINTR
  int pollEintr = 0;   // the next n polls fail with EINTR
  int writeEintr = 0;  // the next n writes fail with EINTR
  int writeEagain = 0;
  std::size_t writeChunk = 0;  // at most this many bytes per write; 0: no limit
  int readError = 0;   // every read fails with this errno
  int writeError = 0;  // every write fails with this errno
  int reads = 0, polls = 0, writes = 0;

  PosixSysCalls calls() {
    PosixSysCalls sys = real;
    sys.read = [this](int fd, void* buffer, std::size_t size) -> ssize_t {
      ++reads;
      if (readEintr > 0) {
        --readEintr;
        return Fail(EINTR);
      }
      if (readError != 0) return Fail(readError);
      return real.read(fd, buffer, size);
    };
    sys.poll = [this](pollfd* fds, nfds_t count, int timeoutMs) {
      ++polls;
      if (pollEintr > 0) {
        --pollEintr;
        return Fail(EINTR);
      }
      return real.poll(fds, count, timeoutMs);
    };
    sys.write = [this](int fd, const void* buffer, std::size_t size) -> ssize_t {
      ++writes;
      if (writeEintr > 0) {
        --writeEintr;
        return Fail(EINTR);
      }
      if (writeEagain > 0) {
        --writeEagain;
        return Fail(EAGAIN);
      }
      if (writeError != 0) return Fail(writeError);
      return real.write(fd, buffer, writeChunk ? std::min(size, writeChunk) : size);
    };
    return sys;
  }
};

TEST_F(PosixPortTest, InterruptedCallsAreRetried) {
  FlakySysCalls flaky;
  PosixPortOpener flakyOpener(flaky.calls());
  auto port = openPort(flakyOpener);
  ASSERT_TRUE(port);
  const auto bytes = AllByteValues();

  flaky.writeEintr = 2;
  flaky.writeEagain = 1;
  flaky.writeChunk = 7;
  const IoResult written = port->write(bytes);
  EXPECT_EQ(written.status, PortStatus::Ok);
  EXPECT_EQ(written.count, bytes.size());
  EXPECT_EQ(pty.receive(bytes.size()), bytes);

  flaky.pollEintr = 3;
  EXPECT_FALSE(port->waitForInput(20ms));

  pty.send(bytes);
  flaky.readEintr = 3;
  flaky.pollEintr = 2;
  std::vector<std::uint8_t> got(bytes.size());
  const IoResult read = port->read(got);
  EXPECT_EQ(read.status, PortStatus::Ok);
  EXPECT_EQ(got, bytes);
}

struct ErrorCase {
  int error;
  PortStatus status;
};

TEST_F(PosixPortTest, SystemErrorsMapToGoneOrFailed) {
  const ErrorCase cases[] = {
      {EIO, PortStatus::Gone},
      {ENXIO, PortStatus::Gone},
      {ENODEV, PortStatus::Gone},
      {EPERM, PortStatus::Failed},
      {EFAULT, PortStatus::Failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    FlakySysCalls flaky;
    PosixPortOpener flakyOpener(flaky.calls());
    auto port = openPort(flakyOpener);
    ASSERT_TRUE(port);

    flaky.readError = c.error;
    std::vector<std::uint8_t> got(4);
    const IoResult read = port->read(got);
    EXPECT_EQ(read.status, c.status);
    EXPECT_EQ(read.osError, c.error);
    EXPECT_EQ(flaky.reads, 1) << "reported at once, not retried";

    flaky.writeError = c.error;
    const IoResult written = port->write(got);
    EXPECT_EQ(written.status, c.status);
    EXPECT_EQ(written.osError, c.error);
  }
}

// Modem lines that a pseudo-terminal lacks, played by a fake ioctl.
struct FakeModemLines {
  PosixSysCalls real = RealSysCalls();
  int status = TIOCM_CTS | TIOCM_DSR;
  int statusReads = 0;
  int ctsOnAfterReads = -1;  // raise CTS after this many reads of the lines
  std::vector<std::pair<unsigned long, int>> changes;  // TIOCMBIS/TIOCMBIC with their bits

  PosixSysCalls calls() {
    PosixSysCalls sys = real;
    sys.ioctl = [this](int fd, unsigned long request, void* argument) {
      if (request == TIOCMBIS || request == TIOCMBIC) {
        changes.emplace_back(request, *static_cast<int*>(argument));
        return 0;
      }
      if (request == TIOCMGET) {
        if (++statusReads == ctsOnAfterReads) status |= TIOCM_CTS;
        *static_cast<int*>(argument) = status;
        return 0;
      }
      return real.ioctl(fd, request, argument);
    };
    return sys;
  }
};

TEST_F(PosixPortTest, LowersBothLinesOnOpenAndDrivesThemOnRequest) {
  FakeModemLines lines;
  PosixPortOpener linesOpener(lines.calls());
  auto port = openPort(linesOpener);
  ASSERT_TRUE(port);
  EXPECT_TRUE(port->hasModemLines());
  ASSERT_FALSE(lines.changes.empty());
  EXPECT_EQ(lines.changes[0], std::make_pair(static_cast<unsigned long>(TIOCMBIC), TIOCM_DTR | TIOCM_RTS));

  lines.changes.clear();
  port->setLine(ControlLine::Dtr, true);
  port->setLine(ControlLine::Rts, true);
  port->setLine(ControlLine::Dtr, false);
  const std::vector<std::pair<unsigned long, int>> expected = {
      {TIOCMBIS, TIOCM_DTR}, {TIOCMBIS, TIOCM_RTS}, {TIOCMBIC, TIOCM_DTR}};
  EXPECT_EQ(lines.changes, expected);
}

TEST_F(PosixPortTest, OutputWaitsForCtsAndDsr) {
  FakeModemLines lines;
  PosixPortOpener linesOpener(lines.calls());
  const std::vector<std::uint8_t> bytes = {0x57, 0x00, 0x0A};
  {
    // CTS comes on while the write waits: the bytes go out.
    auto port = openPort(linesOpener);
    ASSERT_TRUE(port);
    lines.status = TIOCM_DSR;
    lines.statusReads = 0;
    lines.ctsOnAfterReads = 4;
    const IoResult written = port->write(bytes);
    EXPECT_EQ(written.status, PortStatus::Ok);
    EXPECT_GE(lines.statusReads, 4);
    EXPECT_EQ(pty.receive(bytes.size()), bytes);
  }
  // DSR stays off: nothing is sent within the write time-out.
  auto port = openPort(linesOpener, ShortTimeouts());
  ASSERT_TRUE(port);
  lines.status = TIOCM_CTS;
  lines.ctsOnAfterReads = -1;
  const IoResult written = port->write(bytes);
  EXPECT_EQ(written.status, PortStatus::TimedOut);
  EXPECT_EQ(written.count, 0u);
  EXPECT_TRUE(pty.receive(1, 100ms).empty());
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// More ports than the signal handler's table knows: all open at once, and
// every one is given back when its object goes.
TEST(PosixPortOpen, ManyPortsAtOnceAreAllClosedAgain) {
  test::TempDir locks;
  PosixPortOpener opener(RealSysCalls(), locks.path().string());
  const std::size_t count = OpenPortsTableSize() + 8;
  std::vector<std::unique_ptr<test::Pty>> ptys;
  std::vector<std::unique_ptr<SerialPort>> ports;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    for (std::size_t i = 0; i < count; ++i) {
      if (round == 0) ptys.push_back(std::make_unique<test::Pty>());
      ASSERT_TRUE(ptys[i]->ok());
      OpenResult opened = opener.open(ptys[i]->slavePath(), 38400, ShortTimeouts());
      ASSERT_EQ(opened.status, OpenStatus::Ok) << i << ": " << opened.detail;
      ports.push_back(std::move(opened.port));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locks.path()), {}), static_cast<long>(count));
    ports.clear();
    EXPECT_TRUE(std::filesystem::is_empty(locks.path()));
  }
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A PID that no process has: a child that has ended and been reaped.
long GonePid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST(PosixPortOpen, HonoursAndTakesTheUucpLockFile) {
  test::Pty pty;
  ASSERT_TRUE(pty.ok());
  test::TempDir locks;
  const std::string name = std::filesystem::path(pty.slavePath()).filename().string();
  const std::string lockPath = (locks.path() / ("LCK.." + name)).string();
  const pid_t sleeper = ::fork();
  if (sleeper == 0) {
    ::execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The child shows its own name once exec is done.
  for (int i = 0; i < 500 && test::Slurp("/proc/" + std::to_string(sleeper) + "/comm") != "sleep\n"; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  char ownPid[16];
  std::snprintf(ownPid, sizeof ownPid, "%10d\n", static_cast<int>(::getpid()));
  // A stable link to the port, as /dev/serial/by-id has: the lock is the
  // device's (LCK..<pts number>), never the link's.
  const std::string byId = (locks.path() / "usb-FTDI_FT232R_USB_UART_A5-if00-port0").string();
  std::filesystem::create_symlink(pty.slavePath(), byId);
  struct Row {
    const char* name;
    std::string content;   // of the lock file before the open; "-": none
    const char* holder;    // the program named in a refusal; nullptr: the open succeeds
    bool throughLink = false;
  };
  const Row rows[] = {
      {"no lock", "-", nullptr},
      {"no lock, opened through a by-id link", "-", nullptr, true},
      {"a running sleep holds it, opened through a by-id link", std::to_string(sleeper) + "\n", "sleep", true},
      {"stale lock", std::to_string(GonePid()) + "\n", nullptr},
      {"garbled lock", "not a pid\n", nullptr},
      {"empty lock", "", nullptr},
      {"an earlier process with our PID", ownPid, nullptr},
      {"our parent holds it", "  " + std::to_string(::getppid()) + "\n", ""},
      {"a running sleep holds it", std::to_string(sleeper) + "\n", "sleep"},
  };
  PosixPortOpener opener(RealSysCalls(), locks.path().string());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(lockPath);
    if (row.content != "-") WriteFile(lockPath, row.content);
    OpenResult opened = opener.open(row.throughLink ? byId : pty.slavePath(), 38400, ShortTimeouts());
    if (row.holder == nullptr) {
      ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.detail;
      EXPECT_EQ(test::Slurp(lockPath), ownPid);
      // A second open in this process is refused, and our lock stays.
      EXPECT_EQ(opener.open(pty.slavePath(), 38400, ShortTimeouts()).osError, EBUSY);
      EXPECT_EQ(test::Slurp(lockPath), ownPid);
      opened.port.reset();
      EXPECT_FALSE(std::filesystem::exists(lockPath));
      continue;
    }
    EXPECT_EQ(opened.status, OpenStatus::CannotOpen);
    EXPECT_EQ(opened.osError, EBUSY);
    const std::string pid = std::to_string(std::stol(row.content));
    EXPECT_NE(opened.detail.find("process " + pid), std::string::npos) << opened.detail;
    if (*row.holder != '\0') {
      EXPECT_NE(opened.detail.find(std::string("(") + row.holder + ")"), std::string::npos);
    }
    EXPECT_EQ(test::Slurp(lockPath), row.content);
  }
  // Someone removed our lock and took the port's lock over: closing the
  // port leaves their lock alone.
  {
    std::filesystem::remove(lockPath);
    OpenResult opened = opener.open(pty.slavePath(), 38400, ShortTimeouts());
    ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.detail;
    std::filesystem::remove(lockPath);
    WriteFile(lockPath, std::to_string(sleeper) + "\n");
    opened.port.reset();
    EXPECT_EQ(test::Slurp(lockPath), std::to_string(sleeper) + "\n");
    std::filesystem::remove(lockPath);
  }
  ::kill(sleeper, SIGKILL);
  ::waitpid(sleeper, nullptr, 0);

  // A port whose program must end at once gives its lock back too; no lock
  // folder at all: no lock, as other programs do.
  std::filesystem::remove(lockPath);
  OpenResult opened = opener.open(pty.slavePath(), 38400, ShortTimeouts());
  ASSERT_EQ(opened.status, OpenStatus::Ok);
  ReleaseOpenPortsNow();
  EXPECT_FALSE(std::filesystem::exists(lockPath));
  opened.port.reset();
  PosixPortOpener unlocked(RealSysCalls(), (locks.path() / "missing").string());
  EXPECT_EQ(unlocked.open(pty.slavePath(), 38400, ShortTimeouts()).status, OpenStatus::Ok);
}

}  // namespace
}  // namespace tarvel
