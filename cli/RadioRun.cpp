#include "cli/RadioRun.h"

#include <cstdio>

#include "base/Report.h"
#include "base/Sha256.h"
#include "station/ExitCodes.h"
#include "formats/SflFile.h"
#include "loader/Sync.h"
#include "firmware/ReadBack.h"

namespace tarvel::cli {

namespace {

// Reads every written block back and compares; returns the exit code.
int Verify(RadioSession& session, const CheckedSflFile& file, const RadioOptions& options, TerminalMessages& messages,
           RunResult& result) {
  LoaderContext& ctx = session.context();
  const ReadBackOutcome check = ReadBackAndCompare(ctx, file);
  TransferFacts& transfer = *result.transfer;
  transfer.verifyMs = check.elapsedMs;
  if (check.firstDifference) transfer.verifyFirstDifference = *check.firstDifference;
  const bool text = messages.printsReports();
  if (!check.completed) {
    // The report above said the write succeeded: the next line must not
    // leave that standing alone.
    if (text) std::printf("%s\n", std::string(LoadString(StringId::VerifyNotCompleted)).c_str());
    AddRadioDiagnosis(result, check.failure, options, session.lineWatch(), messages.lastFailureDetail());
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

// The hint of a write's own failures; those of the port and the
// synchronisation come with their diagnosis.
std::string WriteFailureHint(const WriteOutcome& outcome) {
  switch (outcome.failure) {
    case StringId::CommunicationError:
      return outcome.blocksWritten == 0
                 ? std::string(LoadString(StringId::WriteNothingHint))
                 : FormatString(StringId::WritePartlyHint, {FormatBlockCounter(outcome.blocksWritten - 1)});
    case StringId::FlashWriteFailed:
      return FormatString(StringId::BlockRefusedHint, {FormatBlockCounter(outcome.blocksWritten)});
    default: return {};
  }
}

}  // namespace

void AddTrustOptions(CLI::App& command, TrustOptions& trust, bool forWrite) {
  command.add_option("--key", trust.keyFiles,
                     "A trusted minisign public key: the folder's SHA256SUMS counts only when signed by one")
      ->type_name("FILE");
  if (!forWrite) return;
  command.add_flag("--require-manifest", trust.requireManifest,
                   "Refuse a file that its folder's SHA256SUMS does not list");
}

void RefuseFile(const SflFileProblem& problem, TerminalMessages& messages, RunResult& result) {
  messages.showMessage(problem.id, MessageIcon::Stop, problem.detail);
  result.exitCode = kExitFile;
  result.message = messages.lastFailureText();
  result.detail = messages.lastFailureDetail();
}

void WriteRadio(RadioSession& session, WriteUi& ui, const CheckedSflFile& file, const RadioOptions& options,
                TerminalMessages& messages, RunResult& result) {
  LoaderContext& ctx = session.context();
  const WriteOutcome outcome = OnWrite(ctx, ui, file);
  TransferFacts& transfer = *result.transfer;
  transfer.blocksDone = outcome.blocksWritten;
  transfer.retries = outcome.retries;
  transfer.checksum = outcome.checkSum;
  if (!outcome.succeeded) {
    result.exitCode = ExitCodeFor(outcome.failure);
    result.hint = WriteFailureHint(outcome);
    AddRadioDiagnosis(result, outcome.failure, options, session.lineWatch(), messages.lastFailureDetail());
    if (outcome.failure == StringId::CommunicationError || outcome.failure == StringId::FlashWriteFailed) {
      transfer.firstFailedBlock = outcome.blocksWritten;
    }
  } else if (transfer.verify) {
    result.exitCode = Verify(session, file, options, messages, result);
  }
  if (result.exitCode != kExitOk && session.stopExitCode() != 0) result.exitCode = session.stopExitCode();
  if (result.exitCode == kExitOk) {
    result.message = TerminalText(LoadString(StringId::WriteSucceeded));
  } else {
    result.message = messages.lastFailureText();
    result.detail = messages.lastFailureDetail();
  }
}

void SyncRadio(RadioSession& session, const RadioOptions& options, TerminalMessages& messages, RunResult& result) {
  if (CheckLoaderConnection(session.context())) {
    messages.showMessage(StringId::SyncSucceeded, MessageIcon::Information);
    result.message = TerminalText(LoadString(StringId::SyncSucceeded));
  } else {
    result.exitCode = ExitCodeFor(messages.lastFailure());
    result.message = messages.lastFailureText();
    result.detail = messages.lastFailureDetail();
    AddRadioDiagnosis(result, messages.lastFailure(), options, session.lineWatch(), messages.lastFailureDetail());
  }
  if (session.stopExitCode() != 0 && result.exitCode != kExitOk) result.exitCode = session.stopExitCode();
}

}  // namespace tarvel::cli
