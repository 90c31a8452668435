// The boot loader behind the cable, as a byte-stream machine without any I/O:
// bytes from the tool go in one at a time, whole answers come out. Packets may
// arrive split or run together; nothing here depends on how reads fall.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/FaultPlan.h"
#include "sim/Flash.h"
#include "sim/SimRadio.h"

namespace tarvel::sim {

class Loader {
 public:
  Loader(Cable cable, const Faults& faults, Flash& flash);

  // Takes one byte from the line. Any answer it completes is appended to
  // `answer` (garbage included), in the order it goes out.
  void receive(std::uint8_t byte, std::vector<std::uint8_t>& answer);

  // The radio reset into its loader, as the QAP-8 cable's RTS pulse does
  // before each conversation: a half-done synchronisation is forgotten.
  void enterLoader() { reset(); }

  // True once the radio has hung up: it takes nothing more.
  bool hungUp() const { return fate_ == FaultPlan::Fate::HungUp; }
  const Stats& stats() const { return stats_; }
  const std::vector<std::uint16_t>& storedBlocks() const { return stored_; }

 private:
  enum class State { AwaitSyncByte, AwaitSyncLetter, AwaitCommand, InPacket };

  void unframe(std::uint8_t byte, std::vector<std::uint8_t>& answer);
  void serve(std::uint8_t byte, std::vector<std::uint8_t>& answer);
  void syncByte(std::vector<std::uint8_t>& answer);
  void startPacket(std::uint8_t command, std::size_t size);
  void packetComplete(std::vector<std::uint8_t>& answer);
  void write(std::vector<std::uint8_t>& answer);
  void verify(std::vector<std::uint8_t>& answer);
  void read(std::vector<std::uint8_t>& answer);
  void reply(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& answer);
  void reset();

  Cable cable_;
  FaultPlan faults_;
  Flash& flash_;
  FaultPlan::Fate fate_ = FaultPlan::Fate::Alive;
  Stats stats_;
  std::vector<std::uint16_t> stored_;

  State state_ = State::AwaitSyncByte;
  std::vector<std::uint8_t> packet_;
  std::size_t packetSize_ = 0;
  // What the last stored block's verify reports: the sum as it was sent.
  int lastBlock_ = -1;
  std::uint16_t lastSum_ = 0;

  // QAP-10 cable: header bytes seen so far, then payload bytes still due.
  std::vector<std::uint8_t> frame_;
  std::size_t payloadLeft_ = 0;
};

}  // namespace tarvel::sim
