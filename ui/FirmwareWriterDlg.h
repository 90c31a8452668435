// The main window in Qt: a fixed-size dialog with the controls of the
// shared table. What it does lives in MainDialog; the window draws, keeps
// the toolkit's events and forwards the commands. A write or a flash read
// keeps the window's events going in its button handler, which returns
// when the access is over.
#pragma once

#include <QMessageBox>
#include <QPointer>
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

#include "base/MessageDisplay.h"
#include "dialog/MainDialog.h"
#include "ui/DialogWidgets.h"

class QComboBox;
class QEventLoop;
class QFileDialog;
class QGroupBox;
class QMessageBox;

namespace tarvel {

class CFileListCtrl;
class CProgStatusBar;
class CProgTextCtrl;

// What the window takes from its surroundings: the dialog's, and where
// the controls stand once the dialog is up, for the tests that compare it
// with the Windows window (TARVEL_WINDOW_LAYOUT). Empty: none.
struct DialogServices : MainDialogServices {
  std::string layoutReport;
};

class CFirmwareWriterDlg : public QDialog, public MainDialogView {
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

  // The behaviour behind the window, and its state.
  MainDialog& Dialog() { return m_dialog; }
  const MainDialog& Dialog() const { return m_dialog; }
  DialogPort& Context() { return m_dialog.Context(); }
  const DialogPort& Context() const { return m_dialog.Context(); }
  bool DarkScheme() const { return m_dialog.DarkScheme(); }
  bool CloseEnabled() const { return m_dialog.CloseEnabled(); }
  bool Accessing() const { return m_dialog.Accessing(); }

  void OnWrite() { m_dialog.OnWrite(); }
  void OnSflConv() { m_dialog.OnSflConv(); }
  void OnDump() { m_dialog.OnDump(); }
  void OnAbout() { ShowAbout(); }
  // Owner-draw request of status pane 1: the lamp of m_nStatus.
  void OnDrawItem(int pane);

  // MainDialogView
  void EnableItem(int id, bool enabled) override;
  void RemoveControl(int id) override;
  void SetCheck(int id, bool checked) override;
  void SetStatusText(const std::string& text) override;
  void SetComment(const std::string& text) override;
  void SetTitle(const std::string& title) override;
  void SetCloseEnabled(bool) override {}
  void Repaint() override { repaint(); }
  std::vector<std::string> BoxEntries(int id) const override;
  int AddBoxEntry(int id, const std::string& text) override;
  void SelectBoxEntry(int id, int entry) override;
  void FillBox(int id, const std::vector<std::string>& entries, int selected) override;
  void SelectPortFieldText() override;
  void ShowRows(const std::vector<CatalogRow>& rows) override;
  void SetRowToolTip(int row, const std::string& text) override;
  int FocusedRow() const override;
  bool RowSelected(int row) const override;
  void FocusRow(int row, bool selected) override;
  void ShowSortArrow(int column, int image) override;
  void FitColumns() override;
  void FocusFileList() override;
  void SetFolderPane(const std::string& folder) override;
  void RepaintLamp() override;
  void SetReadProgress(unsigned position, std::uint16_t endBlock) override;
  void SetProgressRange(std::uint16_t highest) override;
  void SetProgress(int position, const std::string& text) override;
  void BringToFront() override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  std::optional<std::string> ChooseFolder(const std::string& start) override;
  ConverterDialogAnswer RunConverterDialog(const Settings& settings, const std::string& folder) override;
  DumpDialogAnswer RunDumpDialog(const std::string& folder) override;
  void ShowAbout() override;
  // Every message box of the window: a modal box when idle, a box that does
  // not wait while an access runs.
  void OpenRefusalBox(const std::string& text) override;
  void CloseRefusalBoxes() override;
  void SetPortHint(const std::string& hint) override;
  bool AskYesNo(const std::string& text, MessageIcon icon, const std::string& detail) override;
  void ShowMessageBox(const std::string& text, MessageIcon icon, const std::string& detail) override;
  void OpenMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                      std::function<void()> closed) override;
  void End() override { accept(); }
  void Post(std::function<void()> task) override;
  void RunOnce() override;
  void WaitForAccess() override;
  void AccessOver() override;

  QString m_strVersion;
  QPixmap m_hIcon;
  QFont m_fontComment;

 public slots:
  // Escape: the dialog does not close.
  void reject() override;
  // Nothing ends the dialog while an access runs.
  void done(int result) override;

 protected:
  // Every file dialog and the folder chooser: modal, QDialog::Accepted when
  // confirmed.
  virtual int ExecFileDialog(QFileDialog& dialog);
  // Every question the window asks, over the window itself or over one of
  // its file dialogs: Yes and No, No the default; true for Yes.
  virtual bool AskYesNoOver(QWidget& over, const std::string& text, MessageIcon icon, const std::string& detail);

  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void OnInitDialog();
  void CreateControls();
  void ConnectControls();
  QComboBox* PortBox() const;
  // The port box's field: the chosen port's short name, or its whole path
  // while the user types into it.
  void ShowPortName();
  void OnEraseBkgnd(QPainter& painter);
  void PaintBanner(QPainter& painter);

  std::string m_layoutReport;
  std::map<int, QWidget*> m_controls;
  QGroupBox* m_pWriteGroup = nullptr;
  CProgStatusBar* m_wndStatusBar = nullptr;
  CProgTextCtrl* m_wndProgress = nullptr;
  QPixmap m_hLamps[3];  // by Lamp
  QEventLoop* m_pAccessLoop = nullptr;
  std::vector<QPointer<QMessageBox>> m_refusals;
  // The control that had the focus when an access disabled it.
  QPointer<QWidget> m_parkedFocus;
  // Last, so that it is the first to go: it waits for a running access.
  MainDialog m_dialog;
};

}  // namespace tarvel
