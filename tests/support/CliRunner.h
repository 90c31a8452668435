// Runs a command line the way a script would and keeps its exit code,
// stdout and stderr (through files in a test's temporary directory).
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/TempDir.h"

namespace tarvel::test {

struct CliRun {
  int exitCode;
  std::string out;
  std::string err;
};

inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline CliRun RunCommand(const TempDir& dir, const std::string& commandLine) {
  const auto out = dir.path() / "out.txt";
  const auto err = dir.path() / "err.txt";
  const std::string command = commandLine + " >" + out.string() + " 2>" + err.string();
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

}  // namespace tarvel::test
