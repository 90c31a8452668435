#include "loader/Packets.h"

#include <algorithm>

namespace tarvel {

namespace {

void PutFrameHeader(LoaderContext& ctx, std::uint8_t payloadLength) {
  auto& b = ctx.m_abPacket;
  b[0] = 0x50;  // 'P'
  b[1] = 0xAF;  // its complement
  b[2] = b[3] = b[4] = b[5] = 0x00;
  b[6] = payloadLength;
  b[7] = 0x00;
}

// Frames a packet of `length` bytes that is already at PacketOffset.
std::size_t Frame(LoaderContext& ctx, std::size_t length) {
  if (!ctx.framed()) return length;
  PutFrameHeader(ctx, static_cast<std::uint8_t>(length));
  return kFrameHeaderSize + length;
}

void PutBlockNumber(std::uint8_t* at, std::uint16_t block) {
  at[0] = static_cast<std::uint8_t>(block >> 8);
  at[1] = static_cast<std::uint8_t>(block & 0xFF);
}

}  // namespace

std::uint16_t BlockSum(std::uint16_t block, std::span<const std::uint8_t, kBlockSize> data) {
  unsigned sum = (block >> 8) + (block & 0xFFu);
  for (std::uint8_t byte : data) sum += byte;
  return static_cast<std::uint16_t>(sum);
}

std::array<std::uint8_t, 8> StartPacket() { return {0x51, 0xAE, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}; }

std::size_t PacketOffset(const LoaderContext& ctx) { return ctx.framed() ? kFrameHeaderSize : 0; }

std::size_t BuildWritePacket(LoaderContext& ctx, std::uint16_t block,
                             std::span<const std::uint8_t, kBlockSize> data) {
  std::uint8_t* p = ctx.m_abPacket.data() + PacketOffset(ctx);
  p[0] = kWriteCommand;
  PutBlockNumber(p + 1, block);
  std::copy(data.begin(), data.end(), p + 3);
  PutBlockNumber(p + 3 + kBlockSize, BlockSum(block, data));
  return Frame(ctx, kWritePacketSize);
}

std::size_t BuildVerifyCommand(LoaderContext& ctx) {
  std::copy(kVerifyCommand.begin(), kVerifyCommand.end(), ctx.m_abPacket.begin() + PacketOffset(ctx));
  return Frame(ctx, kVerifyCommandSize);
}

std::size_t BuildReadRequest(LoaderContext& ctx, std::uint16_t block) {
  std::uint8_t* p = ctx.m_abPacket.data() + PacketOffset(ctx);
  p[0] = kReadCommand;
  std::copy(kAccessString.begin(), kAccessString.end(), p + 1);
  PutBlockNumber(p + 1 + kAccessString.size(), block);
  return Frame(ctx, kReadRequestSize);
}

std::size_t BuildSyncByte(LoaderContext& ctx, std::uint8_t value) {
  ctx.m_abPacket[0] = value;
  return 1;
}

std::size_t BuildWakeUpFrame(LoaderContext& ctx) {
  PutFrameHeader(ctx, 1);
  std::fill_n(ctx.m_abPacket.begin() + kFrameHeaderSize, kWakeUpZeros, kSyncByte);
  return kFrameHeaderSize + kWakeUpZeros;
}

std::size_t BuildLetterFrame(LoaderContext& ctx) {
  PutFrameHeader(ctx, 1);
  ctx.m_abPacket[kFrameHeaderSize] = kSyncLetter;
  return kFrameHeaderSize + 1;
}

std::array<std::uint8_t, 3> SaveWritePacketHead(const LoaderContext& ctx) {
  const std::size_t at = PacketOffset(ctx);
  return {ctx.m_abPacket[at], ctx.m_abPacket[at + 1], ctx.m_abPacket[at + 2]};
}

std::size_t RestoreWritePacket(LoaderContext& ctx, const std::array<std::uint8_t, 3>& head) {
  std::copy(head.begin(), head.end(), ctx.m_abPacket.begin() + PacketOffset(ctx));
  return Frame(ctx, kWritePacketSize);
}

std::uint16_t WritePacketSum(const LoaderContext& ctx) {
  const std::size_t at = PacketOffset(ctx) + 3 + kBlockSize;
  return static_cast<std::uint16_t>((ctx.m_abPacket[at] << 8) | ctx.m_abPacket[at + 1]);
}

}  // namespace tarvel
