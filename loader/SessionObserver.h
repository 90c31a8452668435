// What a conversation with a radio tells while it runs: its state, block n
// of N, retries and failures, as values. Every front end subscribes in its
// own way: the window's lamp, bar and boxes, the command line's progress
// line, a station bed's bar, an event stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Failure.h"

namespace tarvel {

// Where a conversation stands. The window's lamp and its Close follow it.
enum class AccessStatus { Idle = 0, Accessing = 1, SyncFailed = 2 };

// m_nStatus keeps the status as an integer; a value of no status reads as
// idle.
constexpr int StatusCode(AccessStatus status) { return static_cast<int>(status); }
constexpr AccessStatus StatusOf(int code) {
  switch (code) {
    case StatusCode(AccessStatus::Accessing): return AccessStatus::Accessing;
    case StatusCode(AccessStatus::SyncFailed): return AccessStatus::SyncFailed;
    default: return AccessStatus::Idle;
  }
}

enum class SessionPhase {
  Started,       // the job has begun; the port is not open yet
  Waking,        // the port is open; the loader is being woken
  Synchronised,  // the loader answered
  Writing,       // blocks go into the flash
  Verifying,     // written blocks are read back and compared
  Reading,       // blocks come out of the flash
  Ended,         // the port is closed, whatever the outcome
};

struct Progress {
  SessionPhase phase = SessionPhase::Started;
  // Writing: the counter of the block in hand (0 for the first record; -1
  // before the first, when only the range is known).
  // Reading and verifying: the blocks done.
  int block = 0;
  // Writing: the blocks the file's size gives room for (what the window's
  // bar counts); reading and verifying: the blocks asked for.
  int blocks = 0;
  int retries = 0;  // blocks re-sent so far
  std::uint32_t elapsedMs = 0;
};

// How the loader answered the synchronisation: the requests it took, for a
// technician who wants to see a slow or a flaky answer.
struct SyncAnswer {
  int wakeUps = 0;  // wake-up requests sent until 0x00 came back
  int letters = 0;  // letter requests sent until 'Z' came back
  std::uint32_t elapsedMs = 0;  // from the first wake-up to the answer
};

// Why a block goes out again.
enum class RetryCause {
  Refused,      // the loader answered another byte than its acknowledgement
  SumDiffers,   // the loader's sum of the block is not the sum sent
  CutShort,     // the loader's sum reply came short or without its acknowledgement
};

struct RetryReason {
  RetryCause cause = RetryCause::Refused;
  std::uint8_t answer = 0;          // Refused: the byte that came
  std::uint16_t loaderSum = 0;      // SumDiffers
  std::uint16_t sentSum = 0;        // SumDiffers
  std::size_t bytes = 0;            // CutShort: the bytes that came
};

class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  // The lamp's state changed.
  virtual void statusChanged(AccessStatus /*status*/) {}
  virtual void progressed(const Progress& /*progress*/) {}
  // A block is sent again.
  virtual void retried(int /*block*/, int /*retries*/) {}
  // ... and why: the attempt before it failed so.
  virtual void retriedBecause(int /*block*/, int /*attempt*/, const RetryReason& /*reason*/) {}
  // The loader answered the synchronisation.
  virtual void synchronised(const SyncAnswer& /*answer*/) {}
  // A failure as it is found, while the port is still open: a window shows
  // its box here, and the conversation goes on (closing the port) once the
  // call returns.
  virtual void failed(const Failure& /*failure*/) {}
  // The job succeeded: its report in the window's words, once the port is
  // closed and the status idle.
  virtual void succeeded(const std::string& /*report*/) {}
};

// Nobody listens.
inline SessionObserver& NoObserver() {
  static SessionObserver none;
  return none;
}

}  // namespace tarvel
