#include "serial/Termios2.h"

// Only the kernel's own headers here: <termios.h> would collide with them.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace tarvel::posix {
namespace {

struct StandardRate {
  unsigned baud;
  tcflag_t code;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},
    {150, B150},       {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t RateCode(unsigned baud) {
  for (const StandardRate& rate : kStandardRates) {
    if (rate.baud == baud) return rate.code;
  }
  return BOTHER;
}

LineSetup Refused(int error, const std::string& what) {
  return {error, what + ": " + std::strerror(error)};
}

int Ioctl(const PosixSysCalls& sys, int fd, unsigned long request, void* argument) {
  int result;
  do {
    result = sys.ioctl(fd, request, argument);
  } while (result == -1 && errno == EINTR);
  return result;
}

}  // namespace

LineSetup ApplyLineSettings(int fd, unsigned baud, const PosixSysCalls& sys) {
  // Rate 0 would mean "hang up" to the driver.
  if (baud == 0) return {EINVAL, "a rate of 0 baud is not a line speed"};

  termios2 settings{};
  if (Ioctl(sys, fd, TCGETS2, &settings) != 0) return Refused(errno, "reading the line settings");

  settings.c_iflag &= ~tcflag_t{IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                IXOFF | IXANY | INPCK | IUCLC | IMAXBEL};
  settings.c_oflag &= ~tcflag_t{OPOST};
  settings.c_lflag &= ~tcflag_t{ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE | ICANON |
                                ISIG | IEXTEN | NOFLSH | TOSTOP};
  // CTS/DSR output gating is done by the port itself, which can bound the
  // wait; CRTSCTS would stall a write with no time-out.
  settings.c_cflag &= ~tcflag_t{CSIZE | PARENB | PARODD | CMSPAR | CRTSCTS | HUPCL | CBAUD | CIBAUD};
  settings.c_cflag |= CS8 | CSTOPB | CREAD | CLOCAL | RateCode(baud);
  // Input speed 0 in CIBAUD means "same as output".
  settings.c_ispeed = baud;
  settings.c_ospeed = baud;
  // With O_NONBLOCK a read without data fails with EAGAIN; a read of 0 bytes
  // then means the terminal was hung up.
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;

  if (Ioctl(sys, fd, TCSETS2, &settings) != 0) return Refused(errno, "setting the line settings");

  // Drivers adjust what they cannot do instead of failing: read back.
  termios2 actual{};
  if (Ioctl(sys, fd, TCGETS2, &actual) != 0) return Refused(errno, "reading back the line settings");
  const std::uint64_t off = actual.c_ospeed > baud ? actual.c_ospeed - baud : baud - actual.c_ospeed;
  if (off * 50 > baud) {
    return {EINVAL, "the driver set " + std::to_string(actual.c_ospeed) + " baud instead of " +
                        std::to_string(baud)};
  }
  if ((actual.c_cflag & CSIZE) != CS8 || (actual.c_cflag & CSTOPB) == 0 ||
      (actual.c_cflag & PARENB) != 0) {
    return {EINVAL, "the driver does not offer 8 data bits, no parity and two stop bits"};
  }
  return {};
}

void FlushQueues(int fd, const PosixSysCalls& sys) {
  // TCFLSH takes its argument by value.
  Ioctl(sys, fd, TCFLSH, reinterpret_cast<void*>(static_cast<std::uintptr_t>(TCIOFLUSH)));
}

}  // namespace tarvel::posix
