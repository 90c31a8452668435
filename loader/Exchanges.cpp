#include "loader/Exchanges.h"

#include "loader/Waits.h"

namespace tarvel {

BlockWriteResult WriteBlockExchange(LoaderContext& ctx, std::size_t packetLength) {
  const std::uint16_t sentSum = WritePacketSum(ctx);
  SendPacket(ctx, packetLength);

  WaitForInput(ctx);
  std::uint8_t ack = 0;
  if (ReadBytes(ctx, std::span<std::uint8_t>(&ack, 1)) == 0) return BlockWriteResult::NoReply;
  if (ack != kAck) return BlockWriteResult::AttemptFailed;

  SendPacket(ctx, BuildVerifyCommand(ctx));

  WaitForInput(ctx);
  std::array<std::uint8_t, kVerifyReplySize> reply{};
  const std::size_t got = ReadBytes(ctx, reply);
  if (got == 0) return BlockWriteResult::NoReply;
  if (got < reply.size() || reply[0] != kAck) return BlockWriteResult::AttemptFailed;
  const std::uint16_t loaderSum = static_cast<std::uint16_t>((reply[1] << 8) | reply[2]);
  return loaderSum == sentSum ? BlockWriteResult::Written : BlockWriteResult::AttemptFailed;
}

bool ReadBlockExchange(LoaderContext& ctx, std::uint16_t block, ReadReply& reply) {
  SendPacket(ctx, BuildReadRequest(ctx, block));
  WaitForInput(ctx);
  return ReadBytes(ctx, reply) == reply.size();
}

}  // namespace tarvel
