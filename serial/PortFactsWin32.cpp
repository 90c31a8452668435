// Windows tells neither who holds a port nor a device group; the latency
// timer is the FTDI driver's device parameter, read with the port list.
#include "serial/PortFacts.h"

#include <algorithm>
#include <cctype>

#include "serial/PortList.h"

namespace tarvel {

std::vector<PortHolder> FindPortHolders(const std::string&, const std::string&) { return {}; }

std::optional<DeviceGroup> DeviceGroupOf(const std::string&, const std::string&) { return std::nullopt; }

int LatencyTimerOfTty(const std::string&, const std::string&) { return -1; }

int CurrentLatencyTimer(const std::string& device, const std::string&) {
  for (const PortInfo& port : ListSerialPorts()) {
    const bool same = std::equal(port.device.begin(), port.device.end(), device.begin(), device.end(),
                                 [](unsigned char a, unsigned char b) { return std::toupper(a) == std::toupper(b); });
    if (same) return port.latencyTimerMs;
  }
  return -1;
}

}  // namespace tarvel
