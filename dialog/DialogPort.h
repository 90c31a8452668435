// The window's port choice and what it shows of a conversation: the port
// with its line switches, the interface type, the status lamp and the last
// sums. A write or a read runs a session of its own from these values.
#pragma once

#include <chrono>
#include <cstdint>

#include "loader/CableFacts.h"
#include "loader/LoaderContext.h"
#include "serial/CommPort.h"

namespace tarvel {

struct DialogPort {
  explicit DialogPort(PortOpener& opener) : link(opener) {}

  CommLink link;  // the port's name and speed; open only while a line switch is checked
  int m_nType = kTypeQap8;
  bool m_bRtsPulse = false;
  int m_nStatus = StatusCode(AccessStatus::Idle);  // see AccessStatus
  std::uint16_t m_wCheckSum = 0;
  std::uint16_t m_wReadSum = 0;
  std::chrono::milliseconds waitForInputBound = kWaitForInputBound;

  Cable cable() const { return CableOfType(m_nType); }
  void setCable(Cable cable) { m_nType = TypeOfCable(cable); }
  const CableFacts& cableFacts() const { return FactsOf(cable()); }
  AccessStatus status() const { return StatusOf(m_nStatus); }
};

}  // namespace tarvel
