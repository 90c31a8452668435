#include "serial/SysfsPortList.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

  const PortInfo& adapter = ports[2];
  EXPECT_EQ(adapter.vendorId, "0403");
  EXPECT_EQ(adapter.productId, "6001");
  EXPECT_EQ(adapter.serial, "A12345");
  EXPECT_EQ(adapter.manufacturer, "FTDI");
  EXPECT_EQ(adapter.product, "FT232R USB UART");
  EXPECT_EQ(adapter.driver, "ftdi_sio");
  EXPECT_EQ(fs::path(adapter.byId).filename(), "usb-FTDI_FT232R_USB_UART_A12345-if00-port0");
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

}  // namespace
}  // namespace tarvel
