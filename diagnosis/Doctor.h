// The findings of a diagnosis: why a port or a radio does not answer, from
// the system's facts about the port and from what the line did.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Cable.h"
#include "base/Clock.h"
#include "base/UiPump.h"
#include "diagnosis/Finding.h"
#include "diagnosis/LineWatch.h"
#include "serial/PortFacts.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"

namespace tarvel {

// What the diagnosis asks the system about ports; tests give fakes.
struct PortSystem {
  std::function<std::vector<PortInfo>()> ports;
  std::function<PortAccess(const std::string&)> access;
  std::function<std::vector<PortHolder>(const std::string&)> holders;
  std::function<std::optional<DeviceGroup>(const std::string&)> group;
  std::function<int(const std::string&)> latencyTimer;
  std::string user;  // the login name, for the command that grants access
  bool windows = false;
};
PortSystem ThisSystem();

// Before the port is opened: a missing, forbidden or busy port (broken), or
// the adapter behind it (a fact). `device` is the port as given.
std::vector<Finding> DiagnosePort(const std::string& device, const PortSystem& system);

// The port could not be opened or configured: what DiagnosePort finds, else
// a program that has it open (which need not lock it), else the system's
// reason `detail`.
Finding OpenFailureFinding(const std::string& device, const std::string& detail, const PortSystem& system);

// After a synchronisation that failed: a silent loader or foreign bytes,
// from what the line did at `baud`.
Finding SyncFailureFinding(const LineWatch& watch, Cable cable, unsigned baud, const std::string& device);

// Replies later than this point at an adapter that holds them back; a
// direct line answers a sync byte well within it.
inline constexpr std::chrono::microseconds kLateReply{5000};

// A synchronisation that worked, and a warning when replies were late.
std::vector<Finding> SyncSuccessFindings(const LineWatch& watch, Cable cable, unsigned baud, const std::string& device,
                                         const PortSystem& system);

// The port as the port list knows it, by its name or the device it leads to.
const PortInfo* FindPort(const std::vector<PortInfo>& ports, const std::string& device);

// The adapter behind a port, with its latency timer before and after the
// port was opened (-1: not known).
std::string AdapterText(const PortInfo& port, int latencyBefore, int latencyAfter);

}  // namespace tarvel
