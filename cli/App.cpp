#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Strings.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "run/ExitCodes.h"
#include "cli/Terminal.h"
#include "cli/UsageWords.h"

namespace tarvel::cli {

namespace {

// What the arguments say before CLI11 reads them: the command they name
// (the first word that is not an option: the program's own options take no
// value) and whether JSON was asked for anywhere: then every outcome, a
// usage error too, is one object.
struct FirstLook {
  std::string command;
  bool json = false;
  bool anyArgument = false;
};

FirstLook LookAt(int argc, const char* const* argv) {
  FirstLook look;
  look.anyArgument = argc > 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--") break;
    if (arg == "--json") {
      look.json = true;
    } else if (look.command.empty() && !arg.empty() && arg.front() != '-') {
      look.command = arg;
    }
  }
  return look;
}

bool IsCommand(CLI::App& app, const std::string& name) {
  return !app.get_subcommands([&name](CLI::App* command) { return command->check_name(name); }).empty();
}

}  // namespace

void AddJsonFlag(CLI::App& command, bool& json) {
  command.add_flag("--json", json, "One JSON object on stdout instead of the text, whatever the outcome");
}

void BuildCliApp(CLI::App& app, int& exitCode) {
  app.description(std::string(LoadString(StringId::Version)) +
                  ": write SFL firmware into a radio through its serial boot loader");
  app.require_subcommand(1);
  // The same options everywhere: "/x" is a path, not a Windows-style option.
  app.allow_windows_style_options(false);
  app.footer(std::string(kExitCodeHelp) +
             "\nEnvironment: TARVEL_PORT, TARVEL_CABLE, TARVEL_BAUD, TARVEL_RECORD and TARVEL_DATABASE give the "
             "defaults of --port, --cable, --baud, --record and --database; the command line wins.\n");
  // The converters' versions are read when asked for, not at every start.
  app.set_version_flag("-V,--version", ProgramAndConverterVersions,
                       "Show the versions of the program and the converters");

  AddPortsCommand(app, exitCode);
  AddDoctorCommand(app, exitCode);
  AddHistoryCommand(app, exitCode);
  AddSyncCommand(app, exitCode);
  AddWriteCommand(app, exitCode);
  AddReadCommand(app, exitCode);
  AddConvertCommand(app, exitCode);
  AddListCommand(app, exitCode);
  AddCommentCommand(app, exitCode);
  AddManifestCommand(app, exitCode);
  AddDatabaseCommands(app, exitCode);
}

int RunCli(int argc, const char* const* argv) {
  CLI::App app;
  int exitCode = kExitOk;
  BuildCliApp(app, exitCode);
  const FirstLook look = LookAt(argc, argv);
  if (!look.anyArgument) {
    std::fprintf(stderr, "%s\n", std::string(LoadString(StringId::ShortUsage)).c_str());
    return kExitUsage;
  }
  // Options before the command: refused with the line in its order, as
  // the command's options are its own.
  if (const std::optional<std::string> line = CommandFirstLine(argc, argv, app)) {
    std::string command;
    for (int i = 1; i < argc && command.empty(); ++i) {
      if (IsCommand(app, argv[i])) command = argv[i];
    }
    CommandRun usage(command, {look.json, {}});
    usage.fail(kExitUsage, "tarvel-cli: " + FormatString(StringId::OptionsBeforeCommand, {*line}));
    usage.result().message = FormatString(StringId::OptionsBeforeCommand, {*line});
    return usage.finish();
  }
  // The run's object says when the run began, usage errors included.
  CommandRun usage(look.command, {look.json, {}});
  if (!look.command.empty() && !IsCommand(app, look.command)) {
    std::vector<std::string> names;
    for (const CLI::App* command : std::as_const(app).get_subcommands({})) names.push_back(command->get_name());
    const std::string guess = GuessName(look.command, names);
    const std::string unknown = guess.empty() ? FormatString(StringId::UnknownCommand, {look.command})
                                              : FormatString(StringId::UnknownCommandGuess, {look.command, guess});
    const std::string shortUsage(LoadString(StringId::ShortUsage));
    if (!look.json) {
      std::fprintf(stderr, "tarvel-cli: %s\n%s\n", unknown.c_str(), shortUsage.c_str());
      return kExitUsage;
    }
    // The usage's last line, where to look, is the object's hint.
    usage.fail(kExitUsage, "tarvel-cli: " + unknown);
    usage.result().message = unknown;
    usage.result().hint = shortUsage.substr(shortUsage.rfind('\n') + 1);
    return usage.finish();
  }
  WatchTerminalSize();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      if (!look.json) return app.exit(e);
      // Help and the versions as JSON: their text goes to stderr, stdout
      // keeps the one object.
      std::ostringstream text;
      app.exit(e, text, text);
      std::fputs(text.str().c_str(), stderr);
      usage.result().message = text.str();
      while (!usage.result().message.empty() && usage.result().message.back() == '\n') usage.result().message.pop_back();
      return usage.finish();
    }
    const CLI::App* command = nullptr;
    if (!look.command.empty() && IsCommand(app, look.command)) command = app.get_subcommand(look.command);
    usage.fail(kExitUsage, UsageText(e, command));
    const std::string shortUsage(LoadString(StringId::ShortUsage));
    usage.result().hint = look.command.empty() ? shortUsage.substr(shortUsage.rfind('\n') + 1)
                                               : FormatString(StringId::UsageHint, {look.command});
    return usage.finish();
  }
  return exitCode;
}

}  // namespace tarvel::cli
