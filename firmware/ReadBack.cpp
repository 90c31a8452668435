#include "firmware/ReadBack.h"

#include <algorithm>
#include <map>
#include <vector>

#include "formats/SflFile.h"
#include "loader/Exchanges.h"
#include "loader/Sync.h"
#include "loader/Waits.h"

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

bool CompareBlocks(LoaderContext& ctx, const BlockMap& blocks, ReadBackOutcome& outcome) {
  ReadReply reply{};
  for (const auto& [block, data] : blocks) {
    if (ctx.stopRequested()) {
      outcome.failure = StringId::Stopped;
      ctx.messages.showMessage(outcome.failure, MessageIcon::Stop);
      return false;
    }
    std::size_t stray = 0;
    const BlockReadResult read = ReadBlockExchange(ctx, block, reply, &stray);
    if (read != BlockReadResult::Read) {
      outcome.failure = StringId::CommunicationError;
      ctx.messages.showMessage(outcome.failure, MessageIcon::Stop,
                               read == BlockReadResult::OutOfStep ? OutOfStepText(block, stray) : std::string());
      return false;
    }
    ++outcome.blocksCompared;
    if (!std::equal(data.begin(), data.end(), reply.begin())) {
      if (!outcome.firstDifference) outcome.firstDifference = block;
      ++outcome.differences;
    }
  }
  return true;
}

}  // namespace

ReadBackOutcome ReadBackAndCompare(LoaderContext& ctx, const CheckedSflFile& file) {
  ReadBackOutcome outcome;
  const BlockMap blocks = BlocksOf(file.bytes);
  const std::uint32_t start = ctx.clock.tickMs();
  const bool framed = ctx.framed();
  if (!OpenCommPortOrClose(ctx.link, outcome.failure)) return outcome;
  if (framed && ctx.m_bRtsPulse) {
    PulseQap10Rts(ctx);
    CloseCommPort(ctx.link);
    if (!OpenCommPortOrClose(ctx.link, outcome.failure)) return outcome;
  }
  if (!WakeAndSyncLoader(ctx)) {
    outcome.failure = StringId::SyncError;
    ctx.messages.showMessage(outcome.failure, MessageIcon::Stop);
  } else {
    outcome.completed = CompareBlocks(ctx, blocks, outcome);
  }
  // Leave the lines as a write leaves them.
  SetLine(ctx, ControlLine::Dtr, framed);
  SetLine(ctx, ControlLine::Rts, framed);
  CloseCommPort(ctx.link);
  outcome.elapsedMs = ctx.clock.tickMs() - start;
  return outcome;
}

}  // namespace tarvel
