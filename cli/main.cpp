// tarvel-cli: the writer's logic for scripts and production lines.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/ProgramStart.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"

int main(int argc, char** argv) {
  using namespace tarvel::cli;
  using tarvel::ProgramArguments;

  try {
    CLI::App app;
    int exitCode = kExitOk;
    BuildCliApp(app, exitCode);
    try {
      std::vector<std::string> arguments = ProgramArguments(argc, argv);
      std::vector<const char*> pointers;
      for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
      app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
      const int code = app.exit(e);
      return code == 0 ? kExitOk : kExitUsage;
    }
    return exitCode;
  } catch (const std::exception& e) {
    // Out of memory and the like: say so rather than end without a word.
    std::fprintf(stderr, "tarvel-cli: %s\n", e.what());
    return 1;
  }
}
