#include "cli/RadioOptions.h"

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

}  // namespace

void AddRadioOptions(CLI::App& command, RadioOptions& options, bool severalPorts) {
  if (severalPorts) {
    command.add_option("-p,--port", options.ports, "Serial device of the cable, e.g. /dev/ttyUSB0; once per radio")
        ->type_name("DEVICE")
        ->envname("TARVEL_PORT");
  } else {
    command.add_option("-p,--port", options.port, "Serial device of the cable, e.g. /dev/ttyUSB0")
        ->required()
        ->type_name("DEVICE")
        ->envname("TARVEL_PORT");
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
          ->default_str(std::string(FactsOf(Cable::Qap8).name));
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
      ->default_str("38400");
  command.add_flag("--rts-pulse", options.rtsPulse, "Pulse RTS before the QAP-10 start packet");
  command.add_option("--trace", options.traceFile, "Log every byte sent and received to FILE")->type_name("FILE");
  command.add_flag("-q,--quiet", options.quiet, "No progress display");
  AddJsonFlag(command, options.json);
  command.add_option("--record", options.record,
                     "Append the run's JSON object, with the host name, as one line to FILE (JSON Lines)")
      ->type_name("FILE")
      ->envname("TARVEL_RECORD");
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

}  // namespace tarvel::cli
