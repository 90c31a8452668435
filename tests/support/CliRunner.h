// Runs a command line the way a script would and keeps its exit code,
// stdout and stderr (through files in a test's temporary directory).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

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

inline CliRun RunCommand(const TempDir& dir, const std::string& commandLine) {
  const auto out = dir.path() / "out.txt";
  const auto err = dir.path() / "err.txt";
  const std::string command = commandLine + " >" + out.string() + " 2>" + err.string();
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

// Runs a command line with stdout and stderr on a pipe whose reader has
// already gone, as after `| head -1`. The exit code, or 128 plus the signal
// that ended it, as a shell reports it.
inline int RunWithGoneReader(const std::string& commandLine) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  ::close(pipeFds[0]);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeFds[1], 1);
    ::dup2(pipeFds[1], 2);
    ::close(pipeFds[1]);
    ::execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace tarvel::test
