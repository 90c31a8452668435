#include "loader/Sync.h"

#include <array>

#include "loader/Packets.h"
#include "loader/Waits.h"

namespace tarvel {

namespace {
constexpr int kQap8ZeroLooks = 25;
constexpr int kQap8LetterLooks = 128;
constexpr int kQap10WakeUpLooks = 25;
constexpr int kQap10LetterLooks = 50;
constexpr std::uint32_t kQap8PacingMs = 1;
constexpr std::uint32_t kQap10PacingMs = 10;

// Reads one byte; false when nothing came.
bool ReadOne(LoaderContext& ctx, std::uint8_t& byte) {
  return ReadBytes(ctx, std::span<std::uint8_t>(&byte, 1)) == 1;
}
}  // namespace

bool SyncLoader(LoaderContext& ctx) {
  std::uint8_t byte = 0;
  for (int looks = 0;;) {
    SendPacket(ctx, BuildSyncByte(ctx, kSyncByte));
    BusyWait(ctx, kQap8PacingMs);
    if (++looks > kQap8ZeroLooks) return false;
    if (BytesWaiting(ctx) == 0) continue;
    if (ReadOne(ctx, byte) && byte == kSyncByte) break;
  }
  for (int looks = 0;;) {
    SendPacket(ctx, BuildSyncByte(ctx, kSyncLetter));
    BusyWait(ctx, kQap8PacingMs);
    if (++looks > kQap8LetterLooks) return false;
    if (BytesWaiting(ctx) == 0) continue;
    if (!ReadOne(ctx, byte)) return false;
    if (byte == kSyncLetter) return true;
  }
}

bool SyncLoaderFramed(LoaderContext& ctx) {
  std::uint8_t byte = 0;
  const std::size_t wakeUp = BuildWakeUpFrame(ctx);
  for (int looks = 0;;) {
    SendPacket(ctx, wakeUp);
    BusyWait(ctx, kQap10PacingMs);
    if (++looks > kQap10WakeUpLooks) return false;
    if (BytesWaiting(ctx) == 0) continue;
    if (!ReadOne(ctx, byte)) return false;
    if (byte == kSyncByte) break;
  }
  // The letter frame goes out once more before the first look.
  const std::size_t letter = BuildLetterFrame(ctx);
  SendPacket(ctx, letter);
  for (int looks = 0;;) {
    SendPacket(ctx, letter);
    BusyWait(ctx, kQap10PacingMs);
    if (++looks > kQap10LetterLooks) return false;
    if (BytesWaiting(ctx) == 0) continue;
    return ReadOne(ctx, byte) && byte == kSyncLetter;
  }
}

void PulseQap8LoaderEntry(LoaderContext& ctx) {
  SetLine(ctx, ControlLine::Dtr, true);
  SetLine(ctx, ControlLine::Rts, true);
  BusyWait(ctx, 40);
  SetLine(ctx, ControlLine::Rts, false);
  BusyWait(ctx, 5);
  SetLine(ctx, ControlLine::Rts, true);
  BusyWait(ctx, 100);
}

void PulseQap10Rts(LoaderContext& ctx) {
  SetLine(ctx, ControlLine::Rts, true);
  BusyWait(ctx, 5);
  SetLine(ctx, ControlLine::Rts, false);
}

void SendQap10StartPacket(LoaderContext& ctx) {
  const std::array<std::uint8_t, 8> start = StartPacket();
  std::copy(start.begin(), start.end(), ctx.m_abPacket.begin());
  SendPacket(ctx, start.size());
  BusyWait(ctx, 200);
}

bool WakeAndSyncLoader(LoaderContext& ctx) {
  if (ctx.m_nType == kTypeQap10) {
    SendQap10StartPacket(ctx);
    return SyncLoaderFramed(ctx);
  }
  PulseQap8LoaderEntry(ctx);
  return SyncLoader(ctx);
}

bool CheckLoaderConnection(LoaderContext& ctx) {
  if (!OpenCommPort(ctx.link)) {
    CloseCommPort(ctx.link);
    return false;
  }
  const bool framed = ctx.m_nType == kTypeQap10;
  const bool synced = WakeAndSyncLoader(ctx);
  SetLine(ctx, ControlLine::Dtr, framed);
  SetLine(ctx, ControlLine::Rts, framed);
  CloseCommPort(ctx.link);
  if (!synced) ctx.messages.showMessage(StringId::SyncError, MessageIcon::Stop);
  return synced;
}

}  // namespace tarvel
