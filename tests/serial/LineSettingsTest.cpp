// The line settings as the kernel reports them back. Kept apart from the
// other port tests: the kernel's termios2 header cannot meet <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>
#include <optional>

#include <gtest/gtest.h>

#include "serial/PosixSerialPort.h"
#include "serial/PosixSysCalls.h"
#include "tests/serial/Pty.h"

namespace tarvel {
namespace {

// Passes every call through, keeps the settings the kernel reported last,
// and can refuse or falsify the rate on request.
struct SettingsSpy {
  PosixSysCalls real = RealSysCalls();
  std::optional<termios2> reported;
  int refuseSetWith = 0;
  speed_t reportSpeed = 0;  // when not 0, the read-back claims this rate

  PosixSysCalls calls() {
    PosixSysCalls sys = real;
    sys.ioctl = [this](int fd, unsigned long request, void* argument) {
      if (request == TCSETS2 && refuseSetWith != 0) {
        errno = refuseSetWith;
        return -1;
      }
      const int result = real.ioctl(fd, request, argument);
      if (request == TCGETS2 && result == 0) {
        auto* settings = static_cast<termios2*>(argument);
        if (reportSpeed != 0) settings->c_ospeed = settings->c_ispeed = reportSpeed;
        reported = *settings;
      }
      return result;
    };
    return sys;
  }
};

class LineSettingsTest : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.ok()); }
  test::Pty pty;
};

TEST_P(LineSettingsTest, OpensRawEightDataBitsNoParityTwoStopBits) {
  const unsigned baud = GetParam();
  SettingsSpy spy;
  PosixPortOpener opener(spy.calls());
  OpenResult opened = opener.open(pty.slavePath(), baud, {});
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.detail;
  ASSERT_TRUE(spy.reported);
  const termios2& t = *spy.reported;

  EXPECT_EQ(t.c_ospeed, baud);
  EXPECT_EQ(t.c_ispeed, baud);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_cflag & (PARENB | CRTSCTS | HUPCL), 0u);
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), tcflag_t{CREAD | CLOCAL});
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
}

// Every rate of both cables, the two without a B constant among them.
INSTANTIATE_TEST_SUITE_P(CableRates, LineSettingsTest,
                         ::testing::Values(9600u, 14400u, 19200u, 38400u, 56000u, 115200u));

struct RefusalCase {
  const char* what;
  unsigned baud;
  int refuseSetWith;
  speed_t reportSpeed;
  int osError;
};

TEST(LineSettingsRefusal, ARateTheDriverRefusesIsAConfigurationFailure) {
  const RefusalCase cases[] = {
      {"driver rejects the settings", 14400, EINVAL, 0, EINVAL},
      {"driver falls back to another rate", 56000, 0, 9600, EINVAL},
      {"rate 0 would hang up", 0, 0, 0, EINVAL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::Pty pty;
    ASSERT_TRUE(pty.ok());
    SettingsSpy spy;
    spy.refuseSetWith = c.refuseSetWith;
    spy.reportSpeed = c.reportSpeed;
    PosixPortOpener opener(spy.calls());
    OpenResult opened = opener.open(pty.slavePath(), c.baud, {});
    EXPECT_EQ(opened.status, OpenStatus::CannotConfigure);
    EXPECT_EQ(opened.osError, c.osError);
    EXPECT_FALSE(opened.detail.empty());
    // The open port stays with the caller, who closes it.
    EXPECT_NE(opened.port, nullptr);
  }
}

TEST(LineSettingsRefusal, ARateWithinTheUartToleranceIsAccepted) {
  test::Pty pty;
  ASSERT_TRUE(pty.ok());
  SettingsSpy spy;
  spy.reportSpeed = 14420;  // what a divisor-based driver might achieve
  PosixPortOpener opener(spy.calls());
  EXPECT_EQ(opener.open(pty.slavePath(), 14400, {}).status, OpenStatus::Ok);
}

}  // namespace
}  // namespace tarvel
