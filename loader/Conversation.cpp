#include "loader/Conversation.h"

#include "loader/Sync.h"
#include "loader/Waits.h"

namespace tarvel {

namespace {

std::optional<Failure> Open(LoaderContext& ctx) {
  std::optional<Failure> failure = OpenCommPortOrClose(ctx.link);
  if (failure) ctx.fail(*failure);
  return failure;
}

void PulseRts(LoaderContext& ctx, std::uint32_t ms) {
  SetLine(ctx, ControlLine::Rts, true);
  BusyWait(ctx, ms);
  SetLine(ctx, ControlLine::Rts, false);
}

std::optional<Failure> SyncAndRun(LoaderContext& ctx, const ConversationBody& body) {
  ctx.syncAnswer = {};
  const std::uint32_t start = ctx.clock.tickMs();
  const bool synced = ctx.framed() ? SyncLoaderFramed(ctx) : SyncLoader(ctx);
  if (!synced) {
    ctx.setStatus(AccessStatus::SyncFailed);
    return ctx.fail({FailureKind::LoaderSilent, StringId::SyncError, {}, {}, {}});
  }
  ctx.syncAnswer.elapsedMs = ctx.clock.tickMs() - start;
  ctx.observer.synchronised(ctx.syncAnswer);
  ctx.observer.progressed({SessionPhase::Synchronised});
  return body();
}

std::optional<Failure> Qap8(LoaderContext& ctx, const ConversationBody& body) {
  PulseQap8LoaderEntry(ctx);
  std::optional<Failure> failure = SyncAndRun(ctx, body);
  SetLine(ctx, ControlLine::Dtr, ctx.cableFacts().linesHighAfter);
  SetLine(ctx, ControlLine::Rts, ctx.cableFacts().linesHighAfter);
  CloseCommPort(ctx.link);
  return failure;
}

std::optional<Failure> Qap10(LoaderContext& ctx, const ConversationShape& shape, const ConversationBody& body) {
  if (ctx.m_bRtsPulse) {
    // The adapter wants an RTS pulse on a freshly opened port first.
    if (auto failure = Open(ctx)) return failure;
    PulseRts(ctx, shape.rtsPulseMs);
    CloseCommPort(ctx.link);
    if (auto failure = Open(ctx)) return failure;
  }
  SendQap10StartPacket(ctx);
  std::optional<Failure> failure = SyncAndRun(ctx, body);
  if (!shape.closingPulse) SetLine(ctx, ControlLine::Dtr, ctx.cableFacts().linesHighAfter);
  SetLine(ctx, ControlLine::Rts, ctx.cableFacts().linesHighAfter);
  CloseCommPort(ctx.link);
  // The adapter's closing pulse: a port gone by now takes nothing from a
  // conversation that got what it came for.
  if (shape.closingPulse && !ctx.m_bRtsPulse && OpenCommPortQuietly(ctx.link)) {
    PulseRts(ctx, shape.rtsPulseMs);
    CloseCommPort(ctx.link);
  }
  return failure;
}

}  // namespace

std::optional<Failure> RunConversation(LoaderContext& ctx, const ConversationShape& shape, const ConversationBody& body,
                                       const std::function<void()>& afterOpen) {
  if (auto failure = Open(ctx)) return failure;
  if (afterOpen) afterOpen();
  ctx.observer.progressed({SessionPhase::Waking});
  return ctx.cable() == Cable::Qap10 ? Qap10(ctx, shape, body) : Qap8(ctx, body);
}

}  // namespace tarvel
