// One attempt at writing a block, and one block read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

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

enum class BlockReadResult {
  Read,       // the whole 130-byte reply came
  NoReply,    // nothing, or fewer than 130 bytes
  OutOfStep,  // bytes waited before the request or after the reply
};

// Sends the read request of `block` and reads the reply. Bytes already
// waiting before the request, or left after the reply, mean that the
// radio's replies are shifted against the requests (a stray byte on the
// line): every reply from then on would be read wrong, so the exchange
// reports it instead of a reply. `strayBytes` receives their count.
BlockReadResult ReadBlockExchange(LoaderContext& ctx, std::uint16_t block, ReadReply& reply,
                                  std::size_t* strayBytes = nullptr);

// The detail of the communication error that an OutOfStep result gives.
std::string OutOfStepText(std::uint16_t block, std::size_t strayBytes);
// The detail of one that a NoReply result gives at `block`: the line was
// lost, and how (the port went away, or the radio fell silent).
std::string NoReplyText(const LoaderContext& ctx, int block);

}  // namespace tarvel
