// A main dialog whose message boxes are recorded instead of shown, on a
// settings file in a fresh folder.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ProfileFile.h"
#include "tests/support/TempDir.h"
#include "ui/FirmwareWriterDlg.h"
#include "ui/Globals.h"

namespace tarvel::test {

struct ShownBox {
  QString text;
  MessageIcon icon;
  QString detail;
};

class TestDialog : public CFirmwareWriterDlg {
 public:
  using CFirmwareWriterDlg::CFirmwareWriterDlg;

  void runOnce() override {
    ++pumps;
    if (onPump) onPump();
    CFirmwareWriterDlg::runOnce();
  }
  void lockForWrite() override {
    ++locks;
    CFirmwareWriterDlg::lockForWrite();
  }

  std::vector<ShownBox> boxes;
  std::function<void(const ShownBox&)> onBox;  // runs while the box would be up
  std::function<void()> onPump;
  int pumps = 0;
  int locks = 0;

 protected:
  void ShowMessageBox(const QString& text, MessageIcon icon, const QString& detail) override {
    boxes.push_back({text, icon, detail});
    if (onBox) onBox(boxes.back());
  }
};

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() { g_strStartDir = dir.path().string(); }

  std::string settingsPath() const { return (dir.path() / "tarvel.ini").string(); }
  void writeSettings(const std::string& text) const { dir.write("tarvel.ini", text); }
  // A key of section Initialize as it stands in the file.
  std::string raw(const char* key) const {
    return ReadProfileString(settingsPath(), "Initialize", key, "<absent>");
  }

  std::unique_ptr<TestDialog> open(const std::string& arguments = {}) {
    DialogServices services;
    services.settingsPath = settingsPath();
    services.argumentText = arguments;
    services.initialFilePath = filePath;
    services.platform = platform;
    services.listPorts = [this] { return systemPorts; };
    services.probeConverters = [this] { return converters; };
    services.opener = opener;
    return std::make_unique<TestDialog>(std::move(services));
  }

  TempDir dir;
  std::vector<std::string> systemPorts{"/dev/ttyS0", "/dev/ttyUSB0"};
  ConverterAvailability converters;
  PlatformFlags platform = LinuxPlatformFlags();
  std::string filePath;
  PortOpener* opener = nullptr;  // null: the POSIX ports
};

// The colour at the centre of the lamp that status pane 1 shows now; the
// grab paints the bar, which asks the dialog for the lamp.
QColor LampCentre(const CFirmwareWriterDlg& dialog);
QColor LampCentre(Lamp lamp);

}  // namespace tarvel::test
