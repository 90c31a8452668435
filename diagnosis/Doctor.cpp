#include "diagnosis/Doctor.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/Strings.h"
#include "loader/CableFacts.h"

namespace tarvel {
namespace {

std::string CableName(Cable cable) { return std::string(FactsOf(cable).label); }
std::string CableOption(Cable cable) { return std::string(FactsOf(cable).name); }

std::string Milliseconds(std::chrono::microseconds time) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(time.count()) / 1000.0);
  return text;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    if (!text.empty()) text += ' ';
    text += hex;
  }
  return text;
}

std::string TtyName(const std::string& device) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(device, error);
  return (error ? std::filesystem::path(device) : resolved).filename().string();
}

}  // namespace

const PortInfo* FindPort(const std::vector<PortInfo>& ports, const std::string& device) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(device, error);
  for (const PortInfo& port : ports) {
    if (port.device == device || port.byId == device || port.byPath == device ||
        (!error && port.device == resolved.string())) {
      return &port;
    }
  }
  return nullptr;
}

namespace {

std::string PortNames(const std::vector<PortInfo>& ports) {
  std::string names;
  for (const PortInfo& port : ports) {
    if (!names.empty()) names += ", ";
    names += port.device;
    if (!port.byId.empty()) names += " (" + port.byId + ")";
  }
  return names;
}

}  // namespace

std::string AdapterText(const PortInfo& port, int latencyBefore, int latencyAfter) {
  std::string text = "USB " + port.vendorId + ":" + port.productId;
  const std::string family = AdapterFamily(port.vendorId);
  const std::string name = port.manufacturer + (port.manufacturer.empty() || port.product.empty() ? "" : " ") +
                           port.product;
  if (!family.empty() || !name.empty()) {
    text += " (" + family + (family.empty() || name.empty() ? "" : ", ") + name + ")";
  }
  if (!port.driver.empty()) text += ", driver " + port.driver;
  if (latencyBefore >= 0 && latencyAfter >= 0 && latencyAfter != latencyBefore) {
    text += ", " + FormatString(StringId::DiagLatencyAfterRequest,
                                {std::to_string(latencyBefore), std::to_string(latencyAfter)});
  } else if (latencyBefore >= 0 || latencyAfter >= 0) {
    text += ", " + FormatString(StringId::DiagLatencyTimer,
                                {std::to_string(latencyAfter >= 0 ? latencyAfter : latencyBefore)});
  }
  return FormatString(StringId::DiagAdapter, {text});
}

namespace {

Finding BusyFinding(const std::string& device, const std::vector<PortHolder>& holders) {
  std::string holder(LoadString(StringId::DiagAnotherProgram));
  if (!holders.empty()) {
    const PortHolder& first = holders.front();
    const std::string pid = "PID " + std::to_string(first.pid);
    const std::string where = first.lockPath.empty() ? pid : pid + ", lock file " + first.lockPath;
    holder = first.program.empty() ? where : first.program + " (" + where + ")";
  }
  return {FindingId::PortBusy, FormatString(StringId::DiagPortBusy, {device, holder}),
          std::string(LoadString(StringId::DiagPortBusyHint))};
}

}  // namespace

PortSystem ThisSystem() {
  PortSystem system;
  system.ports = [] { return ListSerialPorts(); };
  system.access = [](const std::string& port) { return CheckPortAccess(port); };
  system.holders = [](const std::string& port) { return FindPortHolders(port); };
  system.group = [](const std::string& port) { return DeviceGroupOf(port); };
  system.latencyTimer = [](const std::string& port) { return CurrentLatencyTimer(port); };
  system.user = CurrentUserName();
#ifdef _WIN32
  system.windows = true;
#endif
  return system;
}

std::vector<Finding> DiagnosePort(const std::string& device, const PortSystem& system) {
  const std::vector<PortInfo> ports = system.ports();
  switch (system.access(device)) {
    case PortAccess::Missing:
      return {{FindingId::PortMissing, FormatString(StringId::DiagPortMissing, {device}),
               ports.empty() ? std::string(LoadString(StringId::DiagNoPortsHint))
                             : FormatString(StringId::DiagPortMissingHint, {PortNames(ports)})}};
    case PortAccess::Denied: {
      const std::optional<DeviceGroup> group = system.group(device);
      const std::string name = group ? group->name : "dialout";
      // A device of root's group is not opened by joining a group, and one
      // of a group the user has already is closed to the group itself.
      std::string hint = FormatString(StringId::DiagPortDeniedHint, {name, system.user, name});
      if (!group || group->name == "root") hint = LoadString(StringId::PortAccessHint);
      if (group && group->member) hint = FormatString(StringId::DiagPortDeniedMemberHint, {name, device});
      return {{FindingId::PortDenied, FormatString(StringId::DiagPortDenied, {device, name}), hint}};
    }
    case PortAccess::NotSerial:
      return {{FindingId::PortFailed, FormatString(StringId::DiagNotSerial, {device}),
               FormatString(StringId::DiagNotSerialHint, {device})}};
    case PortAccess::Busy:
      return {BusyFinding(device, system.holders(device))};
    case PortAccess::Ok: break;
  }
  return {};
}

Finding OpenFailureFinding(const std::string& device, const std::string& detail, const PortSystem& system) {
  std::vector<Finding> findings = DiagnosePort(device, system);
  if (!findings.empty()) return findings.front();
  const std::vector<PortHolder> holders = system.holders(device);
  if (!holders.empty()) return BusyFinding(device, holders);
  return {FindingId::PortFailed, FormatString(StringId::DiagPortFailed, {device, detail}),
          FormatString(StringId::PortCheckHint, {device})};
}

Finding SyncFailureFinding(const LineWatch& watch, Cable cable, unsigned baud, const std::string& device) {
  if (!watch.foreign.empty()) {
    return {FindingId::Garbled, FormatString(StringId::DiagGarbled, {HexBytes(watch.foreign)}),
            FormatString(StringId::DiagGarbledHint, {std::to_string(baud), CableOption(cable)})};
  }
  return {FindingId::LoaderSilent, FormatString(StringId::DiagLoaderSilent, {CableName(cable)}),
          FormatString(StringId::DiagLoaderSilentDoctorHint, {device})};
}

std::vector<Finding> SyncSuccessFindings(const LineWatch& watch, Cable cable, unsigned baud, const std::string& device,
                                         const PortSystem& system) {
  std::vector<Finding> findings;
  const std::chrono::microseconds reply = watch.shortestReply.value_or(std::chrono::microseconds{0});
  if (reply > kLateReply) {
    std::string hint(LoadString(StringId::DiagLateRepliesHintOther));
    if (system.windows) {
      hint = LoadString(StringId::DiagLateRepliesHintWindows);
    } else if (system.latencyTimer(device) >= 0) {
      hint = FormatString(StringId::DiagLateRepliesHintLinux,
                          {"/sys/bus/usb-serial/devices/" + TtyName(device) + "/latency_timer"});
    }
    findings.push_back({FindingId::LateReplies, FormatString(StringId::DiagLateReplies, {Milliseconds(reply)}), hint});
  }
  findings.push_back({FindingId::LoaderAnswered,
                      FormatString(StringId::DiagLoaderAnswered,
                                   {CableName(cable), std::to_string(baud), Milliseconds(reply)}),
                      {}});
  return findings;
}

}  // namespace tarvel
