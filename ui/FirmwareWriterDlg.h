// The main window: a fixed-size dialog that owns the state of the run (port,
// speed, cable, folder and catalog, file, access state) and all its
// controls. Its commands run on the user-interface thread. A write or a
// flash read runs on a thread of its own while its button handler keeps the
// window's events going, so that nothing the user does, and no box, holds
// the conversation with the radio; the handler returns when the access is
// over.
#pragma once

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/MessageDisplay.h"
#include "base/UiPump.h"
#include "catalog/Catalog.h"
#include "dialog/AccessThread.h"
#include "dialog/ConverterProbe.h"
#include "dialog/DialogLogic.h"
#include "firmware/WriteProcedure.h"
#include "loader/LoaderContext.h"
#include "service/ConverterLibrary.h"
#include "service/Converters.h"
#include "settings/Settings.h"

class QComboBox;
class QEventLoop;
class QFileDialog;
class QGroupBox;
class QMessageBox;

namespace tarvel {

class CFileListCtrl;
class CProgStatusBar;
class CProgTextCtrl;

// What the dialog takes from its surroundings; the defaults are the real
// system's.
struct DialogServices {
  std::string settingsPath;  // the settings file fixed at start-up
  std::string argumentText;  // the command line after the program name
  PlatformFlags platform = LinuxPlatformFlags();
  std::function<std::vector<std::string>()> listPorts;  // null: SystemPortNames
  // Where the converter libraries are looked for: the start-up probe, the
  // about box, the conversion and the flash read. None: the program's own.
  std::optional<ConverterSearch> converterSearch;
  PortOpener* opener = nullptr;  // null: the POSIX ports
  Clock* clock = nullptr;        // null: the steady clock
  // Where the controls stand once the dialog is up, for the tests that
  // compare it with the Windows window (TARVEL_WINDOW_LAYOUT). Empty: none.
  std::string layoutReport;
};

// A message box with the application title as caption, the icon of the
// message and an OK button. Carriage returns in `text` break lines; a
// non-empty `detail` (the system's explanation) goes below the text.
std::unique_ptr<QMessageBox> BuildMessageBox(const QString& text, MessageIcon icon, const QString& detail,
                                             QWidget* parent);

class CFirmwareWriterDlg : public QDialog,
                           public WriteUi,
                           public ReadUi,
                           public MessageDisplay,
                           public UiPump,
                           public WindowThread {
  Q_OBJECT
 public:
  explicit CFirmwareWriterDlg(DialogServices services, QWidget* parent = nullptr);
  ~CFirmwareWriterDlg() override;

  // A control by its id; null for a control removed at start-up.
  QWidget* GetDlgItem(int id) const;
  template <class Widget>
  Widget* Item(int id) const {
    return qobject_cast<Widget*>(GetDlgItem(id));
  }
  CProgStatusBar* StatusBar() const { return m_wndStatusBar; }
  CProgTextCtrl* ProgressCtrl() const { return m_wndProgress; }
  CFileListCtrl* FileList() const;

  // The state that the procedures share: m_nType, m_nStatus, the port name
  // and speed, the transmit buffer, the sums.
  LoaderContext& Context() { return m_ctx; }
  const LoaderContext& Context() const { return m_ctx; }
  bool DarkScheme() const;
  // False while a write or read runs: the title bar's close is refused.
  bool CloseEnabled() const { return m_bCloseEnabled; }
  // A write or a flash read is under way on its own thread.
  bool Accessing() const { return m_accessThread.running(); }

  // Command handlers.
  void OnWrite();
  void OnButtonClose();
  void OnSelchangePort();
  void OnSelchangeBaud();
  void OnSelectType0();
  void OnSelectType1();
  void OnCheck5V();
  void OnCheckMD();
  void OnReload();
  void OnBrowse();
  void OnSflConv();
  void OnDump();
  void OnAbout();
  void FillPortList();
  // The catalog: the list refilled from m_strSflFolder, a header click, and
  // a mouse click in the list (the keyboard moving the selection loads
  // nothing).
  void FillFileList();
  void OnColumnClick(int column);
  void OnFileListClick();
  // Owner-draw request of status pane 1: the lamp of m_nStatus.
  void OnDrawItem(int pane);

  // WriteUi, and ReadUi for the flash read
  void lockForWrite() override;
  void unlockAfterWrite() override;
  void statusChanged(int status) override;
  void setReadProgress(unsigned position, std::uint16_t endBlock) override;
  void showFolderPane() override;
  void setProgressRange(std::uint16_t highest) override;
  void setProgress(int position, const std::string& text) override;
  void bringToFront() override;
  // MessageDisplay
  void showMessage(StringId id, MessageIcon icon, std::string_view detail = {}) override;
  void showReport(const std::string& text, MessageIcon icon) override;
  // UiPump: one pass of the event loop, so that the window repaints.
  void runOnce() override;
  // WindowThread: how the access reaches the window.
  void post(std::function<void()> task) override;
  void openMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                      std::function<void()> closed) override;

  bool m_bType1Allowed = true;
  std::string m_strSflFolder;
  std::string m_strFilePath;
  int m_nSortColumn = -1;
  bool m_bSortAscending = false;
  QString m_strVersion;
  QPixmap m_hIcon;
  QFont m_fontComment;

 public slots:
  // Escape: the dialog does not close.
  void reject() override;
  // Nothing ends the dialog while an access runs.
  void done(int result) override;

 protected:
  // Every message box of the window goes through one of these: a modal box
  // when idle, a box that does not wait while an access runs (`closed`, if
  // any, runs once the user has closed it).
  virtual void ShowMessageBox(const QString& text, MessageIcon icon, const QString& detail);
  virtual void OpenMessageBox(const QString& text, MessageIcon icon, const QString& detail,
                              std::function<void()> closed);
  // Every file dialog and the folder chooser: modal, QDialog::Accepted when
  // confirmed.
  virtual int ExecFileDialog(QFileDialog& dialog);

  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void OnInitDialog();
  void CreateControls();
  void RemoveControl(int id);
  void EnableItem(int id, bool enabled);
  void SelectPortEntry();
  QComboBox* PortBox() const;
  // The port box's field: the chosen port's short name, or its whole path
  // while the user types into it.
  void ShowPortName();
  void AcceptTypedPort();
  // Runs `access` on the access thread with a conversation of its own,
  // keeping the window's events going until it is over and `finished` has
  // run on the window's thread.
  void RunAccess(std::function<void(LoaderContext&, HandedUi&)> access, std::function<void()> finished);
  void ApplySpeedBox(const SpeedBox& box);
  void ApplySchemeColours();
  void LockForRead();
  void UnlockAfterRead();
  void OnEraseBkgnd(QPainter& painter);
  void PaintBanner(QPainter& painter);
  void WriteLayoutReport() const;

  DialogServices m_services;
  std::unique_ptr<PortOpener> m_ownOpener;
  std::unique_ptr<Clock> m_ownClock;
  Settings m_settings;
  LoaderContext m_ctx;
  InterfaceChoice m_choice;
  ConverterSearch m_search;
  Catalog m_catalog;

  std::map<int, QWidget*> m_controls;
  QGroupBox* m_pWriteGroup = nullptr;
  CProgStatusBar* m_wndStatusBar = nullptr;
  CProgTextCtrl* m_wndProgress = nullptr;
  QPixmap m_hLampIdle;
  QPixmap m_hLampBusy;
  QPixmap m_hLampError;
  bool m_bCloseEnabled = true;
  // "Cl&ose" pressed while the lamp was yellow: the dialog ends once the
  // access is over.
  bool m_bCloseAfterAccess = false;

  QEventLoop* m_pAccessLoop = nullptr;
  // Last, so that it is the first to go: it waits for a running access.
  AccessThread m_accessThread{*this};
};

}  // namespace tarvel
