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
#include "service/ReadBack.h"

namespace tarvel::cli {

namespace {

struct WriteOptions {
  RadioOptions radio;
  std::string file;
  bool verify = false;
};

// Reads every written block back and compares; returns the exit code.
int Verify(LoaderContext& ctx, const WriteOptions& options, TerminalMessages& messages, JsonObject& json) {
  const ReadBackOutcome check = ReadBackAndCompare(ctx, options.file);
  json.add("verified", check.completed && check.differences == 0);
  json.add("verify_ms", static_cast<long long>(check.elapsedMs));
  if (!check.completed) return ExitCodeFor(check.failure);
  const std::string time = std::string(LoadString(StringId::ReadBackTime)) + FormatElapsed(check.elapsedMs) + ".";
  if (check.differences == 0) {
    if (!options.radio.json) std::printf("%s\n%s\n", std::string(LoadString(StringId::VerifySucceeded)).c_str(), time.c_str());
    return kExitOk;
  }
  char detail[96];
  std::snprintf(detail, sizeof detail, "first differing block %03X; %d of %d blocks differ", *check.firstDifference,
                check.differences, check.blocksCompared);
  messages.showMessage(StringId::VerifyFailed, MessageIcon::Stop, detail);
  if (!options.radio.json) std::fprintf(stderr, "%s\n", time.c_str());
  json.add("first_difference", FormatBlockCounter(*check.firstDifference));
  return kExitVerify;
}

int RunWrite(const WriteOptions& options) {
  TerminalMessages messages(!options.radio.json);
  auto session = RadioSession::CreateOrReport(options.radio, messages);
  if (!session) return kExitUsage;
  ProgressLine line(ShowProgress(options.radio), "Writing");
  messages.setBeforePrint([&line] { line.finish(); });
  WriteProgress progress(line);

  const WriteOutcome outcome = OnWrite(session->context(), progress, options.file);
  line.finish();
  if (!outcome.succeeded && (outcome.failure == StringId::PortCannotBeHandled)) {
    PrintPortAccessHint(options.radio.port);
  }
  JsonObject json;
  int exitCode = outcome.succeeded ? kExitOk : ExitCodeFor(outcome.failure);
  if (outcome.succeeded && options.verify) exitCode = Verify(session->context(), options, messages, json);
  if (options.radio.json) {
    json.add("result", std::string(exitCode == kExitOk ? "success" : "failure"));
    json.add("message", exitCode == kExitOk ? std::string(LoadString(StringId::WriteSucceeded))
                                           : messages.lastFailureText());
    json.add("blocks_written", static_cast<long long>(outcome.blocksWritten));
    json.add("retries", static_cast<long long>(outcome.retries));
    json.add("elapsed_ms", static_cast<long long>(outcome.elapsedMs));
    json.add("checksum", FormatHex4(outcome.checkSum));
    std::printf("%s\n", json.str().c_str());
  }
  return exitCode;
}

}  // namespace

void AddWriteCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<WriteOptions>();
  CLI::App* command = app.add_subcommand("write", "Write an SFL file into the radio's flash");
  command->add_option("file", options->file, "The SFL file to write")->required();
  AddRadioOptions(*command, options->radio);
  command->add_flag("--verify", options->verify,
                    "After the write, read every written block back and compare it with the file");
  command->callback([options, &exitCode] {
    if (const std::string problem = CheckRate(options->radio); !problem.empty()) {
      throw CLI::ValidationError(problem);
    }
    exitCode = RunWrite(*options);
  });
}

}  // namespace tarvel::cli
