// The subcommands of tarvel-cli. Each registers itself on the application
// and returns the exit code through `exitCode` when it runs.
#pragma once

#include <CLI/CLI.hpp>

namespace tarvel::cli {

void AddPortsCommand(CLI::App& app, int& exitCode);
void AddSyncCommand(CLI::App& app, int& exitCode);
void AddWriteCommand(CLI::App& app, int& exitCode);
// Commands whose work comes later print that they are not yet available.
void AddPendingCommand(CLI::App& app, const char* name, const char* description, int& exitCode);

}  // namespace tarvel::cli
