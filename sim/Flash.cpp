#include "sim/Flash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvel::sim {

namespace {

constexpr std::size_t kImageBytes = kFlashBlocks * kBlockBytes;
constexpr std::uint8_t kErased = 0xFF;

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count, off_t offset) {
  while (count > 0) {
    const ssize_t n = ::pwrite(fd, bytes, count, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    count -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

}  // namespace

Flash::Flash() : image_(kImageBytes, kErased) {}

Flash::~Flash() {
  if (fd_ >= 0) ::close(fd_);
}

bool Flash::attach(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = "cannot open flash image " + path + ": " + std::strerror(errno);
    return false;
  }
  std::size_t loaded = 0;
  while (loaded < kImageBytes) {
    const ssize_t n =
        ::pread(fd, image_.data() + loaded, kImageBytes - loaded, static_cast<off_t>(loaded));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (error) *error = "cannot read flash image " + path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    loaded += static_cast<std::size_t>(n);
  }
  // Fill the file out once, so that blocks stored later in place never leave
  // a hole that would read back as zeros instead of erased flash.
  if (loaded < kImageBytes &&
      !WriteAll(fd, image_.data() + loaded, kImageBytes - loaded, static_cast<off_t>(loaded))) {
    if (error) *error = "cannot write flash image " + path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return true;
}

BlockData Flash::block(std::size_t number) const {
  BlockData data;
  data.fill(kErased);
  if (number < kFlashBlocks) {
    std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(number * kBlockBytes), kBlockBytes,
                data.begin());
  }
  return data;
}

void Flash::store(std::size_t number, const BlockData& data) {
  if (number >= kFlashBlocks) return;
  std::copy(data.begin(), data.end(),
            image_.begin() + static_cast<std::ptrdiff_t>(number * kBlockBytes));
  // In place, without fsync: the bench stores a thousand blocks in a row. A
  // failed write shows up as a wrong image in whatever compares it.
  if (fd_ >= 0) WriteAll(fd_, data.data(), data.size(), static_cast<off_t>(number * kBlockBytes));
}

}  // namespace tarvel::sim
