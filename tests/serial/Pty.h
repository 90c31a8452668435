// A pseudo-terminal pair for the port tests: the test keeps the master, the
// port under test opens the slave by its path.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarvel::test {

class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      if (const char* name = ::ptsname(master_)) slave_ = name;
    }
  }
  ~Pty() { closeMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return master_ >= 0 && !slave_.empty(); }
  const std::string& slavePath() const { return slave_; }
  int master() const { return master_; }

  // Hangs up the slave side.
  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  void send(std::span<const std::uint8_t> bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else {
        pollfd entry{master_, POLLOUT, 0};
        if (::poll(&entry, 1, 2000) <= 0) return;
      }
    }
  }

  // What the port sent: up to `count` bytes, waiting at most `bound` in all.
  std::vector<std::uint8_t> receive(std::size_t count,
                                    std::chrono::milliseconds bound = std::chrono::seconds(5)) const {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (got.size() < count) {
      std::uint8_t buffer[512];
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) {
        got.insert(got.end(), buffer, buffer + n);
        continue;
      }
      if (n < 0 && errno != EAGAIN) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd entry{master_, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    }
    return got;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

}  // namespace tarvel::test
