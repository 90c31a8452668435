// The subcommands of tarvel-cli. Each registers itself on the application
// and returns the exit code through `exitCode` when it runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace tarvel {
struct CatalogRow;
}

namespace tarvel::cli {

// The whole application as tarvel-cli runs it: description, exit-code
// footer, --version and every command. `exitCode` receives the result of
// the command that runs and must outlive `app`'s parse.
void BuildCliApp(CLI::App& app, int& exitCode);

// Runs tarvel-cli with its arguments: the application above, and what its
// parse cannot say itself (no command, an unknown command, a usage error as
// JSON when --json was asked for). Returns the exit code.
int RunCli(int argc, const char* const* argv);

// --json, which every command has.
void AddJsonFlag(CLI::App& command, bool& json);

void AddPortsCommand(CLI::App& app, int& exitCode);
void AddDoctorCommand(CLI::App& app, int& exitCode);
void AddHistoryCommand(CLI::App& app, int& exitCode);
void AddSyncCommand(CLI::App& app, int& exitCode);
void AddWriteCommand(CLI::App& app, int& exitCode);
void AddReadCommand(CLI::App& app, int& exitCode);
void AddListCommand(CLI::App& app, int& exitCode);
void AddCommentCommand(CLI::App& app, int& exitCode);
void AddManifestCommand(CLI::App& app, int& exitCode);
void AddConvertCommand(CLI::App& app, int& exitCode);
// `database init|check` and `records send`.
void AddDatabaseCommands(CLI::App& app, int& exitCode);
// "Tarvel 1.10" and a line for each converter library with its version.
std::string ProgramAndConverterVersions();

// `list`'s output: a line per row, the name, at least two spaces so that the
// dates line up, the date text; with `states` (one per row, when the folder
// has a manifest) the dates padded and each row's state after them.
std::string FormatListing(const std::vector<CatalogRow>& rows, const std::vector<std::string>& states = {});
// Display text made safe for a terminal: CR LF and lone CRs become line
// breaks; other control characters (escape sequences among them) show as
// U+FFFD, so no file can drive the terminal.
std::string TerminalSafeText(std::string_view displayText);


}  // namespace tarvel::cli
