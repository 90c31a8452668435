// tarvel-cli's argument parsing: the application main() builds, given the
// input split at NUL bytes as its arguments. No command runs: the parse
// stops just before the commands' callbacks, so no port is opened and no
// file read or written. A usage error (CLI::ParseError) is expected; any
// other exception escapes and is a finding.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "run/ExitCodes.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct ParsedWithoutRunning {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"tarvel-cli"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (size > 0) args.push_back(current);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  CLI::App app;
  int exitCode = tarvel::kExitOk;
  tarvel::cli::BuildCliApp(app, exitCode);
  // The application's own callbacks run only after every option has been
  // read and checked: this one runs first, and stops the parse there.
  app.parse_complete_callback([] { throw ParsedWithoutRunning{}; });

  try {
    app.parse(static_cast<int>(args.size()), argv.data());
    tarvel::fuzz::Fail("the parse went on past its last step");
  } catch (const ParsedWithoutRunning&) {
    tarvel::fuzz::Expect(app.get_subcommands().size() == 1, "a parse accepted without exactly one command");
    tarvel::fuzz::Expect(exitCode == tarvel::kExitOk, "a command ran");
  } catch (const CLI::ParseError& e) {
    // What main() prints for it: the help, the versions or the error.
    std::ostringstream out;
    std::ostringstream err;
    app.exit(e, out, err);
    tarvel::fuzz::Expect(!out.str().empty() || !err.str().empty() || e.get_exit_code() == 0,
                         "a usage error without a message");
  }
  return 0;
}
