// `tarvel-cli write FILE.sfl --port PATH`: the WRITE button for scripts and
// production lines.
#include <unistd.h>

#include <cstdio>

#include "base/Report.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Json.h"
#include "cli/ProgressLine.h"
#include "cli/RadioOptions.h"
#include "firmware/WriteProcedure.h"

namespace tarvel::cli {

namespace {

struct WriteOptions {
  RadioOptions radio;
  std::string file;
};

int RunWrite(const WriteOptions& options) {
  TerminalMessages messages(!options.radio.json);
  std::string error;
  auto session = RadioSession::Create(options.radio, messages, error);
  if (!session) {
    std::fprintf(stderr, "tarvel-cli: %s\n", error.c_str());
    return kExitUsage;
  }
  ProgressLine progress(!options.radio.quiet && ::isatty(STDERR_FILENO), "Writing");
  messages.setBeforePrint([&progress] { progress.finish(); });

  const WriteOutcome outcome = OnWrite(session->context(), progress, options.file);
  progress.finish();
  if (!outcome.succeeded && (outcome.failure == StringId::PortCannotBeHandled)) {
    PrintPortAccessHint(options.radio.port);
  }
  if (options.radio.json) {
    JsonObject json;
    json.add("result", std::string(outcome.succeeded ? "success" : "failure"));
    json.add("message", outcome.succeeded ? std::string(LoadString(StringId::WriteSucceeded))
                                          : messages.lastFailureText());
    json.add("blocks_written", static_cast<long long>(outcome.blocksWritten));
    json.add("retries", static_cast<long long>(outcome.retries));
    json.add("elapsed_ms", static_cast<long long>(outcome.elapsedMs));
    json.add("checksum", FormatHex4(outcome.checkSum));
    std::printf("%s\n", json.str().c_str());
  }
  return outcome.succeeded ? kExitOk : ExitCodeFor(outcome.failure);
}

}  // namespace

void AddWriteCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<WriteOptions>();
  CLI::App* command = app.add_subcommand("write", "Write an SFL file into the radio's flash");
  command->add_option("file", options->file, "The SFL file to write")->required();
  AddRadioOptions(*command, options->radio);
  command->callback([options, &exitCode] {
    if (const std::string problem = CheckRate(options->radio); !problem.empty()) {
      throw CLI::ValidationError(problem);
    }
    exitCode = RunWrite(*options);
  });
}

}  // namespace tarvel::cli
