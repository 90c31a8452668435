// The options every radio command shares, and the loader context built
// from them on the real port layer.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/Clock.h"
#include "base/OutputFile.h"
#include "base/UiPump.h"
#include "cli/CommandRun.h"
#include "cli/StopSignals.h"
#include "cli/TerminalMessages.h"
#include "diagnosis/Finding.h"
#include "diagnosis/LineWatch.h"
#include "station/RadioDiagnosis.h"
#include "loader/LoaderContext.h"
#include "serial/SerialPort.h"
#include "serial/TracingPort.h"
#include "trust/FileTrust.h"

namespace tarvel::cli {

struct RadioOptions {
  std::string port;
  // Every -p of a command that takes several (write, sync), in order.
  std::vector<std::string> ports;
  Cable cable = Cable::Qap8;
  unsigned baud = 38400;
  bool rtsPulse = false;
  std::string traceFile;
  bool quiet = false;
  bool json = false;
  std::string record;
  // The folder manifest's keys and whether it is required (write only).
  TrustOptions trust;
  // Where -c and -b were given, if at all: their environment defaults are
  // taken only when they were not.
  const CLI::Option* cableOption = nullptr;
  const CLI::Option* baudOption = nullptr;

  OutputOptions output() const { return {json, record}; }
};

// Adds -p/--port (with its TARVEL_PORT default), -c/--cable, -b/--baud
// (see TakeEnvironmentDefaults), --rts-pulse, --trace,
// -q/--quiet, --json, --record (TARVEL_RECORD). With `severalPorts`, -p may
// be given once per radio and fills `ports`, and is not required (a ports
// file may name them instead).
void AddRadioOptions(CLI::App& command, RadioOptions& options, bool severalPorts = false);

// TARVEL_CABLE and TARVEL_BAUD where -c and -b were not given. Throws
// CLI::ValidationError, naming the variable, when a value that is used is
// not valid; a value the command line overrides is never looked at.
void TakeEnvironmentDefaults(RadioOptions& options);

// The port as given, the device behind it and its USB facts.
RadioFacts DescribeRadio(const RadioOptions& options);

// The run's hint and its "diagnosis" array from those findings.
void AddRadioDiagnosis(RunResult& result, StringId failure, const RadioOptions& options, const LineWatch& watch,
                       const std::string& detail);

// The rates the window offers for the cable; another rate is a usage error.
// Returns the error text, or empty when the rate is offered.
std::string CheckRate(const RadioOptions& options);

// Everything one conversation needs, on the real port layer, with Ctrl-C
// (and SIGTERM, SIGHUP) as the context's stop request while it lives.
class RadioSession {
 public:
  // `messages` must outlive the session. Fails (returns null, `error` set)
  // when the trace file is refused (`refusal`: 130 or 131; it may not be
  // `otherFile`, the run's SFL file) or cannot be created.
  static std::unique_ptr<RadioSession> Create(const RadioOptions& options, MessageDisplay& messages,
                                              std::string_view otherFile, OutputError& error);
  // What a failed Create says: the message and its detail.
  static std::pair<std::string, std::string> FailureText(const OutputError& error);
  // Create; when it fails, the run says why (exit code 2).
  static std::unique_ptr<RadioSession> CreateOrFail(const RadioOptions& options, MessageDisplay& messages,
                                                    CommandRun& run, std::string_view otherFile = {});
  // The trace, when there is one, replaces its file only now.
  ~RadioSession();
  RadioSession(const RadioSession&) = delete;
  RadioSession& operator=(const RadioSession&) = delete;

  LoaderContext& context() { return *context_; }
  // What the line did: a failed synchronisation's diagnosis reads it.
  const LineWatch& lineWatch() const { return lineWatch_; }
  // The exit code of a run that a signal stopped, 0 when none came.
  int stopExitCode() const { return stop_.exitCode(); }

 private:
  RadioSession() = default;
  StopSignals stop_;  // nests in the run's own when there is one
  SteadyClock clock_;
  NoUiPump pump_;
  std::unique_ptr<PortOpener> system_ = MakeSystemPortOpener();
  OutputFile traceFile_;
  std::ofstream traceStream_;
  std::unique_ptr<TracingOpener> tracing_;
  LineWatch lineWatch_;
  std::unique_ptr<WatchingOpener> watching_;
  std::unique_ptr<LoaderContext> context_;
};

// The trace files of a run over `radios` ports (FILE-0, FILE-1, ... when
// there are several), with `other` (the file to write, or the output)
// first, to be kept apart from each other and from the record.
std::vector<NamedFile> RunFiles(const RadioOptions& options, std::size_t radios, NamedFile other = {});

// Progress is shown on stderr when it is a terminal and --quiet is not given.
bool ShowProgress(const RadioOptions& options);

}  // namespace tarvel::cli
