// The COM ports that the serial drivers have registered, with what the
// device manager knows about each.
#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/AsciiCase.h"
#include "base/Win32Text.h"
#include "serial/PortList.h"

namespace tarvel {
namespace {

// Every value of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: the driver's device
// name and the port name ("COM5").
std::vector<PortInfo> RegisteredPorts() {
  std::vector<PortInfo> ports;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t valueName[256];
    wchar_t data[256];
    DWORD nameLength = 256;
    DWORD dataBytes = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = ::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataBytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    // Registry strings need not end in a NUL.
    data[dataBytes / sizeof(wchar_t)] = L'\0';
    PortInfo port;
    port.device = win32::Utf8(data);
    port.driver = win32::Utf8(std::wstring_view(valueName, nameLength));
    if (!port.device.empty()) ports.push_back(std::move(port));
  }
  ::RegCloseKey(key);
  return ports;
}

std::string DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t buffer[512] = {};
  if (!::SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - sizeof(wchar_t), nullptr)) {
    return {};
  }
  return win32::Utf8(buffer);  // a multi-string: its first entry
}

// The four hex digits after `tag` in a hardware id such as
// "USB\VID_0403&PID_6001&REV_0600".
std::string IdPart(const std::string& hardwareId, const std::string& tag) {
  const std::size_t at = hardwareId.find(tag);
  if (at == std::string::npos || at + tag.size() + 4 > hardwareId.size()) return {};
  return LowerAsciiText(std::string_view(hardwareId).substr(at + tag.size(), 4));
}

// What the device manager knows about each port of the Ports class, by port
// name; empty where SetupAPI has nothing (as under wine).
std::map<std::string, PortInfo> DeviceFacts() {
  std::map<std::string, PortInfo> facts;
  HDEVINFO devices = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return facts;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t portName[64] = {};
    DWORD bytes = sizeof portName - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status =
        ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName), &bytes);
    // The FTDI driver keeps its latency timer among the device's parameters.
    DWORD latency = 0;
    DWORD latencyBytes = sizeof latency;
    DWORD latencyType = 0;
    const bool hasLatency = ::RegQueryValueExW(key, L"LatencyTimer", nullptr, &latencyType,
                                               reinterpret_cast<BYTE*>(&latency), &latencyBytes) == ERROR_SUCCESS &&
                            latencyType == REG_DWORD && latency <= 255;
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    PortInfo info;
    if (hasLatency) info.latencyTimerMs = static_cast<int>(latency);
    info.friendlyName = DeviceProperty(devices, device, SPDRP_FRIENDLYNAME);
    info.manufacturer = DeviceProperty(devices, device, SPDRP_MFG);
    const std::string hardwareId = DeviceProperty(devices, device, SPDRP_HARDWAREID);
    info.vendorId = IdPart(hardwareId, "VID_");
    info.productId = IdPart(hardwareId, "PID_");
    if (info.vendorId.empty() || info.productId.empty()) info.vendorId = info.productId = {};
    facts[win32::Utf8(portName)] = std::move(info);
  }
  ::SetupDiDestroyDeviceInfoList(devices);
  return facts;
}

}  // namespace

std::vector<PortInfo> ListSerialPorts() {
  std::vector<PortInfo> ports = RegisteredPorts();
  const std::map<std::string, PortInfo> facts = DeviceFacts();
  for (PortInfo& port : ports) {
    const auto found = facts.find(port.device);
    if (found == facts.end()) continue;
    port.friendlyName = found->second.friendlyName;
    port.manufacturer = found->second.manufacturer;
    port.vendorId = found->second.vendorId;
    port.productId = found->second.productId;
  }
  // "COM" and a number: NaturalLess puts COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.device, b.device); });
  return ports;
}

PortAccess CheckPortAccess(const std::string& device, const std::string& /*procRoot*/) {
  // Windows keeps no lock files, and opening a COM port to see whether it is
  // taken would set its lines: the listing says whether the port exists.
  std::string name = device;
  if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
  for (const PortInfo& port : RegisteredPorts()) {
    if (::CompareStringOrdinal(win32::Wide(port.device).c_str(), -1, win32::Wide(name).c_str(), -1, TRUE) ==
        CSTR_EQUAL) {
      return PortAccess::Ok;
    }
  }
  return PortAccess::Missing;
}

}  // namespace tarvel
