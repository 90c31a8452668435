// One attempt at writing a block, and one block read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "loader/LoaderContext.h"
#include "loader/Packets.h"

namespace tarvel {

enum class BlockWriteResult {
  Written,        // acknowledged and the loader's sum matches
  AttemptFailed,  // refused, or the verify reply differs: worth a retry
  NoReply,        // a read after a send returned nothing
};

// Sends the write packet of `packetLength` bytes that is in the buffer, then
// the verify command built over it, and checks the loader's block sum.
BlockWriteResult WriteBlockExchange(LoaderContext& ctx, std::size_t packetLength);

using ReadReply = std::array<std::uint8_t, kReadReplySize>;

// Sends the read request of `block`; true when the whole 130-byte reply came.
bool ReadBlockExchange(LoaderContext& ctx, std::uint16_t block, ReadReply& reply);

}  // namespace tarvel
