// A production bench: a fixed set of beds, each a radio on a port of its
// own, written with one firmware. The beds, their states, the rounds, the
// counters and the record live here; a window is only a view of them.
//
// Threads: every call here is made on the window's thread, and the view
// hears of every change there too (through its post()). Each started bed
// runs on a thread of its own and touches only its progress counters, so a
// bed that fails or stalls never stops or slows the others.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "firmware/WriteProcedure.h"
#include "records/RecordSender.h"
#include "run/ExitCodes.h"
#include "run/RecordFile.h"
#include "run/RecordHistory.h"
#include "run/RunResult.h"
#include "run/UnitStart.h"
#include "run/UnitWatch.h"
#include "station/StationFile.h"

namespace tarvel {

enum class BedState { Idle, Running, Passed, Failed };

// The last unit a bed wrote.
struct BedResult {
  std::string serial;
  std::string text;       // the program's own result text
  std::string diagnosis;  // a failure's diagnosis line, or empty
  std::string hint;       // what to do about a failure, or empty
  std::uint32_t elapsedMs = 0;
};

struct Bed {
  std::string name;
  std::string port;
  BedState state = BedState::Idle;
  std::string serial;  // the unit in the bed while it runs
  BedResult last;
  // Written by the bed's thread while it runs.
  std::atomic<int> blocksDone{0};
  std::atomic<int> blocksTotal{0};
  // The write is over and its blocks are read back: blocksVerified of
  // blocksTotal.
  std::atomic<bool> verifying{false};
  std::atomic<int> blocksVerified{0};
  std::atomic<bool> changePosted{false};
  // How it starts, and for a bed that starts by itself whether its unit is
  // there, written or not: the window's thread alone touches these.
  BedStartFacts startFacts;
  UnitStart unit;
  std::string refusal;  // why its unit did not start when it came; empty: none

  bool handsFree() const { return startFacts.mode != StartMode::Keys; }
};

class StationView {
 public:
  virtual ~StationView() = default;
  // Any thread: runs `task` on the window's thread after every task posted
  // before it.
  virtual void post(std::function<void()> task) = 0;
  // Window thread: a bed's state, progress or result changed.
  virtual void bedChanged(std::size_t bed) = 0;
  virtual void countersChanged() = 0;
  // Window thread: the last running bed has ended.
  virtual void roundEnded() = 0;
  // Window thread: a bed that starts by itself has its unit there. The
  // serial number to write it with, or none while the unit must wait (the
  // operator has not scanned it yet).
  virtual std::optional<std::string> serialForUnit(std::size_t /*bed*/) { return std::string(); }
};

// Makes the watch of a bed that starts by itself; tests give their own.
using UnitWatchMaker =
    std::function<std::unique_ptr<UnitWatch>(std::size_t bed, const UnitWatchJob& job, std::function<void(UnitSignal)>)>;

class Station {
 public:
  // Counts today's units from the record file.
  Station(StationConfig config, CheckedSflFile firmware, TransferFacts facts, StationView& view,
          UnitWatchMaker makeWatch = {});
  // Stops every bed after its block in progress and waits for them.
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  const StationConfig& config() const { return config_; }
  const TransferFacts& firmware() const { return facts_; }
  std::size_t bedCount() const { return beds_.size(); }
  const Bed& bed(std::size_t index) const { return *beds_[index]; }
  const Tally& session() const { return session_; }
  const Tally& today() const { return today_; }
  bool running() const;
  // "records: N waiting for the database (why)" while lines wait; empty
  // otherwise, and without a database.
  std::string databaseLine() const;

  // Starts every bed that is not running and has a serial number
  // (serials[i]); with `all`, also those without one. A station that
  // requires serial numbers starts nothing while a bed that is not running
  // has none. Nothing, or why nothing started, with the beds whose serial
  // fields are at fault in `marked`. Every bed that is not running and not
  // in the round goes back to idle; a bed started alone leaves the others
  // as they are.
  std::optional<std::string> startRound(const std::vector<std::string>& serials, bool all,
                                        std::vector<std::size_t>* marked = nullptr);
  std::optional<std::string> startBed(std::size_t bed, const std::string& serial,
                                      std::vector<std::size_t>* marked = nullptr);
  // Every running bed ends after the block in progress, saying how far it
  // got; roundEnded() follows. The record says `exitCode` for each bed it
  // stopped: 130 as Ctrl-C, 128 + the signal's number for a signal.
  void stop(int exitCode = kExitStopped);

  // Blocks until every bed has ended; for a window that closes.
  void waitForBeds();

  // The record lines the database sender has still to send, for the
  // metrics (any thread).
  void recordsWaiting(std::int64_t count);
  // The beds that start by themselves begin to watch for their units; a
  // unit there already starts as one that has just come.
  void watchBeds();
  // While paused nothing starts, by the keys or by itself; units that come
  // meanwhile start when it resumes.
  void setPaused(bool paused);
  bool paused() const { return paused_; }
  bool handsFree() const;
  // Starts each bed whose unit is there and waits (for a serial number, or
  // for the end of a pause).
  void startWaitingUnits();

 private:
  std::optional<std::string> start(const std::vector<std::size_t>& beds, const std::vector<std::string>& serials,
                                   std::vector<std::size_t>* marked, bool wholeRound);
  void bedEnded(std::size_t bed, const RunResult& result, const BedResult& shown);
  RunResult writeBed(std::size_t bed, const std::string& serial, BedResult& shown);
  void recordUnit(RunResult& result, std::size_t bed, BedResult& shown);
  void countToday();
  void progressed(std::size_t bed);
  void bedStateChanged(std::size_t bed);
  void postCounters();
  void unitSignalled(std::size_t bed, UnitSignal signal);
  void startUnit(std::size_t bed);

  StationConfig config_;
  CheckedSflFile file_;
  TransferFacts facts_;
  StationView& view_;
  std::vector<std::unique_ptr<Bed>> beds_;
  Tally session_;
  Tally today_;
  std::string todayDate_;  // "YYYY-MM-DD", UTC, as the record's times
  std::string host_;
  std::string operator_;
  std::atomic<bool> stop_{false};
  std::atomic<int> stopExitCode_{kExitStopped};

  std::mutex recordMutex_;
  // Feeds the database from the record file on a thread of its own: a bed
  // only nudges it, and never waits for the network.
  std::unique_ptr<RecordSender> sender_;

  UnitWatchMaker makeWatch_;
  // One per bed; null for a bed started by the keys. Each is held while
  // its bed writes, so that the write has the port.
  std::vector<std::unique_ptr<UnitWatch>> watches_;
  bool paused_ = false;

  int nextRound_ = 0;
  std::map<int, std::thread> rounds_;
  // Tasks posted by the beds' threads do nothing once the station is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace tarvel
