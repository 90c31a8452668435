// The two waits of the conversation and the byte transfer on the open port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "loader/LoaderContext.h"

namespace tarvel {

// A fixed pause of at least `ms` milliseconds; the window is not served.
void BusyWait(LoaderContext& ctx, std::uint32_t ms);

// Lets the window run once, then waits until a received byte waits or the
// context's bound expires. When it expires the read that follows finds
// nothing (after its own time-out) and the caller reports the failure.
void WaitForInput(LoaderContext& ctx);

// Sends the first `length` bytes of the transmit buffer.
void SendPacket(LoaderContext& ctx, std::size_t length);
void SendBytes(LoaderContext& ctx, std::span<const std::uint8_t> bytes);
// Reads up to bytes.size() bytes within the port's time-outs; returns the
// count read (0 when nothing came or no port is open).
std::size_t ReadBytes(LoaderContext& ctx, std::span<std::uint8_t> bytes);
std::size_t BytesWaiting(LoaderContext& ctx);
void SetLine(LoaderContext& ctx, ControlLine line, bool raised);

}  // namespace tarvel
