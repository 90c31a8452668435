// The options every radio command shares, and the loader context built
// from them on the real port layer.
#pragma once

#include <fstream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "base/Clock.h"
#include "base/UiPump.h"
#include "cli/TerminalMessages.h"
#include "loader/LoaderContext.h"
#include "serial/SerialPort.h"
#include "serial/TracingPort.h"

namespace tarvel::cli {

struct RadioOptions {
  std::string port;
  std::string cable = "qap8";
  unsigned baud = 38400;
  bool rtsPulse = false;
  std::string traceFile;
  bool quiet = false;
  bool json = false;
};

// Adds --port, --cable, --baud, --rts-pulse, --trace, --quiet, --json.
void AddRadioOptions(CLI::App& command, RadioOptions& options);

// The rates the window offers for the cable; another rate is a usage error.
// Returns the error text, or empty when the rate is offered.
std::string CheckRate(const RadioOptions& options);

// Everything one conversation needs, on the real port layer.
class RadioSession {
 public:
  // `messages` must outlive the session. Fails (returns null, `error` set)
  // when the trace file cannot be created.
  static std::unique_ptr<RadioSession> Create(const RadioOptions& options, MessageDisplay& messages,
                                              std::string& error);
  // Create, printing the reason on stderr when it fails.
  static std::unique_ptr<RadioSession> CreateOrReport(const RadioOptions& options, MessageDisplay& messages);

  LoaderContext& context() { return *context_; }

 private:
  RadioSession() = default;
  SteadyClock clock_;
  NoUiPump pump_;
  std::unique_ptr<PortOpener> system_ = MakeSystemPortOpener();
  std::ofstream traceStream_;
  std::unique_ptr<TracingOpener> tracing_;
  std::unique_ptr<LoaderContext> context_;
};

// Progress is shown on stderr when it is a terminal and --quiet is not given.
bool ShowProgress(const RadioOptions& options);

// After a port failure: a line on how to get access when the device exists
// but the user may not open it.
void PrintPortAccessHint(const std::string& port);

}  // namespace tarvel::cli
