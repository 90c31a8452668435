// `tarvel-cli sync`: wakes the loader and synchronises with it, writing
// nothing: a quick check of the cable, the port and the speed; several -p
// (or --ports-file) check a whole fixture at once.
#include "cli/Commands.h"
#include "cli/GangCommand.h"
#include "cli/RadioOptions.h"
#include "cli/RadioRun.h"

namespace tarvel::cli {

namespace {

int RunSync(const RadioOptions& options) {
  CommandRun run("sync", options.output());
  RunResult& result = run.result();
  result.radio = DescribeRadio(options);
  if (!run.openRecord(RunFiles(options, 1))) return run.finish();
  TerminalMessages messages(!options.stdoutTaken());
  RunSteps steps = StepsOf(options);
  TerminalObserver terminal(messages, {}, &steps);
  SessionObserver& observer = run.beginRadio("sync", terminal);
  StopSignals stop;
  SyncRadio(JobOf(options, {}, &stop.request()), observer, messages, result);
  ApplyStopSignal(stop, result);
  return run.finish();
}

}  // namespace

void AddSyncCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<RadioOptions>();
  auto gang = std::make_shared<GangOptions>();
  CLI::App* command = app.add_subcommand("sync", "Wake the radio's loader and synchronise with it; writes nothing");
  AddRadioOptions(*command, *options, true);
  AddGangOptions(*command, *gang);
  command->callback([options, gang, &exitCode] {
    TakeEnvironmentDefaults(*options);
    if (const std::string problem = CheckRate(*options); !problem.empty()) throw CLI::ValidationError(problem);
    if (!RunsAsGang(options->ports, *gang)) PickTheOnlyPort(*options);
    const std::vector<std::string> ports = TakeGangPorts(*options, *gang);
    exitCode = RunsAsGang(ports, *gang) ? RunGang("sync", *options, ports, *gang, {}, false) : RunSync(*options);
  });
}

}  // namespace tarvel::cli
