// The fixture of the tarvel-cli tests: a temporary folder, a simulated radio
// linked inside it, and the real binary run against it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/SimRadio.h"
#include "tests/support/CliRunner.h"
#include "tests/support/TempDir.h"

namespace tarvel::test {

class CliFixture : public ::testing::Test {
 protected:
  CliRun cli(const std::string& args) { return RunCommand(dir, std::string(TARVEL_CLI) + " " + args); }
  std::unique_ptr<sim::Radio> radio(sim::Cable cable, const sim::Faults& faults = {}) {
    sim::Options options;
    options.cable = cable;
    options.linkPath = port();
    options.faults = faults;
    std::string error;
    auto r = sim::Radio::Start(options, &error);
    EXPECT_TRUE(r) << error;
    return r;
  }
  std::string port() const { return (dir.path() / "radio").string(); }

  TempDir dir;
};

}  // namespace tarvel::test
