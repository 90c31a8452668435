// `tarvel-cli write FILE.sfl --port PATH`: the WRITE button for scripts and
// production lines.
#include <cstdio>

#include "base/Report.h"
#include "base/Sha256.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/ProgressLine.h"
#include "cli/RadioOptions.h"
#include "firmware/SflFile.h"
#include "firmware/WriteProcedure.h"
#include "service/ReadBack.h"

namespace tarvel::cli {

namespace {

struct WriteOptions {
  RadioOptions radio;
  std::string file;
  bool verify = false;
};

// The fingerprint and the record count of the file, as far as it can be
// read; the write itself says what is wrong with it.
void DescribeSflFile(const std::string& path, TransferFacts& facts) {
  std::vector<std::uint8_t> bytes;
  std::string reason;
  if (!LoadSflFile(path, bytes, reason)) return;
  Sha256 digest;
  digest.add(bytes);
  facts.fileSha256 = digest.hex();
  SflTextReader reader(bytes);
  SflRecord record;
  while (ParseSflRecord(reader, record) == SflParse::Record) ++facts.blocksTotal;
}

// Reads every written block back and compares; returns the exit code.
int Verify(LoaderContext& ctx, const WriteOptions& options, TerminalMessages& messages, RunResult& result) {
  const ReadBackOutcome check = ReadBackAndCompare(ctx, options.file);
  TransferFacts& transfer = *result.transfer;
  transfer.verifyMs = check.elapsedMs;
  if (check.firstDifference) transfer.verifyFirstDifference = *check.firstDifference;
  const bool text = !options.radio.json;
  if (!check.completed) {
    // The report above said the write succeeded: the next line must not
    // leave that standing alone.
    if (text) std::printf("%s\n", std::string(LoadString(StringId::VerifyNotCompleted)).c_str());
    result.hint = RadioHint(check.failure, options.radio);
    return ExitCodeFor(check.failure);
  }
  const std::string time = std::string(LoadString(StringId::ReadBackTime)) + FormatElapsed(check.elapsedMs) + ".";
  if (check.differences == 0) {
    if (text) std::printf("%s\n%s\n", std::string(LoadString(StringId::VerifySucceeded)).c_str(), time.c_str());
    return kExitOk;
  }
  char detail[96];
  std::snprintf(detail, sizeof detail, "first differing block %03X; %d of %d blocks differ", *check.firstDifference,
                check.differences, check.blocksCompared);
  if (text) std::printf("%s\n", std::string(LoadString(StringId::VerifyFailed)).c_str());
  messages.showMessage(StringId::VerifyFailed, MessageIcon::Stop, detail);
  if (text) std::fprintf(stderr, "%s\n", time.c_str());
  result.hint = FormatString(StringId::VerifyMismatchHint, {FormatBlockCounter(*check.firstDifference)});
  return kExitVerify;
}

std::string WriteFailureHint(const WriteOutcome& outcome, const RadioOptions& options) {
  switch (outcome.failure) {
    case StringId::CommunicationError:
      return outcome.blocksWritten == 0
                 ? std::string(LoadString(StringId::WriteNothingHint))
                 : FormatString(StringId::WritePartlyHint, {FormatBlockCounter(outcome.blocksWritten - 1)});
    case StringId::FlashWriteFailed:
      return FormatString(StringId::BlockRefusedHint, {FormatBlockCounter(outcome.blocksWritten)});
    default: return RadioHint(outcome.failure, options);
  }
}

// The file is checked before the radio is woken: a file that would be
// refused later (missing, not a regular file, no record, damaged) must not
// leave the radio in its boot loader.
bool CheckFileFirst(const std::string& file, MessageDisplay& messages) {
  std::vector<std::uint8_t> bytes;
  std::string reason;
  if (!LoadSflFile(file, bytes, reason)) {
    messages.showMessage(StringId::FileCannotBeOpened, MessageIcon::Stop, file + ": " + reason);
    return false;
  }
  if (const auto problem = CheckSflFile(bytes)) {
    messages.showMessage(StringId::InvalidSflFile, MessageIcon::Stop, file + ": " + *problem);
    return false;
  }
  return true;
}

int RunWrite(const WriteOptions& options) {
  CommandRun run("write", options.radio.output());
  RunResult& result = run.result();
  result.radio = DescribeRadio(options.radio);
  TransferFacts& transfer = result.transfer.emplace();
  transfer.file = options.file;
  transfer.verify = options.verify;
  DescribeSflFile(options.file, transfer);
  if (!run.openRecord()) return run.finish();

  TerminalMessages messages(!options.radio.json);
  if (!CheckFileFirst(options.file, messages)) {
    result.exitCode = kExitFile;
    result.message = messages.lastFailureText();
    result.detail = messages.lastFailureDetail();
    return run.finish();
  }
  auto session = RadioSession::CreateOrFail(options.radio, messages, run, options.file);
  if (!session) return run.finish();
  ProgressLine line(ShowProgress(options.radio), "Writing");
  messages.setBeforePrint([&line](bool report) {
    if (report) line.complete({});
    line.finish();
  });
  WriteProgress progress(line);

  const WriteOutcome outcome = OnWrite(session->context(), progress, options.file);
  line.finish();
  transfer.blocksDone = outcome.blocksWritten;
  transfer.retries = outcome.retries;
  transfer.checksum = outcome.checkSum;
  if (!outcome.succeeded) {
    result.exitCode = ExitCodeFor(outcome.failure);
    result.hint = WriteFailureHint(outcome, options.radio);
    if (outcome.failure == StringId::CommunicationError || outcome.failure == StringId::FlashWriteFailed) {
      transfer.firstFailedBlock = outcome.blocksWritten;
    }
  } else if (options.verify) {
    result.exitCode = Verify(session->context(), options, messages, result);
  }
  if (result.exitCode != kExitOk && session->stopExitCode() != 0) result.exitCode = session->stopExitCode();
  if (result.exitCode == kExitOk) {
    result.message = TerminalText(LoadString(StringId::WriteSucceeded));
  } else {
    result.message = messages.lastFailureText();
    result.detail = messages.lastFailureDetail();
  }
  return run.finish();
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
