// The doctor over one table of setups: simulated radios that answer, stay
// silent, speak the other cable's framing, answer at the wrong speed or sit
// behind a slow adapter, and ports that a fake system reports missing,
// forbidden or held. Each setup names the finding that ends the chain.
#include "diagnosis/Doctor.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "run/RadioDoctor.h"
#include "loader/LoaderContext.h"
#include "sim/SimRadio.h"
#include "tests/support/Fakes.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

struct LineSetup {
  const char* name;
  // The radio; none for the port-only setups.
  bool radio = true;
  sim::Cable radioCable = sim::Cable::Qap8;
  unsigned latencyMs = 0;
  bool garble = false;
  bool silent = false;
  int silentReadBlock = -1;  // the radio falls silent at the read of this block
  // What the fake system says of the port.
  PortAccess access = PortAccess::Ok;
  std::vector<PortHolder> holders{};
  std::string group = "dialout";
  bool groupMember = false;
  bool usbAdapter = false;
  bool noOtherPorts = false;
  // The request and what the chain must end with.
  Cable cable = Cable::Qap8;
  unsigned baud = 38400;
  std::vector<FindingId> expected{};
  std::vector<std::string> fragments{};  // in the last finding's text and hint
  std::vector<std::string> absent{};     // in neither
};

PortSystem FakeSystem(const LineSetup& setup, const std::string& device) {
  PortSystem system;
  system.ports = [=] {
    std::vector<PortInfo> ports;
    if (setup.noOtherPorts) return ports;
    PortInfo other;
    other.device = "/dev/ttyUSB3";
    other.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0";
    ports.push_back(other);
    if (setup.usbAdapter) {
      PortInfo adapter;
      adapter.device = device;
      adapter.vendorId = "0403";
      adapter.productId = "6001";
      adapter.product = "FT232R USB UART";
      adapter.driver = "ftdi_sio";
      ports.push_back(adapter);
    }
    return ports;
  };
  system.access = [=](const std::string&) { return setup.access; };
  system.holders = [=](const std::string&) { return setup.holders; };
  system.group = [=](const std::string&) { return DeviceGroup{setup.group, setup.groupMember}; };
  // 16 ms before the port opens, 1 ms once the open asked for low latency.
  auto reads = std::make_shared<int>(0);
  system.latencyTimer = [=](const std::string&) { return setup.usbAdapter ? ((*reads)++ == 0 ? 16 : 1) : -1; };
  system.user = "tech";
  return system;
}

TEST(Doctor, EachSetupEndsWithItsFinding) {
  using F = FindingId;
  const LineSetup setups[] = {
      {.name = "a sound radio", .expected = {F::LoaderAnswered}, .fragments = {"QAP-8 cable at 38400 baud"}},
      {.name = "a QAP-10 radio asked with QAP-8",
       .radioCable = sim::Cable::Qap10,
       .expected = {F::OtherCable},
       .fragments = {"but it does with the QAP-10 cable", "--cable qap10"}},
      {.name = "a silent radio, asked with QAP-10",
       .silent = true,
       .cable = Cable::Qap10,
       .baud = 115200,
       .expected = {F::LoaderSilent},
       .fragments = {"with the QAP-10 cable", "in loader mode"}},
      {.name = "the wrong speed",
       .garble = true,
       .expected = {F::Garbled},
       .fragments = {"not the loader's (C3)", "--baud 38400"}},
      {.name = "a slow adapter",
       .latencyMs = 16,
       .usbAdapter = true,
       .baud = 115200,
       .expected = {F::Adapter, F::LateReplies, F::LoaderAnswered},
       .fragments = {"at 115200 baud"}},
      {.name = "a missing port",
       .radio = false,
       .access = PortAccess::Missing,
       .expected = {F::PortMissing},
       .fragments = {"does not exist", "/dev/ttyUSB3 (/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0)"}},
      {.name = "no port at all",
       .radio = false,
       .access = PortAccess::Missing,
       .noOtherPorts = true,
       .expected = {F::PortMissing},
       .fragments = {"no serial port: connect the cable"}},
      {.name = "a forbidden port",
       .radio = false,
       .access = PortAccess::Denied,
       .expected = {F::PortDenied},
       .fragments = {"group 'dialout'", "to the group 'dialout' (sudo adduser tech dialout)"}},
      {.name = "a forbidden port of a group the user has",
       .radio = false,
       .access = PortAccess::Denied,
       .groupMember = true,
       .expected = {F::PortDenied},
       .fragments = {"in the group 'dialout' already", "log out and in again"},
       .absent = {"adduser"}},
      {.name = "a file that is no serial port (/dev/null)",
       .radio = false,
       .access = PortAccess::NotSerial,
       .holders = {{1621, "bash", {}}},
       .expected = {F::PortFailed},
       .fragments = {"not a serial device", "is not a serial port; `tarvel-cli ports` lists them"},
       .absent = {"bash"}},
      {.name = "a port locked by another run",
       .radio = false,
       .access = PortAccess::Busy,
       .holders = {{4242, "tarvel-radio-sim", "/run/lock/LCK..ttyUSB0"}, {4711, "minicom", {}}},
       .expected = {F::PortBusy},
       .fragments = {"held by tarvel-radio-sim (PID 4242, lock file /run/lock/LCK..ttyUSB0)"}},
      {.name = "a QAP-8 radio asked with QAP-10: both answer the sync, one framing reads",
       .cable = Cable::Qap10,
       .expected = {F::OtherCable},
       .fragments = {"speaks the QAP-8 cable's framing", "--cable qap8"}},
      {.name = "a radio that reads no block: the cable cannot be told",
       .silentReadBlock = 0,
       .expected = {F::LoaderAnswered, F::CableUntold},
       .fragments = {"tells the two cables apart", "--cable qap10"}},
      {.name = "a port only root may open",
       .radio = false,
       .access = PortAccess::Denied,
       .group = "root",
       .expected = {F::PortDenied},
       .fragments = {"group 'root'", "Access to the port was denied"}},
      {.name = "a port held by a terminal program",
       .radio = false,
       .access = PortAccess::Busy,
       .holders = {{4711, "minicom", {}}},
       .expected = {F::PortBusy},
       .fragments = {"held by minicom (PID 4711)", "Close that program"}},
      {.name = "a port open in a program that does not lock it",
       .radio = false,
       .holders = {{4711, "minicom", {}}},
       .expected = {F::PortBusy},
       .fragments = {"held by minicom (PID 4711)"}},
      {.name = "a port held by someone unknown",
       .radio = false,
       .access = PortAccess::Busy,
       .expected = {F::PortBusy},
       .fragments = {"held by another program"}},
  };
  for (const LineSetup& setup : setups) {
    SCOPED_TRACE(setup.name);
    test::TempDir dir;
    std::string device = (dir.path() / "radio").string();
    std::unique_ptr<sim::Radio> radio;
    if (setup.radio) {
      sim::Options options;
      options.cable = setup.radioCable;
      options.linkPath = device;
      options.adapterLatencyMs = setup.latencyMs;
      options.garble = setup.garble;
      options.faults.silent = setup.silent;
      options.faults.silentReadBlock = setup.silentReadBlock;
      std::string error;
      radio = sim::Radio::Start(options, &error);
      ASSERT_TRUE(radio) << error;
    }
    const std::vector<Finding> findings = RunDoctor({device, setup.cable, setup.baud}, FakeSystem(setup, device));

    std::vector<FindingId> ids;
    for (const Finding& finding : findings) ids.push_back(finding.id);
    ASSERT_EQ(ids, setup.expected);
    const Finding& last = findings.back();
    for (const std::string& fragment : setup.fragments) {
      EXPECT_NE((last.text + " | " + last.hint).find(fragment), std::string::npos) << last.text << " | " << last.hint;
    }
    for (const std::string& fragment : setup.absent) {
      EXPECT_EQ((last.text + " | " + last.hint).find(fragment), std::string::npos) << last.text << " | " << last.hint;
    }
    if (IsBroken(last.id)) {
      EXPECT_FALSE(last.hint.empty());
    }
    if (setup.usbAdapter) {
      EXPECT_EQ(findings[0].text,
                "The adapter: USB 0403:6001 (FTDI, FT232R USB UART), driver ftdi_sio, "
                "latency timer 16 ms, 1 ms after the low-latency request.");
    }
  }
}


}  // namespace
}  // namespace tarvel
