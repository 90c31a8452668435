// The record of a production line: one JSON line per radio, appended to a
// file that several tarvel-cli processes may share. Each line goes out in
// one write() on a descriptor opened with O_APPEND, so lines of different
// processes never interleave, and is followed by fsync(), so a line that
// was reported written survives a crash.
#pragma once

#include <cstdint>
#include <string>

#include "base/FileIo.h"

namespace tarvel {

// A new record line's "record_id": a random UUID (version 4), so that a
// line sent twice to a database is stored once. Empty when the system's
// random generator cannot be read.
std::string NewRecordId();

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
  // The file's size after the last good append: every line up to there,
  // this process's own included, is in the file.
  std::uint64_t appendedUpTo() const { return appendedUpTo_; }
  const std::string& path() const { return path_; }

 private:
  bool endsInsideLine() const;

  std::string path_;
  fileio::FileHandle file_;
  std::uint64_t appendedUpTo_ = 0;
};

}  // namespace tarvel
