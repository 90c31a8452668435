// Writing one SFL file into several radios side by side (or checking their
// connection): a worker thread per port, each with a loader context of its
// own (port, packet buffer, sums); the file is read and checked once and
// only read by the workers. A radio that fails never stops or slows the
// others.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/RadioOptions.h"
#include "run/EventStream.h"
#include "run/RunResult.h"
#include "firmware/WriteProcedure.h"

namespace tarvel::cli {

// How far one radio has got, written by its worker and read by whoever
// draws the live lines.
struct RadioProgress {
  enum Phase : int { kWaiting, kConnecting, kWriting, kVerifying, kDone };
  std::atomic<int> phase{kWaiting};
  std::atomic<int> blocksDone{0};
  std::atomic<int> blocksTotal{0};
  std::atomic<std::uint32_t> writingMs{0};  // the write's time when blocksDone was set
  // The read-back: blocks compared of those the file holds.
  std::atomic<int> verifyDone{0};
  std::atomic<int> verifyTotal{0};
};

struct GangJob {
  std::string command;  // "write" or "sync": each radio's result is that command's
  RadioOptions radio;   // every radio's options; the port is each worker's own
  // The file to write; null: only wake and synchronise each loader.
  const CheckedSflFile* file = nullptr;
  TransferFacts transfer;        // the file's facts, where each radio's start
  Json fields = Json::object();  // added to every radio's object (the round)
  std::vector<std::string> serials;  // each port's radio's serial number; empty: none
  // The run's stop request: a stop ends every radio after its exchange.
  const std::atomic<bool>* stop = nullptr;
  // Each radio's begin, state, progress, retry and end; null: none.
  EventStream* events = nullptr;
  // On the radio's worker, once its result is whole, before its end event.
  std::function<void(RunResult&)> finishRadio;
};

// What the caller learns while the radios are written.
struct GangWatch {
  // On radio `index`'s worker thread, as the worker ends.
  std::function<void(std::size_t index)> radioEnded;
  // On the calling thread, every `tickInterval` and as soon as a radio ends.
  std::function<void()> tick;
  std::chrono::milliseconds tickInterval{100};
};

// Writes `job.file` into (or syncs with) every port of `ports` at once and
// returns when every worker has ended, each port closed. `progress` and
// `results` have one entry per port; results[i] is complete once
// progress[i].phase reads kDone.
void WriteRadios(const std::vector<std::string>& ports, const GangJob& job, std::vector<RadioProgress>& progress,
                 std::vector<RunResult>& results, const GangWatch& watch = {});

// 0 when every radio succeeded, else the first failure's in port order.
int GangExitCode(const std::vector<RunResult>& results);

// The same port named twice (also through a link or a relative path):
// returns the name given second, or nothing.
std::optional<std::string> RepeatedPort(const std::vector<std::string>& ports);

}  // namespace tarvel::cli
