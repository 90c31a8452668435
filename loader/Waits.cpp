#include "loader/Waits.h"

namespace tarvel {

void BusyWait(LoaderContext& ctx, std::uint32_t ms) { ctx.clock.pauseMs(ms); }

void WaitForInput(LoaderContext& ctx) {
  ctx.pump.runOnce();
  if (SerialPort* port = ctx.port()) port->waitForInput(ctx.waitForInputBound);
}

void SendPacket(LoaderContext& ctx, std::size_t length) {
  SendBytes(ctx, std::span<const std::uint8_t>(ctx.m_abPacket.data(), length));
}

void SendBytes(LoaderContext& ctx, std::span<const std::uint8_t> bytes) {
  SerialPort* port = ctx.port();
  if (port != nullptr && port->write(bytes).status == PortStatus::Gone) ctx.portGone = true;
}

std::size_t ReadBytes(LoaderContext& ctx, std::span<std::uint8_t> bytes) {
  SerialPort* port = ctx.port();
  if (port == nullptr) return 0;
  const IoResult result = port->read(bytes);
  if (result.status == PortStatus::Gone) ctx.portGone = true;
  return result.count;
}

std::size_t BytesWaiting(LoaderContext& ctx) {
  SerialPort* port = ctx.port();
  return port ? port->bytesWaiting() : 0;
}

void SetLine(LoaderContext& ctx, ControlLine line, bool raised) {
  if (SerialPort* port = ctx.port()) port->setLine(line, raised);
}

}  // namespace tarvel
