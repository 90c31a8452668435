#include "firmware/FlashRead.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "base/FileIo.h"
#include "base/OutputFile.h"
#include "base/Report.h"
#include "loader/Conversation.h"
#include "loader/Exchanges.h"
#include "loader/Waits.h"

namespace tarvel {

namespace {

// Two byte times at 9600 baud, the slowest rate.
constexpr std::uint32_t kTrailingByteWaitMs = 3;

struct ReadRun {
  LoaderContext& ctx;
  BlockSink& sink;
  const std::string& outputPath;
  std::uint16_t endBlock;
  ReadOutcome outcome;
  OutputFile dump;       // the converter writes here; it replaces outputPath on success
  std::string sinkError;  // the converter's reason for refusing a block
  bool outputExisted = false;
  std::uint32_t start = 0;

  int blocks() const { return endBlock + 1; }
  Failure show(FailureKind kind, StringId id, std::string detail = {}) {
    outcome.failure = ctx.fail({kind, id, std::move(detail), {}, {}});
    return outcome.failure;
  }
  // 114, saying where the blocks read went: the output stays as it was.
  // The cause found first gives the kind.
  Failure showReadFailed(FailureKind cause) {
    std::string detail = sinkError.empty() ? std::string() : sinkError + "\n";
    if (outcome.stopped) detail += "Stopped. ";
    detail += keepPartial();
    return show(cause, StringId::ReadFailed, detail);
  }
  std::string keepPartial() {
    const std::string total = std::to_string(blocks());
    const std::string unchanged = " " + outputPath + (outputExisted ? " is unchanged." : " was not created.");
    if (outcome.blocksRead == 0) {
      dump.discard();
      return "No block was read;" + unchanged;
    }
    return keepBlocks("The " + std::to_string(outcome.blocksRead) + " of " + total + " blocks read", unchanged);
  }
  // Keeps the blocks as NAME.partial.sfl, or the next free numbered name:
  // an earlier partial stays as it was.
  std::string keepBlocks(const std::string& blocksRead, const std::string& unchanged) {
    OutputError error;
    if (!dump.keepAs(PartialPath(outputPath), outcome.keptPath, error)) {
      return blocksRead + " could not be kept: " + error.text + "." + unchanged;
    }
    std::string text = blocksRead + " are kept in " + outcome.keptPath + ";" + unchanged;
    const std::string first = PartialPath(outputPath);
    if (fileio::FileInfo info; outcome.keptPath != first && fileio::StatPath(first, info) == 0) {
      text += " " + first + " holds an earlier read and is unchanged.";
    }
    return text;
  }

  std::optional<Failure> readBlocks();
  // A stray byte during the last reply shifts it without a next request to
  // find the leftover: give a byte that would follow the time to arrive.
  std::optional<Failure> lastReplyEndedThere(std::uint16_t block) {
    BusyWait(ctx, kTrailingByteWaitMs);
    const std::size_t stray = BytesWaiting(ctx);
    if (stray == 0) return std::nullopt;
    return show(FailureKind::LineLost, StringId::CommunicationError, OutOfStepText(block, stray));
  }
  // The body run inside the conversation. With QAP-8 a failed read says
  // 114 before the lines go down; QAP-10 says it after its closing pulse.
  std::optional<Failure> body() {
    std::optional<Failure> failure = readBlocks();
    if (failure && !ctx.framed()) return showReadFailed(failure->kind);
    return failure;
  }
  void progressed(int done) {
    ctx.observer.progressed({SessionPhase::Reading, done, blocks(), 0, ctx.clock.tickMs() - start});
  }
};

std::optional<Failure> ReadRun::readBlocks() {
  ctx.m_wReadSum = 0;
  std::string reason;
  if (!sink.load(reason)) return show(FailureKind::Converter, StringId::CommunicationError, reason);
  std::array<std::uint8_t, kFlashBlockRecordBytes> record{};
  ReadReply reply{};
  for (std::uint16_t block = 0;; ++block) {
    if (ctx.stopRequested()) {
      outcome.stopped = true;
      return Failure{FailureKind::Stopped, StringId::Stopped, {}, block, {}};
    }
    std::size_t stray = 0;
    const BlockReadResult read = ReadBlockExchange(ctx, block, reply, &stray);
    if (read != BlockReadResult::Read) {
      show(FailureKind::LineLost, StringId::CommunicationError,
           read == BlockReadResult::OutOfStep ? OutOfStepText(block, stray) : NoReplyText(ctx, block));
      outcome.failure.block = block;
      return outcome.failure;
    }
    for (std::size_t i = 0; i < kBlockSize; ++i) ctx.m_wReadSum = static_cast<std::uint16_t>(ctx.m_wReadSum + reply[i]);
    record[0] = static_cast<std::uint8_t>(block >> 8);
    record[1] = static_cast<std::uint8_t>(block & 0xFF);
    std::copy_n(reply.begin(), kBlockSize, record.begin() + 2);
    if (sink.addBlock(dump.temporaryPath(), record) == 0) {
      sinkError = sink.lastError();
      return Failure{FailureKind::Converter, StringId::ReadFailed, sinkError, block, {}};
    }
    ++outcome.blocksRead;
    if (block == endBlock) return lastReplyEndedThere(block);
    progressed(block + 1);
  }
}

}  // namespace

std::string ReadReport(const ReadOutcome& outcome) {
  return FormatReport(StringId::ReadSucceeded, outcome.elapsedMs, outcome.readSum);
}

ReadOutcome ReadFlash(LoaderContext& ctx, BlockSink& sink, const std::string& outputPath, std::uint16_t endBlock,
                      bool replace) {
  // A name the system cannot take (too long, a loop of links) is refused
  // below as the output, not thrown here.
  std::error_code nameError;
  const bool existed = std::filesystem::exists(fileio::PathOf(outputPath), nameError);
  ReadRun run{ctx, sink, outputPath, endBlock, {}, {}, {}, existed};
  // Checked before the radio is touched: a FIFO or the trace itself as the
  // output would otherwise be found only after the whole read.
  OutputError refusal;
  if (!run.dump.open(outputPath, {}, refusal)) {
    if (refusal.problem == OutputProblem::System) {
      // The dump's folder refused the new file: nothing was sent yet, so
      // the output was named wrong, as a usage error is.
      const std::filesystem::path folder = fileio::PathOf(outputPath).parent_path();
      const std::string folderText = folder.empty() ? std::string(".") : fileio::TextOf(folder);
      std::error_code folderError;
      const bool missing = !folder.empty() && !std::filesystem::exists(folder, folderError) &&
                           folderError.value() != EACCES;
      run.show(FailureKind::OutputRefused, StringId::ReadFailed,
               missing ? FormatString(StringId::DumpFolderMissing, {folderText})
                       : FormatString(StringId::DumpFolderNotWritable, {folderText, refusal.text}));
    } else {
      run.show(FailureKind::OutputRefused, RefusalMessage(refusal.problem), refusal.text);
    }
    return run.outcome;
  }
  ctx.setStatus(AccessStatus::Accessing);
  ctx.observer.progressed({SessionPhase::Started, 0, run.blocks()});

  run.start = ctx.clock.tickMs();
  bool opened = false;
  std::optional<Failure> failure = RunConversation(
      ctx, kReadConversation, [&run] { return run.body(); },
      [&] {
        opened = true;
        run.start = ctx.clock.tickMs();
      });
  // QAP-10 says 114 after its closing pulse, also for a loader that did not
  // answer; a port that would not open again for the start pulse says only
  // why.
  const bool portFailed = failure && (failure->kind == FailureKind::Port || failure->kind == FailureKind::Configuration);
  if (failure && opened && ctx.framed() && !portFailed) failure = run.showReadFailed(failure->kind);
  run.outcome.elapsedMs = ctx.clock.tickMs() - run.start;
  CloseCommPort(ctx.link);
  ctx.setStatus(AccessStatus::Idle);

  bool result = !failure;
  if (result) {
    // A file that appeared under the name during the read (another read
    // into the same new file) is not replaced unless replacing was asked for.
    const ExistingFile existing = replace || run.outputExisted ? ExistingFile::Replace : ExistingFile::Keep;
    OutputError error;
    if (!run.dump.commit(error, existing)) {
      result = false;
      const bool appeared = error.problem == OutputProblem::Appeared;
      const std::string reason = appeared ? outputPath + " appeared during the read" : error.text;
      fileio::FileInfo info;
      const bool existsNow = fileio::StatPath(outputPath, info) == 0;
      const std::string unchanged = " " + outputPath + (existsNow ? " is unchanged." : " was not created.");
      const std::string all = "All " + std::to_string(run.outcome.blocksRead) + " blocks read";
      run.show(FailureKind::OutputFailed, StringId::ReadFailed, reason + "\n" + run.keepBlocks(all, unchanged));
    }
  } else {
    // A failure before any block (the port, the synchronisation): nothing to keep.
    run.dump.discard();
    run.outcome.failure = *failure;
  }
  run.outcome.succeeded = result;
  run.outcome.readSum = ctx.m_wReadSum;
  ctx.observer.progressed({SessionPhase::Ended, run.outcome.blocksRead, run.blocks(), 0, run.outcome.elapsedMs});
  if (result) ctx.observer.succeeded(ReadReport(run.outcome));
  return run.outcome;
}

}  // namespace tarvel
