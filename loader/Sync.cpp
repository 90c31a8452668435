#include "loader/Sync.h"

#include <array>

#include "loader/Packets.h"
#include "loader/Waits.h"

namespace tarvel {

namespace {
constexpr const CableFacts& kQap8 = FactsOf(Cable::Qap8);
constexpr const CableFacts& kQap10 = FactsOf(Cable::Qap10);

std::uint32_t PacingMs(const CableFacts& facts) { return static_cast<std::uint32_t>(facts.syncPacing.count()); }

// Reads one byte; false when nothing came.
bool ReadOne(LoaderContext& ctx, std::uint8_t& byte) {
  return ReadBytes(ctx, std::span<std::uint8_t>(&byte, 1)) == 1;
}
}  // namespace

bool SyncLoader(LoaderContext& ctx) {
  std::uint8_t byte = 0;
  for (int looks = 0;;) {
    SendPacket(ctx, BuildSyncByte(ctx, kSyncByte));
    ++ctx.syncAnswer.wakeUps;
    BusyWait(ctx, PacingMs(kQap8));
    if (++looks > kQap8.zeroLooks) return false;
    if (BytesWaiting(ctx) == 0) continue;
    if (ReadOne(ctx, byte) && byte == kSyncByte) break;
  }
  for (int looks = 0;;) {
    SendPacket(ctx, BuildSyncByte(ctx, kSyncLetter));
    ++ctx.syncAnswer.letters;
    BusyWait(ctx, PacingMs(kQap8));
    if (++looks > kQap8.letterLooks) return false;
    if (BytesWaiting(ctx) == 0) continue;
    if (!ReadOne(ctx, byte)) return false;
    if (byte == kSyncLetter) return true;
  }
}

bool SyncLoaderFramed(LoaderContext& ctx) {
  std::uint8_t byte = 0;
  const std::size_t wakeUp = BuildWakeUpFrame(ctx);
  int wakeUps = 0;
  for (int looks = 0;;) {
    SendPacket(ctx, wakeUp);
    ++wakeUps;
    ctx.syncAnswer.wakeUps = wakeUps;
    BusyWait(ctx, PacingMs(kQap10));
    if (++looks > kQap10.zeroLooks) return false;
    if (BytesWaiting(ctx) == 0) continue;
    if (!ReadOne(ctx, byte)) return false;
    if (byte == kSyncByte) break;
  }
  // Every wake-up frame that went out before the answer was seen may bring
  // a zero of its own: a radio behind an adapter that holds replies for its
  // latency timer answers several. Those zeros are passed over on the way
  // to the letter's answer; any other byte, or one zero more, fails.
  int lateZeros = wakeUps - 1;
  // The letter frame goes out once more before the first look.
  const std::size_t letter = BuildLetterFrame(ctx);
  SendPacket(ctx, letter);
  ctx.syncAnswer.letters = 1;
  for (int looks = 0;;) {
    SendPacket(ctx, letter);
    ++ctx.syncAnswer.letters;
    BusyWait(ctx, PacingMs(kQap10));
    if (++looks > kQap10.letterLooks) return false;
    while (BytesWaiting(ctx) > 0) {
      if (!ReadOne(ctx, byte)) return false;
      if (byte == kSyncByte && lateZeros > 0) {
        --lateZeros;
        continue;
      }
      return byte == kSyncLetter;
    }
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

}  // namespace tarvel
