#include "base/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/AsciiCase.h"
#include "base/FileIo.h"

namespace tarvel {

namespace fs = std::filesystem;

namespace {

OutputError SystemError(const std::string& path, int error = errno) {
  return {OutputProblem::System, path + ": " + std::strerror(error)};
}

bool SamePath(const std::string& a, std::string_view b) {
  std::error_code ea, eb;
  const fs::path ca = fs::weakly_canonical(fs::absolute(fileio::PathOf(a), ea), ea);
  const fs::path cb = fs::weakly_canonical(fs::absolute(fileio::PathOf(std::string(b)), eb), eb);
  return !ea && !eb && ca == cb;
}

// Where ".sfl" (any case) ends `path`, npos when it does not.
std::size_t SflExtensionAt(const std::string& path) {
  constexpr std::string_view kExtension = ".sfl";
  if (path.size() <= kExtension.size() || !EndsWithNoCase(path, kExtension)) return std::string::npos;
  return path.size() - kExtension.size();
}

// "NAME-N.sfl" (or "PATH-N") for a number above 1.
std::string NumberedPath(const std::string& path, int number) {
  if (number <= 1) return path;
  const std::size_t extension = SflExtensionAt(path);
  const std::string suffix = "-" + std::to_string(number);
  if (extension == std::string::npos) return path + suffix;
  return path.substr(0, extension) + suffix + path.substr(extension);
}

}  // namespace

StringId RefusalMessage(OutputProblem problem) {
  return problem == OutputProblem::SameAsInput ? StringId::OutputIsInput : StringId::OutputNotRegular;
}

bool CheckOutputPath(const std::string& path, std::initializer_list<std::string_view> inputs, OutputError& error) {
  fileio::FileInfo out;
  const bool exists = fileio::StatPath(path, out) == 0;
  if (exists && !out.regular) {
    error = {OutputProblem::NotRegular, path};
    return false;
  }
  for (std::string_view input : inputs) {
    if (input.empty()) continue;
    const bool sameFile = exists && fileio::SameFile(std::string(input), path);
    if (sameFile || SamePath(path, input)) {
      error = {OutputProblem::SameAsInput, path};
      return false;
    }
  }
  return true;
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& path, std::initializer_list<std::string_view> inputs, OutputError& error) {
  discard();
  if (path.empty() || fileio::PathOf(path).filename().empty()) {
    error = SystemError(path.empty() ? "\"\"" : path, EISDIR);
    return false;
  }
  if (!CheckOutputPath(path, inputs, error)) return false;
  std::string target;
  if (!fileio::ResolveLinks(path, target)) {
    error = SystemError(path);
    return false;
  }

  static std::atomic<unsigned> counter{0};
  const fs::path where = fileio::PathOf(target);
  // A hidden name without ".sfl": a catalog listing the folder meanwhile
  // does not show it. O_EXCL: never write through a file someone put there.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = fileio::TextOf(where.parent_path() /
                               fileio::PathOf("." + fileio::TextOf(where.filename()) + "." +
                                              std::to_string(fileio::ProcessId()) + "-" +
                                              std::to_string(counter.fetch_add(1)) + ".part"));
    fd = fileio::Open(temporary, fileio::OpenFor::CreateNew);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = SystemError(path);
    return false;
  }
  fileio::CopyOwnerAndMode(target, fd);
  file_.reset(fd);
  target_ = std::move(target);
  temporary_ = std::move(temporary);
  return true;
}

bool OutputFile::write(std::string_view bytes, OutputError& error) {
  if (file_.isOpen() && fileio::WriteAll(file_.get(), bytes)) return true;
  error = SystemError(file_.isOpen() ? target_ : std::string("output"), file_.isOpen() ? errno : EBADF);
  return false;
}

bool OutputFile::allowed(OutputStep step) const {
  if (!check_ || check_(step)) return true;
  errno = EIO;
  return false;
}

bool OutputFile::finish(OutputError& error) {
  // Already flushed and closed by a commit that failed: keepAs follows.
  if (!file_.isOpen() && !temporary_.empty()) return true;
  if (!file_.isOpen()) {
    error = SystemError("output", EBADF);
    return false;
  }
  // A full disk or a failing device may only show here.
  bool ok = allowed(OutputStep::Sync) && (fileio::Sync(file_.get()) == 0 || errno == EINVAL);
  int saved = errno;
  if (!ok) {
    file_.close();
  } else if (const bool closeAllowed = allowed(OutputStep::Close); file_.close() != 0 || !closeAllowed) {
    ok = false;
    saved = closeAllowed ? errno : EIO;
  }
  if (!ok) {
    error = SystemError(target_, saved);
    fileio::Remove(temporary_);
    temporary_.clear();
  }
  return ok;
}

bool OutputFile::commit(OutputError& error, ExistingFile existing) {
  if (!finish(error)) return false;
  const bool keep = existing == ExistingFile::Keep;
  if (!allowed(OutputStep::Rename) ||
      (keep ? fileio::RenameNoReplace(temporary_, target_) : fileio::Rename(temporary_, target_)) != 0) {
    error = keep && errno == EEXIST ? OutputError{OutputProblem::Appeared, target_} : SystemError(target_);
    return false;
  }
  temporary_.clear();
  return true;
}

bool OutputFile::keepAs(const std::string& path, std::string& keptPath, OutputError& error) {
  if (!finish(error)) return false;
  // Never over another file: an earlier partial may hold more blocks, or
  // another radio's.
  constexpr int kMostNumbers = 99;
  std::string base = path;
  bool besideTarget = false;
  for (int number = 1; number <= kMostNumbers; ++number) {
    keptPath = NumberedPath(base, number);
    if (fileio::RenameNoReplace(temporary_, keptPath) == 0) {
      temporary_.clear();
      return true;
    }
    if (errno == EXDEV && !besideTarget) {
      // The name is on another file system than the target: keep it beside
      // the target instead, where a rename is possible.
      base = fileio::TextOf(fileio::PathOf(target_).parent_path() / fileio::PathOf(path).filename());
      besideTarget = true;
      number = 0;
    } else if (errno != EEXIST) {
      break;
    }
  }
  // No name to be had (a folder turned read-only): the new file itself
  // holds the blocks, and the caller names it.
  fileio::FileInfo info;
  if (fileio::StatPath(temporary_, info) == 0 && info.regular) {
    keptPath = std::move(temporary_);
    temporary_.clear();
    return true;
  }
  error = SystemError(keptPath);
  keptPath.clear();
  temporary_.clear();
  return false;
}

void OutputFile::discard() {
  file_.reset();
  if (!temporary_.empty()) fileio::Remove(temporary_);
  temporary_.clear();
}

std::string PartialPath(const std::string& path, int number) {
  const std::size_t extension = SflExtensionAt(path);
  return NumberedPath((extension == std::string::npos ? path : path.substr(0, extension)) + ".partial.sfl", number);
}

}  // namespace tarvel
