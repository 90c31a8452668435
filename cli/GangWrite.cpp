#include "cli/GangWrite.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "run/ExitCodes.h"
#include "cli/RadioRun.h"
#include "run/SideBySide.h"

namespace tarvel::cli {

namespace {

// One radio's phase and blocks for the live lines, from its session.
class GangProgress final : public SessionObserver {
 public:
  GangProgress(RadioProgress& progress, int blocksTotal) : progress_(progress), blocksTotal_(blocksTotal) {}
  void progressed(const Progress& progress) override {
    if (progress.phase == SessionPhase::Writing && progress.block >= 0) {
      progress_.writingMs.store(progress.elapsedMs, std::memory_order_relaxed);
      progress_.blocksDone.store(progress.block, std::memory_order_relaxed);
      progress_.phase.store(RadioProgress::kWriting, std::memory_order_relaxed);
    } else if (progress.phase == SessionPhase::Verifying) {
      if (progress.blocks == 0) {
        progress_.blocksDone.store(blocksTotal_, std::memory_order_relaxed);
        progress_.phase.store(RadioProgress::kVerifying, std::memory_order_relaxed);
      } else {
        progress_.verifyTotal.store(progress.blocks, std::memory_order_relaxed);
        progress_.verifyDone.store(progress.block, std::memory_order_relaxed);
      }
    }
  }

 private:
  RadioProgress& progress_;
  int blocksTotal_;
};

void RunOne(const std::string& port, std::size_t index, std::size_t count, const GangJob& job,
            RadioProgress& progress, RunResult& result, std::unique_ptr<RadioEvents>& events) {
  RadioOptions options = job.radio;
  options.port = port;
  // Each radio gets a trace of its own: FILE-0, FILE-1, ...
  if (!options.traceFile.empty() && count > 1) options.traceFile += "-" + std::to_string(index);
  result.command = job.command;
  result.radio = DescribeRadio(options);
  if (index < job.serials.size()) result.radio->serial = job.serials[index];
  result.fields = job.fields;
  if (job.file) result.transfer = job.transfer;
  progress.blocksTotal.store(job.transfer.blocksTotal, std::memory_order_relaxed);
  progress.phase.store(RadioProgress::kConnecting, std::memory_order_relaxed);

  // Nothing printed: no worker writes across the lines.
  TerminalMessages messages(false, false);
  RadioJob radio = JobOf(options, job.file ? job.file->path : std::string(), job.stop);
  radio.serial = result.radio->serial;
  if (job.events != nullptr) {
    events = std::make_unique<RadioEvents>(*job.events, port, radio.serial);
    events->begin(job.command, *result.radio, job.file ? &job.transfer : nullptr);
  }
  if (!job.file) {
    SyncRadio(radio, events ? static_cast<SessionObserver&>(*events) : NoObserver(), messages, result);
    return;
  }
  radio.verify = job.transfer.verify;
  GangProgress gang(progress, job.transfer.blocksTotal);
  std::optional<BothObservers> both;
  if (events) both.emplace(gang, *events);
  WriteRadio(radio, *job.file, both ? static_cast<SessionObserver&>(*both) : gang, messages, result);
  progress.blocksDone.store(result.transfer->blocksDone, std::memory_order_relaxed);
}

}  // namespace

void WriteRadios(const std::vector<std::string>& ports, const GangJob& job, std::vector<RadioProgress>& progress,
                 std::vector<RunResult>& results, const GangWatch& watch) {
  SideBySideWatch sideBySide;
  sideBySide.ended = [&](std::size_t i) {
    progress[i].phase.store(RadioProgress::kDone);
    if (watch.radioEnded) watch.radioEnded(i);
  };
  sideBySide.tick = watch.tick;
  sideBySide.tickInterval = watch.tickInterval;
  RunSideBySide(
      ports.size(),
      [&](std::size_t i) {
        const auto start = std::chrono::steady_clock::now();
        results[i].startedAt = std::chrono::system_clock::now();
        std::unique_ptr<RadioEvents> events;
        RunOne(ports[i], i, ports.size(), job, progress[i], results[i], events);
        results[i].elapsedMs = static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        if (job.finishRadio) job.finishRadio(results[i]);
        // The object this radio has in the run's "radios".
        if (events) events->end(ResultJson(results[i]));
      },
      [&](std::size_t i, const std::string& reason) {
        // The system gave no more threads: this radio is left untouched.
        results[i].command = job.command;
        results[i].radio.emplace().port = ports[i];
        results[i].exitCode = kExitUsage;
        results[i].message = "tarvel-cli: no thread for this radio: " + reason;
      },
      sideBySide);
}

int GangExitCode(const std::vector<RunResult>& results) {
  for (const RunResult& result : results) {
    if (result.exitCode != kExitOk) return result.exitCode;
  }
  return kExitOk;
}

std::optional<std::string> RepeatedPort(const std::vector<std::string>& ports) {
  std::vector<std::string> seen;
  for (const std::string& port : ports) {
    std::string id = PortIdentity(port);
    if (std::find(seen.begin(), seen.end(), id) != seen.end()) return port;
    seen.push_back(std::move(id));
  }
  return std::nullopt;
}

}  // namespace tarvel::cli
