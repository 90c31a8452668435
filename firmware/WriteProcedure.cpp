#include "firmware/WriteProcedure.h"

#include <cstdio>
#include <functional>
#include <vector>

#include "base/Report.h"
#include "firmware/SflPacket.h"
#include "loader/Conversation.h"
#include "loader/Exchanges.h"
#include "loader/Waits.h"

namespace tarvel {

namespace {

// A block is sent once and re-sent at most this many times.
constexpr int kMaxRetries = 5;

// The block loop of a write, from a file path or from a checked file.
using BlockWriter = std::function<std::optional<Failure>(WriteOutcome&, std::uint32_t start)>;

WriteOutcome RunWrite(LoaderContext& ctx, const BlockWriter& writeBlocks) {
  WriteOutcome outcome;
  if (ctx.status() != AccessStatus::Idle) return outcome;
  outcome.ran = true;

  ctx.observer.progressed({SessionPhase::Started});
  ctx.setStatus(AccessStatus::Accessing);
  const std::uint32_t start = ctx.clock.tickMs();
  const std::optional<Failure> failure =
      RunConversation(ctx, kWriteConversation, [&] { return writeBlocks(outcome, start); });
  outcome.elapsedMs = ctx.clock.tickMs() - start;
  outcome.succeeded = !failure;
  if (failure) outcome.failure = *failure;
  outcome.checkSum = ctx.m_wCheckSum;

  ctx.setStatus(AccessStatus::Idle);
  ctx.observer.progressed({SessionPhase::Ended, outcome.blocksWritten, 0, outcome.retries, outcome.elapsedMs});
  if (outcome.succeeded) ctx.observer.succeeded(WriteReport(outcome));
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

std::string WriteReport(const WriteOutcome& outcome) {
  return FormatReport(StringId::WriteSucceeded, outcome.elapsedMs, outcome.checkSum);
}

WriteOutcome OnWrite(LoaderContext& ctx, const std::string& filePath) {
  return RunWrite(ctx, [&](WriteOutcome& outcome, std::uint32_t start) {
    // The progress range comes before the file is read, as the window's
    // order has it: a file that cannot be read still showed its range.
    const std::optional<std::uint64_t> size = SflFileSize(filePath);
    if (!size) return std::optional<Failure>(ctx.fail({FailureKind::File, StringId::FileCannotBeOpened, filePath, {}, {}}));
    ctx.observer.progressed({SessionPhase::Writing, -1, SflProgressHighest(*size) + 1});
    CheckedSflFile file;
    if (const auto problem = LoadCheckedSflFile(filePath, file)) {
      return std::optional<Failure>(ctx.fail({FailureKind::File, problem->id, problem->detail, {}, {}}));
    }
    return WriteFlashBlocks(ctx, file, outcome, start);
  });
}

WriteOutcome OnWrite(LoaderContext& ctx, const CheckedSflFile& file) {
  return RunWrite(ctx, [&](WriteOutcome& outcome, std::uint32_t start) {
    ctx.observer.progressed({SessionPhase::Writing, -1, file.progressHighest + 1});
    return WriteFlashBlocks(ctx, file, outcome, start);
  });
}

std::optional<SflFileProblem> LoadCheckedSflFile(const std::string& path, CheckedSflFile& file) {
  file.path = path;
  std::string reason;
  if (!LoadSflFile(path, file.bytes, reason)) {
    file.bytes.clear();
    return SflFileProblem{StringId::FileCannotBeOpened, path + ": " + reason, {}};
  }
  file.progressHighest = SflProgressHighest(file.bytes.size());
  // A record cut short or holding a non-hex digit would put garbage into
  // the flash: refuse the whole file before the first block goes out.
  if (const auto problem = CheckSflFile(file.bytes)) {
    return SflFileProblem{StringId::InvalidSflFile, path + ": " + *problem, {}};
  }
  return std::nullopt;
}

std::optional<Failure> WriteFlashBlocks(LoaderContext& ctx, const CheckedSflFile& file, WriteOutcome& outcome,
                                        std::uint32_t start) {
  SflTextReader reader(file.bytes);
  ctx.m_wCheckSum = 0;
  const int blocks = file.progressHighest + 1;
  int counter = 0;
  for (;;) {
    ctx.m_nRetry = 0;
    std::size_t length = 0;
    std::array<std::uint8_t, 3> head{};
    for (;;) {
      if (ctx.m_nRetry == 0) {
        if (ctx.stopRequested()) {
          outcome.stopped = true;
          return ctx.fail({FailureKind::Stopped, StringId::Stopped, StoppedWriteState(outcome.blocksWritten),
                           outcome.blocksWritten, {}});
        }
        if (!ReadSflRecord(ctx, reader, length)) return std::nullopt;
        ctx.observer.progressed(
            {SessionPhase::Writing, counter, blocks, outcome.retries, ctx.clock.tickMs() - start});
        ++counter;
        head = SaveWritePacketHead(ctx);
      } else {
        if (ctx.m_nRetry > kMaxRetries) {
          return ctx.fail({FailureKind::BlockRefused, StringId::FlashWriteFailed, {}, outcome.blocksWritten, {}});
        }
        // The failed attempt built its verify command over the packet's start.
        length = RestoreWritePacket(ctx, head);
        ++outcome.retries;
        ctx.observer.retriedBecause(outcome.blocksWritten, ctx.m_nRetry, ctx.lastAttempt);
        ctx.observer.retried(outcome.blocksWritten, outcome.retries);
      }
      const BlockWriteResult result = WriteBlockExchange(ctx, length);
      if (result == BlockWriteResult::Written) {
        ++outcome.blocksWritten;
        break;
      }
      if (result == BlockWriteResult::NoReply) {
        return ctx.fail({FailureKind::LineLost, StringId::CommunicationError,
                         NoReplyText(ctx, outcome.blocksWritten), outcome.blocksWritten, {}});
      }
      ++ctx.m_nRetry;
    }
  }
}

}  // namespace tarvel
