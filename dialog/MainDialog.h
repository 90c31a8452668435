// The main dialog's behaviour, whatever window shows it: the settings, the
// port and cable choice, the SFL folder and its catalog, the file chosen,
// the converters, and the write or flash read on its own thread with the
// lock around it. Each window forwards its events here and does what the
// dialog asks of it through MainDialogView.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "base/MessageDisplay.h"
#include "base/UiPump.h"
#include "catalog/Catalog.h"
#include "dialog/AccessThread.h"
#include "dialog/DialogLogic.h"
#include "dialog/MainDialogView.h"
#include "dialog/DialogPort.h"
#include "firmware/WriteProcedure.h"
#include "formats/SflFile.h"
#include "loader/SessionObserver.h"
#include "run/RadioSession.h"
#include "service/ConverterLibrary.h"
#include "service/Converters.h"
#include "settings/Settings.h"
#include "trust/FileTrust.h"

namespace tarvel {

// What the dialog takes from its surroundings; the defaults are the real
// system's.
struct MainDialogServices {
  std::string settingsPath;  // the settings file fixed at start-up
  std::string argumentText;  // the command line after the program name
  PlatformFlags platform = LinuxPlatformFlags();
  std::function<std::vector<std::string>()> listPorts;  // null: SystemPortNames
  // Where the converter libraries are looked for: the start-up probe, the
  // about box, the conversion and the flash read. None: the program's own.
  std::optional<ConverterSearch> converterSearch;
  PortOpener* opener = nullptr;  // null: the system's ports
  Clock* clock = nullptr;        // null: the steady clock
};

class MainDialog final : public SessionObserver, public MessageDisplay, public UiPump, public WindowThread {
 public:
  MainDialog(MainDialogView& view, MainDialogServices services);
  ~MainDialog() override;
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // Once the window's controls exist: the settings read, the boxes and the
  // list filled, the switches of the command line, the controls of the
  // mode removed.
  void Start();

  // The window's events.
  void OnWrite();
  void OnButtonClose();
  void OnReload();
  void OnBrowse();
  void OnSflConv();
  void OnDump();
  void OnSelectType(int type);
  void OnLineSwitch(int id, bool checked);
  void OnPortPicked(int entry);
  // Enter in the port box's field with `text` in it.
  void OnPortTyped(const std::string& text);
  void OnSpeedPicked(int entry);
  void OnColumnClick(int column);
  // A mouse click in the file list: the focused row's file read afresh.
  void OnFileListClick();
  // The focused row moved, by the keyboard or otherwise: its file is the
  // one chosen, as if clicked, unless it is chosen already.
  void OnFocusedRowChanged();
  // The entry that shows the port WRITE will use; one the system did not
  // list is added.
  void SelectPortEntry();
  // The title bar's close and Enter outside a button end the dialog only
  // while no access runs.
  bool MayEnd() const { return m_bCloseEnabled && !Accessing(); }

  // The window's port choice: m_nType, m_nStatus, the port name and speed,
  // the last sums.
  DialogPort& Context() { return m_ctx; }
  const DialogPort& Context() const { return m_ctx; }
  const ConverterSearch& Search() const { return m_search; }
  // A write or a flash read is under way on its own thread.
  bool Accessing() const { return m_accessThread.running(); }
  // False while a write or read runs: the title bar's close is refused.
  bool CloseEnabled() const { return m_bCloseEnabled; }
  bool Type1Allowed() const { return m_bType1Allowed; }
  bool DarkScheme() const;
  // The lamp of status pane 1.
  Lamp CurrentLamp() const { return LampForStatus(m_ctx.m_nStatus); }
  const std::string& SflFolder() const { return m_strSflFolder; }
  const std::string& FilePath() const { return m_strFilePath; }
  int SortColumn() const { return m_catalog.sortState().column(); }
  bool SortAscending() const { return m_catalog.sortState().ascending(); }

  // What a write or a read shows, on the window's thread.
  void lockForWrite();
  void unlockAfterWrite();
  void statusChanged(int status);
  void setProgressRange(std::uint16_t highest);
  void setProgress(int position, const std::string& text);
  void bringToFront();
  void setReadProgress(unsigned position);
  void showFolderPane();
  // SessionObserver, on the window's thread: the session's events, handed
  // over by the access thread (its boxes are the access thread's own).
  void statusChanged(AccessStatus status) override;
  void progressed(const Progress& progress) override;
  // MessageDisplay: a box that the dialog shows while an access runs does
  // not wait, so the access goes on.
  void showMessage(StringId id, MessageIcon icon, std::string_view detail = {}) override;
  void showReport(const std::string& text, MessageIcon icon) override;
  // UiPump
  void runOnce() override;
  // WindowThread
  void post(std::function<void()> task) override;
  void openMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                      std::function<void()> closed) override;

 private:
  void FillPortList();
  // No port to use: said instead of opening one.
  bool NoPort() const;
  void FillFileList();
  void LockForRead();
  void UnlockAfterRead();
  void SetCloseEnabled(bool enabled);
  void ApplyEnables(const std::vector<ControlEnable>& controls);
  void UncheckLineSwitches();
  void ShowBox(const std::string& text, MessageIcon icon, const std::string& detail);
  // The job of a write or a read from the window's choice, and what it runs on.
  RadioJob WindowJob() const;
  // A write's end: its sum kept, the bar cleared after its report.
  void WriteEnded(const RadioOutcome& outcome);
  SessionPlatform WindowPlatform();
  // Runs `access` on the access thread with a session of its own;
  // `finished` runs on the window's thread once it is over.
  void RunAccess(std::function<void(SessionObserver&)> access, std::function<void()> finished);
  // The catalog's rows shown, with the tool tips known so far.
  void ShowRows();
  // Tool tips (file name, text) that became known.
  void ShowRowTips(const std::vector<std::pair<std::string, std::string>>& tips);
  // The manifest's keys and rule, from the settings as they are now.
  TrustOptions Trust() const;
  // The rows' digests and states computed on a thread of their own; each
  // row's tool tip follows as it is known.
  void StartRowTips();
  void StopRowTips();

  MainDialogView& m_view;
  MainDialogServices m_services;
  std::unique_ptr<PortOpener> m_ownOpener;
  std::unique_ptr<Clock> m_ownClock;
  Settings m_settings;
  DialogPort m_ctx;
  InterfaceChoice m_choice;
  ConverterSearch m_search;
  Catalog m_catalog;

  bool m_bType1Allowed = true;
  bool m_bReading = false;  // the access under way is a flash read
  bool m_bCloseEnabled = true;
  // "Cl&ose" pressed while the lamp was yellow: the dialog ends once the
  // access is over.
  bool m_bCloseAfterAccess = false;
  std::string m_strSflFolder;
  std::string m_strFilePath;
  // The system listed no serial port when the box was filled.
  bool m_bNoSystemPorts = false;
  // The list's name of the file chosen; empty once the rows were replaced.
  std::string m_strChosenName;

  // The folder's manifest as the list was filled, and the digests, shared
  // with the thread that fills the tool tips.
  FolderManifest m_manifest;
  std::shared_ptr<DigestCache> m_digests = std::make_shared<DigestCache>(kSflMaxFileBytes);
  // Tasks posted by that thread run only while the dialog lives and the
  // rows they were made for are shown.
  std::shared_ptr<int> m_alive = std::make_shared<int>(0);
  unsigned m_tipRound = 0;
  std::map<std::string, std::string> m_rowTips;  // file name -> tool tip
  std::map<std::string, int> m_rowIndex;         // file name -> row shown
  std::atomic<bool> m_stopTips{false};
  std::thread m_tipThread;

  // Last, so that it is the first to go: it waits for a running access.
  AccessThread m_accessThread{*this};
};

}  // namespace tarvel
