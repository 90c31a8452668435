// One conversation with a radio's boot loader, from the port's opening to
// its closing: open, the cable's way into the loader, the synchronisation,
// then the job's body on the synchronised port, and on every path out the
// cable's closing levels and the close. The write, the flash read, the
// read-back and the connection check (a body of nothing) run inside it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "loader/LoaderContext.h"

namespace tarvel {

// Where the write and the flash read differ around their bodies.
struct ConversationShape {
  // With the RTS pulse asked for, QAP-10 pulses RTS this long on a freshly
  // opened port before the start packet.
  std::uint32_t rtsPulseMs = 5;
  // QAP-10's closing: false raises DTR and RTS before the close; true (the
  // flash read) raises RTS alone, closes, and without the start pulse
  // opens the port once more for a closing RTS pulse.
  bool closingPulse = false;
};

inline constexpr ConversationShape kWriteConversation{5, false};
inline constexpr ConversationShape kReadConversation{2, true};

using ConversationBody = std::function<std::optional<Failure>()>;

// Runs `body` on the synchronised port and returns its failure. A port that
// cannot be opened, or a loader that does not answer (the status then goes
// to SyncFailed), is a failure of the conversation's own: the observer
// hears of it at once and `body` does not run. `afterOpen` runs once the
// port is first open.
std::optional<Failure> RunConversation(LoaderContext& ctx, const ConversationShape& shape, const ConversationBody& body,
                                       const std::function<void()>& afterOpen = {});

}  // namespace tarvel
