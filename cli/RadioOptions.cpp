#include "cli/RadioOptions.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "base/FileIo.h"
#include "cli/Commands.h"
#include "run/ExitCodes.h"
#include "cli/Terminal.h"
#include "diagnosis/Doctor.h"
#include "serial/PortList.h"

namespace tarvel::cli {

namespace {

// The cables' names or labels, or their speeds, joined for a help line.
std::string CableNames(std::string_view CableFacts::*field, std::string_view separator) {
  std::string text;
  for (const CableFacts& facts : kCables) {
    if (!text.empty()) text += separator;
    text += facts.*field;
  }
  return text;
}

// Every cable's speeds: "9600 14400 ... with QAP-8; 38400 115200 with QAP-10".
std::string AllSpeeds() {
  std::string text;
  for (const CableFacts& facts : kCables) {
    if (&facts != &kCables.front()) text += "; ";
    for (unsigned speed : facts.speeds) text += std::to_string(speed) + ' ';
    text += "with " + std::string(facts.label);
  }
  return text;
}

std::string SpeedHelp() {
  std::string text = "Line speed:";
  for (const CableFacts& facts : kCables) {
    if (&facts != &kCables.front()) text += ';';
    for (unsigned speed : facts.speeds) text += ' ' + std::to_string(speed);
    text += " with " + std::string(facts.label);
  }
  return text;
}

// What --help shows as an option's value: the one in force, which the
// environment sets where it names one (saying which variable), else the
// built-in default.
std::string ValueInForce(const char* variable, const std::string& builtIn) {
  const char* value = std::getenv(variable);
  if (value == nullptr || *value == '\0') return builtIn;
  return std::string(value) + " from " + variable;
}

}  // namespace

void AddRadioOptions(CLI::App& command, RadioOptions& options, bool severalPorts) {
  if (severalPorts) {
    command.add_option("-p,--port", options.ports,
                       "Serial device of the cable, e.g. /dev/ttyUSB0; once per radio; without it, the only USB "
                       "serial adapter")
        ->type_name("DEVICE")
        ->envname("TARVEL_PORT")
        ->default_str(ValueInForce("TARVEL_PORT", ""));
  } else {
    command.add_option("-p,--port", options.port,
                       "Serial device of the cable, e.g. /dev/ttyUSB0; without it, the only USB serial adapter")
        ->type_name("DEVICE")
        ->envname("TARVEL_PORT")
        ->default_str(ValueInForce("TARVEL_PORT", ""));
  }
  // The README and the window write QAP-8; scripts write qap8.
  const std::string cables = CableNames(&CableFacts::name, " or ") + " (also " + CableNames(&CableFacts::label, ", ") + ")";
  options.cableOption =
      command
          .add_option_function<std::string>(
              "-c,--cable", [&options](const std::string& name) { options.cable = CableNamed(name).value_or(Cable::Qap8); },
              "Interface cable: " + cables)
          ->transform(CLI::Validator(
              [cables](std::string& value) -> std::string {
                const std::optional<Cable> cable = CableNamed(value);
                if (!cable) return FormatString(StringId::CableUnknown, {value, cables});
                value = std::string(FactsOf(*cable).name);
                return {};
              },
              ""))
          ->type_name(CableNames(&CableFacts::name, "|"))
          ->default_str(ValueInForce("TARVEL_CABLE", std::string(FactsOf(Cable::Qap8).name)));
  options.baudOption = command.add_option("-b,--baud", options.baud, SpeedHelp())
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            unsigned speed = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), speed);
            if (error == std::errc() && end == value.data() + value.size()) return {};
            return FormatString(StringId::SpeedNotNumber, {value, AllSpeeds()});
          },
          ""))
      ->type_name("N")
      ->default_str(ValueInForce("TARVEL_BAUD", "38400"));
  command.add_flag("--rts-pulse", options.rtsPulse, "Pulse RTS before the QAP-10 start packet");
  command.add_option("--trace", options.traceFile, "Log every byte sent and received to FILE")->type_name("FILE");
  command.add_flag("-q,--quiet", options.quiet, "No progress display, on a terminal or in a log");
  command.add_flag("-v,--verbose", options.verbose,
                   "Show the steps on stderr: waking, how the loader answered, each retry and its cause");
  AddJsonFlag(command, options.json);
  command.add_option("--record", options.record,
                     "Append the run's JSON object, with the host name, as one line to FILE (JSON Lines)")
      ->type_name("FILE")
      ->envname("TARVEL_RECORD")
      ->default_str(ValueInForce("TARVEL_RECORD", ""));
  command.add_option("--events", options.events,
                     "Write the run's events (begin, state, progress, retry, end) as JSON Lines to FILE, or to "
                     "stdout with -; with --json too, the object follows the events on stdout, one stream")
      ->type_name("FILE|-");
  AddDatabaseOption(command, options.database);
}

void AddDatabaseOption(CLI::App& command, std::string& database) {
  command.add_option("--database", database,
                     "Also store the record lines in this PostgreSQL database (a libpq connection string or "
                     "service name; the password comes from libpq's password file)")
      ->type_name("URL")
      ->envname("TARVEL_DATABASE")
      ->default_str(ValueInForce("TARVEL_DATABASE", ""));
}

void TakeEnvironmentDefaults(RadioOptions& options) {
  const auto invalid = [](const char* variable, const std::string& value, const char* option) {
    return CLI::ValidationError(FormatString(StringId::EnvironmentValueInvalid, {variable, value, option}));
  };
  const char* cable = std::getenv("TARVEL_CABLE");
  if (cable != nullptr && *cable != '\0' && options.cableOption != nullptr && options.cableOption->count() == 0) {
    const std::optional<Cable> named = CableNamed(cable);
    if (!named) throw invalid("TARVEL_CABLE", cable, "--cable");
    options.cable = *named;
  }
  const char* baud = std::getenv("TARVEL_BAUD");
  if (baud != nullptr && *baud != '\0' && options.baudOption != nullptr && options.baudOption->count() == 0) {
    const std::string_view text(baud);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) throw invalid("TARVEL_BAUD", baud, "--baud");
    options.baud = value;
  }
}

RadioFacts DescribeRadio(const RadioOptions& options) {
  return DescribeRadio(RadioLine{options.port, options.cable, options.baud});
}

std::string CheckRate(const RadioOptions& options) {
  if (SpeedOffered(options.cable, options.baud)) return {};
  return "--baud " + std::to_string(options.baud) + " is not offered with " + std::string(FactsOf(options.cable).label) +
         " (" + SpeedList(options.cable) + ")";
}

RadioJob JobOf(const RadioOptions& options, const std::string& otherFile, const std::atomic<bool>* stop,
               const std::string& port) {
  RadioJob job;
  job.port = port.empty() ? options.port : port;
  job.cable = options.cable;
  job.baud = options.baud;
  job.rtsPulse = options.rtsPulse;
  job.trace = options.traceFile;
  job.otherFile = otherFile;
  job.stop = stop;
  return job;
}

std::vector<NamedFile> RunFiles(const RadioOptions& options, std::size_t radios, NamedFile other) {
  std::vector<NamedFile> files{std::move(other)};
  if (options.traceFile.empty()) return files;
  if (radios <= 1) {
    files.push_back({"--trace", options.traceFile});
  } else {
    for (std::size_t i = 0; i < radios; ++i) {
      files.push_back({"--trace", options.traceFile + "-" + std::to_string(i)});
    }
  }
  return files;
}

bool ShowProgress(const RadioOptions& options) { return !options.quiet && StderrIsTerminal(); }

ProgressStyle ProgressStyleOf(const RadioOptions& options) {
  if (options.quiet) return ProgressStyle::Off;
  return StderrIsTerminal() ? ProgressStyle::Redraw : ProgressStyle::Plain;
}

RunSteps StepsOf(const RadioOptions& options) {
  return RunSteps(!options.quiet && !StderrIsTerminal(), options.verbose, options.port, options.cable, options.baud);
}

std::vector<PortInfo> PortsToPickFrom() {
#ifdef TARVEL_TEST_SEAMS
  if (const char* list = std::getenv("TARVEL_TEST_PORT_LIST")) {
    std::vector<PortInfo> ports;
    const std::string text(list);
    for (std::size_t start = 0; start <= text.size();) {
      const std::size_t end = std::min(text.find(',', start), text.size());
      std::string name = text.substr(start, end - start);
      start = end + 1;
      if (name.empty()) continue;
      PortInfo& port = ports.emplace_back();
      if (name.front() == '!') {
        name.erase(0, 1);
      } else {
        port.vendorId = "0403";
        port.productId = "6001";
      }
      port.device = name;
    }
    return ports;
  }
#endif
  return ListSerialPorts();
}

std::string OnlyUsbPort(const std::vector<PortInfo>& ports) {
  std::vector<const PortInfo*> usb;
  for (const PortInfo& port : ports) {
    if (!port.vendorId.empty()) usb.push_back(&port);
  }
  // A port of the board or a second adapter may be the radio's as well:
  // guessing between them could wake the wrong device.
  if (usb.size() == 1) return usb.front()->device;
  if (ports.empty()) throw CLI::ValidationError(std::string(LoadString(StringId::NoPortNoneFound)));
  std::string names;
  for (const PortInfo& port : ports) names += (names.empty() ? "" : ", ") + port.device;
  throw CLI::ValidationError(FormatString(StringId::NoPortSeveralFound, {names}));
}

void PickTheOnlyPort(RadioOptions& options) {
  if (!options.port.empty() || !options.ports.empty()) return;
  options.port = OnlyUsbPort(PortsToPickFrom());
  options.ports = {options.port};
  std::fprintf(stderr, "%s\n", FormatString(StringId::OnlySerialPort, {options.port}).c_str());
  std::fflush(stderr);
}

}  // namespace tarvel::cli
