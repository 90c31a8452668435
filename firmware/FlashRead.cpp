#include "firmware/FlashRead.h"

#include <algorithm>
#include <filesystem>

#include "base/FileIo.h"
#include "base/OutputFile.h"
#include "base/Report.h"
#include "loader/Exchanges.h"
#include "loader/Sync.h"
#include "loader/Waits.h"

namespace tarvel {

namespace {

// Blocks per step of the status bar's progress.
constexpr unsigned kBlocksPerStep = 20;
// The RTS pulse that some adapters need around the QAP-10 start.
constexpr std::uint32_t kReadRtsPulseMs = 2;
// Two byte times at 9600 baud, the slowest rate.
constexpr std::uint32_t kTrailingByteWaitMs = 3;

struct ReadRun {
  LoaderContext& ctx;
  ReadUi& ui;
  BlockSink& sink;
  const std::string& outputPath;
  std::uint16_t endBlock;
  ReadOutcome outcome;
  OutputFile dump;       // the converter writes here; it replaces outputPath on success
  std::string sinkError;  // the converter's reason for refusing a block
  bool outputExisted = false;

  void show(StringId id, std::string_view detail = {}) {
    outcome.lastMessage = id;
    ctx.messages.showMessage(id, MessageIcon::Stop, detail);
  }
  void setStatus(AccessStatus status) {
    ctx.m_nStatus = StatusCode(status);
    ui.statusChanged(ctx.m_nStatus);
  }
  // 114, saying where the blocks read went: the output stays as it was.
  void showReadFailed() {
    std::string detail = sinkError.empty() ? std::string() : sinkError + "\n";
    if (outcome.stopped) detail += "Stopped. ";
    detail += keepPartial();
    show(StringId::ReadFailed, detail);
  }
  std::string keepPartial() {
    const std::string total = std::to_string(endBlock + 1);
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
  bool open() { return OpenCommPortOrClose(ctx.link, outcome.lastMessage); }
  void pulseRts() {
    SetLine(ctx, ControlLine::Rts, true);
    BusyWait(ctx, kReadRtsPulseMs);
    SetLine(ctx, ControlLine::Rts, false);
  }

  bool readBlocks();
  // A stray byte during the last reply shifts it without a next request to
  // find the leftover: give a byte that would follow the time to arrive.
  bool lastReplyEndedThere(std::uint16_t block) {
    BusyWait(ctx, kTrailingByteWaitMs);
    const std::size_t stray = BytesWaiting(ctx);
    if (stray == 0) return true;
    show(StringId::CommunicationError, OutOfStepText(block, stray));
    return false;
  }
  bool qap8();
  bool qap10();
};

bool ReadRun::readBlocks() {
  ctx.m_wReadSum = 0;
  std::string reason;
  if (!sink.load(reason)) {
    show(StringId::CommunicationError, reason);
    return false;
  }
  std::array<std::uint8_t, kFlashBlockRecordBytes> record{};
  ReadReply reply{};
  for (std::uint16_t block = 0;; ++block) {
    if (ctx.stopRequested()) {
      outcome.stopped = true;
      return false;
    }
    std::size_t stray = 0;
    const BlockReadResult read = ReadBlockExchange(ctx, block, reply, &stray);
    if (read != BlockReadResult::Read) {
      show(StringId::CommunicationError, read == BlockReadResult::OutOfStep ? OutOfStepText(block, stray) : "");
      return false;
    }
    for (std::size_t i = 0; i < kBlockSize; ++i) ctx.m_wReadSum = static_cast<std::uint16_t>(ctx.m_wReadSum + reply[i]);
    record[0] = static_cast<std::uint8_t>(block >> 8);
    record[1] = static_cast<std::uint8_t>(block & 0xFF);
    std::copy_n(reply.begin(), kBlockSize, record.begin() + 2);
    if (sink.addBlock(dump.temporaryPath(), record) == 0) {
      sinkError = sink.lastError();
      return false;
    }
    ++outcome.blocksRead;
    if (block == endBlock) return lastReplyEndedThere(block);
    ui.setReadProgress((block + 1u) / kBlocksPerStep, endBlock);
    ui.blockRead(block + 1, endBlock);
  }
}

bool ReadRun::qap8() {
  PulseQap8LoaderEntry(ctx);
  bool result = false;
  if (!SyncLoader(ctx)) {
    setStatus(AccessStatus::SyncFailed);
    show(StringId::SyncError);
  } else {
    result = readBlocks();
    if (!result) showReadFailed();
  }
  SetLine(ctx, ControlLine::Dtr, false);
  SetLine(ctx, ControlLine::Rts, false);
  return result;
}

bool ReadRun::qap10() {
  if (ctx.m_bRtsPulse) {
    if (!open()) return false;
    pulseRts();
    CloseCommPort(ctx.link);
    if (!open()) return false;
  }
  SendQap10StartPacket(ctx);
  bool result = false;
  if (!SyncLoaderFramed(ctx)) {
    setStatus(AccessStatus::SyncFailed);
    show(StringId::SyncError);
  } else {
    result = readBlocks();
  }
  SetLine(ctx, ControlLine::Rts, true);
  CloseCommPort(ctx.link);
  // The adapter's closing pulse: a port gone by now takes nothing from a
  // read that got every block.
  if (!ctx.m_bRtsPulse && OpenCommPortQuietly(ctx.link)) {
    pulseRts();
    CloseCommPort(ctx.link);
  }
  if (!result) showReadFailed();
  return result;
}

}  // namespace

ReadOutcome ReadFlash(LoaderContext& ctx, ReadUi& ui, BlockSink& sink, const std::string& outputPath,
                      std::uint16_t endBlock, bool replace) {
  // A name the system cannot take (too long, a loop of links) is refused
  // below as the output, not thrown here.
  std::error_code nameError;
  const bool existed = std::filesystem::exists(fileio::PathOf(outputPath), nameError);
  ReadRun run{ctx, ui, sink, outputPath, endBlock, {}, {}, {}, existed};
  // Checked before the radio is touched: a FIFO or the trace itself as the
  // output would otherwise be found only after the whole read.
  OutputError refusal;
  if (!run.dump.open(outputPath, {}, refusal)) {
    run.show(refusal.problem == OutputProblem::System ? StringId::ReadFailed : RefusalMessage(refusal.problem),
             refusal.text);
    return run.outcome;
  }
  run.setStatus(AccessStatus::Accessing);
  ui.setReadProgress(1, endBlock);

  bool result = false;
  std::uint32_t start = ctx.clock.tickMs();
  if (run.open()) {
    start = ctx.clock.tickMs();
    result = ctx.cable() == Cable::Qap10 ? run.qap10() : run.qap8();
  }
  run.outcome.elapsedMs = ctx.clock.tickMs() - start;
  CloseCommPort(ctx.link);
  run.setStatus(AccessStatus::Idle);

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
      run.show(StringId::ReadFailed, reason + "\n" + run.keepBlocks(all, unchanged));
    }
  } else {
    // A failure before any block (the port, the synchronisation): nothing to keep.
    run.dump.discard();
  }
  run.outcome.succeeded = result;
  run.outcome.readSum = ctx.m_wReadSum;
  if (result) {
    ctx.messages.showReport(FormatReport(StringId::ReadSucceeded, run.outcome.elapsedMs, ctx.m_wReadSum),
                            MessageIcon::Information);
  }
  ui.setReadProgress(0, endBlock);
  ui.showFolderPane();
  return run.outcome;
}

}  // namespace tarvel
