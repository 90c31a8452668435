// What a command-line program does first, the same on every system.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

// The program's arguments in UTF-8. Windows hands main() the arguments in
// the ANSI code page, which cannot hold every file name: there they come
// from the wide command line, and the console is set to show UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace tarvel
