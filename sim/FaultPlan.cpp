#include "sim/FaultPlan.h"

#include <algorithm>
#include <charconv>

namespace tarvel::sim {

FaultPlan::Fate FaultPlan::fateAtWrite(int blocksStored) const {
  if (faults_.hangUpAfterBlocks >= 0 && blocksStored >= faults_.hangUpAfterBlocks) {
    return Fate::HungUp;
  }
  if (faults_.silentAfterBlocks >= 0 && blocksStored >= faults_.silentAfterBlocks) {
    return Fate::Silent;
  }
  return Fate::Alive;
}

bool FaultPlan::answersSync(int count) const {
  return !faults_.silent && count > faults_.syncAfter;
}

bool FaultPlan::refusesWrite(std::uint16_t block) {
  if (block != faults_.refuseBlock || refusedWrites_ >= faults_.refuseWrites) return false;
  ++refusedWrites_;
  return true;
}

bool FaultPlan::corruptsStore(std::uint16_t block) const { return block == faults_.corruptBlock; }

std::uint16_t FaultPlan::verifySum(std::uint16_t block, std::uint16_t sum) {
  if (block != faults_.badVerifyBlock || spoiledVerifies_ >= faults_.badVerifies) return sum;
  ++spoiledVerifies_;
  const std::uint16_t spoilMask = faults_.badVerifyByte == 1 ? 0xFF00 : 0x00FF;
  return static_cast<std::uint16_t>(sum ^ spoilMask);
}

std::optional<std::size_t> FaultPlan::readReplyBytes(std::uint16_t block, std::size_t full) const {
  if (block == faults_.silentReadBlock) return std::nullopt;
  if (block == faults_.shortReadBlock) {
    return std::min(full, static_cast<std::size_t>(std::max(faults_.shortReadBytes, 0)));
  }
  return full;
}

std::size_t FaultPlan::garbageBefore() const {
  return static_cast<std::size_t>(std::max(faults_.garbageBefore, 0));
}

namespace {

// Decimal, or hexadecimal with 0x, as the options always took them.
bool ParseInt(std::string_view text, int& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  return !text.empty() && ec == std::errc() && ptr == end;
}

}  // namespace

std::optional<ScopedNumber> ParseScopedNumber(std::string_view text, int radioCount) {
  ScopedNumber scoped;
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    if (!ParseInt(text.substr(0, colon), scoped.radio) || scoped.radio < 0 || scoped.radio >= radioCount) {
      return std::nullopt;
    }
    text.remove_prefix(colon + 1);
  }
  if (!ParseInt(text, scoped.value)) return std::nullopt;
  return scoped;
}

}  // namespace tarvel::sim
