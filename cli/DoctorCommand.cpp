// `tarvel-cli doctor`: walks the chain from the port to the loader and
// stops at the first broken link, naming the cause and what to do. It
// synchronises and reads block 000 at most; nothing is written to the flash.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "base/FileIo.h"
#include "base/OutputFile.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "cli/RadioOptions.h"
#include "run/RadioDoctor.h"
#include "serial/TracingPort.h"

namespace tarvel::cli {

namespace {

const char* Mark(FindingId id) {
  if (IsBroken(id)) return "FAIL";
  return id == FindingId::LateReplies || id == FindingId::CableUntold ? "warn" : "ok";
}

int RunDoctorCommand(const RadioOptions& options) {
  CommandRun run("doctor", options.output());
  RunResult& result = run.result();
  result.radio = DescribeRadio(options);
  if (!run.openRecord(RunFiles(options, 1))) return run.finish();
  run.beginRadio("diagnosis", NoObserver());
  DoctorRequest request;
  request.port = options.port;
  request.cable = options.cable;
  request.baud = options.baud;
  // One trace for every conversation of the walk, in their order.
  const std::unique_ptr<PortOpener> systemPorts = MakeSystemPortOpener();
  PortOpener* opener = systemPorts.get();
  OutputFile traceFile;
  std::ofstream traceStream;
  std::unique_ptr<TracingOpener> tracing;
  if (!options.traceFile.empty()) {
    OutputError error;
    if (traceFile.open(options.traceFile, {}, error)) {
      traceStream.open(fileio::PathOf(traceFile.temporaryPath()), std::ios::out | std::ios::trunc);
      if (!traceStream) error = {OutputProblem::System, options.traceFile + ": " + std::strerror(errno)};
    }
    if (error.problem != OutputProblem::None) {
      // As the other radio commands say it.
      if (error.problem == OutputProblem::System) {
        run.fail(kExitUsage, std::string(LoadString(StringId::TraceCannotBeCreated)), error.text);
      } else {
        run.fail(kExitUsage, TerminalText(LoadString(RefusalMessage(error.problem))), "--trace " + error.text);
      }
      return run.finish();
    }
    tracing = std::make_unique<TracingOpener>(*systemPorts, traceStream);
    opener = tracing.get();
  }
  const std::vector<Finding> findings = RunDoctor(request, ThisSystem(), opener);
  if (tracing) {
    tracing.reset();
    traceStream.close();
    OutputError error;
    if (!traceStream || !traceFile.commit(error)) {
      std::fprintf(stderr, "tarvel-cli: the trace was not written: %s\n",
                   error.text.empty() ? options.traceFile.c_str() : error.text.c_str());
    }
  }

  for (const Finding& finding : findings) {
    if (!options.stdoutTaken()) {
      std::printf("%-5s %-16s %s\n", Mark(finding.id), FindingName(finding.id), finding.text.c_str());
      if (!finding.hint.empty()) std::printf("%22s%s\n", "", finding.hint.c_str());
    }
  }
  // A record line of its own kind: a diagnosis is no unit written.
  result.fields["job"] = "diagnosis";
  result.fields["diagnosis"] = DiagnosisJson(findings);
  const Finding* broken = FirstBroken(findings);
  const Finding* last = findings.empty() ? nullptr : &findings.back();
  if (broken != nullptr) {
    result.exitCode = FindingExitCode(broken->id);
    result.message = broken->text;
    // The listing above shows the hint already.
    if (options.json) result.hint = broken->hint;
  } else if (last != nullptr) {
    result.message = last->text;
  }
  return run.finish();
}

}  // namespace

void AddDoctorCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<RadioOptions>();
  CLI::App* command = app.add_subcommand(
      "doctor", "Find why a radio does not answer: the port, the adapter, the loader; writes nothing");
  AddRadioOptions(*command, *options);
  command->callback([options, &exitCode] {
    TakeEnvironmentDefaults(*options);
    if (const std::string problem = CheckRate(*options); !problem.empty()) throw CLI::ValidationError(problem);
    PickTheOnlyPort(*options);
    exitCode = RunDoctorCommand(*options);
  });
}

}  // namespace tarvel::cli
