#include "serial/SysfsPortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace tarvel {
namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, without its line end; empty when the
// file is missing.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

fs::path Resolve(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(path, error);
  return error ? path.lexically_normal() : resolved;
}

// The USB device (not interface) above the port: the first directory up the
// chain with idVendor and idProduct.
void FillUsbFacts(const fs::path& devicePath, const fs::path& sysRoot, PortInfo& port) {
  const fs::path top = Resolve(sysRoot);
  for (fs::path dir = devicePath; dir.has_relative_path() && dir != top; dir = dir.parent_path()) {
    if (Exists(dir / "idVendor") && Exists(dir / "idProduct")) {
      port.vendorId = ReadAttribute(dir / "idVendor");
      port.productId = ReadAttribute(dir / "idProduct");
      port.serial = ReadAttribute(dir / "serial");
      port.manufacturer = ReadAttribute(dir / "manufacturer");
      port.product = ReadAttribute(dir / "product");
      return;
    }
  }
}

// The driver of the hardware behind the port. Since Linux 6.5 the serial
// core puts a port and a controller device of its own ("serial-base" bus)
// between the terminal and the hardware; their drivers say nothing.
std::string FindDriver(const fs::path& devicePath, const fs::path& sysRoot) {
  const fs::path top = Resolve(sysRoot);
  for (fs::path dir = devicePath; dir.has_relative_path() && dir != top; dir = dir.parent_path()) {
    if (!Exists(dir / "driver")) continue;
    const fs::path driver = Resolve(dir / "driver");
    if (driver.parent_path().parent_path().filename() != "serial-base") return driver.filename().string();
  }
  return {};
}

std::string FindById(const fs::path& devRoot, const fs::path& device) {
  std::error_code error;
  const fs::path target = Resolve(device);
  for (fs::directory_iterator it(devRoot / "serial" / "by-id", error), end; !error && it != end;
       it.increment(error)) {
    if (Resolve(it->path()) == target) return it->path().string();
  }
  return {};
}

// Kernel names with '/' are written with '!' in sysfs (e.g. "ttyX!0").
std::string DeviceName(std::string sysfsName) {
  std::replace(sysfsName.begin(), sysfsName.end(), '!', '/');
  return sysfsName;
}

}  // namespace

std::vector<PortInfo> ListSysfsPorts(const std::string& sysRoot, const std::string& devRoot) {
  std::vector<PortInfo> ports;
  std::error_code error;
  for (fs::directory_iterator it(fs::path(sysRoot) / "class" / "tty", error), end; !error && it != end;
       it.increment(error)) {
    const fs::path entry = it->path();
    // Virtual consoles and pseudo-terminals have no device behind them.
    if (!Exists(entry / "device")) continue;

    PortInfo port;
    const fs::path device = Resolve(entry / "device");
    port.driver = FindDriver(device, sysRoot);
    // The serial core names every possible legacy UART (ttyS0 ... ttyS31);
    // type 0 means no UART was found at that address.
    const std::string type = ReadAttribute(entry / "type");
    if (type == "0") continue;
    const std::string name = entry.filename().string();
    if (name.rfind("ttyS", 0) == 0 && port.driver.empty()) continue;

    port.device = (fs::path(devRoot) / DeviceName(name)).string();
    FillUsbFacts(device, sysRoot, port);
    port.byId = FindById(devRoot, port.device);
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.device, b.device); });
  return ports;
}

std::vector<PortInfo> ListSerialPorts() { return ListSysfsPorts("/sys", "/dev"); }

}  // namespace tarvel
