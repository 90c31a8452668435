// An in-process boot loader behind a FakeLine: it answers each packet the
// tool writes (one packet per write call), for fast tests without timing.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "tests/support/Fakes.h"

namespace tarvel::test {

struct FakeLoader {
  // Installs itself as the line's responder.
  void attach(FakeLine& line);

  std::map<std::uint16_t, std::array<std::uint8_t, 128>> flash;
  std::vector<std::uint16_t> stored;         // blocks in the order stored
  std::vector<std::vector<std::uint8_t>> writePackets;  // as received, framing removed
  bool silent = false;                       // answers nothing at all
  int refuseBlock = -1, refuseCount = 0;     // 0x15 to the first n write packets of a block
  int badVerifyBlock = -1, badVerifyCount = 0;
  int silentAfterPackets = -1;               // stops answering after n write packets
  std::vector<std::uint16_t> readRequests;   // blocks asked for, in order
  int silentAtReadOf = -1;                   // no answer to the read of this block
  int shortReadOf = -1;                      // 100 bytes instead of 130 for this block
  int strayByteAtReadOf = -1;                // one byte too many before this block's reply
  int lateByteAfterReadOf = -1;              // one byte more, 1 ms after this block's reply

 private:
  void onPacket(FakeLine& line, std::span<const std::uint8_t> packet);
  enum class State { WaitZero, WaitLetter, Packets } state_ = State::WaitZero;
  std::uint16_t lastSum_ = 0;
  std::uint16_t lastBlock_ = 0;
  std::map<std::uint16_t, int> refused_, badVerified_;
};

}  // namespace tarvel::test
