#include "firmware/ReadBack.h"

#include <algorithm>
#include <map>
#include <vector>

#include "formats/SflFile.h"
#include "loader/Conversation.h"
#include "loader/Exchanges.h"

namespace tarvel {

namespace {

using BlockMap = std::map<std::uint16_t, BlockData>;

// The last record of a block counts: it was written last.
BlockMap BlocksOf(std::span<const std::uint8_t> bytes) {
  BlockMap blocks;
  SflTextReader reader(bytes);
  SflRecord record;
  while (ParseSflRecord(reader, record) == SflParse::Record) blocks[record.block] = record.data;
  return blocks;
}

std::optional<Failure> CompareBlocks(LoaderContext& ctx, const BlockMap& blocks, ReadBackOutcome& outcome,
                                     std::uint32_t start) {
  ReadReply reply{};
  const int total = static_cast<int>(blocks.size());
  for (const auto& [block, data] : blocks) {
    if (ctx.stopRequested()) return ctx.fail({FailureKind::Stopped, StringId::Stopped, {}, block, {}});
    std::size_t stray = 0;
    const BlockReadResult read = ReadBlockExchange(ctx, block, reply, &stray);
    if (read != BlockReadResult::Read) {
      return ctx.fail({FailureKind::LineLost, StringId::CommunicationError,
                       read == BlockReadResult::OutOfStep ? OutOfStepText(block, stray) : NoReplyText(ctx, block), block, {}});
    }
    ++outcome.blocksCompared;
    if (!std::equal(data.begin(), data.end(), reply.begin())) {
      if (!outcome.firstDifference) outcome.firstDifference = block;
      ++outcome.differences;
    }
    ctx.observer.progressed({SessionPhase::Verifying, outcome.blocksCompared, total, 0, ctx.clock.tickMs() - start});
  }
  return std::nullopt;
}

}  // namespace

ReadBackOutcome ReadBackAndCompare(LoaderContext& ctx, const CheckedSflFile& file) {
  ReadBackOutcome outcome;
  const BlockMap blocks = BlocksOf(file.bytes);
  const std::uint32_t start = ctx.clock.tickMs();
  const std::optional<Failure> failure =
      RunConversation(ctx, kWriteConversation, [&] { return CompareBlocks(ctx, blocks, outcome, start); });
  if (failure) {
    outcome.failure = *failure;
  } else {
    outcome.completed = true;
  }
  outcome.elapsedMs = ctx.clock.tickMs() - start;
  return outcome;
}

}  // namespace tarvel
