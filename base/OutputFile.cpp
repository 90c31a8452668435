#include "base/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tarvel {

namespace fs = std::filesystem;

namespace {

// As the system follows them when it opens a path.
constexpr int kMaxLinkHops = 40;

OutputError SystemError(const std::string& path, int error = errno) {
  return {OutputProblem::System, path + ": " + std::strerror(error)};
}

// The file that `path` names once its last component's links are followed;
// `path` itself when it is no link. A link that points nowhere names the
// file that opening the path would create.
bool ResolveLinks(const std::string& path, std::string& resolved, OutputError& error) {
  fs::path current(path);
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      resolved = current.string();
      return true;
    }
    char target[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
    if (length < 0) {
      error = SystemError(current.string());
      return false;
    }
    const fs::path next(std::string(target, static_cast<std::size_t>(length)));
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  error = SystemError(path, ELOOP);
  return false;
}

bool SamePath(const std::string& a, std::string_view b) {
  std::error_code ea, eb;
  const fs::path ca = fs::weakly_canonical(fs::absolute(a, ea), ea);
  const fs::path cb = fs::weakly_canonical(fs::absolute(fs::path(b), eb), eb);
  return !ea && !eb && ca == cb;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

StringId RefusalMessage(OutputProblem problem) {
  return problem == OutputProblem::SameAsInput ? StringId::OutputIsInput : StringId::OutputNotRegular;
}

bool CheckOutputPath(const std::string& path, std::initializer_list<std::string_view> inputs, OutputError& error) {
  struct stat out {};
  const bool exists = ::stat(path.c_str(), &out) == 0;
  if (exists && !S_ISREG(out.st_mode)) {
    error = {OutputProblem::NotRegular, path};
    return false;
  }
  for (std::string_view input : inputs) {
    if (input.empty()) continue;
    struct stat in {};
    const bool sameInode = exists && ::stat(std::string(input).c_str(), &in) == 0 && in.st_dev == out.st_dev &&
                           in.st_ino == out.st_ino;
    if (sameInode || SamePath(path, input)) {
      error = {OutputProblem::SameAsInput, path};
      return false;
    }
  }
  return true;
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& path, std::initializer_list<std::string_view> inputs, OutputError& error) {
  discard();
  if (path.empty() || fs::path(path).filename().empty()) {
    error = SystemError(path.empty() ? "\"\"" : path, EISDIR);
    return false;
  }
  if (!CheckOutputPath(path, inputs, error)) return false;
  std::string target;
  if (!ResolveLinks(path, target, error)) return false;

  static std::atomic<unsigned> counter{0};
  const fs::path where(target);
  // A hidden name without ".sfl": a catalog listing the folder meanwhile
  // does not show it. O_EXCL: never write through a file someone put there.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = (where.parent_path() / ("." + where.filename().string() + "." + std::to_string(::getpid()) + "-" +
                                        std::to_string(counter.fetch_add(1)) + ".part"))
                    .string();
    fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = SystemError(path);
    return false;
  }
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) {
    // Owner first: a change of owner clears the set-id bits. Only root may
    // give the file away; anyone else keeps their own and the old mode.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Not permitted: the file is the writer's, which is what it was made as.
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
      // The usual mode of a new file then; the content is what matters.
    }
  }
  fd_ = fd;
  target_ = std::move(target);
  temporary_ = std::move(temporary);
  return true;
}

bool OutputFile::write(std::string_view bytes, OutputError& error) {
  if (fd_ >= 0 && WriteAll(fd_, bytes)) return true;
  error = SystemError(fd_ >= 0 ? target_ : std::string("output"), fd_ >= 0 ? errno : EBADF);
  return false;
}

bool OutputFile::finish(OutputError& error) {
  if (fd_ < 0) {
    error = SystemError("output", EBADF);
    return false;
  }
  // A full disk or a failing device may only show here.
  bool ok = ::fsync(fd_) == 0 || errno == EINVAL;
  int saved = errno;
  if (::close(fd_) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  fd_ = -1;
  if (!ok) {
    error = SystemError(target_, saved);
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  return ok;
}

bool OutputFile::commit(OutputError& error) {
  if (!finish(error)) return false;
  const bool ok = ::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    error = SystemError(target_);
    ::unlink(temporary_.c_str());
  }
  temporary_.clear();
  return ok;
}

bool OutputFile::keepAs(const std::string& path, std::string& keptPath, OutputError& error) {
  if (!finish(error)) return false;
  keptPath = path;
  bool ok = CheckOutputPath(keptPath, {target_}, error);
  int failure = ok && ::rename(temporary_.c_str(), keptPath.c_str()) != 0 ? errno : 0;
  if (failure == EXDEV) {
    // The name is on another file system than the target: keep it beside
    // the target instead, where a rename is possible.
    keptPath = (fs::path(target_).parent_path() / fs::path(path).filename()).string();
    ok = CheckOutputPath(keptPath, {target_}, error);
    failure = ok && ::rename(temporary_.c_str(), keptPath.c_str()) != 0 ? errno : 0;
  }
  if (failure != 0) {
    ok = false;
    error = SystemError(keptPath, failure);
  }
  if (!ok) ::unlink(temporary_.c_str());
  temporary_.clear();
  return ok;
}

void OutputFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

std::string PartialPath(const std::string& path) {
  constexpr std::string_view kExtension = ".sfl";
  std::string stem = path;
  if (stem.size() > kExtension.size()) {
    const std::string tail = stem.substr(stem.size() - kExtension.size());
    bool sfl = true;
    for (std::size_t i = 0; i < tail.size(); ++i) {
      sfl = sfl && std::tolower(static_cast<unsigned char>(tail[i])) == kExtension[i];
    }
    if (sfl) stem.resize(stem.size() - kExtension.size());
  }
  return stem + ".partial.sfl";
}

}  // namespace tarvel
