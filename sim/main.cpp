// tarvel-radio-sim: a simulated radio on a pseudo-terminal, served until
// SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include "sim/SimRadio.h"

namespace {

int Serve(int argc, char** argv) {
  using tarvel::sim::Cable;
  tarvel::sim::Options options;
  tarvel::sim::Faults& faults = options.faults;
  std::string cable = "qap8";

  CLI::App app{"A simulated radio boot loader on a pseudo-terminal."};
  app.add_option("--link", options.linkPath, "Symbolic link to the terminal (empty: none)")
      ->capture_default_str();
  app.add_option("--cable", cable, "Interface cable")
      ->check(CLI::IsMember({"qap8", "qap10"}))
      ->capture_default_str();
  app.add_option("--flash", options.flashFile,
                 "Flash image file: loaded at start, kept up to date");
  app.add_option("--log", options.logFile, "Log of every byte both ways");
  app.add_option("--baud", options.baud, "Pace both directions at this rate (0: unpaced)")
      ->capture_default_str();

  faults.refuseWrites = 1;
  faults.badVerifies = 1;
  faults.shortReadBytes = 64;
  app.add_option("--refuse-block", faults.refuseBlock, "Refuse write packets of this block");
  app.add_option("--refuse-count", faults.refuseWrites, "How many of them to refuse")
      ->capture_default_str();
  app.add_option("--bad-verify-block", faults.badVerifyBlock, "Report wrong sums for this block");
  app.add_option("--bad-verify-count", faults.badVerifies, "How many verifies to spoil")
      ->capture_default_str();
  app.add_option("--bad-verify-byte", faults.badVerifyByte, "Sum byte to spoil: 1 high, 2 low")
      ->check(CLI::IsMember({1, 2}))
      ->capture_default_str();
  app.add_flag("--silent", faults.silent, "Never answer anything");
  app.add_option("--silent-after", faults.silentAfterBlocks,
                 "Fall silent after this many stored blocks");
  app.add_option("--sync-after", faults.syncAfter,
                 "Answer the synchronisation only after this many calls");
  app.add_option("--short-read-block", faults.shortReadBlock,
                 "Cut the read reply of this block short");
  app.add_option("--short-read-bytes", faults.shortReadBytes, "Bytes of the cut reply")
      ->capture_default_str();
  app.add_option("--silent-read-block", faults.silentReadBlock,
                 "Never answer the read of this block");
  app.add_option("--corrupt-block", faults.corruptBlock,
                 "Store this block with its first byte changed");
  app.add_option("--garbage", faults.garbageBefore, "Garbage bytes (0xEE) before every answer");
  app.add_option("--hang-up-after", faults.hangUpAfterBlocks,
                 "Close the terminal after this many stored blocks");
  CLI11_PARSE(app, argc, argv);
  options.cable = cable == "qap10" ? Cable::Qap10 : Cable::Qap8;

  // Blocked before the serving thread starts, so that it inherits the mask
  // and the signals reach sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::string error;
  auto radio = tarvel::sim::Radio::Start(options, &error);
  if (!radio) {
    std::cerr << "tarvel-radio-sim: " << error << '\n';
    return 1;
  }
  std::cout << "tarvel-radio-sim: serving " << radio->devicePath();
  if (!radio->linkPath().empty()) std::cout << " at " << radio->linkPath();
  std::cout << (options.cable == Cable::Qap10 ? " (QAP-10)" : " (QAP-8)") << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  radio.reset();  // removes the link
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Serve(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "tarvel-radio-sim: " << e.what() << '\n';
    return 1;
  }
}
