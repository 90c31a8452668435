// The record of a production line: one JSON line per radio, appended to a
// file that several tarvel-cli processes may share. Each line goes out in
// one write() on a descriptor opened with O_APPEND, so lines of different
// processes never interleave, and is followed by fsync(), so a line that
// was reported written survives a crash.
#pragma once

#include <string>

#include "base/FileIo.h"

namespace tarvel {

class RecordFile {
 public:
  RecordFile() = default;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Opens (creates) `path` for appending. False, with the system's reason,
  // when it cannot be, or exists and is not a regular file.
  bool open(const std::string& path, std::string& reason);
  bool isOpen() const { return file_.isOpen(); }
  // Appends `line` and a line feed, after a line feed of its own when the
  // file ends inside a line. False, with the reason (saying the record is
  // incomplete), when the line did not go out whole.
  bool append(const std::string& line, std::string& reason);

 private:
  bool endsInsideLine() const;

  std::string path_;
  fileio::FileHandle file_;
};

}  // namespace tarvel
