// The state of one conversation with a radio's boot loader: the port, the
// transmit buffer, the cable type and the running sums. The window owns one;
// the command line may own one per port.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "base/Clock.h"
#include "base/UiPump.h"
#include "loader/CableFacts.h"
#include "loader/SessionObserver.h"
#include "serial/CommPort.h"

namespace tarvel {

// How long WaitForInput waits for the first byte of a reply. A sound loader
// answers a packet within milliseconds (a flash page write takes a few);
// three seconds covers a slow first erase and still ends a dead line's wait
// soon. When it expires the read that follows reports the failure.
inline constexpr std::chrono::milliseconds kWaitForInputBound{3000};

inline constexpr std::size_t kPacketBufferSize = 144;

struct LoaderContext {
  LoaderContext(PortOpener& opener, SessionObserver& observer, Clock& clock, UiPump& pump)
      : link(opener), observer(observer), clock(clock), pump(pump) {}

  CommLink link;
  SessionObserver& observer;
  Clock& clock;
  UiPump& pump;

  int m_nType = kTypeQap8;
  bool m_bRtsPulse = false;
  std::array<std::uint8_t, kPacketBufferSize> m_abPacket{};

  int m_nStatus = StatusCode(AccessStatus::Idle);  // see AccessStatus
  int m_nRetry = 0;
  std::uint16_t m_wCheckSum = 0;
  std::uint16_t m_wReadSum = 0;

  std::chrono::milliseconds waitForInputBound = kWaitForInputBound;

  // How the last synchronisation went, and why the last write attempt
  // failed: told to the observer beside the plain events.
  SyncAnswer syncAnswer;
  RetryReason lastAttempt;

  // Set from outside (the command line's Ctrl-C) to end a write or a read
  // after the exchange in progress, through its usual closing steps. Several
  // contexts may share one request; null: nothing asks.
  const std::atomic<bool>* stopRequest = nullptr;

  // A transfer found the port gone (a hung-up terminal, an unplugged
  // adapter) since the conversation's first open.
  bool portGone = false;

  SerialPort* port() const { return link.hComm.get(); }
  bool stopRequested() const { return stopRequest && stopRequest->load(std::memory_order_relaxed); }
  Cable cable() const { return CableOfType(m_nType); }
  void setCable(Cable cable) { m_nType = TypeOfCable(cable); }
  const CableFacts& cableFacts() const { return FactsOf(cable()); }
  bool framed() const { return cableFacts().framed; }
  AccessStatus status() const { return StatusOf(m_nStatus); }
  void setStatus(AccessStatus status) {
    m_nStatus = StatusCode(status);
    observer.statusChanged(status);
  }
  // The failure goes to the observer at once and is handed back for the
  // caller's outcome.
  Failure fail(Failure failure) {
    observer.failed(failure);
    return failure;
  }
};

}  // namespace tarvel
