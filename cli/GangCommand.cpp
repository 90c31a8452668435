#include "cli/GangCommand.h"

#include <cstdio>
#include <algorithm>
#include <iostream>
#include <mutex>

#include "base/FileIo.h"
#include "run/ExitCodes.h"
#include "cli/GangWrite.h"
#include "cli/RadioLines.h"
#include "cli/RadioRun.h"
#include "cli/StopSignals.h"
#include "cli/Terminal.h"

namespace tarvel::cli {

namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// One round: every radio written (or synced) at once, with a line per radio
// meanwhile (redrawn on a terminal, else as each ends). Returns the results
// in the ports' order.
std::vector<RunResult> RunRound(const std::vector<std::string>& ports, const GangJob& job, bool live,
                                bool endLines) {
  std::vector<RadioProgress> progress(ports.size());
  std::vector<RunResult> results(ports.size());
  LiveLines lines(stderr);
  std::mutex printing;
  const auto lineOf = [&](std::size_t i) {
    const bool ended = progress[i].phase.load() == RadioProgress::kDone;
    return RadioLineText(ports[i], progress[i], ended ? &results[i] : nullptr);
  };
  const auto drawAll = [&] {
    std::vector<std::string> text;
    for (std::size_t i = 0; i < ports.size(); ++i) text.push_back(lineOf(i));
    lines.draw(text, StderrColumns());
  };
  GangWatch watch;
  if (live) {
    watch.tick = drawAll;
  } else if (endLines) {
    watch.radioEnded = [&](std::size_t i) {
      const std::lock_guard lock(printing);
      std::fprintf(stderr, "%s\n", lineOf(i).c_str());
      std::fflush(stderr);
    };
  }
  WriteRadios(ports, job, progress, results, watch);
  if (live) drawAll();
  return results;
}

// Waits for the next set of radios: true on a line other than "q".
bool NextRound(int round) {
  std::fprintf(stderr, "%s\n", FormatString(StringId::NextRoundPrompt, {std::to_string(round)}).c_str());
  std::fflush(stderr);
  std::string line;
  if (!std::getline(std::cin, line)) return false;
  return Trimmed(line) != "q";
}

// Each port's serial number, typed at the terminal (a scanner types it
// there too). Enter alone asks again: no radio is written without one.
enum class SerialsAsked { All, Ended, NoTerminal };
SerialsAsked AskSerials(const std::vector<std::string>& ports, std::vector<std::string>& serials) {
  serials.clear();
  for (const std::string& port : ports) {
    for (;;) {
      std::string line;
      switch (AskTerminal(FormatString(StringId::AskSerialPrompt, {port}), line)) {
        case TerminalAnswer::NoTerminal: return SerialsAsked::NoTerminal;
        case TerminalAnswer::Ended: return SerialsAsked::Ended;
        case TerminalAnswer::Line: break;
      }
      line = Trimmed(line);
      if (serials.empty() && line == "q") return SerialsAsked::Ended;
      if (!line.empty()) {
        serials.push_back(line);
        break;
      }
      std::fprintf(stderr, "%s\n", std::string(LoadString(StringId::AskSerialNeeded)).c_str());
    }
  }
  return SerialsAsked::All;
}

// The round that the prompts ended (q, the end of input, a stop) wrote no
// radio: which were asked for and which not.
int EndedRound(const std::string& command, const RadioOptions& radio, const std::vector<std::string>& ports,
               const std::vector<std::string>& serials, int round, bool repeat, int exitCode) {
  CommandRun run(command, {radio.json, {}});
  RunResult& result = run.result();
  result.exitCode = exitCode;
  result.message = FormatString(StringId::AskSerialEnded, {std::to_string(round)});
  if (repeat) result.fields["round"] = round;
  Json asked = Json::array();
  Json notAsked = Json::array();
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (i < serials.size()) {
      asked.push_back({{"port", ports[i]}, {"serial", serials[i]}});
    } else {
      notAsked.push_back(ports[i]);
    }
  }
  result.fields["written"] = Json::array();
  result.fields["asked"] = std::move(asked);
  result.fields["not_asked"] = std::move(notAsked);
  std::fprintf(stderr, "%s\n", result.message.c_str());
  return run.finish();
}

// Below the table: what each radio that failed said beyond its result.
void PrintFailures(const std::vector<RunResult>& results) {
  for (const RunResult& r : results) {
    const std::string& port = r.radio->port;
    if (!r.detail.empty()) std::fprintf(stderr, "%s: %s\n", port.c_str(), OneLine(r.detail).c_str());
    if (!r.hint.empty()) std::fprintf(stderr, "%s: hint: %s\n", port.c_str(), r.hint.c_str());
  }
}

// The same rules as for a file to write: a regular file, never waited for,
// and small; a line longer than any port's name is not a list of ports.
constexpr std::size_t kPortsFileMaxBytes = std::size_t{1} << 20;
constexpr std::size_t kPortsFileMaxLineBytes = 4096;

void ReadPortsFile(const std::string& path, std::vector<std::string>& ports) {
  std::string text;
  std::string reason;
  if (!fileio::ReadRegularFile(path, kPortsFileMaxBytes, text, reason)) {
    throw CLI::ValidationError(FormatString(StringId::PortsFileUnreadable, {path, reason}));
  }
  // Editors on Windows start a UTF-8 file with a byte order mark.
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size() && ports.size() <= kMaxRadios;) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (line.size() > kPortsFileMaxLineBytes) {
      throw CLI::ValidationError(FormatString(StringId::PortsFileLineTooLong,
                                              {path, std::to_string(number), std::to_string(kPortsFileMaxLineBytes)}));
    }
    // The system would open the name cut at the NUL, under another name.
    if (line.find('\0') != std::string::npos) {
      throw CLI::ValidationError(FormatString(StringId::PortsFileLineNul, {path, std::to_string(number)}));
    }
    const std::string port = Trimmed(line.substr(0, line.find('#')));
    if (!port.empty()) ports.push_back(port);
  }
}

}  // namespace

void AddGangOptions(CLI::App& command, GangOptions& options) {
  command.add_option("--ports-file", options.portsFile, "Also every port listed in FILE (one a line, # comments)")
      ->type_name("FILE");
  command.add_flag("--repeat", options.repeat,
                   "After a round, wait for Enter (a line on stdin) and do the next radios; q ends");
}

std::vector<std::string> TakeGangPorts(RadioOptions& radio, const GangOptions& options) {
  std::vector<std::string> ports = radio.ports;
  if (!options.portsFile.empty()) ReadPortsFile(options.portsFile, ports);
  if (ports.empty()) throw CLI::ValidationError(std::string(LoadString(StringId::NoPortForLine)));
  if (ports.size() > kMaxRadios) {
    throw CLI::ValidationError(FormatString(StringId::TooManyPorts, {std::to_string(kMaxRadios)}));
  }
  if (const auto twice = RepeatedPort(ports)) {
    throw CLI::ValidationError(FormatString(StringId::PortNamedTwice, {*twice}));
  }
  radio.port = ports.front();
  return ports;
}

bool RunsAsGang(const std::vector<std::string>& ports, const GangOptions& options) {
  return ports.size() > 1 || !options.portsFile.empty() || options.repeat;
}

int RunGang(const std::string& command, const RadioOptions& radio, const std::vector<std::string>& ports,
            const GangOptions& options, const std::string& file, bool verify) {
  GangJob job;
  job.command = command;
  job.radio = radio;
  CheckedSflFile checked;
  std::optional<SflFileProblem> problem;
  std::optional<SflFileProblem> warning;
  if (command == "write") {
    // Read and checked once, before any radio is touched.
    problem = LoadFileToWrite(file, verify, radio.trust, checked, job.transfer, warning);
    job.file = &checked;
  }
  // One for the whole run: every worker's session shares its request.
  const StopSignals stop;
  job.stop = &stop.request();
  job.finishRadio = [&stop](RunResult& one) { ApplyStopSignal(stop, one); };
  // One stream for every round, opened by the first once its files are
  // known to be apart.
  std::unique_ptr<EventStream> events;
  const bool live = ShowProgress(radio);
  int exitCode = kExitOk;
  for (int round = 1;; ++round) {
    if (options.askSerial && !problem) {
      // The serial numbers are the wait for the next radios: "q" or the end
      // of input ends with the exit code so far, a stop with its own.
      const SerialsAsked asked = AskSerials(ports, job.serials);
      if (asked == SerialsAsked::NoTerminal && round == 1 && job.serials.empty()) {
        CommandRun refused(command, radio.output());
        refused.fail(kExitUsage, "tarvel-cli: " + std::string(LoadString(StringId::AskSerialNoTerminal)));
        return refused.finish();
      }
      if (asked != SerialsAsked::All) {
        if (stop.exitCode() != 0) exitCode = stop.exitCode();
        // Said when nothing else says it: no round yet, a round cut short, a stop.
        if (round == 1 || !job.serials.empty() || stop.exitCode() != 0) {
          return EndedRound(command, radio, ports, job.serials, round, options.repeat, exitCode);
        }
        break;
      }
    }
    CommandRun run(command, radio.output(), events.get());
    RunResult& result = run.result();
    if (options.repeat) job.fields["round"] = round;
    result.fields = job.fields;
    const NamedFile input = command == "write" ? NamedFile{"the file to write", file} : NamedFile{};
    if (!run.openRecord(RunFiles(radio, ports.size(), input))) return run.finish();
    if (!events) events = run.keepEvents();
    job.events = events.get();
    if (problem) {
      TerminalMessages messages(!radio.stdoutTaken());
      RefuseFile(*problem, messages, result);
      return run.finish();
    }
    if (warning && round == 1) {
      TerminalMessages(!radio.stdoutTaken()).showMessage(warning->id, MessageIcon::Exclamation, warning->detail);
    }
    result.radios = RunRound(ports, job, live, !radio.quiet);
    for (RunResult& one : result.radios) ApplyStopSignal(stop, one);
    if (!radio.stdoutTaken()) {
      std::printf("%s", FormatRadioTable(result.radios).c_str());
      std::fflush(stdout);
    }
    PrintFailures(result.radios);
    result.exitCode = GangExitCode(result.radios);
    std::size_t failed = 0;
    for (const RunResult& r : result.radios) failed += r.exitCode != kExitOk;
    result.message = failed == 0 ? FormatString(StringId::RadiosSucceeded, {std::to_string(ports.size())})
                                 : FormatString(StringId::RadiosFailed,
                                                {std::to_string(failed), std::to_string(ports.size())});
    if (!radio.stdoutTaken()) std::printf("%s\n", result.message.c_str());
    const int roundCode = run.finish();
    if (exitCode == kExitOk) exitCode = roundCode;
    // A stop ends the rounds too, with its own exit code, as the radios it
    // stopped carry it: an earlier round's failure does not hide it.
    if (stop.exitCode() != 0) return stop.exitCode();
    if (!options.repeat) break;
    if (!options.askSerial && !NextRound(round)) break;
  }
  // A stop while waiting for the next round ends with its code too.
  return stop.exitCode() != 0 ? stop.exitCode() : exitCode;
}

}  // namespace tarvel::cli
