// `tarvel-cli ports`: the serial devices of this machine, with what a
// technician needs to pick the right cable.
#include <cstdio>
#include <memory>
#include <string>

#include "base/Strings.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "serial/PortList.h"

namespace tarvel::cli {

namespace {

Json PortJson(const PortInfo& port) {
  Json object{{"device", port.device}};
  object["by_id"] = port.byId.empty() ? Json(nullptr) : Json(port.byId);
  object["by_path"] = port.byPath.empty() ? Json(nullptr) : Json(port.byPath);
  object["usb"] = port.vendorId.empty() ? Json(nullptr)
                                        : Json{{"vendor", port.vendorId},
                                               {"product", port.productId},
                                               {"serial", port.serial},
                                               {"manufacturer", port.manufacturer},
                                               {"product_name", port.product}};
  object["driver"] = port.driver;
  object["latency_timer_ms"] = port.latencyTimerMs < 0 ? Json(nullptr) : Json(port.latencyTimerMs);
  object["access"] = PortAccessName(CheckPortAccess(port.device));
  return object;
}

std::string PortLine(const PortInfo& port) {
  std::string line = port.device;
  if (!port.vendorId.empty()) line += "  " + port.vendorId + ":" + port.productId;
  if (!port.serial.empty()) line += "  serial " + port.serial;
  const std::string name =
      port.manufacturer + (port.manufacturer.empty() || port.product.empty() ? "" : " ") + port.product;
  if (!name.empty()) line += "  " + name;
  if (port.vendorId.empty() && !port.driver.empty()) line += "  (" + port.driver + ")";
  if (port.latencyTimerMs >= 0) line += "  latency " + std::to_string(port.latencyTimerMs) + " ms";
  if (!port.byId.empty()) line += "  " + port.byId;
  const PortAccess access = CheckPortAccess(port.device);
  if (access == PortAccess::Denied || access == PortAccess::Busy) line += std::string("  [") + PortAccessName(access) + "]";
  return line;
}

int RunPorts(bool json) {
  CommandRun run("ports", {json, {}});
  const std::vector<PortInfo> ports = ListSerialPorts();
  Json list = Json::array();
  for (const PortInfo& port : ports) {
    list.push_back(PortJson(port));
    if (!json) std::printf("%s\n", PortLine(port).c_str());
  }
  run.result().fields["ports"] = std::move(list);
  if (ports.empty()) {
    // Not a failure: a machine without a cable plugged in is a fact.
    run.result().message = std::string(LoadString(StringId::NoSerialPorts));
    std::fprintf(stderr, "%s\n", run.result().message.c_str());
  }
  return run.finish();
}

}  // namespace

void AddPortsCommand(CLI::App& app, int& exitCode) {
  auto json = std::make_shared<bool>(false);
  CLI::App* command = app.add_subcommand("ports", "List the serial devices of this machine");
  AddJsonFlag(*command, *json);
  command->callback([json, &exitCode] { exitCode = RunPorts(*json); });
}

}  // namespace tarvel::cli
