// The main window on Windows: the dialog built from the shared control
// table, with the same rules (DialogLogic, the settings layer, the catalog)
// as the Qt window. A write or a flash read runs on its own thread; the
// window only draws and forwards events, so no box and nothing the user
// does holds the conversation with the radio.
#pragma once

#include "winui/WinApi.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/MessageDisplay.h"
#include "base/UiPump.h"
#include "catalog/Catalog.h"
#include "dialog/AccessThread.h"
#include "dialog/DialogLogic.h"
#include "firmware/WriteProcedure.h"
#include "loader/LoaderContext.h"
#include "service/ConverterLibrary.h"
#include "service/Converters.h"
#include "settings/Settings.h"
#include "winui/Painting.h"

namespace tarvel::winui {

// The class of the main dialog, by which a second copy finds the first.
inline constexpr const wchar_t* kMainDialogClass = L"TarvelMainDialog";

struct DialogServices {
  std::string settingsPath;
  std::string argumentText;
  PlatformFlags platform;
  // Where the controls stood, in screen pixels, once the dialog is up: a
  // file for the tests that drive it (TARVEL_WINDOW_LAYOUT). Empty: none.
  std::string layoutReport;
  // The answer the Dump dialog gives without showing itself, "FILE,END",
  // for the same tests (TARVEL_WINDOW_DUMP_ANSWER). Empty: the dialog asks.
  std::string dumpAnswer;
};

class CFirmwareWriterDlg final : public WriteUi,
                                 public ReadUi,
                                 public MessageDisplay,
                                 public UiPump,
                                 public WindowThread {
 public:
  explicit CFirmwareWriterDlg(DialogServices services);
  ~CFirmwareWriterDlg() override;
  CFirmwareWriterDlg(const CFirmwareWriterDlg&) = delete;
  CFirmwareWriterDlg& operator=(const CFirmwareWriterDlg&) = delete;

  // Runs the dialog until it ends.
  void DoModal();

  // WriteUi and ReadUi, on the window's thread.
  void lockForWrite() override;
  void unlockAfterWrite() override;
  void statusChanged(int status) override;
  void setProgressRange(std::uint16_t highest) override;
  void setProgress(int position, const std::string& text) override;
  void bringToFront() override;
  void setReadProgress(unsigned position, std::uint16_t endBlock) override;
  void showFolderPane() override;
  // MessageDisplay
  void showMessage(StringId id, MessageIcon icon, std::string_view detail = {}) override;
  void showReport(const std::string& text, MessageIcon icon) override;
  // UiPump: the window runs on its own thread, nothing to pump here.
  void runOnce() override {}
  // WindowThread
  void post(std::function<void()> task) override;
  void openMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                      std::function<void()> closed) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnInitDialog();
  void CreateStatusBar();
  void OnCommand(int id, int code);
  void OnNotify(const NMHDR& header);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  INT_PTR OnCtlColor(HDC dc, HWND control);
  void OnPaint();
  void RunTasks();

  void OnWrite();
  void OnDump();
  void OnSflConv();
  void OnBrowse();
  void OnReload();
  void OnButtonClose();
  void OnEnter();
  void OnAbout();
  void OnSelectType(int type);
  void FillPortList();
  void SelectPortEntry();
  void AcceptTypedPort();
  void ApplySpeedBox(const SpeedBox& box);
  void FillFileList();
  void ShowRows();
  void FitColumns();
  void ShowSortArrow();
  void OnColumnClick(int column);
  void OnFileListClick();
  void LockForRead();
  void UnlockAfterRead();
  void SetCloseEnabled(bool enabled);
  void RunAccess(std::function<void(LoaderContext&, HandedUi&)> access, std::function<void()> finished);
  bool Accessing() const { return m_accessThread.running(); }
  bool DarkScheme() const { return DarkSchemeActive(m_bDarkRequested, m_ctx.m_bRtsPulse); }

  HWND Item(int id) const { return m_hWnd == nullptr ? nullptr : GetDlgItem(m_hWnd, id); }
  void EnableItem(int id, bool enabled);
  void RemoveControl(int id);
  void SetItemText(int id, const std::string& text);
  void SetPaneText(const std::string& text);
  void ShowBox(const std::string& text, MessageIcon icon, const std::string& detail);
  void WriteLayoutReport() const;

  DialogServices m_services;
  std::unique_ptr<PortOpener> m_opener;
  SteadyClock m_clock;
  Settings m_settings;
  LoaderContext m_ctx;
  InterfaceChoice m_choice;
  ConverterSearch m_search;
  Catalog m_catalog;

  HWND m_hWnd = nullptr;
  HWND m_hStatusBar = nullptr;
  HWND m_hStatusProgress = nullptr;
  HICON m_hIcon = nullptr;
  HICON m_hSmallIcon = nullptr;
  HFONT m_fontComment = nullptr;
  HBRUSH m_brushComment = nullptr;
  bool m_bType1Allowed = true;
  bool m_bDarkRequested = false;
  bool m_bCloseEnabled = true;
  bool m_bCloseAfterAccess = false;
  std::string m_strSflFolder;
  std::string m_strFilePath;
  ProgressState m_progress;

  std::mutex m_tasksMutex;
  std::deque<std::function<void()>> m_tasks;

  // Last, so that it is the first to go: it waits for a running access.
  AccessThread m_accessThread{*this};
};

}  // namespace tarvel::winui
