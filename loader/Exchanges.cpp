#include "loader/Exchanges.h"

#include <cstdio>

#include "loader/Waits.h"

namespace tarvel {

BlockWriteResult WriteBlockExchange(LoaderContext& ctx, std::size_t packetLength) {
  const std::uint16_t sentSum = WritePacketSum(ctx);
  SendPacket(ctx, packetLength);

  WaitForInput(ctx);
  std::uint8_t ack = 0;
  if (ReadBytes(ctx, std::span<std::uint8_t>(&ack, 1)) == 0) return BlockWriteResult::NoReply;
  if (ack != kAck) {
    ctx.lastAttempt = {RetryCause::Refused, ack, 0, 0, 1};
    return BlockWriteResult::AttemptFailed;
  }

  SendPacket(ctx, BuildVerifyCommand(ctx));

  WaitForInput(ctx);
  std::array<std::uint8_t, kVerifyReplySize> reply{};
  const std::size_t got = ReadBytes(ctx, reply);
  if (got == 0) return BlockWriteResult::NoReply;
  if (got < reply.size() || reply[0] != kAck) {
    ctx.lastAttempt = {RetryCause::CutShort, reply[0], 0, 0, got};
    return BlockWriteResult::AttemptFailed;
  }
  const std::uint16_t loaderSum = static_cast<std::uint16_t>((reply[1] << 8) | reply[2]);
  if (loaderSum == sentSum) return BlockWriteResult::Written;
  ctx.lastAttempt = {RetryCause::SumDiffers, kAck, loaderSum, sentSum, got};
  return BlockWriteResult::AttemptFailed;
}

BlockReadResult ReadBlockExchange(LoaderContext& ctx, std::uint16_t block, ReadReply& reply,
                                  std::size_t* strayBytes) {
  std::size_t stray = BytesWaiting(ctx);
  if (stray == 0) {
    SendPacket(ctx, BuildReadRequest(ctx, block));
    WaitForInput(ctx);
    if (ReadBytes(ctx, reply) != reply.size()) return BlockReadResult::NoReply;
    stray = BytesWaiting(ctx);
  }
  if (strayBytes) *strayBytes = stray;
  return stray == 0 ? BlockReadResult::Read : BlockReadResult::OutOfStep;
}

std::string OutOfStepText(std::uint16_t block, std::size_t strayBytes) {
  char text[160];
  std::snprintf(text, sizeof text,
                "the radio's replies are out of step at block %03X (%zu byte%s more than asked for); "
                "the block read before it may be wrong too",
                static_cast<unsigned>(block), strayBytes, strayBytes == 1 ? "" : "s");
  return text;
}

std::string NoReplyText(const LoaderContext& ctx, int block) {
  char number[16];
  std::snprintf(number, sizeof number, "%03X", static_cast<unsigned>(block));
  return FormatString(ctx.portGone ? StringId::PortGoneDetail : StringId::NoReplyDetail, {number});
}

}  // namespace tarvel
