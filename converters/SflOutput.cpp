#include "converters/SflOutput.h"

#include <cerrno>
#include <cstring>

#include "base/FileIo.h"
#include "base/OutputFile.h"

namespace tarvel::converters {

namespace {

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string_view input, std::string& reason) {
  OutputFile out;
  OutputError error;
  if (out.open(path, {input}, error) && out.write(bytes, error) && out.commit(error)) return true;
  reason = error.problem == OutputProblem::System
               ? error.text
               : std::string(LoadString(RefusalMessage(error.problem))) + " (" + error.text + ")";
  return false;
}

bool AppendToFile(const std::string& path, std::string_view header, std::string_view bytes, std::string& reason) {
  fileio::FileHandle file(fileio::Open(path, fileio::OpenFor::Append));
  if (!file.isOpen()) {
    reason = SystemError("cannot open", path);
    return false;
  }
  fileio::FileInfo info;
  bool ok = fileio::Stat(file.get(), info) == 0;
  if (ok) {
    std::string text;
    if (info.size == 0) {
      text.reserve(header.size() + bytes.size());
      text.append(header);
    }
    text.append(bytes);
    ok = fileio::WriteAll(file.get(), text);
    // A record cut in the middle would make the whole file invalid.
    if (!ok && info.regular) {
      const int saved = errno;
      if (fileio::Truncate(file.get(), info.size) != 0) {
        // Nothing more can be done; the reason names the first failure.
      }
      errno = saved;
    }
  }
  if (!ok) reason = SystemError("cannot write", path);
  if (file.close() != 0 && ok) {
    ok = false;
    reason = SystemError("cannot write", path);
  }
  return ok;
}

}  // namespace tarvel::converters
