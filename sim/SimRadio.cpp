#include "sim/SimRadio.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "sim/Flash.h"
#include "sim/Loader.h"

namespace tarvel::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

// Start bit, 8 data bits, 2 stop bits.
constexpr int kBitsPerByte = 11;
constexpr std::size_t kReadChunkBytes = 4096;
constexpr std::chrono::milliseconds kSendTick{1};

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A byte on the simulated line and the moment it has crossed it.
struct TimedByte {
  std::uint8_t value;
  TimePoint at;
};

class PtyRadio final : public Radio {
 public:
  explicit PtyRadio(const Options& options)
      : options_(options), loader_(options.cable, options.faults, flash_) {
    if (options.baud > 0) {
      byteTime_ = std::chrono::duration_cast<SteadyClock::duration>(
          std::chrono::duration<double>(static_cast<double>(kBitsPerByte) / options.baud));
    }
  }

  ~PtyRadio() override {
    if (thread_.joinable()) {
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
      thread_.join();
    }
    CloseFd(inotify_);
    CloseFd(master_);
    CloseFd(slave_);
    CloseFd(wake_);
    if (log_) std::fclose(log_);
    removeLink();
  }

  bool start(std::string* error) {
    if (!openTerminal(error)) return false;
    if (!options_.flashFile.empty() && !flash_.attach(options_.flashFile, error)) return false;
    if (!options_.logFile.empty()) {
      log_ = std::fopen(options_.logFile.c_str(), "we");
      if (!log_) return fail(error, Errno("cannot open log " + options_.logFile));
    }
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return fail(error, Errno("eventfd"));
    if (!makeLink(error)) return false;
    started_ = SteadyClock::now();
    thread_ = std::thread([this] { serve(); });
    return true;
  }

  std::string devicePath() const override { return device_; }
  std::string linkPath() const override { return link_; }

  std::array<std::uint8_t, kBlockBytes> block(std::size_t number) const override {
    std::lock_guard lock(mutex_);
    return flash_.block(number);
  }
  void setBlock(std::size_t number, const std::array<std::uint8_t, kBlockBytes>& data) override {
    std::lock_guard lock(mutex_);
    flash_.store(number, data);
  }
  Stats stats() const override {
    std::lock_guard lock(mutex_);
    return loader_.stats();
  }
  std::vector<std::uint16_t> storedBlocks() const override {
    std::lock_guard lock(mutex_);
    return loader_.storedBlocks();
  }

 private:
  static bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
  }

  bool openTerminal(std::string* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0) return fail(error, Errno("posix_openpt"));
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail(error, Errno("grantpt"));
    char name[PATH_MAX];
    if (::ptsname_r(master_, name, sizeof name) != 0) return fail(error, Errno("ptsname"));
    device_ = name;
    // Our own descriptor of the slave keeps the master readable while the
    // tool opens and closes the port again and again.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return fail(error, Errno("cannot open " + device_));
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) return fail(error, Errno("tcgetattr"));
    ::cfmakeraw(&tio);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail(error, Errno("tcsetattr"));
    // The tool opens the port exclusively, and since our descriptor keeps the
    // terminal alive that mark would outlast the tool's close and lock it out
    // of its next open: clear it whenever a user of the port closes it.
    inotify_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (inotify_ >= 0 && ::inotify_add_watch(inotify_, name, IN_CLOSE_WRITE) < 0) CloseFd(inotify_);
    return true;
  }

  bool makeLink(std::string* error) {
    if (options_.linkPath.empty()) return true;
    struct stat st {};
    if (::lstat(options_.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
      return fail(error, options_.linkPath + " exists and is not a symbolic link");
    }
    // Made aside and renamed over the old link, so the path is never missing.
    const std::string temporary = options_.linkPath + ".new" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(device_.c_str(), temporary.c_str()) != 0) {
      return fail(error, Errno("cannot link " + options_.linkPath));
    }
    if (::rename(temporary.c_str(), options_.linkPath.c_str()) != 0) {
      const std::string text = Errno("cannot link " + options_.linkPath);
      ::unlink(temporary.c_str());
      return fail(error, text);
    }
    link_ = options_.linkPath;
    return true;
  }

  // Only our own link: another radio may have taken the path over since.
  void removeLink() {
    if (link_.empty()) return;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == device_)
      ::unlink(link_.c_str());
  }

  void serve() {
    // Answers are paced to the microsecond; the default 50 us timer slack
    // would make every paced answer late by that much.
    ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    for (;;) {
      pollfd fds[3] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}, {inotify_, POLLIN, 0}};
      if (master_ >= 0 && txBlocked_) fds[1].events |= POLLOUT;
      timespec timeout{};
      const bool timed = nextDeadline(&timeout);
      if (::ppoll(fds, 3, timed ? &timeout : nullptr, nullptr) < 0 && errno != EINTR) return;
      if (fds[0].revents & POLLIN) return;
      if (fds[2].revents & POLLIN) portClosed();
      if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !readLine()) {
        hangUp();
        continue;
      }
      if (fds[1].revents & POLLOUT) txBlocked_ = false;
      sendDue();
      if (hangUpAt_ && *hangUpAt_ <= SteadyClock::now()) hangUp();
    }
  }

  // The earliest moment something is due on the line; false: nothing is.
  bool nextDeadline(timespec* timeout) const {
    if (master_ < 0) return false;
    TimePoint due = TimePoint::max();
    if (!tx_.empty() && !txBlocked_) {
      // Bytes go out in slices of a tick rather than a wake-up each: none
      // leaves early, none is more than a tick late, and the last byte
      // queued, the one the tool waits for, leaves on time.
      due = std::min(std::max(tx_.front().at, lastSend_ + kSendTick), tx_.back().at);
    }
    if (hangUpAt_) due = std::min(due, *hangUpAt_);
    if (due == TimePoint::max()) return false;
    const auto wait = std::max(due - SteadyClock::now(), SteadyClock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timeout->tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    timeout->tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return true;
  }

  void portClosed() {
    alignas(inotify_event) char events[4096];
    while (::read(inotify_, events, sizeof events) > 0) {
    }
    if (slave_ >= 0) ::ioctl(slave_, TIOCNXCL);
    // A pseudo-terminal carries no RTS: the close of a conversation stands
    // in for the reset pulse the next QAP-8 conversation starts with. A
    // loader left waiting for the letter would otherwise ignore every
    // later call and look silent.
    if (options_.cable == Cable::Qap8) {
      std::lock_guard lock(mutex_);
      loader_.enterLoader();
    }
  }

  // Reads what the tool sent and hands it to the loader. On a paced line a
  // byte has arrived once its last stop bit would have, and an answer starts
  // only after the byte that completed its packet has arrived; the loader
  // itself may run ahead, as nothing on the line can tell. False when the
  // terminal is gone.
  bool readLine() {
    std::uint8_t bytes[kReadChunkBytes];
    const ssize_t n = ::read(master_, bytes, sizeof bytes);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
    const TimePoint now = SteadyClock::now();
    logBytes(now, "tool>radio", bytes, static_cast<std::size_t>(n));

    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t> answer;
    for (ssize_t i = 0; i < n && !loader_.hungUp(); ++i) {
      TimePoint arrived = now;
      if (paced()) {
        arrived = std::max(now, lastArrival_) + byteTime_;
        lastArrival_ = arrived;
      }
      answer.clear();
      loader_.receive(bytes[i], answer);
      for (std::uint8_t value : answer) {
        TimePoint at = arrived;
        if (paced()) {
          at = std::max(arrived, lastRelease_) + byteTime_;
          lastRelease_ = at;
        }
        // A byte at the wrong speed: neither a sync answer (0x00, 'Z') nor
        // any other byte of the loader's in its place.
        if (options_.garble) value ^= 0xC3;
        tx_.push_back({value, at});
        holdInAdapter(at);
      }
      if (loader_.hungUp()) hangUpAt_ = arrived;
    }
    return true;
  }

  // The adapter's hold on the byte just queued, which reached the adapter at
  // `at`: it leaves with the batch it joins, when the batch's timer runs out
  // or, at the batch's 62nd byte, at once.
  void holdInAdapter(TimePoint at) {
    if (options_.adapterLatencyMs == 0) return;
    constexpr std::size_t kAdapterPacketBytes = 62;
    if (heldBytes_ == 0 || at > heldUntil_) {
      heldUntil_ = at + std::chrono::milliseconds(options_.adapterLatencyMs);
      heldBytes_ = 0;
    }
    ++heldBytes_;
    const TimePoint release = heldBytes_ == kAdapterPacketBytes ? at : heldUntil_;
    for (std::size_t i = 0; i < heldBytes_ && i < tx_.size(); ++i) tx_[tx_.size() - 1 - i].at = release;
    if (heldBytes_ == kAdapterPacketBytes) heldBytes_ = 0;
  }

  void sendDue() {
    if (master_ < 0 || txBlocked_) return;
    const TimePoint now = SteadyClock::now();
    std::vector<std::uint8_t> due;
    for (const TimedByte& byte : tx_) {
      if (byte.at > now) break;
      due.push_back(byte.value);
    }
    if (due.empty()) return;
    const ssize_t n = ::write(master_, due.data(), due.size());
    if (n < 0) {
      if (errno == EAGAIN) {
        txBlocked_ = true;
      } else if (errno != EINTR) {
        hangUp();
      }
      return;
    }
    lastSend_ = now;
    logBytes(SteadyClock::now(), "radio>tool", due.data(), static_cast<std::size_t>(n));
    tx_.erase(tx_.begin(), tx_.begin() + n);
    if (static_cast<std::size_t>(n) < due.size()) txBlocked_ = true;
  }

  // What an unplugged USB adapter looks like: the tool's port reads a
  // hang-up. The radio then only waits to be destroyed.
  void hangUp() {
    CloseFd(inotify_);
    CloseFd(master_);
    CloseFd(slave_);
    tx_.clear();
    hangUpAt_.reset();
  }

  bool paced() const { return byteTime_ != SteadyClock::duration::zero(); }

  void logBytes(TimePoint at, const char* direction, const std::uint8_t* bytes, std::size_t count) {
    if (!log_ || count == 0) return;
    const double ms = std::chrono::duration<double, std::milli>(at - started_).count();
    std::fprintf(log_, "%12.3f %s", ms, direction);
    for (std::size_t i = 0; i < count; ++i) std::fprintf(log_, " %02X", bytes[i]);
    std::fputc('\n', log_);
    std::fflush(log_);
  }

  Options options_;
  SteadyClock::duration byteTime_{};
  std::string device_;
  std::string link_;
  int master_ = -1;
  int slave_ = -1;
  int wake_ = -1;
  int inotify_ = -1;
  std::FILE* log_ = nullptr;
  TimePoint started_;

  // Touched by the serving thread only.
  std::deque<TimedByte> tx_;
  TimePoint lastArrival_;
  TimePoint lastRelease_;
  TimePoint lastSend_;
  std::optional<TimePoint> hangUpAt_;
  TimePoint heldUntil_;       // when the adapter's batch being held leaves
  std::size_t heldBytes_ = 0;  // bytes in that batch
  bool txBlocked_ = false;

  mutable std::mutex mutex_;  // guards flash_ and loader_
  Flash flash_;
  Loader loader_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<Radio> Radio::Start(const Options& options, std::string* error) {
  auto radio = std::make_unique<PtyRadio>(options);
  if (!radio->start(error)) return nullptr;
  return radio;
}

}  // namespace tarvel::sim
