// The main window on Windows: the dialog built from the shared control
// table, showing MainDialog as the Qt window does. A write or a flash read
// runs on its own thread; the window only draws and forwards events, so no
// box and nothing the user does holds the conversation with the radio.
#pragma once

#include "winui/WinApi.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "dialog/DialogTemplate.h"
#include "dialog/MainDialog.h"
#include "winui/Painting.h"

namespace tarvel::winui {

// The class of the main dialog, by which a second copy finds the first.
inline constexpr const wchar_t* kMainDialogClass = L"TarvelMainDialog";

struct DialogServices : MainDialogServices {
  // Where the controls stood, in screen pixels, once the dialog is up: a
  // file for the tests that drive it (TARVEL_WINDOW_LAYOUT). Empty: none.
  std::string layoutReport;
};

class CFirmwareWriterDlg final : public MainDialogView {
 public:
  explicit CFirmwareWriterDlg(DialogServices services);
  ~CFirmwareWriterDlg() override;
  CFirmwareWriterDlg(const CFirmwareWriterDlg&) = delete;
  CFirmwareWriterDlg& operator=(const CFirmwareWriterDlg&) = delete;

  // Runs the dialog until it ends.
  void DoModal();

  // MainDialogView
  void EnableItem(int id, bool enabled) override;
  void RemoveControl(int id) override;
  void SetCheck(int id, bool checked) override;
  void SetStatusText(const std::string& text) override { SetItemText(IDC_STATUS_TEXT, text); }
  void SetComment(const std::string& text) override;
  void SetTitle(const std::string& title) override;
  void SetCloseEnabled(bool enabled) override;
  void Repaint() override;
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
  void FocusFileList() override { SetFocus(Item(IDC_FILE_LIST)); }
  void SetFolderPane(const std::string& folder) override;
  void RepaintLamp() override;
  void SetReadProgress(unsigned position, std::uint16_t endBlock) override;
  void SetProgressRange(std::uint16_t highest) override;
  void SetProgress(int position, const std::string& text) override;
  void BringToFront() override;
  void BeginWaitCursor() override { m_previousCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }
  void EndWaitCursor() override { SetCursor(m_previousCursor); }
  std::optional<std::string> ChooseFolder(const std::string& start) override;
  ConverterDialogAnswer RunConverterDialog(const Settings& settings, const std::string& folder) override;
  DumpDialogAnswer RunDumpDialog(const std::string& folder) override;
  void ShowAbout() override;
  // The message loop of a box keeps serving the access's tasks, so a box
  // the window shows while an access runs does not hold it.
  // The box's own loop serves the access, which ends inside it: the user
  // closes it.
  void OpenRefusalBox(const std::string& text) override { ShowMessageBox(text, MessageIcon::Exclamation, {}); }
  void CloseRefusalBoxes() override {}
  void SetPortHint(const std::string& hint) override;
  bool AskYesNo(const std::string& text, MessageIcon icon, const std::string& detail) override;
  void ShowMessageBox(const std::string& text, MessageIcon icon, const std::string& detail) override;
  void OpenMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                      std::function<void()> closed) override;
  void End() override { EndDialog(m_hWnd, IDOK); }
  void Post(std::function<void()> task) override;
  // The window runs on its own thread: nothing to pump, nothing to wait for.
  void RunOnce() override {}
  void WaitForAccess() override {}
  void AccessOver() override {}

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnInitDialog();
  void OnCommand(int id, int code);
  void OnNotify(const NMHDR& header);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  INT_PTR OnCtlColor(HDC dc, HWND control);
  void OnPaint();
  void OnEnter();
  void RunTasks();
  bool DarkScheme() const { return m_dialog.DarkScheme(); }

  HWND Item(int id) const { return m_hWnd == nullptr ? nullptr : GetDlgItem(m_hWnd, id); }
  void SetItemText(int id, const std::string& text);
  void SetPaneText(const std::string& text);

  std::string m_layoutReport;
  HWND m_hWnd = nullptr;
  HWND m_hStatusBar = nullptr;
  HWND m_hStatusProgress = nullptr;
  HICON m_hIcon = nullptr;
  HICON m_hSmallIcon = nullptr;
  HFONT m_fontComment = nullptr;
  HBRUSH m_brushComment = nullptr;
  HCURSOR m_previousCursor = nullptr;
  ProgressState m_progress;
  // The rows' tool tips, asked for by the list (LVN_GETINFOTIP).
  std::vector<std::wstring> m_rowTips;

  std::mutex m_tasksMutex;
  std::deque<std::function<void()>> m_tasks;

  // Last, so that it is the first to go: it waits for a running access.
  MainDialog m_dialog;
};

}  // namespace tarvel::winui
