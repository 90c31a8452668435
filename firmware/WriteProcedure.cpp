#include "firmware/WriteProcedure.h"

#include <cstdio>
#include <functional>
#include <vector>

#include "base/Report.h"
#include "firmware/SflPacket.h"
#include "loader/Exchanges.h"
#include "loader/Sync.h"
#include "loader/Waits.h"

namespace tarvel {

namespace {

// A block is sent once and re-sent at most this many times.
constexpr int kMaxRetries = 5;

void Fail(LoaderContext& ctx, WriteOutcome& outcome, StringId id, std::string_view detail = {}) {
  outcome.failure = id;
  ctx.messages.showMessage(id, MessageIcon::Stop, detail);
}

void SetStatus(LoaderContext& ctx, WriteUi& ui, AccessStatus status) {
  ctx.m_nStatus = StatusCode(status);
  ui.statusChanged(ctx.m_nStatus);
}

bool WriteCheckedBlocks(LoaderContext& ctx, WriteUi& ui, const CheckedSflFile& file, WriteOutcome& outcome);

// The block loop of a write, from a file path or from a checked file.
using BlockWriter = std::function<bool(WriteOutcome&)>;

// Synchronises and, when that works, writes the blocks. The port is open.
bool SyncAndWrite(LoaderContext& ctx, WriteUi& ui, const BlockWriter& writeBlocks, WriteOutcome& outcome,
                  bool synced) {
  if (!synced) {
    SetStatus(ctx, ui, AccessStatus::SyncFailed);
    Fail(ctx, outcome, StringId::SyncError);
    return false;
  }
  return writeBlocks(outcome);
}

bool WriteQap10(LoaderContext& ctx, WriteUi& ui, const BlockWriter& writeBlocks, WriteOutcome& outcome) {
  if (!OpenCommPortOrClose(ctx.link, outcome.failure)) return false;
  if (ctx.m_bRtsPulse) {
    // The adapter wants an RTS pulse on a freshly opened port first.
    if (!OpenCommPortOrClose(ctx.link, outcome.failure)) return false;
    PulseQap10Rts(ctx);
    CloseCommPort(ctx.link);
    if (!OpenCommPortOrClose(ctx.link, outcome.failure)) return false;
  }
  SendQap10StartPacket(ctx);
  const bool result = SyncAndWrite(ctx, ui, writeBlocks, outcome, SyncLoaderFramed(ctx));
  SetLine(ctx, ControlLine::Dtr, ctx.cableFacts().linesHighAfter);
  SetLine(ctx, ControlLine::Rts, ctx.cableFacts().linesHighAfter);
  CloseCommPort(ctx.link);
  return result;
}

bool WriteQap8(LoaderContext& ctx, WriteUi& ui, const BlockWriter& writeBlocks, WriteOutcome& outcome) {
  if (!OpenCommPortOrClose(ctx.link, outcome.failure)) return false;
  PulseQap8LoaderEntry(ctx);
  const bool result = SyncAndWrite(ctx, ui, writeBlocks, outcome, SyncLoader(ctx));
  SetLine(ctx, ControlLine::Dtr, ctx.cableFacts().linesHighAfter);
  SetLine(ctx, ControlLine::Rts, ctx.cableFacts().linesHighAfter);
  CloseCommPort(ctx.link);
  return result;
}

WriteOutcome RunWrite(LoaderContext& ctx, WriteUi& ui, const BlockWriter& writeBlocks) {
  WriteOutcome outcome;
  if (ctx.status() != AccessStatus::Idle) return outcome;
  outcome.ran = true;

  ui.lockForWrite();
  SetStatus(ctx, ui, AccessStatus::Accessing);
  const std::uint32_t start = ctx.clock.tickMs();

  const bool result = ctx.cable() == Cable::Qap10 ? WriteQap10(ctx, ui, writeBlocks, outcome)
                                                  : WriteQap8(ctx, ui, writeBlocks, outcome);
  outcome.elapsedMs = ctx.clock.tickMs() - start;
  outcome.succeeded = result;
  outcome.checkSum = ctx.m_wCheckSum;

  ui.unlockAfterWrite();
  SetStatus(ctx, ui, AccessStatus::Idle);
  ui.bringToFront();
  if (result) {
    ctx.messages.showReport(FormatReport(StringId::WriteSucceeded, outcome.elapsedMs, ctx.m_wCheckSum),
                            MessageIcon::Information);
  }
  ui.setProgress(0, std::string());
  return outcome;
}

}  // namespace

std::string FormatBlockCounter(int counter) {
  char text[16];
  std::snprintf(text, sizeof text, "%03X", static_cast<unsigned>(counter));
  return text;
}

std::string StoppedWriteState(int blocksWritten) {
  if (blocksWritten == 0) return std::string(LoadString(StringId::WriteNothingHint));
  return FormatString(StringId::WritePartlyHint, {FormatBlockCounter(blocksWritten - 1)});
}

WriteOutcome OnWrite(LoaderContext& ctx, WriteUi& ui, const std::string& filePath) {
  return RunWrite(ctx, ui, [&](WriteOutcome& outcome) { return WriteFlashBlocks(ctx, ui, filePath, outcome); });
}

WriteOutcome OnWrite(LoaderContext& ctx, WriteUi& ui, const CheckedSflFile& file) {
  return RunWrite(ctx, ui, [&](WriteOutcome& outcome) { return WriteFlashBlocks(ctx, ui, file, outcome); });
}

std::optional<SflFileProblem> LoadCheckedSflFile(const std::string& path, CheckedSflFile& file) {
  file.path = path;
  std::string reason;
  if (!LoadSflFile(path, file.bytes, reason)) {
    file.bytes.clear();
    return SflFileProblem{StringId::FileCannotBeOpened, path + ": " + reason};
  }
  file.progressHighest = SflProgressHighest(file.bytes.size());
  // A record cut short or holding a non-hex digit would put garbage into
  // the flash: refuse the whole file before the first block goes out.
  if (const auto problem = CheckSflFile(file.bytes)) {
    return SflFileProblem{StringId::InvalidSflFile, path + ": " + *problem};
  }
  return std::nullopt;
}

bool WriteFlashBlocks(LoaderContext& ctx, WriteUi& ui, const std::string& filePath, WriteOutcome& outcome) {
  // The progress range is set before the file is read, as the window's
  // order has it: a file that cannot be read still showed its range.
  const std::optional<std::uint64_t> size = SflFileSize(filePath);
  if (!size) {
    Fail(ctx, outcome, StringId::FileCannotBeOpened, filePath);
    return false;
  }
  ui.setProgressRange(SflProgressHighest(*size));
  CheckedSflFile file;
  if (const auto problem = LoadCheckedSflFile(filePath, file)) {
    Fail(ctx, outcome, problem->id, problem->detail);
    return false;
  }
  return WriteCheckedBlocks(ctx, ui, file, outcome);
}

bool WriteFlashBlocks(LoaderContext& ctx, WriteUi& ui, const CheckedSflFile& file, WriteOutcome& outcome) {
  ui.setProgressRange(file.progressHighest);
  return WriteCheckedBlocks(ctx, ui, file, outcome);
}

namespace {

bool WriteCheckedBlocks(LoaderContext& ctx, WriteUi& ui, const CheckedSflFile& file, WriteOutcome& outcome) {
  SflTextReader reader(file.bytes);
  ctx.m_wCheckSum = 0;
  int counter = 0;
  for (;;) {
    ctx.m_nRetry = 0;
    std::size_t length = 0;
    std::array<std::uint8_t, 3> head{};
    for (;;) {
      if (ctx.m_nRetry == 0) {
        if (ctx.stopRequested()) {
          outcome.stopped = true;
          Fail(ctx, outcome, StringId::Stopped, StoppedWriteState(outcome.blocksWritten));
          return false;
        }
        if (!ReadSflRecord(ctx, reader, length)) return true;
        ui.setProgress(counter, FormatBlockCounter(counter));
        ++counter;
        head = SaveWritePacketHead(ctx);
      } else {
        if (ctx.m_nRetry > kMaxRetries) {
          Fail(ctx, outcome, StringId::FlashWriteFailed);
          return false;
        }
        // The failed attempt built its verify command over the packet's start.
        length = RestoreWritePacket(ctx, head);
        ++outcome.retries;
      }
      const BlockWriteResult result = WriteBlockExchange(ctx, length);
      if (result == BlockWriteResult::Written) {
        ++outcome.blocksWritten;
        break;
      }
      if (result == BlockWriteResult::NoReply) {
        Fail(ctx, outcome, StringId::CommunicationError);
        return false;
      }
      ++ctx.m_nRetry;
    }
  }
}

}  // namespace

}  // namespace tarvel
