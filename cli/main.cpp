// tarvel-cli: the writer's logic for scripts and production lines.
#include <cstdio>
#include <exception>

#include "cli/Commands.h"

int main(int argc, char** argv) {
  try {
    return tarvel::cli::RunCli(argc, argv);
  } catch (const std::exception& e) {
    // Out of memory and the like: say so rather than end without a word.
    std::fprintf(stderr, "tarvel-cli: %s\n", e.what());
    return 1;
  }
}
