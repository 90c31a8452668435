// The system calls behind the POSIX port, replaceable so that tests can
// inject EINTR, EIO and refusals that a pseudo-terminal never produces.
// Each function behaves like its POSIX namesake: -1 with errno on failure.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>

#include "serial/SerialPort.h"

namespace tarvel {

struct PosixSysCalls {
  std::function<ssize_t(int fd, void* buffer, std::size_t size)> read;
  std::function<ssize_t(int fd, const void* buffer, std::size_t size)> write;
  std::function<int(pollfd* fds, nfds_t count, int timeoutMs)> poll;
  std::function<int(int fd, unsigned long request, void* argument)> ioctl;
};

// ::read, ::write, ::poll and ::ioctl.
PosixSysCalls RealSysCalls();

// An opener whose ports (and whose configuration) go through `sys`.
std::unique_ptr<PortOpener> MakePosixPortOpener(PosixSysCalls sys);

}  // namespace tarvel
