// tarvel-cli: the writer's logic for scripts and production lines.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "base/ProgramStart.h"
#include "cli/Commands.h"

int main(int argc, char** argv) {
  tarvel::PrepareStandardStreams();
  try {
    const std::vector<std::string> arguments = tarvel::ProgramArguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    return tarvel::cli::RunCli(static_cast<int>(pointers.size()), pointers.data());
  } catch (const std::exception& e) {
    // Out of memory and the like: say so rather than end without a word.
    std::fprintf(stderr, "tarvel-cli: %s\n", e.what());
    return 1;
  }
}
