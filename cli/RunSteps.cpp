#include "cli/RunSteps.h"

#include "base/Strings.h"
#include "firmware/WriteProcedure.h"
#include "loader/CableFacts.h"

namespace tarvel::cli {

namespace {

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace

std::string RetryText(int block, int retry, const RetryReason& reason) {
  const std::string number = FormatBlockCounter(block);
  const std::string nth = std::to_string(retry);
  switch (reason.cause) {
    case RetryCause::Refused: return FormatString(StringId::StepRetryRefused, {number, nth, Hex(reason.answer, 2)});
    case RetryCause::SumDiffers:
      return FormatString(StringId::StepRetrySumDiffers, {number, nth, Hex(reason.loaderSum, 4), Hex(reason.sentSum, 4)});
    case RetryCause::CutShort:
      return FormatString(StringId::StepRetryCutShort, {number, nth, std::to_string(reason.bytes)});
  }
  return {};
}

void RunSteps::print(SessionPhase phase, const std::string& line) {
  if (beforePrint_) beforePrint_(phase);
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void RunSteps::progressed(const Progress& progress) {
  if (!states_) return;
  switch (progress.phase) {
    case SessionPhase::Started:
      // A read knows its blocks before the port opens; a write, once the file is read.
      if (progress.blocks > 0) print(progress.phase, FormatString(StringId::StepReading, {std::to_string(progress.blocks)}));
      break;
    case SessionPhase::Waking:
      answerShown_ = false;
      print(progress.phase, FormatString(StringId::StepWaking,
                         {port_, std::string(FactsOf(cable_).label), std::to_string(baud_)}));
      break;
    case SessionPhase::Synchronised:
      if (!answerShown_) print(progress.phase, std::string(LoadString(StringId::StepSynchronised)));
      break;
    case SessionPhase::Writing:
      if (progress.block < 0) print(progress.phase, FormatString(StringId::StepWriting, {std::to_string(progress.blocks)}));
      break;
    case SessionPhase::Verifying:
      if (progress.blocks == 0) print(progress.phase, std::string(LoadString(StringId::StepVerifying)));
      break;
    case SessionPhase::Reading: break;
    case SessionPhase::Ended: print(progress.phase, std::string(LoadString(StringId::StepClosed))); break;
  }
}

void RunSteps::synchronised(const SyncAnswer& answer) {
  if (!details_) return;
  answerShown_ = true;
  print(SessionPhase::Synchronised, FormatString(StringId::StepSynchronisedAnswer, {std::to_string(answer.wakeUps), std::to_string(answer.letters),
                                                         std::to_string(answer.elapsedMs)}));
}

void RunSteps::retried(int block, int retry, const RetryReason& reason) {
  if (details_) print(SessionPhase::Writing, RetryText(block, retry, reason));
}

}  // namespace tarvel::cli
