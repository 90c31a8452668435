// tarvel-cli: the writer's logic for scripts and production lines.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "base/Strings.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"

int main(int argc, char** argv) {
  using namespace tarvel;
  using namespace tarvel::cli;

  CLI::App app{std::string(LoadString(StringId::Version)) +
               ": write SFL firmware into a radio through its serial boot loader"};
  app.require_subcommand(1);
  app.footer(kExitCodeHelp);
  // The converters' versions are read when asked for, not at every start.
  app.set_version_flag("--version", ProgramAndConverterVersions,
                       "Show the versions of the program and the converters");

  int exitCode = kExitOk;
  AddPortsCommand(app, exitCode);
  AddSyncCommand(app, exitCode);
  AddWriteCommand(app, exitCode);
  AddReadCommand(app, exitCode);
  AddConvertCommand(app, exitCode);
  AddListCommand(app, exitCode);
  AddCommentCommand(app, exitCode);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }
  return exitCode;
}
