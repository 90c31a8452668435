#include "sim/Loader.h"

#include <algorithm>

#include "sim/Wire.h"

namespace tarvel::sim {

namespace {

std::uint16_t BlockSum(const std::uint8_t* blockAndData) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < 2 + kBlockBytes; ++i)
    sum = static_cast<std::uint16_t>(sum + blockAndData[i]);
  return sum;
}

bool MatchesSoFar(const std::vector<std::uint8_t>& seen,
                  const std::array<std::uint8_t, wire::kFrameHeaderSize>& pattern, bool anyLength) {
  for (std::size_t i = 0; i < seen.size(); ++i) {
    if (anyLength && i == wire::kFrameLengthOffset) continue;
    if (seen[i] != pattern[i]) return false;
  }
  return true;
}

}  // namespace

Loader::Loader(Cable cable, const Faults& faults, Flash& flash)
    : cable_(cable), faults_(faults), flash_(flash) {
  packet_.reserve(wire::kWritePacketSize);
}

void Loader::receive(std::uint8_t byte, std::vector<std::uint8_t>& answer) {
  if (hungUp()) return;
  if (cable_ == Cable::Qap10) {
    unframe(byte, answer);
  } else {
    serve(byte, answer);
  }
}

// The cable passes on frame payloads and drops everything else, such as the
// nine zeros that trail the one-byte payload of a wake-up frame.
void Loader::unframe(std::uint8_t byte, std::vector<std::uint8_t>& answer) {
  if (payloadLeft_ > 0) {
    --payloadLeft_;
    serve(byte, answer);
    return;
  }
  frame_.push_back(byte);
  while (!frame_.empty()) {
    const bool maybeStart = MatchesSoFar(frame_, wire::kStartPacket, false);
    const bool maybeHeader = MatchesSoFar(frame_, wire::kFrameHeader, true);
    if (!maybeStart && !maybeHeader) {
      frame_.erase(frame_.begin());
      continue;
    }
    if (frame_.size() < wire::kFrameHeaderSize) return;
    if (maybeStart) {
      ++stats_.startPackets;
      reset();
    } else {
      payloadLeft_ = frame_[wire::kFrameLengthOffset];
    }
    frame_.clear();
  }
}

void Loader::reset() {
  state_ = State::AwaitSyncByte;
  packet_.clear();
  payloadLeft_ = 0;
}

void Loader::serve(std::uint8_t byte, std::vector<std::uint8_t>& answer) {
  switch (state_) {
    case State::AwaitSyncByte:
      if (byte == wire::kSyncByte) syncByte(answer);
      return;
    case State::AwaitSyncLetter:
      // Further zeros are the tool still calling before it saw our answer.
      if (byte == wire::kSyncLetter) {
        reply(&wire::kSyncLetter, 1, answer);
        state_ = State::AwaitCommand;
      }
      return;
    case State::AwaitCommand:
      switch (byte) {
        case wire::kSyncByte:
          state_ = State::AwaitSyncByte;
          syncByte(answer);
          return;
        case wire::kWriteCommand:
          startPacket(byte, wire::kWritePacketSize);
          return;
        case wire::kVerifyCommand[0]:
          startPacket(byte, wire::kVerifyCommand.size());
          return;
        case wire::kReadCommand:
          startPacket(byte, wire::kReadRequestSize);
          return;
        default:
          // Extra letters the tool sent before it saw our 'Z', and the like.
          return;
      }
    case State::InPacket:
      if (packet_[0] == wire::kVerifyCommand[0] && byte != wire::kVerifyCommand[packet_.size()]) {
        // Not a verify after all: look at this byte afresh.
        state_ = State::AwaitCommand;
        packet_.clear();
        serve(byte, answer);
        return;
      }
      packet_.push_back(byte);
      if (packet_.size() == packetSize_) {
        state_ = State::AwaitCommand;
        packetComplete(answer);
        packet_.clear();
      }
      return;
  }
}

void Loader::syncByte(std::vector<std::uint8_t>& answer) {
  ++stats_.syncBytes;
  if (!faults_.answersSync(stats_.syncBytes)) return;
  reply(&wire::kSyncByte, 1, answer);
  state_ = State::AwaitSyncLetter;
}

void Loader::startPacket(std::uint8_t command, std::size_t size) {
  packet_.assign(1, command);
  packetSize_ = size;
  state_ = State::InPacket;
}

void Loader::packetComplete(std::vector<std::uint8_t>& answer) {
  switch (packet_[0]) {
    case wire::kWriteCommand:
      write(answer);
      return;
    case wire::kReadCommand:
      read(answer);
      return;
    default:
      verify(answer);
      return;
  }
}

void Loader::write(std::vector<std::uint8_t>& answer) {
  ++stats_.writePackets;
  if (fate_ == FaultPlan::Fate::Alive) fate_ = faults_.fateAtWrite(stats_.blocksStored);
  if (fate_ != FaultPlan::Fate::Alive) return;

  const auto block = static_cast<std::uint16_t>(packet_[1] << 8 | packet_[2]);
  const std::uint16_t sum = BlockSum(&packet_[1]);
  const auto sentSum = static_cast<std::uint16_t>(packet_[131] << 8 | packet_[132]);
  if (block > wire::kLastBlock || sum != sentSum || faults_.refusesWrite(block)) {
    reply(&wire::kRefusal, 1, answer);
    return;
  }
  BlockData data;
  std::copy_n(&packet_[3], kBlockBytes, data.begin());
  if (faults_.corruptsStore(block)) data[0] = static_cast<std::uint8_t>(~data[0]);
  flash_.store(block, data);
  stored_.push_back(block);
  ++stats_.blocksStored;
  lastBlock_ = block;
  lastSum_ = sum;
  reply(&wire::kAck, 1, answer);
}

void Loader::verify(std::vector<std::uint8_t>& answer) {
  ++stats_.verifies;
  std::uint16_t sum = lastSum_;
  if (lastBlock_ >= 0) sum = faults_.verifySum(static_cast<std::uint16_t>(lastBlock_), sum);
  const std::uint8_t bytes[] = {wire::kAck, static_cast<std::uint8_t>(sum >> 8),
                                static_cast<std::uint8_t>(sum & 0xFF)};
  reply(bytes, sizeof bytes, answer);
}

void Loader::read(std::vector<std::uint8_t>& answer) {
  ++stats_.readRequests;
  if (!std::equal(wire::kAccessString.begin(), wire::kAccessString.end(), packet_.begin() + 1)) {
    return;
  }
  const std::size_t blockOffset = 1 + wire::kAccessString.size();
  const auto block =
      static_cast<std::uint16_t>(packet_[blockOffset] << 8 | packet_[blockOffset + 1]);
  if (block > wire::kLastBlock) return;
  const auto length = faults_.readReplyBytes(block, wire::kReadReplySize);
  if (!length) return;

  std::array<std::uint8_t, 2 + kBlockBytes> numbered{};
  numbered[0] = packet_[blockOffset];
  numbered[1] = packet_[blockOffset + 1];
  const BlockData data = flash_.block(block);
  std::copy(data.begin(), data.end(), numbered.begin() + 2);
  const std::uint16_t sum = BlockSum(numbered.data());

  std::array<std::uint8_t, wire::kReadReplySize> replyBytes{};
  std::copy(data.begin(), data.end(), replyBytes.begin());
  replyBytes[kBlockBytes] = static_cast<std::uint8_t>(sum >> 8);
  replyBytes[kBlockBytes + 1] = static_cast<std::uint8_t>(sum & 0xFF);
  reply(replyBytes.data(), *length, answer);
}

void Loader::reply(const std::uint8_t* bytes, std::size_t count,
                   std::vector<std::uint8_t>& answer) {
  if (fate_ != FaultPlan::Fate::Alive) return;
  answer.insert(answer.end(), faults_.garbageBefore(), wire::kGarbage);
  answer.insert(answer.end(), bytes, bytes + count);
}

}  // namespace tarvel::sim
