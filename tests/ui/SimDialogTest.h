// A window test against a simulated radio linked in the test's folder, run
// once for each cable: the radio and the settings that point the window at it.
#pragma once

#include <memory>
#include <string>

#include "sim/SimRadio.h"
#include "tests/ui/DialogHarness.h"

namespace tarvel::test {

class SimDialogTest : public DialogTest, public ::testing::WithParamInterface<sim::Cable> {
 protected:
  std::unique_ptr<sim::Radio> startRadio(const sim::Faults& faults = {}) {
    sim::Options options;
    options.cable = GetParam();
    // A link of this test's own, as a user's settings would name it.
    options.linkPath = (dir.path() / "radio").string();
    options.faults = faults;
    std::string error;
    auto radio = sim::Radio::Start(options, &error);
    EXPECT_TRUE(radio) << error;
    return radio;
  }
  // The settings file names `device` as the port of the test's cable.
  void storePort(const std::string& device) {
    const bool qap10 = GetParam() == sim::Cable::Qap10;
    writeSettings(std::string("[Initialize]\nType=") + (qap10 ? "1" : "0") + "\n" +
                  (qap10 ? "CommName2=" : "CommName=") + device + "\nBaudRate=115200\n");
  }
};

}  // namespace tarvel::test
