// A main dialog whose message boxes are recorded instead of shown and whose
// file dialogs a test fills in, on a settings file in a fresh folder that is
// also the folder the catalog lists.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QFileDialog>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/ProfileFile.h"
#include "tests/support/TempDir.h"
#include "ui/FirmwareWriterDlg.h"
#include "dialog/Globals.h"

namespace tarvel::test {

struct ShownBox {
  QString text;
  MessageIcon icon;
  QString detail;
};

class TestDialog : public CFirmwareWriterDlg {
 public:
  using CFirmwareWriterDlg::CFirmwareWriterDlg;

  // "Writing..." shown: a write locked the window.
  void SetStatusText(const std::string& text) override {
    if (!text.empty()) ++locks;
    CFirmwareWriterDlg::SetStatusText(text);
  }
  // The progress of a write or read, on the window's thread while the
  // access runs on its own.
  void SetProgress(int position, const std::string& text) override {
    CFirmwareWriterDlg::SetProgress(position, text);
    if (onProgress) onProgress();
  }
  void SetReadProgress(unsigned position, std::uint16_t endBlock) override {
    CFirmwareWriterDlg::SetReadProgress(position, endBlock);
    if (onProgress) onProgress();
  }

  std::vector<ShownBox> boxes;
  std::function<void(const ShownBox&)> onBox;  // runs while the box would be up
  std::function<void()> onProgress;
  // The boxes the window opens itself during an access (no one waits for
  // them) are real boxes that stay up until a test closes them.
  bool realBoxes = false;
  // Stands in for the user at a file dialog: fills it in and accepts or
  // rejects it. Without it every file dialog is cancelled.
  std::function<void(QFileDialog&)> onFileDialog;
  int fileDialogs = 0;
  int locks = 0;

  void OpenRefusalBox(const std::string& text) override {
    boxes.push_back({QString::fromStdString(text), MessageIcon::Exclamation, QString()});
    if (onBox) onBox(boxes.back());
    if (realBoxes) CFirmwareWriterDlg::OpenRefusalBox(text);
  }
  // The answers to the questions asked, Yes or No; none left: No.
  std::vector<bool> answers;
  std::vector<std::string> questions;
  std::vector<std::string> questionDetails;
  std::vector<QWidget*> askedOver;  // the window, or the file dialog open then
  bool AskYesNoOver(QWidget& over, const std::string& text, MessageIcon, const std::string& detail) override {
    questions.push_back(text);
    questionDetails.push_back(detail);
    askedOver.push_back(&over);
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.erase(answers.begin());
    return yes;
  }
  void ShowMessageBox(const std::string& text, MessageIcon icon, const std::string& detail) override {
    boxes.push_back({QString::fromStdString(text), icon, QString::fromStdString(detail)});
    if (onBox) onBox(boxes.back());
  }
  void OpenMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                      std::function<void()> closed) override {
    boxes.push_back({QString::fromStdString(text), icon, QString::fromStdString(detail)});
    if (onBox) onBox(boxes.back());
    if (closed) {
      closed();
    } else if (realBoxes) {
      CFirmwareWriterDlg::OpenMessageBox(text, icon, detail, {});
    }
  }

 protected:
  int ExecFileDialog(QFileDialog& dialog) override {
    ++fileDialogs;
    if (onFileDialog) {
      onFileDialog(dialog);
    } else {
      dialog.reject();
    }
    return dialog.result();
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
    services.platform = platform;
    services.listPorts = [this] { return systemPorts; };
    services.converterSearch = converterSearch;
    services.opener = opener;
    return std::make_unique<TestDialog>(std::move(services));
  }

  TempDir dir;
  std::vector<std::string> systemPorts{"/dev/ttyS0", "/dev/ttyUSB0"};
  // The build's own converters, never the system's.
  ConverterSearch converterSearch{{TARVEL_CONVERTERS_DIR}, false};
  PlatformFlags platform = LinuxPlatformFlags();
  PortOpener* opener = nullptr;  // null: the POSIX ports
};

// The texts of the boxes shown, for a failed count of them.
std::string BoxTexts(const std::vector<ShownBox>& boxes);

// A left click of the mouse on `row` of the file list; a row past the last
// clicks the empty space below the rows.
void ClickRow(CFirmwareWriterDlg& dialog, int row);
// The file list's texts of one column, top to bottom.
std::vector<std::string> ListColumn(const CFirmwareWriterDlg& dialog, int column);

// The colour at the centre of the lamp that status pane 1 shows now; the
// grab paints the bar, which asks the dialog for the lamp.
QColor LampCentre(const CFirmwareWriterDlg& dialog);
QColor LampCentre(Lamp lamp);

}  // namespace tarvel::test
