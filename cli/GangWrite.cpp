#include "cli/GangWrite.h"

#include <algorithm>
#include <utility>

#include "station/ExitCodes.h"
#include "cli/RadioRun.h"
#include "station/SideBySide.h"

namespace tarvel::cli {

namespace {

void RunOne(const std::string& port, std::size_t index, std::size_t count, const GangJob& job,
            RadioProgress& progress, RunResult& result) {
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

  // Kept for the table, never printed: no worker writes across the lines.
  TerminalMessages messages(false, false);
  OutputError error;
  auto session = RadioSession::Create(options, messages, job.file ? job.file->path : std::string(), error);
  if (!session) {
    result.exitCode = kExitUsage;
    std::tie(result.message, result.detail) = RadioSession::FailureText(error);
    return;
  }
  if (!job.file) {
    SyncRadio(*session, options, messages, result);
    return;
  }
  // The write's report comes (unprinted) as its last block is acknowledged.
  messages.setBeforePrint([&progress, &job](bool report) {
    if (!report) return;
    progress.blocksDone.store(job.transfer.blocksTotal, std::memory_order_relaxed);
    if (job.transfer.verify) progress.phase.store(RadioProgress::kVerifying, std::memory_order_relaxed);
  });
  BlockProgressUi ui(progress.blocksDone,
                     [&progress] { progress.phase.store(RadioProgress::kWriting, std::memory_order_relaxed); });
  WriteRadio(*session, ui, *job.file, options, messages, result);
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
        RunOne(ports[i], i, ports.size(), job, progress[i], results[i]);
        results[i].elapsedMs = static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
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
