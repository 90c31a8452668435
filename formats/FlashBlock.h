// The unit of the radio's flash that files and the loader both count in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvel {

inline constexpr std::size_t kBlockSize = 128;

using BlockData = std::array<std::uint8_t, kBlockSize>;

// A block as the flash converter takes it: the block number, high byte
// first, then the block's 128 bytes.
inline constexpr std::size_t kFlashBlockRecordBytes = 2 + kBlockSize;

}  // namespace tarvel
