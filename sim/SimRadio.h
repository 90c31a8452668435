// A simulated radio boot loader on a pseudo-terminal: the far end of the line
// for the demo, the tests and the benchmarks. It speaks both cables'
// conversation, keeps a flash image, can pace bytes at a baud rate and can
// inject faults.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Cable.h"

namespace tarvel::sim {

inline constexpr std::size_t kFlashBlocks = 4096;
inline constexpr std::size_t kBlockBytes = 128;

// The tool's own name for the cable; the line behind it is modelled here.
using tarvel::Cable;

// Faults, combinable. A field left at its default injects nothing.
struct Faults {
  // Refuse (answer a byte other than 0x05 to) the first `refuseWrites`
  // write packets of block `refuseBlock`.
  int refuseBlock = -1;
  int refuseWrites = 0;
  // Answer the first `badVerifies` verify commands of block `badVerifyBlock`
  // with a wrong sum; `badVerifyByte` 1 spoils the high byte, 2 the low byte.
  int badVerifyBlock = -1;
  int badVerifies = 0;
  int badVerifyByte = 2;
  // Never answer anything.
  bool silent = false;
  // Fall silent for good after this many stored blocks (-1: never): the
  // next write packet and everything after it go unanswered.
  int silentAfterBlocks = -1;
  // Answer the synchronisation only after this many sync bytes/frames,
  // counted over the radio's life.
  int syncAfter = 0;
  // Read replies: cut the reply of block `shortReadBlock` to `shortReadBytes`
  // bytes; fall silent at the read request of block `silentReadBlock`.
  int shortReadBlock = -1;
  int shortReadBytes = 0;
  int silentReadBlock = -1;
  // Store block `corruptBlock` with its first data byte changed (the verify
  // then still reports the sum of what was sent): a radio that stores wrong.
  int corruptBlock = -1;
  // Bytes of garbage (0xEE) sent before every answer.
  int garbageBefore = 0;
  // Close the terminal for good after this many stored blocks (-1: never),
  // when the next write packet arrives: what an unplugged USB adapter looks
  // like to the tool.
  int hangUpAfterBlocks = -1;
};

struct Options {
  Cable cable = Cable::Qap8;
  std::string linkPath = "/tmp/tarvel-radio";  // symlink to the terminal; empty: none
  std::string flashFile;                       // loaded at start, saved after every stored block
  std::string logFile;                         // every byte both ways, with times, in hex
  unsigned baud = 0;                           // 0: unpaced; else 11 bits per byte both ways
  // A USB adapter's latency timer on the radio's answers: each answer byte
  // is held until the timer has run this long since the first byte held, or
  // until 62 bytes wait, as an FTDI chip holds them. 0: no adapter.
  unsigned adapterLatencyMs = 0;
  // The line runs at another speed than the radio's: every answer byte
  // reaches the tool as a byte the loader never sends.
  bool garble = false;
  Faults faults;
};

struct Stats {
  // Sync bytes (QAP-8) or wake-up frames (QAP-10) taken as a call to
  // synchronise; those ignored while the letter is awaited do not count.
  int syncBytes = 0;
  int writePackets = 0;  // write packets received, accepted or not
  int blocksStored = 0;
  int verifies = 0;
  int readRequests = 0;
  int startPackets = 0;
};

class Radio {
 public:
  // Creates the terminal and starts serving it on a thread of its own.
  // Returns null and sets `error` when the terminal cannot be made.
  static std::unique_ptr<Radio> Start(const Options& options, std::string* error);
  virtual ~Radio() = default;  // stops serving and removes the link

  // The terminal's device path (the slave side) and the link, if any.
  virtual std::string devicePath() const = 0;
  virtual std::string linkPath() const = 0;

  virtual std::array<std::uint8_t, kBlockBytes> block(std::size_t number) const = 0;
  virtual void setBlock(std::size_t number, const std::array<std::uint8_t, kBlockBytes>& data) = 0;
  virtual Stats stats() const = 0;
  // Blocks stored since start, in the order stored.
  virtual std::vector<std::uint16_t> storedBlocks() const = 0;
};

}  // namespace tarvel::sim
