#include "serial/SysfsPortList.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "serial/PortFacts.h"
#include "serial/UucpLock.h"

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

// The link in /dev/serial/<kind> that leads to `device`.
std::string FindLink(const fs::path& devRoot, const char* kind, const fs::path& device) {
  std::error_code error;
  const fs::path target = Resolve(device);
  for (fs::directory_iterator it(devRoot / "serial" / kind, error), end; !error && it != end;
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

// /proc/locks lines end in "... PID MAJ:MIN:INODE START END", the device
// numbers in hex.
bool FlockHeld(const std::string& procRoot, const struct stat& device) {
  std::ifstream in(fs::path(procRoot) / "locks");
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, " %02x:%02x:%llu ", major(device.st_dev), minor(device.st_dev),
                static_cast<unsigned long long>(device.st_ino));
  std::string line;
  while (std::getline(in, line)) {
    if (line.find(wanted) != std::string::npos) return true;
  }
  return false;
}

bool UucpLockHeld(const std::string& procRoot, const fs::path& device) {
  for (const char* folder : {kUucpLockFolder, "/var/lock"}) {
    if (UucpLockHolder(folder, device.string(), procRoot)) return true;
  }
  return false;
}

// A character device that sysfs files under a class other than tty
// (/dev/null is "mem"). Pseudo-terminals have no entry there and count as
// terminals, as does a device sysfs says nothing about.
bool OtherCharacterDevice(const struct stat& info) {
  char name[32];
  std::snprintf(name, sizeof name, "%u:%u", major(info.st_rdev), minor(info.st_rdev));
  std::error_code error;
  const fs::path subsystem = fs::read_symlink(fs::path("/sys/dev/char") / name / "subsystem", error);
  return !error && subsystem.filename() != "tty";
}

}  // namespace

PortAccess CheckPortAccess(const std::string& device, const std::string& procRoot) {
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) return errno == EACCES ? PortAccess::Denied : PortAccess::Missing;
  // Before the permission: a file that is no port is never a matter of
  // groups, and its holders (a shell has /dev/null open) hold no radio.
  if (!S_ISCHR(info.st_mode) || OtherCharacterDevice(info)) return PortAccess::NotSerial;
  if (::access(device.c_str(), R_OK | W_OK) != 0) return PortAccess::Denied;
  const fs::path resolved = Resolve(device);
  if (FlockHeld(procRoot, info) || UucpLockHeld(procRoot, resolved)) return PortAccess::Busy;
  return PortAccess::Ok;
}

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
    port.latencyTimerMs = LatencyTimerOfTty(sysRoot, name);
    port.byId = FindLink(devRoot, "by-id", port.device);
    port.byPath = FindLink(devRoot, "by-path", port.device);
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.device, b.device); });
  return ports;
}

std::vector<PortInfo> ListSerialPorts() { return ListSysfsPorts("/sys", "/dev"); }

}  // namespace tarvel
