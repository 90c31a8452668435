#include "serial/SysfsPortList.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "serial/PortFacts.h"
#include "serial/PortList.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

// A sysfs and /dev tree in the shape the kernel and udev give them.
class FakeSystem {
 public:
  FakeSystem() : sys_(dir_.path() / "sys"), dev_(dir_.path() / "dev") {
    fs::create_directories(sys_ / "class" / "tty");
    fs::create_directories(dev_ / "serial" / "by-id");
  }

  std::string sysRoot() const { return sys_.string(); }
  std::string devRoot() const { return dev_.string(); }
  std::string device(const std::string& name) const { return (dev_ / name).string(); }

  // A USB device at `usbPath` (below devices/) with its identity files.
  void usbDevice(const std::string& usbPath, const std::string& vendor, const std::string& product,
                 const std::string& serial, const std::string& maker, const std::string& name) {
    const fs::path dir = sys_ / "devices" / usbPath;
    fs::create_directories(dir);
    write(dir / "idVendor", vendor);
    write(dir / "idProduct", product);
    if (!serial.empty()) write(dir / "serial", serial);
    write(dir / "manufacturer", maker);
    write(dir / "product", name);
  }

  // A terminal whose device is `devicePath` (below devices/), bound to
  // `driver`, with its class link and /dev node.
  void tty(const std::string& name, const std::string& devicePath, const std::string& driver,
           const std::string& type = {}) {
    const fs::path device = sys_ / "devices" / devicePath;
    const fs::path ttyDir = device / "tty" / name;
    fs::create_directories(ttyDir);
    fs::create_symlink("../..", ttyDir / "device");
    if (!driver.empty()) bind(devicePath, "any", driver);
    if (!type.empty()) write(ttyDir / "type", type);
    classLink(name, ttyDir);
  }

  void bind(const std::string& devicePath, const std::string& bus, const std::string& driver) {
    const fs::path device = sys_ / "devices" / devicePath;
    const fs::path driverDir = sys_ / "bus" / bus / "drivers" / driver;
    fs::create_directories(driverDir);
    fs::create_symlink(fs::relative(driverDir, device), device / "driver");
  }

  // A terminal without a device: a virtual console or pseudo-terminal.
  void virtualTty(const std::string& name) {
    const fs::path ttyDir = sys_ / "devices" / "virtual" / "tty" / name;
    fs::create_directories(ttyDir);
    classLink(name, ttyDir);
  }

  void latency(const std::string& devicePath, int ms) {
    write(sys_ / "devices" / devicePath / "latency_timer", std::to_string(ms));
  }

  void byId(const std::string& link, const std::string& name) {
    fs::create_symlink(fs::path("../..") / name, dev_ / "serial" / "by-id" / link);
  }

 private:
  void classLink(const std::string& name, const fs::path& ttyDir) {
    fs::create_symlink(fs::relative(ttyDir, sys_ / "class" / "tty"), sys_ / "class" / "tty" / name);
    write(dev_ / name, "");
  }
  static void write(const fs::path& file, const std::string& text) { std::ofstream(file) << text << '\n'; }

  test::TempDir dir_;
  fs::path sys_;
  fs::path dev_;
};

TEST(PortList, ListsRealSerialDevicesWithTheirUsbIdentity) {
  FakeSystem system;
  const std::string ftdi = "pci0000:00/0000:00:14.0/usb1/1-2";
  system.usbDevice(ftdi, "0403", "6001", "A12345", "FTDI", "FT232R USB UART");
  system.tty("ttyUSB10", ftdi + "/1-2:1.0/ttyUSB10", "ftdi_sio");
  system.byId("usb-FTDI_FT232R_USB_UART_A12345-if00-port0", "ttyUSB10");
  system.latency(ftdi + "/1-2:1.0/ttyUSB10", 16);

  const std::string prolific = "pci0000:00/0000:00:14.0/usb1/1-3";
  system.usbDevice(prolific, "067b", "2303", "", "Prolific", "USB-Serial Controller");
  system.tty("ttyUSB2", prolific + "/1-3:1.0/ttyUSB2", "pl2303");

  // Since Linux 6.5: port and controller devices of the serial core between
  // the terminal and the UART's own device.
  const std::string uart = "platform/serial8250";
  system.tty("ttyS1", uart + "/serial8250:0/serial8250:0.1", "", "4");
  system.bind(uart + "/serial8250:0/serial8250:0.1", "serial-base", "port");
  system.bind(uart + "/serial8250:0", "serial-base", "ctrl");
  system.bind(uart, "platform", "serial8250");
  system.tty("ttyS0", "platform/serial8250:0.0", "serial8250", "0");  // no UART there
  system.tty("ttyS5", "pnp0/00:05", "");                                          // no driver bound
  system.virtualTty("tty1");
  system.virtualTty("ptmx");

  const std::vector<PortInfo> ports = ListSysfsPorts(system.sysRoot(), system.devRoot());

  std::vector<std::string> devices;
  for (const auto& port : ports) devices.push_back(port.device);
  EXPECT_EQ(devices, (std::vector<std::string>{system.device("ttyS1"), system.device("ttyUSB2"),
                                               system.device("ttyUSB10")}));
  ASSERT_EQ(ports.size(), 3u);

  EXPECT_EQ(ports[0].driver, "serial8250");
  EXPECT_TRUE(ports[0].vendorId.empty());
  EXPECT_TRUE(ports[0].byId.empty());

  EXPECT_EQ(ports[1].vendorId, "067b");
  EXPECT_EQ(ports[1].productId, "2303");
  EXPECT_EQ(ports[1].serial, "");
  EXPECT_EQ(ports[1].driver, "pl2303");
  EXPECT_EQ(ports[1].latencyTimerMs, -1);

  const PortInfo& adapter = ports[2];
  EXPECT_EQ(adapter.vendorId, "0403");
  EXPECT_EQ(adapter.productId, "6001");
  EXPECT_EQ(adapter.serial, "A12345");
  EXPECT_EQ(adapter.manufacturer, "FTDI");
  EXPECT_EQ(adapter.product, "FT232R USB UART");
  EXPECT_EQ(adapter.driver, "ftdi_sio");
  EXPECT_EQ(fs::path(adapter.byId).filename(), "usb-FTDI_FT232R_USB_UART_A12345-if00-port0");
  EXPECT_EQ(adapter.latencyTimerMs, 16);
  EXPECT_EQ(CurrentLatencyTimer(system.device("ttyUSB10"), system.sysRoot()), 16);
  EXPECT_EQ(CurrentLatencyTimer(system.device("ttyUSB2"), system.sysRoot()), -1);
}

// Who holds a port: processes whose descriptors lead to the device, by its
// own name or by a link to it; unreadable processes and other files do not
// count.
TEST(PortFacts, NamesTheProcessesThatHoldThePortAndTheGroupThatMayOpenIt) {
  test::TempDir dir;
  const fs::path device = dir.path() / "ttyUSB0";
  std::ofstream(device) << "";
  fs::create_symlink(device, dir.path() / "usb-FTDI-if00-port0");
  const fs::path proc = dir.path() / "proc";
  const struct {
    const char* pid;
    const char* program;
    fs::path opened;
  } processes[] = {
      {"4711", "minicom", device},
      {"88", "screen", dir.path() / "usb-FTDI-if00-port0"},
      {"99", "bash", dir.path() / "other"},
      {"self", "tarvel", device},  // not a process number
  };
  for (const auto& process : processes) {
    fs::create_directories(proc / process.pid / "fd");
    std::ofstream(proc / process.pid / "comm") << process.program << '\n';
    fs::create_symlink(process.opened, proc / process.pid / "fd" / "3");
  }
  fs::create_directories(proc / "5" );  // no fd folder to look into

  const std::vector<PortHolder> holders = FindPortHolders(device.string(), proc.string());
  ASSERT_EQ(holders.size(), 2u);
  EXPECT_EQ(holders[0].pid, 88);
  EXPECT_EQ(holders[0].program, "screen");
  EXPECT_EQ(holders[1].pid, 4711);
  EXPECT_EQ(holders[1].program, "minicom");
  EXPECT_TRUE(FindPortHolders(device.string(), (dir.path() / "no-proc").string()).empty());

  // Another run's lock file names its holder first, whole ("tarvel-radio-si"
  // is all that comm keeps), also when the port is given by its link; the
  // same process found by its descriptor is not named twice.
  const fs::path locks = dir.path() / "locks";
  fs::create_directories(locks);
  std::ofstream(locks / "LCK..ttyUSB0") << "      4242\n";
  fs::create_directories(proc / "4242" / "fd");
  std::ofstream(proc / "4242" / "comm") << "tarvel-radio-si\n";
  std::ofstream(proc / "4242" / "cmdline") << std::string("/usr/bin/tarvel-radio-sim\0--link\0/tmp/r\0", 40);
  fs::create_symlink(device, proc / "4242" / "fd" / "5");
  const std::vector<PortHolder> locked =
      FindPortHolders((dir.path() / "usb-FTDI-if00-port0").string(), proc.string(), {locks.string()});
  ASSERT_EQ(locked.size(), 3u);
  EXPECT_EQ(locked[0].pid, 4242);
  EXPECT_EQ(locked[0].program, "tarvel-radio-sim");
  EXPECT_EQ(locked[0].lockPath, (locks / "LCK..ttyUSB0").string());
  EXPECT_EQ(locked[1].pid, 88);
  EXPECT_EQ(locked[2].pid, 4711);
  EXPECT_TRUE(locked[2].lockPath.empty());
  // A command line rewritten into something else leaves the comm name.
  std::ofstream(proc / "4242" / "cmdline") << std::string("postgres: writer\0", 17);
  EXPECT_EQ(FindPortHolders(device.string(), proc.string(), {locks.string()})[0].program, "tarvel-radio-si");

  // The node is ours, so its group is this process's own.
  const fs::path groups = dir.path() / "group";
  std::ofstream(groups) << "users:x:" << ::getegid() + 1 << ":\ndialout:x:" << ::getegid() << ":tech\n";
  const std::optional<DeviceGroup> group = DeviceGroupOf(device.string(), groups.string());
  ASSERT_TRUE(group);
  EXPECT_EQ(group->name, "dialout");
  EXPECT_TRUE(group->member);
  EXPECT_EQ(DeviceGroupOf(device.string(), (dir.path() / "no-group").string())->name, std::to_string(::getegid()));
  EXPECT_FALSE(DeviceGroupOf((dir.path() / "gone").string(), groups.string()));
}

TEST(PortFacts, AdapterFamiliesByVendorId) {
  const struct {
    const char* vendor;
    const char* family;
  } rows[] = {
      {"0403", "FTDI"},      {"10C4", "Silicon Labs CP210x"}, {"067b", "Prolific PL2303"},
      {"1a86", "WCH CH34x"}, {"2341", ""},                    {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(AdapterFamily(row.vendor), row.family) << row.vendor;
}

TEST(PortList, MissingTreesGiveAnEmptyList) {
  EXPECT_TRUE(ListSysfsPorts("/nonexistent-tarvel-sys", "/nonexistent-tarvel-dev").empty());
}

TEST(PortList, NaturalOrder) {
  const std::pair<const char*, const char*> ordered[] = {
      {"ttyUSB2", "ttyUSB10"},
      {"ttyACM9", "ttyUSB0"},
      {"ttyS1", "ttyS01a"},
      {"ttyUSB", "ttyUSB0"},
      {"ttyUSB99999999999999999999", "ttyUSB100000000000000000000"},
  };
  for (const auto& [less, more] : ordered) {
    EXPECT_TRUE(NaturalLess(less, more)) << less << " < " << more;
    EXPECT_FALSE(NaturalLess(more, less)) << more << " < " << less;
  }
  EXPECT_FALSE(NaturalLess("ttyUSB1", "ttyUSB1"));
}

// What cannot be a radio's port is told apart before anything opens it:
// its holders (a shell has /dev/null open) and its group say nothing then.
TEST(PortList, AccessTellsWhatIsNoSerialPort) {
  test::TempDir dir;
  std::ofstream(dir.path() / "fw.sfl") << "S0";
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string pty = ::ptsname(master);
  const struct {
    std::string path;
    PortAccess access;
  } rows[] = {
      {"/dev/null", PortAccess::NotSerial},
      {(dir.path() / "fw.sfl").string(), PortAccess::NotSerial},
      {dir.path().string(), PortAccess::NotSerial},
      {(dir.path() / "ttyNone").string(), PortAccess::Missing},
      {pty, PortAccess::Ok},
  };
  for (const auto& row : rows) EXPECT_EQ(CheckPortAccess(row.path), row.access) << row.path;
  ::close(master);
}

}  // namespace
}  // namespace tarvel
