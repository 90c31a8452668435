// The decisions a faulty radio makes differently from a sound one. The loader
// asks at each point where a fault can bite; a new fault is a field in
// Faults, a line in the question it changes and a command-line flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "sim/SimRadio.h"

namespace tarvel::sim {

class FaultPlan {
 public:
  explicit FaultPlan(const Faults& faults) : faults_(faults) {}

  // What becomes of the radio when a write packet arrives.
  enum class Fate { Alive, Silent, HungUp };
  Fate fateAtWrite(int blocksStored) const;

  // Whether the sync byte (or wake-up frame) number `count`, counted from 1
  // over the radio's life, gets its answer.
  bool answersSync(int count) const;
  // Whether a well-formed write packet of `block` is refused. Counts.
  bool refusesWrite(std::uint16_t block);
  // Whether `block` is stored with its first data byte changed.
  bool corruptsStore(std::uint16_t block) const;
  // The sum a verify of `block` reports instead of `sum`. Counts.
  std::uint16_t verifySum(std::uint16_t block, std::uint16_t sum);
  // How many bytes of a read reply of `block` go out; nullopt: no reply.
  std::optional<std::size_t> readReplyBytes(std::uint16_t block, std::size_t full) const;
  // Bytes of garbage sent in front of every answer.
  std::size_t garbageBefore() const;

 private:
  Faults faults_;
  int refusedWrites_ = 0;
  int spoiledVerifies_ = 0;
};

// A fault option's value when one process serves several radios:
// "[RADIO:]NUMBER". `radio` is -1 when the value applies to every radio.
struct ScopedNumber {
  int radio = -1;
  int value = 0;
};
// Nothing when the text is not of that form or names a radio outside
// 0 .. radioCount-1.
std::optional<ScopedNumber> ParseScopedNumber(std::string_view text, int radioCount);

}  // namespace tarvel::sim
