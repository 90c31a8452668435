// Windows tells neither who holds a port nor a device group; the latency
// timer is the FTDI driver's device parameter, read with the port list.
#include "serial/PortFacts.h"

#include <cstdlib>

#include "base/AsciiCase.h"
#include "serial/PortList.h"

namespace tarvel {

std::vector<PortHolder> FindPortHolders(const std::string&, const std::string&, const std::vector<std::string>&) {
  return {};
}

std::string CurrentUserName() {
  const char* user = std::getenv("USERNAME");
  return user != nullptr && *user != '\0' ? user : "%USERNAME%";
}

std::optional<DeviceGroup> DeviceGroupOf(const std::string&, const std::string&) { return std::nullopt; }

int LatencyTimerOfTty(const std::string&, const std::string&) { return -1; }

int CurrentLatencyTimer(const std::string& device, const std::string&) {
  for (const PortInfo& port : ListSerialPorts()) {
    if (EqualsNoCase(port.device, device)) return port.latencyTimerMs;
  }
  return -1;
}

}  // namespace tarvel
