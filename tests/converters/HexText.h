// Builds Intel-HEX text for tests, every record with its checksum.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace tarvel::test {

inline std::string HexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                  static_cast<std::uint8_t>(address), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
  std::string line = ":";
  char digits[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    line += digits;
  }
  return line + "\n";
}

inline std::string HexData(std::uint16_t address, const std::vector<std::uint8_t>& data) {
  return HexRecord(0x00, address, data);
}
inline std::string HexLinearBase(std::uint16_t upper) {
  return HexRecord(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}
inline std::string HexSegmentBase(std::uint16_t segment) {
  return HexRecord(0x02, 0, {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)});
}
inline std::string HexEnd() { return ":00000001FF\n"; }

// Counting bytes, so that every position of an image differs from its
// neighbours and from 0xFF fill most of the time.
inline std::vector<std::uint8_t> Bytes(std::size_t count, unsigned seed) {
  std::vector<std::uint8_t> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(std::size_t{seed} * 31 + i * 7);
  return out;
}

// A flash image given as address -> bytes, written as HEX in records of
// `perRecord` bytes with extended linear address records where the upper
// 16 bits change, the way object-file tools write them.
inline std::string LinearHex(const std::map<std::uint32_t, std::vector<std::uint8_t>>& chunks,
                             std::size_t perRecord = 16) {
  std::string text;
  std::uint32_t upper = 0;
  for (const auto& [address, data] : chunks) {
    std::size_t i = 0;
    while (i < data.size()) {
      const std::uint32_t at = address + static_cast<std::uint32_t>(i);
      if ((at >> 16) != upper) {
        upper = at >> 16;
        text += HexLinearBase(static_cast<std::uint16_t>(upper));
      }
      // A record does not cross a 64 KiB boundary.
      const std::size_t count = std::min({perRecord, data.size() - i, std::size_t{0x10000} - (at & 0xFFFF)});
      const auto from = data.begin() + static_cast<std::ptrdiff_t>(i);
      text += HexData(static_cast<std::uint16_t>(at), {from, from + static_cast<std::ptrdiff_t>(count)});
      i += count;
    }
  }
  return text + HexEnd();
}

}  // namespace tarvel::test
