#include "run/RadioResult.h"

#include <cstdio>

#include "run/RadioDiagnosis.h"

namespace tarvel {

namespace {

// The hint of a write's own failures; those of the port and the
// synchronisation come with their diagnosis.
std::string WriteFailureHint(const Failure& failure, int blocksWritten) {
  switch (failure.kind) {
    case FailureKind::LineLost: return StoppedWriteState(blocksWritten);
    case FailureKind::BlockRefused: return FormatString(StringId::BlockRefusedHint, {FormatBlockCounter(blocksWritten)});
    default: return {};
  }
}

// Where the blocks of a failed read went: the output itself is left as it was.
std::string ReadFailureHint(const ReadOutcome& read, const std::string& output, int blocksTotal) {
  if (read.keptPath.empty()) return {};
  if (read.blocksRead == blocksTotal) return FormatString(StringId::ReadKeptHint, {read.keptPath, output});
  return FormatString(StringId::ReadPartialHint,
                      {read.keptPath, std::to_string(read.blocksRead), std::to_string(blocksTotal)});
}

void DescribeWrite(const RadioOutcome& outcome, RunResult& result) {
  TransferFacts& transfer = result.transfer ? *result.transfer : result.transfer.emplace();
  const WriteOutcome& write = outcome.write;
  transfer.blocksDone = write.blocksWritten;
  transfer.retries = write.retries;
  transfer.transferMs = write.elapsedMs;
  transfer.checksum = write.checkSum;
  if (!write.succeeded) {
    result.hint = WriteFailureHint(write.failure, write.blocksWritten);
    if (write.failure.kind == FailureKind::LineLost || write.failure.kind == FailureKind::BlockRefused) {
      transfer.firstFailedBlock = write.blocksWritten;
    }
  }
  if (!outcome.verify) return;
  const ReadBackOutcome& verify = *outcome.verify;
  transfer.verifyMs = verify.elapsedMs;
  if (verify.firstDifference) transfer.verifyFirstDifference = *verify.firstDifference;
  if (!verify.completed || verify.differences == 0) return;
  result.exitCode = kExitVerify;
  result.message = TerminalText(LoadString(StringId::VerifyFailed));
  result.detail = VerifyDifferenceText(verify);
  result.hint = FormatString(StringId::VerifyMismatchHint, {FormatBlockCounter(*verify.firstDifference)});
}

void DescribeRead(const RadioOutcome& outcome, RunResult& result) {
  TransferFacts& transfer = result.transfer ? *result.transfer : result.transfer.emplace();
  const ReadOutcome& read = outcome.read;
  transfer.blocksDone = read.blocksRead;
  transfer.transferMs = read.elapsedMs;
  transfer.checksum = read.readSum;
  if (read.succeeded || !outcome.failure) return;
  // 107 came before 114: the block that did not come.
  const Failure& failure = outcome.failure;
  if (failure.kind == FailureKind::LineLost || (failure.kind == FailureKind::Converter && !failure.block)) {
    transfer.firstFailedBlock = read.blocksRead;
  }
  result.hint = ReadFailureHint(read, transfer.file, transfer.blocksTotal);
  result.fields["partial_file"] = read.keptPath.empty() ? Json(nullptr) : Json(read.keptPath);
}

StringId SuccessMessage(JobKind job) {
  switch (job) {
    case JobKind::Read: return StringId::ReadSucceeded;
    case JobKind::Sync: return StringId::SyncSucceeded;
    case JobKind::Write: break;
  }
  return StringId::WriteSucceeded;
}

}  // namespace

std::string VerifyDifferenceText(const ReadBackOutcome& verify) {
  char detail[96];
  std::snprintf(detail, sizeof detail, "first differing block %03X; %d of %d blocks differ",
                verify.firstDifference.value_or(0), verify.differences, verify.blocksCompared);
  return detail;
}

void DescribeOutcome(const RadioOutcome& outcome, RunResult& result) {
  const Failure& failure = outcome.failure;
  result.exitCode = outcome.stopped && failure ? kExitStopped : ExitCodeFor(outcome.job, failure);
  if (failure) {
    result.message = TerminalText(LoadString(failure.message));
    result.detail = failure.detail;
  } else {
    result.message = TerminalText(LoadString(SuccessMessage(outcome.job)));
  }
  if (outcome.job == JobKind::Write && failure.kind != FailureKind::Usage) DescribeWrite(outcome, result);
  if (outcome.job == JobKind::Read && failure.kind != FailureKind::Usage) DescribeRead(outcome, result);
  if (outcome.diagnosis.empty()) return;
  result.fields["diagnosis"] = DiagnosisJson(outcome.diagnosis);
  result.hint = outcome.diagnosis.front().hint;
}

}  // namespace tarvel
