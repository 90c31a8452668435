// The packets of the boot-loader conversation. Every packet is built in the
// context's transmit buffer and sent from it. With the QAP-10 cable each
// packet is preceded by an 8-byte frame header; with QAP-8 it goes out bare.
// Replies come back bare with both cables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "formats/FlashBlock.h"
#include "loader/LoaderContext.h"

namespace tarvel {

inline constexpr std::size_t kFrameHeaderSize = 8;
inline constexpr std::size_t kWritePacketSize = 133;  // 'W', block hi/lo, data, sum hi/lo
inline constexpr std::size_t kVerifyCommandSize = 3;
inline constexpr std::size_t kReadRequestSize = 19;   // 'R', access string, block hi/lo
inline constexpr std::size_t kReadReplySize = 130;    // data and two bytes not used
inline constexpr std::size_t kVerifyReplySize = 3;    // 0x05, sum hi, sum lo

inline constexpr std::uint8_t kSyncByte = 0x00;
inline constexpr std::uint8_t kSyncLetter = 0x5A;  // 'Z'
inline constexpr std::uint8_t kAck = 0x05;
inline constexpr std::uint8_t kWriteCommand = 0x57;  // 'W'
inline constexpr std::uint8_t kReadCommand = 0x52;   // 'R'
inline constexpr std::array<std::uint8_t, kVerifyCommandSize> kVerifyCommand{0xAA, 0x55, 0xA0};
inline constexpr std::string_view kAccessString = "KORVA-B5813-2004";
// The bytes that cross the line for one block, both ways: a write's packet,
// acknowledgement, verify command and reply; a read's request and reply.
// Each framed packet of the QAP-10 cable carries its header too.
constexpr std::size_t WriteExchangeBytes(bool framed) {
  return kWritePacketSize + 1 + kVerifyCommandSize + kVerifyReplySize + (framed ? 2 * kFrameHeaderSize : 0);
}
constexpr std::size_t ReadExchangeBytes(bool framed) {
  return kReadRequestSize + kReadReplySize + (framed ? kFrameHeaderSize : 0);
}

// The wake-up frame carries ten zeros behind a header that announces one.
inline constexpr std::size_t kWakeUpZeros = 10;

// The 16-bit sum of the two block-number bytes and the 128 data bytes.
std::uint16_t BlockSum(std::uint16_t block, std::span<const std::uint8_t, kBlockSize> data);

// The start packet that addresses the QAP-10 cable itself (never framed).
std::array<std::uint8_t, 8> StartPacket();

// Where the packet proper starts in the buffer: after the header if framed.
std::size_t PacketOffset(const LoaderContext& ctx);

// Builders: each puts its packet into ctx.m_abPacket (framed or bare by the
// cable type) and returns the number of bytes to send from the buffer start.
std::size_t BuildWritePacket(LoaderContext& ctx, std::uint16_t block,
                             std::span<const std::uint8_t, kBlockSize> data);
// Built over the start of the write packet it follows.
std::size_t BuildVerifyCommand(LoaderContext& ctx);
std::size_t BuildReadRequest(LoaderContext& ctx, std::uint16_t block);
std::size_t BuildSyncByte(LoaderContext& ctx, std::uint8_t value);  // bare, QAP-8
std::size_t BuildWakeUpFrame(LoaderContext& ctx);                   // framed, QAP-10
std::size_t BuildLetterFrame(LoaderContext& ctx);                   // framed, QAP-10

// The first three bytes of the write packet ('W' and the block number): a
// retry restores them (and the frame header) over the verify command that
// the failed attempt built there, and sends the write packet unchanged.
std::array<std::uint8_t, 3> SaveWritePacketHead(const LoaderContext& ctx);
std::size_t RestoreWritePacket(LoaderContext& ctx, const std::array<std::uint8_t, 3>& head);

// The block sum of the write packet in the buffer, as sent.
std::uint16_t WritePacketSum(const LoaderContext& ctx);

}  // namespace tarvel
