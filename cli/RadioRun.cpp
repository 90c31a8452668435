#include "cli/RadioRun.h"

#include <cstdio>

#include "base/Report.h"
#include "run/ExitCodes.h"
#include "run/RadioResult.h"

namespace tarvel::cli {

namespace {

// The read-back's lines after the write's report: the report said the
// write succeeded, and the next line must not leave that standing alone.
void PrintVerify(const RadioOutcome& outcome, TerminalMessages& messages, const RunResult& result) {
  if (!outcome.verify) return;
  const ReadBackOutcome& check = *outcome.verify;
  const bool text = messages.printsReports();
  if (!check.completed) {
    if (text) std::printf("%s\n", std::string(LoadString(StringId::VerifyNotCompleted)).c_str());
    return;
  }
  const std::string time = std::string(LoadString(StringId::ReadBackTime)) + FormatElapsed(check.elapsedMs) + ".";
  if (check.differences == 0) {
    if (text) std::printf("%s\n%s\n", std::string(LoadString(StringId::VerifySucceeded)).c_str(), time.c_str());
    return;
  }
  if (text) std::printf("%s\n", std::string(LoadString(StringId::VerifyFailed)).c_str());
  messages.showMessage(StringId::VerifyFailed, MessageIcon::Stop, result.detail);
  if (text) std::fprintf(stderr, "%s\n", time.c_str());
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
  result.message = TerminalText(LoadString(problem.id));
  result.detail = problem.detail;
  result.hint = problem.hint;
}

void WriteRadio(const RadioJob& job, const CheckedSflFile& file, SessionObserver& observer,
                TerminalMessages& messages, RunResult& result) {
  const RadioOutcome outcome = WriteFirmware(job, file, observer);
  DescribeOutcome(outcome, result);
  PrintVerify(outcome, messages, result);
}

void SyncRadio(const RadioJob& job, SessionObserver& observer, TerminalMessages& messages, RunResult& result) {
  const RadioOutcome outcome = tarvel::SyncRadio(job, observer);
  if (!outcome.failure) messages.showMessage(StringId::SyncSucceeded, MessageIcon::Information);
  DescribeOutcome(outcome, result);
}

void ApplyStopSignal(const StopSignals& stop, RunResult& result) {
  if (stop.exitCode() != 0 && result.exitCode != kExitOk) result.exitCode = stop.exitCode();
}

}  // namespace tarvel::cli
