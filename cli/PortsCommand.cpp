#include <cstdio>

#include "cli/Commands.h"
#include "serial/PortList.h"
#include "base/Strings.h"

namespace tarvel::cli {

void AddPortsCommand(CLI::App& app, int& exitCode) {
  CLI::App* command = app.add_subcommand("ports", "List the serial devices of this machine");
  command->callback([&exitCode] {
    const std::vector<PortInfo> ports = ListSerialPorts();
    if (ports.empty()) std::fprintf(stderr, "%s\n", std::string(LoadString(StringId::NoSerialPorts)).c_str());
    for (const PortInfo& port : ports) {
      std::string line = port.device;
      if (!port.vendorId.empty()) line += "  " + port.vendorId + ":" + port.productId;
      if (!port.serial.empty()) line += "  serial " + port.serial;
      const std::string name = port.manufacturer + (port.manufacturer.empty() || port.product.empty() ? "" : " ") +
                               port.product;
      if (!name.empty()) line += "  " + name;
      if (port.vendorId.empty() && !port.driver.empty()) line += "  (" + port.driver + ")";
      if (!port.byId.empty()) line += "  " + port.byId;
      std::printf("%s\n", line.c_str());
    }
    exitCode = 0;
  });
}

void AddPendingCommand(CLI::App& app, const char* name, const char* description, int& exitCode) {
  CLI::App* command = app.add_subcommand(name, description);
  command->allow_extras();
  command->callback([&exitCode] {
    std::fprintf(stderr, "%s\n", std::string(LoadString(StringId::NotYetAvailable)).c_str());
    exitCode = 1;
  });
}

}  // namespace tarvel::cli
