// `tarvel-cli doctor`: walks the chain from the port to the loader and
// stops at the first broken link, naming the cause and what to do. It
// synchronises at most; nothing is written to the flash.
#include <cstdio>
#include <memory>

#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "cli/RadioOptions.h"
#include "run/RadioDoctor.h"

namespace tarvel::cli {

namespace {

const char* Mark(FindingId id) {
  if (IsBroken(id)) return "FAIL";
  return id == FindingId::LateReplies ? "warn" : "ok";
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
  const std::vector<Finding> findings = RunDoctor(request, ThisSystem());

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
