#include "cli/RadioRun.h"

#include <cstdio>

#include "base/Report.h"
#include "cli/ProgressLine.h"
#include "loader/CableFacts.h"
#include "loader/Packets.h"
#include "run/ExitCodes.h"
#include "run/RadioResult.h"

namespace tarvel::cli {

namespace {

// The read-back's verdict, said once: on stdout after the write's report
// when the flash holds the file, else on stderr as the run's failure.
void PrintVerify(const RadioOutcome& outcome, TerminalMessages& messages, const RunResult& result) {
  if (!outcome.verify) return;
  const ReadBackOutcome& check = *outcome.verify;
  if (!check.completed) {
    messages.showMessage(StringId::VerifyNotCompleted, MessageIcon::Stop);
    return;
  }
  const std::string time = std::string(LoadString(StringId::ReadBackTime)) + FormatElapsed(check.elapsedMs) + ".";
  if (check.differences == 0) {
    if (messages.printsReports()) {
      std::printf("%s\n%s\n", std::string(LoadString(StringId::VerifySucceeded)).c_str(), time.c_str());
    }
    return;
  }
  messages.showMessage(StringId::VerifyFailed, MessageIcon::Stop, result.detail);
  if (messages.printsReports()) std::fprintf(stderr, "%s\n", time.c_str());
}

std::string Fixed1(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
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

double LineBoundBytesPerSecond(Cable cable, unsigned baud, JobKind job) {
  // 8 data bits, two stop bits and the start bit: 11 bits a byte.
  constexpr double kBitsPerByte = 11.0;
  const bool framed = FactsOf(cable).framed;
  const std::size_t perBlock = job == JobKind::Read ? ReadExchangeBytes(framed) : WriteExchangeBytes(framed);
  return static_cast<double>(kBlockSize) * baud / (kBitsPerByte * static_cast<double>(perBlock));
}

std::string TransferSummary(const RunResult& result, JobKind job) {
  if (!result.radio || !result.transfer) return {};
  const TransferFacts& transfer = *result.transfer;
  const double seconds = transfer.transferMs / 1000.0;
  const double bytes = static_cast<double>(transfer.blocksDone) * kBlockSize;
  const double rate = seconds > 0 ? bytes / seconds : 0.0;
  const double bound =
      LineBoundBytesPerSecond(CableNamed(result.radio->cable).value_or(Cable::Qap8), result.radio->baud, job);
  char percent[16];
  std::snprintf(percent, sizeof percent, "%.0f", bound > 0 ? 100.0 * rate / bound : 0.0);
  const std::string blocks = std::to_string(transfer.blocksDone);
  const std::string byteCount = std::to_string(transfer.blocksDone * static_cast<int>(kBlockSize));
  if (job == JobKind::Read) {
    return FormatString(StringId::SummaryRead, {result.radio->port, transfer.file, byteCount, blocks, Fixed1(seconds),
                                                FormatRate(rate), percent});
  }
  return FormatString(StringId::SummaryWrote, {result.radio->port, transfer.file, byteCount, blocks,
                                               std::to_string(transfer.retries), Fixed1(seconds), FormatRate(rate),
                                               percent});
}

void WriteRadio(const RadioJob& job, const CheckedSflFile& file, SessionObserver& observer,
                TerminalMessages& messages, RunResult& result) {
  // With a read-back to come, the write's report waits for its verdict: a
  // success that the next line takes back is not said at all.
  if (job.verify) messages.holdReports();
  const RadioOutcome outcome = WriteFirmware(job, file, observer);
  DescribeOutcome(outcome, result);
  if (outcome.succeeded()) {
    messages.releaseReports();
    if (messages.printsReports()) {
      std::printf("%s\n", TransferSummary(result, JobKind::Write).c_str());
      std::fflush(stdout);
    }
  } else {
    messages.dropReports();
  }
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
