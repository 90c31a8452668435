// One radio's session: a job in plain values, run once below every front
// end. Each entry point opens the port (through a trace and a watch of the
// line), builds the conversation, runs the procedure, closes, and returns
// one outcome: the failure, the figures and the diagnosis. The command
// line, a station's bed, the doctor, the window's access thread and the
// benchmarks all come through here.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Cable.h"
#include "base/Clock.h"
#include "diagnosis/Finding.h"
#include "diagnosis/LineWatch.h"
#include "firmware/FlashRead.h"
#include "firmware/ReadBack.h"
#include "firmware/WriteProcedure.h"
#include "loader/SessionObserver.h"
#include "run/ExitCodes.h"
#include "serial/SerialPort.h"

namespace tarvel {

struct RadioJob {
  std::string port;
  Cable cable = Cable::Qap8;
  unsigned baud = 38400;
  bool rtsPulse = false;
  bool verify = false;   // a write reads every block back afterwards
  std::string serial;    // the radio's serial number, for the record
  std::string trace;     // a file that gets every byte; empty: none
  std::string otherFile;  // the job's SFL file or output: the trace must not name it
  // Ends a write or a read after the exchange in progress; null: nothing asks.
  const std::atomic<bool>* stop = nullptr;
};

// What a session runs on: the system's ports and a steady clock unless a
// test, a benchmark or the window gives its own.
struct SessionPlatform {
  PortOpener* opener = nullptr;
  Clock* clock = nullptr;
  std::optional<PortTimeouts> timeouts;
  std::optional<std::chrono::milliseconds> waitForInputBound;
  // A sync only: runs once the port is first open (the doctor reads the adapter's
  // latency timer, which the opening may have lowered).
  std::function<void()> afterOpen;
};

struct RadioOutcome {
  JobKind job = JobKind::Write;
  Failure failure;  // kind None: the conversation succeeded
  bool stopped = false;  // the job's stop request ended it
  WriteOutcome write;
  std::optional<ReadBackOutcome> verify;  // a write's read-back, when it ran
  ReadOutcome read;
  // Why the port would not open or the loader would not answer.
  std::vector<Finding> diagnosis;
  LineWatch line;  // what the line did

  bool succeeded() const { return !failure && (!verify || (verify->completed && verify->differences == 0)); }
};

// Writes `file`, then reads it back when the job asks. A failed read-back
// is the outcome's failure; blocks that differ are in `verify`.
RadioOutcome WriteFirmware(const RadioJob& job, const CheckedSflFile& file, SessionObserver& observer,
                           const SessionPlatform& platform = {});
// The same with a file that is read (and refused) only once the loader has
// answered, as the window does with a file it could not check.
RadioOutcome WriteFirmwareFile(const RadioJob& job, const std::string& path, SessionObserver& observer,
                               const SessionPlatform& platform = {});
// Reads blocks 0 … endBlock into `output` through `sink`.
RadioOutcome ReadFirmware(const RadioJob& job, BlockSink& sink, const std::string& output, std::uint16_t endBlock,
                          bool replace, SessionObserver& observer, const SessionPlatform& platform = {});
// Wakes the loader and synchronises with it, writing nothing.
RadioOutcome SyncRadio(const RadioJob& job, SessionObserver& observer, const SessionPlatform& platform = {});
// The same, then one harmless exchange: block 000 is read and dropped. A
// loader that the cable's framing does not reach may still answer the
// synchronisation, but not with a whole block; `read.blocksRead` is 1 when
// the block came.
RadioOutcome SyncAndReadFirstBlock(const RadioJob& job, SessionObserver& observer,
                                   const SessionPlatform& platform = {});

}  // namespace tarvel
