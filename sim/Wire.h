// The bytes of the boot-loader conversation as the radio sees them. The sim
// keeps its own copy on purpose: it is the far end of the line and must not
// share a mistake with the tool's packet code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarvel::sim::wire {

inline constexpr std::uint8_t kSyncByte = 0x00;
inline constexpr std::uint8_t kSyncLetter = 0x5A;  // 'Z'
inline constexpr std::uint8_t kAck = 0x05;
inline constexpr std::uint8_t kRefusal = 0x15;
inline constexpr std::uint8_t kGarbage = 0xEE;

inline constexpr std::uint8_t kWriteCommand = 0x57;   // 'W'
inline constexpr std::size_t kWritePacketSize = 133;  // 'W', block hi/lo, 128 data, sum hi/lo

inline constexpr std::array<std::uint8_t, 3> kVerifyCommand{0xAA, 0x55, 0xA0};

inline constexpr std::uint8_t kReadCommand = 0x52;   // 'R'
inline constexpr std::size_t kReadRequestSize = 19;  // 'R', access string, block hi/lo
inline constexpr std::size_t kReadReplySize = 130;   // 128 data, sum hi/lo
inline constexpr std::string_view kAccessString = "KORVA-B5813-2004";

// QAP-10 cable: a header in front of every payload, and a packet of its own
// that resets the cable and the loader behind it.
inline constexpr std::size_t kFrameHeaderSize = 8;
inline constexpr std::size_t kFrameLengthOffset = 6;
inline constexpr std::array<std::uint8_t, kFrameHeaderSize> kFrameHeader{0x50, 0xAF, 0x00, 0x00,
                                                                         0x00, 0x00, 0x00, 0x00};
inline constexpr std::array<std::uint8_t, kFrameHeaderSize> kStartPacket{0x51, 0xAE, 0x01, 0x00,
                                                                         0x00, 0x00, 0x00, 0x00};

inline constexpr std::uint16_t kLastBlock = 0x0FFF;

}  // namespace tarvel::sim::wire
