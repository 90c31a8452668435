#include "serial/PortPresence.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

namespace tarvel {

namespace {

namespace fs = std::filesystem;

// What changes a folder's list of names, and the folder itself going.
constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB;

class InotifyWatch final : public PortPresenceWatch {
 public:
  InotifyWatch(std::string port, std::function<void(bool)> changed, int inotify, int wake)
      : port_(std::move(port)), changed_(std::move(changed)), inotify_(inotify), wake_(wake) {
    thread_ = std::thread([this] { run(); });
  }
  ~InotifyWatch() override {
    const std::uint64_t one = 1;
    // An eventfd's write of 8 bytes cannot be short.
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(inotify_);
    ::close(wake_);
  }

 private:
  // The port's folder, or while it does not exist the nearest folder above
  // it that does: udev makes /dev/serial/by-id only with the first adapter.
  void watchNearestFolder() {
    std::error_code failed;
    fs::path folder = fs::absolute(fs::path(port_), failed);
    if (failed) folder = fs::path(port_);
    folder = folder.lexically_normal().parent_path();
    if (folder.empty()) folder = ".";
    while (true) {
      const int wd = ::inotify_add_watch(inotify_, folder.c_str(), kFolderEvents | IN_ONLYDIR);
      if (wd >= 0) {
        if (watched_ >= 0 && watched_ != wd) ::inotify_rm_watch(inotify_, watched_);
        watched_ = wd;
        return;
      }
      if (!folder.has_parent_path() || folder.parent_path() == folder) return;
      folder = folder.parent_path();
    }
  }

  void run() {
    watchNearestFolder();
    // Checked after the watch is set: a change in between is not lost.
    bool present = PortPresent(port_);
    changed_(present);
    std::array<pollfd, 2> fds{{{inotify_, POLLIN, 0}, {wake_, POLLIN, 0}}};
    alignas(inotify_event) std::array<char, 4096> events{};
    while (true) {
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      // The events only say that something moved; the path is looked at again.
      while (::read(inotify_, events.data(), events.size()) > 0) {
      }
      watchNearestFolder();
      const bool now = PortPresent(port_);
      if (now == present) continue;
      present = now;
      changed_(present);
    }
  }

  std::string port_;
  std::function<void(bool)> changed_;
  int inotify_;
  int wake_;
  int watched_ = -1;
  std::thread thread_;
};

}  // namespace

bool PortPresent(const std::string& port) {
  struct stat facts {};
  return ::stat(port.c_str(), &facts) == 0 && (S_ISCHR(facts.st_mode) || S_ISBLK(facts.st_mode));
}

std::unique_ptr<PortPresenceWatch> WatchPortPresence(const std::string& port, std::function<void(bool)> changed,
                                                     std::string* error) {
  const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify < 0) {
    if (error != nullptr) *error = std::string("inotify: ") + std::strerror(errno);
    return nullptr;
  }
  const int wake = ::eventfd(0, EFD_CLOEXEC);
  if (wake < 0) {
    if (error != nullptr) *error = std::string("eventfd: ") + std::strerror(errno);
    ::close(inotify);
    return nullptr;
  }
  return std::make_unique<InotifyWatch>(port, std::move(changed), inotify, wake);
}

}  // namespace tarvel
