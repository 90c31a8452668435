// `tarvel-cli write FILE.sfl --port PATH`: the WRITE button for scripts and
// production lines; several -p (or --ports-file) write a line of radios.
#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>

#include "base/Strings.h"
#include "cli/Commands.h"
#include "records/FactoryQueries.h"
#include "run/ExitCodes.h"
#include "run/UnitWatch.h"
#include "cli/GangCommand.h"
#include "cli/ProgressLine.h"
#include "cli/RadioOptions.h"
#include "cli/RadioRun.h"

namespace tarvel::cli {

namespace {

struct WriteOptions {
  RadioOptions radio;
  GangOptions gang;
  std::string file;
  bool verify = false;
  std::string serial;  // the radio's serial number, for the record
  bool rewrite = false;  // write a serial number that passed before
  // --wait: the port appearing (Insert) or the loader answering (Answer)
  // comes before the write; none: the write starts at once.
  std::optional<StartMode> wait;
  std::optional<double> timeout;  // seconds; none: as long as it takes
};

// Waits for the radio as a station's bed does; false when the run ended
// instead (the time-out, a stop signal).
bool WaitForTheRadio(CommandRun& run, const WriteOptions& options, const RadioJob& job, const StopSignals& stop) {
  UnitWatchJob watch;
  watch.mode = *options.wait;
  watch.job = job;
  watch.job.trace.clear();
  if (!options.radio.json && !options.radio.quiet) {
    const StringId waiting = watch.mode == StartMode::Answer ? StringId::WaitingForAnswer : StringId::WaitingForPort;
    std::fprintf(stderr, "tarvel-cli: %s\n", FormatString(waiting, {job.port}).c_str());
  }
  std::optional<std::chrono::milliseconds> timeout;
  if (options.timeout) timeout = std::chrono::milliseconds(static_cast<long long>(*options.timeout * 1000));
  switch (WaitForUnit(watch, timeout, &stop.request())) {
    case WaitEnd::Ready: return true;
    case WaitEnd::TimedOut: {
      std::ostringstream seconds;
      seconds << *options.timeout;
      run.fail(watch.mode == StartMode::Answer ? kExitSync : kExitPort,
               FormatString(StringId::WaitTimedOut, {seconds.str()}), job.port);
      return false;
    }
    case WaitEnd::Stopped: break;
  }
  run.fail(stop.exitCode() != 0 ? stop.exitCode() : kExitStopped, std::string(LoadString(StringId::WaitStopped)));
  return false;
}

// With a database, a serial number that passed before is written again
// only when asked to. False when the run is refused. A database that does
// not answer skips the check, and the record says so.
bool CheckSerialSeen(CommandRun& run, const WriteOptions& options) {
  if (options.serial.empty() || run.database().empty()) return true;
  RunResult& result = run.result();
  std::string reason;
  std::optional<EarlierPass> earlier;
  if (const auto db = ConnectDatabase(run.database(), reason)) earlier = FindEarlierPass(*db, options.serial, reason);
  if (earlier) {
    const std::string text = EarlierPassText(options.serial, *earlier);
    result.fields["serial_check"] = "passed_before";
    result.fields["serial_passed_before"] = text;
    if (options.rewrite) return true;
    result.hint = std::string(LoadString(StringId::SerialRewriteHint));
    run.fail(kExitSerialPassed, text);
    return false;
  }
  result.fields["serial_check"] = reason.empty() ? "new" : "skipped";
  if (!reason.empty()) {
    result.fields["serial_check_reason"] = reason;
    if (!options.radio.json) std::fprintf(stderr, "%s\n", FormatString(StringId::SerialCheckSkipped, {reason}).c_str());
  }
  return true;
}

int RunWrite(const WriteOptions& options) {
  CommandRun run("write", options.radio.output());
  RunResult& result = run.result();
  result.radio = DescribeRadio(options.radio);
  result.radio->serial = options.serial;
  CheckedSflFile file;
  std::optional<SflFileProblem> warning;
  const auto problem =
      LoadFileToWrite(options.file, options.verify, options.radio.trust, file, result.transfer.emplace(), warning);
  if (!run.openRecord(RunFiles(options.radio, 1, {"the file to write", options.file}))) return run.finish();

  TerminalMessages messages(!options.radio.stdoutTaken());
  // A file that would be refused later (missing, not a regular file, no
  // record, damaged) must not leave the radio in its boot loader.
  if (problem) {
    run.beginRadio("write", NoObserver());
    RefuseFile(*problem, messages, result);
    return run.finish();
  }
  if (!CheckSerialSeen(run, options)) return run.finish();
  if (warning) messages.showMessage(warning->id, MessageIcon::Exclamation, warning->detail);
  StopSignals stop;
  ProgressLine line(ProgressStyleOf(options.radio), "Writing");
  // A port closed after no failure closes a write that succeeded: its line
  // shows 100 % before the step says so.
  bool failureShown = false;
  messages.setBeforePrint([&line, &failureShown](bool report) {
    if (report) line.complete({});
    failureShown = failureShown || !report;
    line.finish();
  });
  RunSteps steps = StepsOf(options.radio);
  steps.setBeforePrint([&line, &failureShown](SessionPhase phase) {
    if (phase == SessionPhase::Ended && !failureShown) line.complete({});
    line.finish();
  });
  WriteProgress progress(line);
  TerminalObserver terminal(messages, [&progress](const Progress& p) { progress.progressed(p); }, &steps);
  SessionObserver& observer = run.beginRadio("write", terminal);
  RadioJob job = JobOf(options.radio, options.file, &stop.request());
  job.verify = options.verify;
  job.serial = options.serial;
  if (options.wait && !WaitForTheRadio(run, options, job, stop)) return run.finish();
  WriteRadio(job, file, observer, messages, result);
  line.finish();
  ApplyStopSignal(stop, result);
  return run.finish();
}

}  // namespace

void AddWriteCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<WriteOptions>();
  CLI::App* command = app.add_subcommand("write", "Write an SFL file into the radio's flash");
  command->add_option("file", options->file, "The SFL file to write")->required();
  AddRadioOptions(*command, options->radio, true);
  command->add_flag("--verify", options->verify,
                    "After the write, read every written block back and compare it with the file");
  command->add_option("--serial", options->serial, "The radio's serial number, kept in the JSON object and the record")
      ->type_name("SN");
  command->add_flag("--rewrite", options->rewrite,
                    "Write the radio even when the database says its serial number passed before");
  auto waitText = std::make_shared<std::string>();
  CLI::Option* wait =
      command
          ->add_option("--wait", *waitText,
                       "Before writing, wait for the port to appear, or with 'answer' for the loader to answer "
                       "(a short synchronisation every 2 s)")
          ->expected(0, 1)
          ->type_name("[answer]");
  command->add_option("--timeout", options->timeout, "With --wait: give up after S seconds (exit 3, or 4 with answer)")
      ->type_name("S")
      ->check(CLI::PositiveNumber);
  AddGangOptions(*command, options->gang);
  command->add_flag("--ask-serial", options->gang.askSerial,
                    "Before each round, ask for each port's serial number at the terminal (not stdin); q ends");
  AddTrustOptions(*command, options->radio.trust);
  command->callback([options, &exitCode, wait, waitText] {
    if (wait->count() > 0) {
      if (waitText->empty() || *waitText == "port") options->wait = StartMode::Insert;
      else if (*waitText == "answer") options->wait = StartMode::Answer;
      else throw CLI::ValidationError("--wait takes nothing, 'port' or 'answer', not '" + *waitText + "'");
    } else if (options->timeout) {
      throw CLI::ValidationError("--timeout bounds --wait: give --wait too");
    }
    TakeEnvironmentDefaults(options->radio);
    if (options->wait && options->radio.ports.size() != 1) {
      throw CLI::ValidationError("--wait waits for one radio: give its port with a single -p");
    }
    if (const std::string problem = CheckRate(options->radio); !problem.empty()) {
      throw CLI::ValidationError(problem);
    }
    if (!RunsAsGang(options->radio.ports, options->gang)) PickTheOnlyPort(options->radio);
    const std::vector<std::string> ports = TakeGangPorts(options->radio, options->gang);
    if (!options->serial.empty() && RunsAsGang(ports, options->gang)) {
      throw CLI::ValidationError("--serial names one radio: give it with a single --port");
    }
    if (options->gang.askSerial && !RunsAsGang(ports, options->gang)) {
      throw CLI::ValidationError("--ask-serial asks for each port's radio: give several ports or --repeat");
    }
    exitCode = RunsAsGang(ports, options->gang)
                   ? RunGang("write", options->radio, ports, options->gang, options->file, options->verify)
                   : RunWrite(*options);
  });
}

}  // namespace tarvel::cli
