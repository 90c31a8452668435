// tarvel-cli: the writer's logic for scripts and production lines.
#include <cstdio>
#include <exception>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"

int main(int argc, char** argv) {
  using namespace tarvel::cli;

  try {
    CLI::App app;
    int exitCode = kExitOk;
    BuildCliApp(app, exitCode);
    try {
      app.parse(argc, argv);
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
