// `tarvel-cli read OUT.sfl --port PATH`: Flash Extraction for scripts.
#include <cstdio>
#include <filesystem>

#include "base/Report.h"
#include "base/FileIo.h"
#include "base/Sha256.h"
#include "cli/Commands.h"
#include "run/ExitCodes.h"
#include "cli/ProgressLine.h"
#include "cli/RadioOptions.h"
#include "cli/RadioRun.h"
#include "run/RadioResult.h"
#include "service/Converters.h"
#include "service/SflConversion.h"

namespace tarvel::cli {

namespace {

struct ReadOptions {
  RadioOptions radio;
  std::string output;
  std::string endBlock = "3FF";
  bool force = false;
};

bool IsBlockText(const std::string& text) {
  if (text.empty() || text.size() > 3) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

int RunRead(const ReadOptions& options) {
  CommandRun run("read", options.radio.output());
  RunResult& result = run.result();
  result.radio = DescribeRadio(options.radio);
  const std::uint16_t endBlock = ParseBlockText(options.endBlock);
  TransferFacts& transfer = result.transfer.emplace();
  transfer.file = options.output;
  transfer.blocksTotal = endBlock + 1;
  if (!run.openRecord(RunFiles(options.radio, 1, {"the output file", options.output}))) return run.finish();
  TerminalMessages messages(!options.radio.stdoutTaken());
  RunSteps steps = StepsOf(options.radio);
  ProgressLine line(ProgressStyleOf(options.radio), "Reading");
  ReadProgress progress(line);
  TerminalObserver terminal(messages, [&progress](const Progress& p) { progress.progressed(p); }, &steps);
  SessionObserver& observer = run.beginRadio("read", terminal);
  // A dump is often the only copy of a radio's old firmware.
  std::error_code error;
  if (!options.force && std::filesystem::exists(std::filesystem::symlink_status(fileio::PathOf(options.output), error))) {
    run.fail(kExitUsage, FormatString(StringId::OutputExists, {options.output}));
    return run.finish();
  }

  StopSignals stop;
  // The last block read is the end block itself.
  bool failureShown = false;
  messages.setBeforePrint([&line, endBlock, &failureShown](bool report) {
    if (report) line.complete(FormatBlockCounter(endBlock));
    failureShown = failureShown || !report;
    line.finish();
  });
  steps.setBeforePrint([&line, endBlock, &failureShown](SessionPhase phase) {
    if (phase == SessionPhase::Ended && !failureShown) line.complete(FormatBlockCounter(endBlock));
    line.finish();
  });
  ConverterBlockSink sink;
  const RadioOutcome outcome = ReadFirmware(JobOf(options.radio, options.output, &stop.request()), sink,
                                            options.output, endBlock, options.force, observer);
  line.finish();
  DescribeOutcome(outcome, result);
  if (outcome.read.succeeded) {
    transfer.fileSha256 = FileSha256(options.output).value_or("");
    if (messages.printsReports()) {
      std::printf("%s\n", TransferSummary(result, JobKind::Read).c_str());
      std::fflush(stdout);
    }
  }
  ApplyStopSignal(stop, result);
  return run.finish();
}

}  // namespace

void AddReadCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ReadOptions>();
  CLI::App* command = app.add_subcommand("read", "Read the radio's flash into an SFL file (Flash Extraction)");
  command->add_option("out", options->output,
                       "The SFL file to create; an existing file is refused without --force");
  command->add_option("-o,--output", options->output, "The SFL file to create (instead of OUT)");
  command->add_flag("--force", options->force,
                    "Replace the output file when it exists, and only once the read has succeeded");
  command->add_option("--end-block", options->endBlock, "Last block to read, three hex digits")->default_str("3FF");
  AddRadioOptions(*command, options->radio);
  command->callback([options, &exitCode] {
    TakeEnvironmentDefaults(options->radio);
    if (options->output.empty()) throw CLI::ValidationError("an output file is required: OUT.sfl or -o OUT.sfl");
    if (const std::string problem = CheckRate(options->radio); !problem.empty()) {
      throw CLI::ValidationError(problem);
    }
    PickTheOnlyPort(options->radio);
    if (!IsBlockText(options->endBlock)) {
      throw CLI::ValidationError("--end-block " + options->endBlock + ": " +
                                 std::string(LoadString(StringId::InvalidBlockText)));
    }
    exitCode = RunRead(*options);
  });
}

}  // namespace tarvel::cli
