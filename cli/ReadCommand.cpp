// `tarvel-cli read OUT.sfl --port PATH`: Flash Extraction for scripts.
#include <unistd.h>

#include <cstdio>

#include "base/Report.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Json.h"
#include "cli/ProgressLine.h"
#include "cli/RadioOptions.h"
#include "service/FlashRead.h"
#include "service/SflConversion.h"

namespace tarvel::cli {

namespace {

struct ReadOptions {
  RadioOptions radio;
  std::string output;
  std::string endBlock = "3FF";
};

bool IsBlockText(const std::string& text) {
  if (text.empty() || text.size() > 3) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

int RunRead(const ReadOptions& options) {
  TerminalMessages messages(!options.radio.json);
  auto session = RadioSession::CreateOrReport(options.radio, messages);
  if (!session) return kExitUsage;
  const std::uint16_t endBlock = ParseBlockText(options.endBlock);
  ProgressLine line(ShowProgress(options.radio), "Reading");
  messages.setBeforePrint([&line] { line.finish(); });
  ReadProgress progress(line);
  ConverterBlockSink sink;

  const ReadOutcome outcome = ReadFlash(session->context(), progress, sink, options.output, endBlock);
  line.finish();
  if (!outcome.succeeded && outcome.lastMessage == StringId::PortCannotBeHandled) {
    PrintPortAccessHint(options.radio.port);
  }
  if (options.radio.json) {
    JsonObject json;
    json.add("result", std::string(outcome.succeeded ? "success" : "failure"));
    json.add("message", outcome.succeeded ? std::string(LoadString(StringId::ReadSucceeded))
                                          : messages.lastFailureText());
    json.add("output", options.output);
    json.add("blocks_read", static_cast<long long>(outcome.blocksRead));
    json.add("complete", outcome.succeeded);
    json.add("elapsed_ms", static_cast<long long>(outcome.elapsedMs));
    json.add("checksum", FormatHex4(outcome.readSum));
    std::printf("%s\n", json.str().c_str());
  }
  return outcome.succeeded ? kExitOk : ExitCodeFor(outcome.lastMessage);
}

}  // namespace

void AddReadCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ReadOptions>();
  CLI::App* command = app.add_subcommand("read", "Read the radio's flash into an SFL file (Flash Extraction)");
  command->add_option("output", options->output, "The SFL file to create; an existing file is replaced only when the read succeeds")->required();
  command->add_option("--end-block", options->endBlock, "Last block to read, three hex digits")->default_str("3FF");
  AddRadioOptions(*command, options->radio);
  command->callback([options, &exitCode] {
    if (const std::string problem = CheckRate(options->radio); !problem.empty()) {
      throw CLI::ValidationError(problem);
    }
    if (!IsBlockText(options->endBlock)) {
      throw CLI::ValidationError("--end-block " + options->endBlock + ": " +
                                 std::string(LoadString(StringId::InvalidBlockText)));
    }
    exitCode = RunRead(*options);
  });
}

}  // namespace tarvel::cli
