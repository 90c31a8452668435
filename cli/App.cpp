#include <string>

#include "base/Strings.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"

namespace tarvel::cli {

void BuildCliApp(CLI::App& app, int& exitCode) {
  app.description(std::string(LoadString(StringId::Version)) +
                  ": write SFL firmware into a radio through its serial boot loader");
  app.require_subcommand(1);
  // The same options everywhere: "/x" is a path, not a Windows-style option.
  app.allow_windows_style_options(false);
  app.footer(kExitCodeHelp);
  // The converters' versions are read when asked for, not at every start.
  app.set_version_flag("--version", ProgramAndConverterVersions,
                       "Show the versions of the program and the converters");

  AddPortsCommand(app, exitCode);
  AddSyncCommand(app, exitCode);
  AddWriteCommand(app, exitCode);
  AddReadCommand(app, exitCode);
  AddConvertCommand(app, exitCode);
  AddListCommand(app, exitCode);
  AddCommentCommand(app, exitCode);
}

}  // namespace tarvel::cli
