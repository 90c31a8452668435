// What a command-line program does first, the same on every system.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

// The program's arguments in UTF-8. Windows hands main() the arguments in
// the ANSI code page, which cannot hold every file name: there they come
// from the wide command line, and the console is set to show UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The first call of every main(). A standard descriptor (0, 1, 2) that is
// closed gets the null device, so that no file opened later takes its
// number: a record or a radio's port would otherwise receive the program's
// text. A print to a reader that has gone fails as a print instead of
// ending the program in the middle of a radio's write (SIGPIPE ignored).
void PrepareStandardStreams();

}  // namespace tarvel
