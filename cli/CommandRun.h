// One run of a command from start to end: the clock, the result, and what
// goes out at the end: the hint on stderr, the record line, the JSON object
// on stdout.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/RecordFile.h"
#include "run/RunResult.h"

namespace tarvel::cli {

// A file a run reads or writes, with the option (or role) that names it.
struct NamedFile {
  std::string role;
  std::string path;
};

// The first two of `files` that are one file (the same device and inode,
// or, where one does not exist yet, the same name once links and relative
// parts are resolved); null when they are all different.
std::optional<std::pair<NamedFile, NamedFile>> SharedFile(const std::vector<NamedFile>& files);

struct OutputOptions {
  bool json = false;
  std::string record;  // the record file; empty: none
};

class CommandRun {
 public:
  CommandRun(std::string command, OutputOptions output);

  RunResult& result() { return result_; }
  bool json() const { return output_.json; }

  // Opens the record file, before any radio is touched. False when it
  // cannot be written, or when it or any of `files` (an option or a role,
  // and the file it names) is the same file as another of them: the result
  // then says so (exit code 2).
  bool openRecord(const std::vector<NamedFile>& files = {});

  // Sets the exit code, the message and its detail of a failure the
  // command line found itself, and prints them on stderr.
  void fail(int exitCode, const std::string& message, const std::string& detail = {});

  // The hint line, the record line and the JSON object; returns the exit
  // code.
  int finish();

 private:
  OutputOptions output_;
  RunResult result_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  RecordFile record_;
};

}  // namespace tarvel::cli
