// The fixture of the tarvel-cli tests: a temporary folder, a simulated radio
// linked inside it, and the real binary run against it.
//
// The same cases run against another build of tarvel-cli when these are set
// (tests/windows/wine-tests does it for the Windows build under wine):
//   TARVEL_CLI_COMMAND    how to start it, e.g. "wine /path/tarvel-cli.exe"
//   TARVEL_CLI_PORT       the port name it opens, e.g. COM5
//   TARVEL_CLI_PORT_LINK  where that port leads: the radio's link goes there
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "sim/SimRadio.h"
#include "tests/support/CliRunner.h"
#include "tests/support/TempDir.h"

namespace tarvel::test {

class CliFixture : public ::testing::Test {
 protected:
  CliRun cli(const std::string& args) { return shell(Program() + " " + args); }
  // A command line for the shell, in the test's folder.
  CliRun shell(const std::string& commandLine) {
    CliRun run = RunCommand(dir, commandLine);
    // A Windows console program ends its lines with CR LF.
    for (std::string* text : {&run.out, &run.err}) std::erase(*text, '\r');
    return run;
  }
  // How to start the tarvel-cli under test.
  static std::string Program() { return Setting("TARVEL_CLI_COMMAND", TARVEL_CLI); }
  // `garble`: the radio answers at another speed than the line's.
  std::unique_ptr<sim::Radio> radio(sim::Cable cable, const sim::Faults& faults = {}, bool garble = false) {
    sim::Options options;
    options.cable = cable;
    options.garble = garble;
    options.linkPath = Setting("TARVEL_CLI_PORT_LINK", port());
    options.faults = faults;
    std::string error;
    auto r = sim::Radio::Start(options, &error);
    EXPECT_TRUE(r) << error;
    return r;
  }
  std::string port() const { return Setting("TARVEL_CLI_PORT", (dir.path() / "radio").string()); }
  static bool OtherBuild() { return std::getenv("TARVEL_CLI_COMMAND") != nullptr; }

  TempDir dir;

 private:
  static std::string Setting(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
  }
};

}  // namespace tarvel::test
