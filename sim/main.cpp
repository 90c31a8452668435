// tarvel-radio-sim: simulated radios on pseudo-terminals, one or a line of
// them, served until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "base/ProgramStart.h"
#include "sim/FaultPlan.h"
#include "sim/SimRadio.h"

namespace {

using tarvel::sim::Faults;

// A fault option whose number may name the radio it applies to.
struct FaultOption {
  const char* name;
  const char* help;
  bool (*set)(Faults&, int);
  std::vector<std::string> values;
};

std::vector<FaultOption> FaultOptions() {
  return {
      {"--refuse-block", "Refuse write packets of this block", [](Faults& f, int n) { return f.refuseBlock = n, true; }, {}},
      {"--refuse-count", "How many of them to refuse (default 1)",
       [](Faults& f, int n) { return f.refuseWrites = n, true; }, {}},
      {"--bad-verify-block", "Report wrong sums for this block",
       [](Faults& f, int n) { return f.badVerifyBlock = n, true; }, {}},
      {"--bad-verify-count", "How many verifies to spoil (default 1)",
       [](Faults& f, int n) { return f.badVerifies = n, true; }, {}},
      {"--bad-verify-byte", "Sum byte to spoil: 1 high, 2 low (default 2)",
       [](Faults& f, int n) { return f.badVerifyByte = n, n == 1 || n == 2; }, {}},
      {"--silent-after", "Fall silent after this many stored blocks",
       [](Faults& f, int n) { return f.silentAfterBlocks = n, true; }, {}},
      {"--sync-after", "Answer the synchronisation only after this many calls",
       [](Faults& f, int n) { return f.syncAfter = n, true; }, {}},
      {"--short-read-block", "Cut the read reply of this block short",
       [](Faults& f, int n) { return f.shortReadBlock = n, true; }, {}},
      {"--short-read-bytes", "Bytes of the cut reply (default 64)",
       [](Faults& f, int n) { return f.shortReadBytes = n, true; }, {}},
      {"--silent-read-block", "Never answer the read of this block",
       [](Faults& f, int n) { return f.silentReadBlock = n, true; }, {}},
      {"--corrupt-block", "Store this block with its first byte changed",
       [](Faults& f, int n) { return f.corruptBlock = n, true; }, {}},
      {"--garbage", "Garbage bytes (0xEE) before every answer",
       [](Faults& f, int n) { return f.garbageBefore = n, true; }, {}},
      {"--hang-up-after", "Close the terminal after this many stored blocks",
       [](Faults& f, int n) { return f.hangUpAfterBlocks = n, true; }, {}},
  };
}

// The faults of each radio from the options' values. Empty, with `error`
// set, when a value is malformed.
std::vector<Faults> FaultsPerRadio(int count, const std::vector<FaultOption>& options,
                                   const std::vector<std::string>& silent, std::string& error) {
  Faults base;
  base.refuseWrites = 1;
  base.badVerifies = 1;
  base.shortReadBytes = 64;
  std::vector<Faults> faults(static_cast<std::size_t>(count), base);
  const auto apply = [&](const std::string& name, const std::string& text, auto set) {
    const auto scoped = tarvel::sim::ParseScopedNumber(text, count);
    bool valid = scoped.has_value();
    for (int radio = 0; valid && radio < count; ++radio) {
      if (scoped->radio < 0 || scoped->radio == radio) valid = set(faults[static_cast<std::size_t>(radio)], scoped->value);
    }
    if (!valid) {
      error = name + " " + text + ": not a valid value (RADIO:NUMBER names radio 0 to " + std::to_string(count - 1) + ")";
    }
    return valid;
  };
  for (const FaultOption& option : options) {
    for (const std::string& value : option.values) {
      if (!apply(option.name, value, option.set)) return {};
    }
  }
  // "--silent" alone silences every radio, "--silent=K" radio K.
  for (const std::string& radio : silent) {
    const std::string text = radio == "all" ? std::string("1") : radio + ":1";
    if (!apply("--silent", text, [](Faults& f, int) { return f.silent = true; })) {
      error = "--silent=" + radio + ": there is no radio " + radio + " (0 to " + std::to_string(count - 1) + ")";
      return {};
    }
  }
  return faults;
}

// Radio `index` of several gets "PATH-index" for each of its files.
std::string Numbered(const std::string& path, int index, bool several) {
  if (path.empty() || !several) return path;
  return path + "-" + std::to_string(index);
}

int Serve(int argc, char** argv) {
  using tarvel::sim::Cable;
  tarvel::sim::Options options;
  std::string cable = "qap8";
  int count = 1;

  CLI::App app{"Simulated radio boot loaders on pseudo-terminals."};
  app.add_option("--link", options.linkPath,
                 "Symbolic link to the terminal (empty: none); with --count, PATH-0 ... PATH-(N-1)")
      ->capture_default_str();
  app.add_option("--count", count, "Serve this many radios, each with its own flash and faults")
      ->check(CLI::Range(1, 64));
  app.add_option("--cable", cable, "Interface cable")
      ->check(CLI::IsMember({"qap8", "qap10"}))
      ->capture_default_str();
  app.add_option("--flash", options.flashFile,
                 "Flash image file: loaded at start, kept up to date (with --count, FILE-0 ...)");
  app.add_option("--log", options.logFile, "Log of every byte both ways (with --count, FILE-0 ...)");
  app.add_option("--baud", options.baud, "Pace both directions at this rate (0: unpaced)")
      ->capture_default_str();
  app.add_option("--adapter-latency", options.adapterLatencyMs,
                 "Hold answers as a USB adapter with this latency timer does, in ms (0: no adapter)")
      ->check(CLI::Range(0, 255))
      ->capture_default_str();
  app.add_flag("--garble", options.garble, "Answer at the wrong speed: bytes that are not the loader's");
  app.footer(
      "With --count, a fault option's value may name the radio it applies to as RADIO:NUMBER\n"
      "(--refuse-block 2:0x10 is radio 2 only; --silent=1 silences radio 1); without RADIO it applies to all.");

  std::vector<FaultOption> faultOptions = FaultOptions();
  for (FaultOption& option : faultOptions) {
    app.add_option(option.name, option.values, std::string(option.help) + " ([RADIO:]NUMBER)");
  }
  std::vector<std::string> silent;
  app.add_flag("--silent{all}", silent, "Never answer anything (--silent=RADIO: only that radio)");
  CLI11_PARSE(app, argc, argv);
  options.cable = cable == "qap10" ? Cable::Qap10 : Cable::Qap8;
  std::string error;
  const std::vector<Faults> faults = FaultsPerRadio(count, faultOptions, silent, error);
  if (faults.empty()) {
    std::cerr << "tarvel-radio-sim: " << error << '\n';
    return 2;
  }

  // Blocked before the serving threads start, so that they inherit the mask
  // and the signals reach sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  const bool several = app.count("--count") > 0;
  std::vector<std::unique_ptr<tarvel::sim::Radio>> radios;
  for (int index = 0; index < count; ++index) {
    tarvel::sim::Options one = options;
    one.linkPath = Numbered(options.linkPath, index, several);
    one.flashFile = Numbered(options.flashFile, index, several);
    one.logFile = Numbered(options.logFile, index, several);
    one.faults = faults[static_cast<std::size_t>(index)];
    auto radio = tarvel::sim::Radio::Start(one, &error);
    if (!radio) {
      std::cerr << "tarvel-radio-sim: " << error << '\n';
      return 1;  // the radios started so far remove their links
    }
    std::cout << "tarvel-radio-sim: serving " << radio->devicePath();
    if (!radio->linkPath().empty()) std::cout << " at " << radio->linkPath();
    std::cout << (options.cable == Cable::Qap10 ? " (QAP-10)" : " (QAP-8)") << std::endl;
    radios.push_back(std::move(radio));
  }

  int received = 0;
  sigwait(&stopSignals, &received);
  radios.clear();  // removes the links
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  tarvel::PrepareStandardStreams();
  try {
    return Serve(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "tarvel-radio-sim: " << e.what() << '\n';
    return 1;
  }
}
