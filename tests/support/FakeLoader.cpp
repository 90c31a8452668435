#include "tests/support/FakeLoader.h"

namespace tarvel::test {

void FakeLoader::attach(FakeLine& line) {
  line.respond = [this](FakeLine& l, std::span<const std::uint8_t> bytes) {
    if (silent) return;
    // A frame header ('P', 0xAF, ..., length, 0) is taken off; the QAP-10
    // start packet ('Q', 0xAE, ...) is for the cable and gets no answer.
    if (bytes.size() >= 8 && bytes[0] == 0x51 && bytes[1] == 0xAE) {
      state_ = State::WaitZero;
      return;
    }
    if (bytes.size() >= 9 && bytes[0] == 0x50 && bytes[1] == 0xAF) {
      onPacket(l, bytes.subspan(8, bytes[6]));
    } else {
      onPacket(l, bytes);
    }
  };
}

void FakeLoader::onPacket(FakeLine& line, std::span<const std::uint8_t> p) {
  if (p.empty()) return;
  // Like a real loader it answers one zero, then one letter; the extra
  // sync bytes the tool sends before it sees an answer are ignored.
  if (p[0] == 0x00 && state_ != State::WaitLetter) {
    state_ = State::WaitLetter;
    line.reply({0x00});
    return;
  }
  if (state_ == State::WaitLetter) {
    if (p[0] == 0x5A) {
      state_ = State::Packets;
      line.reply({0x5A});
    }
    return;
  }
  if (p[0] == 0x57 && p.size() == 133) {
    writePackets.emplace_back(p.begin(), p.end());
    if (silentAfterPackets >= 0 && static_cast<int>(writePackets.size()) > silentAfterPackets) return;
    const std::uint16_t block = static_cast<std::uint16_t>((p[1] << 8) | p[2]);
    if (block == refuseBlock && refused_[block]++ < refuseCount) {
      line.reply({0x15});
      return;
    }
    std::array<std::uint8_t, 128> data{};
    std::copy(p.begin() + 3, p.begin() + 131, data.begin());
    unsigned sum = p[1] + p[2];
    for (auto b : data) sum += b;
    flash[block] = data;
    stored.push_back(block);
    lastSum_ = static_cast<std::uint16_t>(sum);
    lastBlock_ = block;
    line.reply({0x05});
    return;
  }
  if (p.size() == 19 && p[0] == 0x52) {
    const std::uint16_t block = static_cast<std::uint16_t>((p[17] << 8) | p[18]);
    readRequests.push_back(block);
    if (silentAtReadOf == block) return;
    std::array<std::uint8_t, 128> data{};
    data.fill(0xFF);
    if (auto it = flash.find(block); it != flash.end()) data = it->second;
    std::vector<std::uint8_t> reply(data.begin(), data.end());
    // The two unused bytes: never part of the data or its sum.
    reply.push_back(0xA5);
    reply.push_back(static_cast<std::uint8_t>(block));
    if (shortReadOf == block) reply.resize(100);
    if (strayByteAtReadOf == block) reply.insert(reply.begin(), 0xEE);
    line.reply(reply);
    if (lateByteAfterReadOf == block) line.replyAfter(1, {0xEE});
    return;
  }
  if (p.size() == 3 && p[0] == 0xAA && p[1] == 0x55 && p[2] == 0xA0) {
    std::uint16_t sum = lastSum_;
    if (lastBlock_ == badVerifyBlock && badVerified_[lastBlock_]++ < badVerifyCount) sum ^= 0x0001;
    line.reply({0x05, static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum & 0xFF)});
  }
}

}  // namespace tarvel::test
