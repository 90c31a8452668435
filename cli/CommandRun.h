// One run of a command from start to end: the clock, the result, and what
// goes out at the end: the hint on stderr, the record line, the JSON object
// on stdout.
#pragma once

#include <chrono>
#include <string>

#include "cli/RecordFile.h"
#include "cli/RunResult.h"

namespace tarvel::cli {

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
  // cannot be written: the result then says so (exit code 2).
  bool openRecord();

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
