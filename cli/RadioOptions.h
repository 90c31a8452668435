// The options every radio command shares, and the session's job made from
// them.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/OutputFile.h"
#include "cli/CommandRun.h"
#include "cli/ProgressLine.h"
#include "cli/RunSteps.h"
#include "run/RadioDiagnosis.h"
#include "run/RadioSession.h"
#include "serial/PortList.h"
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
  bool verbose = false;  // -v: the steps on stderr
  bool json = false;
  std::string record;
  std::string database;  // --database (TARVEL_DATABASE)
  std::string events;  // --events: a file, "-" for stdout; empty: none
  // The folder manifest's keys and whether it is required (write only).
  TrustOptions trust;
  // Where -c and -b were given, if at all: their environment defaults are
  // taken only when they were not.
  const CLI::Option* cableOption = nullptr;
  const CLI::Option* baudOption = nullptr;

  OutputOptions output() const { return {json, record, events, database}; }
  // stdout carries JSON (the object, the events, or both): no text there.
  bool stdoutTaken() const { return json || events == "-"; }
};

// Adds -p/--port (with its TARVEL_PORT default), -c/--cable, -b/--baud
// (see TakeEnvironmentDefaults), --rts-pulse, --trace,
// -q/--quiet, --json, --record (TARVEL_RECORD). With `severalPorts`, -p may
// be given once per radio and fills `ports`, and is not required (a ports
// file may name them instead).
void AddRadioOptions(CLI::App& command, RadioOptions& options, bool severalPorts = false);

// --database URL (TARVEL_DATABASE).
void AddDatabaseOption(CLI::App& command, std::string& database);

// TARVEL_CABLE and TARVEL_BAUD where -c and -b were not given. Throws
// CLI::ValidationError, naming the variable, when a value that is used is
// not valid; a value the command line overrides is never looked at.
void TakeEnvironmentDefaults(RadioOptions& options);

// The port as given, the device behind it and its USB facts.
RadioFacts DescribeRadio(const RadioOptions& options);

// The rates the window offers for the cable; another rate is a usage error.
// Returns the error text, or empty when the rate is offered.
std::string CheckRate(const RadioOptions& options);

// The job of one radio on `port` (the options' own when empty), with the
// run's SFL file or output, which its trace must not name, and the run's
// stop request.
RadioJob JobOf(const RadioOptions& options, const std::string& otherFile, const std::atomic<bool>* stop,
               const std::string& port = {});

// The trace files of a run over `radios` ports (FILE-0, FILE-1, ... when
// there are several), with `other` (the file to write, or the output)
// first, to be kept apart from each other and from the record.
std::vector<NamedFile> RunFiles(const RadioOptions& options, std::size_t radios, NamedFile other = {});

// Progress is shown on stderr when it is a terminal and --quiet is not given.
bool ShowProgress(const RadioOptions& options);
// How progress is shown: in place on a terminal, as plain lines elsewhere,
// not at all with --quiet.
ProgressStyle ProgressStyleOf(const RadioOptions& options);
// The steps of a single radio's run: each state where stderr is not a
// terminal (not with --quiet), and with -v the details too.
RunSteps StepsOf(const RadioOptions& options);

// The serial ports a command may pick from when none is given: this
// machine's, or in a test build those that TARVEL_TEST_PORT_LIST names
// ("PATH,PATH,..."; a PATH that starts with '!' is no USB adapter).
std::vector<PortInfo> PortsToPickFrom();
// The port of a single radio when neither -p, TARVEL_PORT nor a ports file
// names one: the only USB serial adapter of `ports`. Throws
// CLI::ValidationError listing them when there is none or several.
std::string OnlyUsbPort(const std::vector<PortInfo>& ports);
// Fills `options.port` (and `ports`) with OnlyUsbPort(PortsToPickFrom())
// when no port is given, and says so on stderr.
void PickTheOnlyPort(RadioOptions& options);

}  // namespace tarvel::cli
