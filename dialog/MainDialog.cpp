#include "dialog/MainDialog.h"

#include <algorithm>

#include "base/Strings.h"
#include "catalog/CommentBlock.h"
#include "dialog/ConverterProbe.h"
#include "dialog/DialogTemplate.h"
#include "dialog/Globals.h"
#include "serial/CommPort.h"
#include "serial/SerialPort.h"
#include "service/SflConversion.h"

namespace tarvel {

namespace {

// The conversion's side of the window: START and END stored as typed, the
// window redrawn and the wait cursor shown while the converter runs, the
// replacement the dialog confirmed not asked again.
class DialogSflConvUi final : public SflConvUi {
 public:
  DialogSflConvUi(MainDialogView& view, Settings& settings, std::string replaceConfirmed)
      : m_view(view), m_settings(settings), m_replaceConfirmed(std::move(replaceConfirmed)) {}

  void storeBlockTexts(const std::string& startText, const std::string& endText) override {
    m_settings.setSflStart(startText);
    m_settings.setSflEnd(endText);
  }
  void beginWait() override {
    m_view.Repaint();
    m_view.BeginWaitCursor();
  }
  void endWait() override { m_view.EndWaitCursor(); }
  // A file that appeared after the dialog closed is asked about here.
  bool replaceExisting(const std::string& path) override {
    return path == m_replaceConfirmed ||
           m_view.AskYesNo(FormatString(StringId::ReplaceFilePrompt, {path}), MessageIcon::Exclamation, {});
  }

 private:
  MainDialogView& m_view;
  Settings& m_settings;
  std::string m_replaceConfirmed;
};

// The question before a write that would go on with a warning.
StringId WarningQuestion(StringId warning) {
  return warning == StringId::ManifestNotCounted ? StringId::ManifestNotCountedPrompt
                                                 : StringId::ManifestNotListedPrompt;
}

// A row's tool tip: its short digest and, when the folder has a manifest,
// its state.
std::string RowTip(const FolderManifest& manifest, const std::string& name, const std::string& sha256) {
  const std::string status = TrustStatusLine(manifest, CheckAgainstManifest(manifest, name, sha256));
  std::string tip = FormatString(StringId::RowDigestTip, {ShortDigest(sha256), status});
  if (status.empty()) tip.pop_back();  // the line break before the state
  return tip;
}

}  // namespace

MainDialog::MainDialog(MainDialogView& view, MainDialogServices services)
    : m_view(view),
      m_services(std::move(services)),
      m_ownOpener(m_services.opener ? nullptr : MakeSystemPortOpener()),
      m_ownClock(m_services.clock ? nullptr : std::make_unique<SteadyClock>()),
      m_settings(m_services.settingsPath),
      m_ctx(m_services.opener ? *m_services.opener : *m_ownOpener),
      m_choice(m_ctx, m_settings),
      m_search(m_services.converterSearch ? *m_services.converterSearch : ProgramConverterSearch()),
      m_catalog(std::string()) {}

MainDialog::~MainDialog() { StopRowTips(); }

void MainDialog::Start() {
  const int storedSpeed = m_choice.Load(m_services.platform.m_bType1Allowed);
  m_ctx.m_nStatus = 0;
  m_bType1Allowed = m_services.platform.m_bType1Allowed;
  m_ctx.m_bRtsPulse = m_services.platform.m_bRtsPulse;
  if (!m_bType1Allowed) {
    m_view.EnableItem(IDC_TYPE1, false);
    m_view.RemoveControl(IDC_CABLE);
  }

  FillPortList();
  SelectPortEntry();
  const SpeedBox speeds = m_choice.StartupSpeedBox(storedSpeed);
  m_view.FillBox(IDC_BAUD, speeds.entries, speeds.selected);
  m_view.SetCheck(m_ctx.m_nType == kTypeQap10 ? IDC_TYPE1 : IDC_TYPE0, true);
  m_view.SetStatusText({});

  m_strSflFolder = g_strStartDir;
  m_view.SetFolderPane(m_strSflFolder);
  FillFileList();
  m_view.EnableItem(IDC_WRITE, false);

  const CommandLineModes modes = ParseCommandLine(m_services.argumentText);
  g_bServiceMode = modes.serviceMode;
  g_bDarkScheme = modes.darkScheme;

  if (!m_choice.LineSwitchesEnabled()) {
    m_view.EnableItem(IDC_CHECK_5V, false);
    m_view.EnableItem(IDC_CHECK_MD, false);
  }
  for (int id : ControlsRemovedAtStart(g_bServiceMode, [this] { return ProbeConverterLibraries(m_search); }))
    m_view.RemoveControl(id);

  // No sort yet, so no arrow; both columns fitted.
  m_view.ShowSortArrow(-1, -1);
  m_view.FitColumns();
  m_view.FocusFileList();
}

bool MainDialog::DarkScheme() const { return DarkSchemeActive(g_bDarkScheme, m_ctx.m_bRtsPulse); }

void MainDialog::FillPortList() {
  const std::vector<std::string> names = m_services.listPorts ? m_services.listPorts() : SystemPortNames();
  m_view.FillBox(IDC_PORT, PortBoxEntries(names), -1);
  m_bNoSystemPorts = names.empty();
}

bool MainDialog::NoPort() const {
  return m_bNoSystemPorts && NoPortToUse({}, m_ctx.link.m_strCommName);
}

void MainDialog::SelectPortEntry() {
  const std::string& name = m_ctx.link.m_strCommName;
  if (NoPort()) {
    m_view.SetPortHint(std::string(LoadString(StringId::NoSerialPortFound)));
    m_view.SelectBoxEntry(IDC_PORT, -1);
    return;
  }
  m_view.SetPortHint({});
  int entry = FindEntryExact(m_view.BoxEntries(IDC_PORT), name);
  if (entry < 0 && !name.empty()) entry = m_view.AddBoxEntry(IDC_PORT, name);
  m_view.SelectBoxEntry(IDC_PORT, entry);
}

void MainDialog::OnPortPicked(int entry) {
  const std::vector<std::string> entries = m_view.BoxEntries(IDC_PORT);
  if (entry < 0 || entry >= static_cast<int>(entries.size()) || Accessing()) return;
  m_choice.PortChosen(entries[static_cast<std::size_t>(entry)]);
}

// The typed path becomes the port, as a picked entry would, and stays in
// the list.
void MainDialog::OnPortTyped(const std::string& text) {
  const std::optional<std::string> typed = TypedPortName(text);
  if (!typed || Accessing()) {
    SelectPortEntry();
    return;
  }
  int entry = FindEntryExact(m_view.BoxEntries(IDC_PORT), *typed);
  if (entry < 0) entry = m_view.AddBoxEntry(IDC_PORT, *typed);
  m_choice.PortChosen(m_view.BoxEntries(IDC_PORT)[static_cast<std::size_t>(entry)]);
  SelectPortEntry();
  m_view.SelectPortFieldText();
}

void MainDialog::OnSpeedPicked(int entry) {
  const std::vector<std::string> entries = m_view.BoxEntries(IDC_BAUD);
  if (entry < 0 || entry >= static_cast<int>(entries.size())) return;
  m_choice.SpeedChosen(entries[static_cast<std::size_t>(entry)]);
}

void MainDialog::OnSelectType(int type) {
  const std::optional<SpeedBox> speeds = m_choice.SelectType(type);
  if (!speeds) return;
  SelectPortEntry();
  m_view.FillBox(IDC_BAUD, speeds->entries, speeds->selected);
  m_view.EnableItem(IDC_CHECK_5V, m_choice.LineSwitchesEnabled());
  m_view.EnableItem(IDC_CHECK_MD, m_choice.LineSwitchesEnabled());
}

void MainDialog::OnLineSwitch(int id, bool checked) {
  std::optional<Failure> failure;
  if (id == IDC_CHECK_5V) failure = OnCheck5V(m_ctx.link, checked);
  if (id == IDC_CHECK_MD) failure = OnCheckMD(m_ctx.link, checked);
  if (failure) showMessage(failure->message, MessageIcon::Stop, failure->detail);
}

void MainDialog::FillFileList() {
  StopRowTips();
  const bool found = m_catalog.ChangeFolder(m_strSflFolder);
  m_strChosenName.clear();
  m_manifest = LoadFolderManifest(m_strSflFolder, Trust());
  m_rowTips.clear();
  ShowRows();
  StartRowTips();
  // A folder name or file names longer than before: the "Date" column
  // stays in view.
  m_view.FitColumns();
  // A folder without SFL files leaves the comment of the last file chosen.
  if (found) m_view.SetComment({});
}

void MainDialog::OnReload() {
  if (Accessing()) return;
  // Every file read again: one changed in a way its stamp does not show is
  // not taken for what it was.
  StopRowTips();
  m_digests->clear();
  FillFileList();
  m_view.SetTitle(std::string(LoadString(StringId::AppTitle)));
  m_view.EnableItem(IDC_WRITE, false);
}

void MainDialog::OnBrowse() {
  if (Accessing()) return;
  const std::optional<std::string> folder = m_view.ChooseFolder(m_strSflFolder);
  if (!folder || folder->empty()) return;
  m_strSflFolder = *folder;
  m_view.SetFolderPane(m_strSflFolder);
  OnReload();
}

void MainDialog::OnColumnClick(int column) {
  // The row with the keyboard focus, and its selection, follow their file
  // through the sort.
  const int current = m_view.FocusedRow();
  const auto& before = m_catalog.rows();
  const std::string focused = current >= 0 && current < static_cast<int>(before.size())
                                  ? before[static_cast<std::size_t>(current)].fileName
                                  : std::string();
  const bool selected = current >= 0 && m_view.RowSelected(current);

  if (!m_catalog.ColumnClick(column)) return;
  ShowRows();
  if (!focused.empty()) {
    const auto& after = m_catalog.rows();
    const auto found = std::find_if(after.begin(), after.end(),
                                    [&](const CatalogRow& row) { return row.fileName == focused; });
    if (found != after.end()) m_view.FocusRow(static_cast<int>(found - after.begin()), selected);
  }
  m_view.ShowSortArrow(SortColumn(), m_catalog.sortState().ArrowImage(SortColumn()));
  m_view.FitColumns();
}

void MainDialog::OnFileListClick() {
  const int row = m_view.FocusedRow();
  if (row < 0) return;
  const std::optional<Selection> selection = m_catalog.Select(static_cast<std::size_t>(row));
  if (!selection) return;
  m_strChosenName = m_catalog.rows()[static_cast<std::size_t>(row)].fileName;
  // The row's own file name: on Linux fw.SFL and fw.sfl are two files.
  m_strFilePath = selection->filePath;
  // The manifest and the file read afresh: either may have changed since
  // the list was filled. A file it refuses keeps WRITE disabled; the row's
  // tool tip follows.
  const TrustOptions trust = Trust();
  m_manifest = LoadFolderManifest(m_strSflFolder, trust);
  const std::string sha256 = m_digests->recompute(m_strFilePath).value_or("");
  const FileTrust fileTrust = CheckAgainstManifest(m_manifest, m_strChosenName, sha256);
  if (!sha256.empty()) ShowRowTips({{m_strChosenName, RowTip(m_manifest, m_strChosenName, sha256)}});
  const WriteTrust judged = JudgeForWrite(m_strFilePath, m_manifest, fileTrust, trust);
  // A write under way keeps WRITE disabled until it is over.
  m_view.EnableItem(IDC_WRITE, !Accessing() && judged.verdict != WriteVerdict::Refuse);
  m_view.SetTitle(selection->title);
  std::string reason;
  const std::optional<std::string> comment = ReadCommentBoxText(m_strFilePath, &reason);
  if (!comment) {
    showMessage(StringId::FileCannotBeOpened, MessageIcon::Stop, reason);
    return;
  }
  const std::string status = TrustStatusLine(m_manifest, fileTrust);
  m_view.SetComment(status.empty() ? *comment : *comment + "\r\n\r\n" + status);
}

void MainDialog::ShowRows() {
  const auto& rows = m_catalog.rows();
  m_view.ShowRows(rows);
  m_rowIndex.clear();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    m_rowIndex[rows[i].fileName] = static_cast<int>(i);
    const auto tip = m_rowTips.find(rows[i].fileName);
    if (tip != m_rowTips.end()) m_view.SetRowToolTip(static_cast<int>(i), tip->second);
  }
}

void MainDialog::ShowRowTips(const std::vector<std::pair<std::string, std::string>>& tips) {
  for (const auto& [name, tip] : tips) {
    m_rowTips[name] = tip;
    const auto row = m_rowIndex.find(name);
    if (row != m_rowIndex.end()) m_view.SetRowToolTip(row->second, tip);
  }
}

TrustOptions MainDialog::Trust() const {
  TrustOptions trust;
  trust.keyFiles = m_settings.manifestKeys();
  trust.requireManifest = m_settings.requireManifest();
  return trust;
}

void MainDialog::StopRowTips() {
  ++m_tipRound;
  m_stopTips = true;
  if (m_tipThread.joinable()) m_tipThread.join();
  m_stopTips = false;
}

void MainDialog::StartRowTips() {
  std::vector<std::string> names;
  names.reserve(m_catalog.rows().size());
  for (const CatalogRow& row : m_catalog.rows()) names.push_back(row.fileName);
  if (names.empty()) return;
  m_tipThread = std::thread([this, names = std::move(names), folder = m_strSflFolder, manifest = m_manifest,
                             digests = m_digests, alive = std::weak_ptr<int>(m_alive), round = m_tipRound] {
    // Handed over in batches: a folder of thousands of files must not
    // flood the window's event queue.
    constexpr std::size_t kBatch = 256;
    std::vector<std::pair<std::string, std::string>> batch;
    const auto hand = [&] {
      if (batch.empty()) return;
      m_view.Post([this, alive, round, tips = std::move(batch)] {
        if (!alive.expired() && round == m_tipRound) ShowRowTips(tips);
      });
      batch.clear();
    };
    for (const std::string& name : names) {
      if (m_stopTips) return;
      const std::string sha256 = digests->digest(folder + "/" + name).value_or("");
      if (sha256.empty()) continue;
      batch.emplace_back(name, RowTip(manifest, name, sha256));
      if (batch.size() == kBatch) hand();
    }
    hand();
  });
}

// The row highlighted is the file WRITE writes: a file other than the one
// shown would put the wrong firmware into a radio.
void MainDialog::OnFocusedRowChanged() {
  const int row = m_view.FocusedRow();
  const auto& rows = m_catalog.rows();
  if (row < 0 || row >= static_cast<int>(rows.size())) return;
  if (rows[static_cast<std::size_t>(row)].fileName == m_strChosenName) return;
  OnFileListClick();
}

void MainDialog::OnSflConv() {
  if (Accessing()) return;
  const ConverterDialogAnswer answer = m_view.RunConverterDialog(m_settings, m_strSflFolder);
  // The panel's texts as the dialog left them when it closed, confirmed or not.
  g_strSflName = answer.fields.sflName;
  g_strStartBlock = answer.fields.startBlock;
  g_strEndBlock = answer.fields.endBlock;
  g_strProductName = answer.fields.productName;
  g_strFirmVersion = answer.fields.firmVersion;
  if (answer.hexPath.empty()) return;
  const SflConvTexts texts{g_strSflName, g_strStartBlock, g_strEndBlock, g_strProductName, g_strFirmVersion};
  DialogSflConvUi ui(m_view, m_settings, answer.replaceConfirmed);
  if (RunSflConversion(answer.hexPath, texts, ui, *this, m_search)) OnReload();
}

void MainDialog::OnDump() {
  if (Accessing()) return;
  // The save dialog is gone before the read writes into its folder.
  const DumpDialogAnswer answer = m_view.RunDumpDialog(m_strSflFolder);
  g_strDumpEndBlock = answer.endBlock;
  if (answer.outputPath.empty()) return;
  if (NoPort()) {
    showMessage(StringId::NoSerialPortFound, MessageIcon::Exclamation);
    return;
  }

  LockForRead();
  // The read writes beside the chosen file and replaces it only on success.
  g_wEndBlock = ParseBlockText(g_strDumpEndBlock);
  const std::uint16_t endBlock = g_wEndBlock;
  auto outcome = std::make_shared<RadioOutcome>();
  m_bReading = true;
  RunAccess(
      [this, job = WindowJob(), platform = WindowPlatform(), path = answer.outputPath, endBlock,
       outcome](SessionObserver& observer) {
        ConverterBlockSink sink(m_search);
        *outcome = ReadFirmware(job, sink, path, endBlock, false, observer, platform);
      },
      [this, outcome] {
        m_ctx.m_wReadSum = outcome->read.readSum;
        setReadProgress(0);
        showFolderPane();
        if (outcome->read.succeeded) OnReload();
        UnlockAfterRead();
      });
}

void MainDialog::OnWrite() {
  // Never a second write inside a running access.
  if (Accessing()) return;
  if (NoPort()) {
    showMessage(StringId::NoSerialPortFound, MessageIcon::Exclamation);
    return;
  }
  const std::string filePath = m_strFilePath;  // a click in the list may change it meanwhile
  // The manifest's check on the very bytes the write will send, before the
  // radio is woken. A file that cannot be read or is not valid goes the
  // write's own way, which says so.
  auto file = std::make_shared<CheckedSflFile>();
  auto outcome = std::make_shared<RadioOutcome>();
  m_bReading = false;
  if (!LoadCheckedSflFile(filePath, *file)) {
    const WriteTrust check = CheckBeforeWrite(filePath, file->bytes, Trust());
    if (check.verdict == WriteVerdict::Refuse) {
      m_view.EnableItem(IDC_WRITE, false);
      showMessage(check.message, MessageIcon::Stop, check.detail);
      return;
    }
    // A file the manifest does not vouch for is written only when the user
    // says so; No, the default, leaves the radio alone.
    if (check.verdict == WriteVerdict::Warn &&
        !m_view.AskYesNo(std::string(LoadString(WarningQuestion(check.message))), MessageIcon::Exclamation,
                         check.detail)) {
      return;
    }
    RunAccess(
        [file, job = WindowJob(), platform = WindowPlatform(), outcome](SessionObserver& observer) {
          *outcome = WriteFirmware(job, *file, observer, platform);
        },
        [this, outcome] { WriteEnded(*outcome); });
    return;
  }
  RunAccess(
      [filePath, job = WindowJob(), platform = WindowPlatform(), outcome](SessionObserver& observer) {
        *outcome = WriteFirmwareFile(job, filePath, observer, platform);
      },
      [this, outcome] { WriteEnded(*outcome); });
}

void MainDialog::WriteEnded(const RadioOutcome& outcome) {
  if (outcome.write.ran) m_ctx.m_wCheckSum = outcome.write.checkSum;
  setProgress(0, std::string());
}

RadioJob MainDialog::WindowJob() const {
  RadioJob job;
  job.port = m_ctx.link.m_strCommName;
  job.baud = m_ctx.link.m_nBaudRate;
  job.cable = m_ctx.cable();
  job.rtsPulse = m_ctx.m_bRtsPulse;
  return job;
}

SessionPlatform MainDialog::WindowPlatform() {
  SessionPlatform platform;
  platform.opener = &m_ctx.link.opener;
  platform.clock = m_services.clock ? m_services.clock : m_ownClock.get();
  platform.timeouts = m_ctx.link.timeouts;
  platform.waitForInputBound = m_ctx.waitForInputBound;
  return platform;
}

void MainDialog::RunAccess(std::function<void(SessionObserver&)> access, std::function<void()> finished) {
  if (Accessing()) return;
  // A port that a line switch left open is closed before the session opens
  // its own.
  CloseCommPort(m_ctx.link);
  StartAccess(m_accessThread, *this, std::move(access), [this, finished = std::move(finished)] {
    // A refusal says nothing once the access is over.
    m_view.CloseRefusalBoxes();
    finished();
    m_view.AccessOver();
    if (m_bCloseAfterAccess) {
      m_bCloseAfterAccess = false;
      m_view.End();
    }
  });
  m_view.WaitForAccess();
}

// The lamp is red while the access uses the port, and also for the moments
// before and after that the access runs: "Cl&ose" is refused then. A yellow
// lamp (the synchronisation error shown) lets the dialog end once the
// access is over.
void MainDialog::OnButtonClose() {
  switch (AnswerClose(m_ctx.m_nStatus, Accessing())) {
    case CloseAnswer::Refuse:
      if (Accessing()) {
        m_view.OpenRefusalBox(std::string(LoadString(StringId::CantCloseWhileAccessing)));
      } else {
        showMessage(StringId::CantCloseWhileAccessing, MessageIcon::Exclamation);
      }
      return;
    case CloseAnswer::AfterAccess:
      m_bCloseAfterAccess = true;
      return;
    case CloseAnswer::Now:
      m_view.End();
      return;
  }
}

void MainDialog::SetCloseEnabled(bool enabled) {
  m_bCloseEnabled = enabled;
  m_view.SetCloseEnabled(enabled);
}

void MainDialog::ApplyEnables(const std::vector<ControlEnable>& controls) {
  for (const ControlEnable& control : controls) m_view.EnableItem(control.id, control.enabled);
}

void MainDialog::UncheckLineSwitches() {
  m_view.SetCheck(IDC_CHECK_5V, false);
  m_view.SetCheck(IDC_CHECK_MD, false);
}

void MainDialog::LockForRead() {
  ApplyEnables(LockedForRead());
  UncheckLineSwitches();
  SetCloseEnabled(false);
  m_view.Repaint();
}

void MainDialog::UnlockAfterRead() {
  ApplyEnables(IdleAfterRead(m_ctx.m_nType, m_bType1Allowed));
  m_view.FocusFileList();
  SetCloseEnabled(true);
  m_view.Repaint();
}

void MainDialog::lockForWrite() {
  ApplyEnables(LockedForAccess());
  UncheckLineSwitches();
  SetCloseEnabled(false);
  m_view.SetStatusText(std::string(LoadString(StringId::Writing)));
  m_view.Repaint();
}

void MainDialog::unlockAfterWrite() {
  SetCloseEnabled(true);
  m_view.SetStatusText({});
  ApplyEnables(IdleAfterAccess(m_ctx.m_nType, m_bType1Allowed));
  m_view.Repaint();
}

// The access's state, kept in the window's context for the lamp and Close.
void MainDialog::statusChanged(int status) {
  m_ctx.m_nStatus = status;
  m_view.RepaintLamp();
}

void MainDialog::statusChanged(AccessStatus status) { statusChanged(StatusCode(status)); }

void MainDialog::progressed(const Progress& progress) {
  if (m_bReading) {
    // The status bar's pane moves every 20 blocks; the last block's step
    // is left to the end of the read, which hides it.
    if (progress.phase == SessionPhase::Started) setReadProgress(1);
    if (progress.phase == SessionPhase::Reading && progress.block < progress.blocks) {
      setReadProgress(static_cast<unsigned>(progress.block) / kBlocksPerReadStep);
    }
    return;
  }
  switch (progress.phase) {
    case SessionPhase::Started: lockForWrite(); break;
    case SessionPhase::Writing:
      if (progress.block < 0) {
        setProgressRange(static_cast<std::uint16_t>(progress.blocks - 1));
      } else {
        setProgress(progress.block, FormatBlockCounter(progress.block));
      }
      break;
    case SessionPhase::Ended:
      unlockAfterWrite();
      bringToFront();
      break;
    default: break;
  }
}

void MainDialog::setProgressRange(std::uint16_t highest) { m_view.SetProgressRange(highest); }

void MainDialog::setProgress(int position, const std::string& text) { m_view.SetProgress(position, text); }

void MainDialog::bringToFront() { m_view.BringToFront(); }

// The bar's range comes from g_wEndBlock, which the read was started with.
void MainDialog::setReadProgress(unsigned position) { m_view.SetReadProgress(position, g_wEndBlock); }

void MainDialog::showFolderPane() { m_view.SetFolderPane(m_strSflFolder); }

void MainDialog::ShowBox(const std::string& text, MessageIcon icon, const std::string& detail) {
  if (Accessing()) {
    m_view.OpenMessageBox(text, icon, detail, {});
  } else {
    m_view.ShowMessageBox(text, icon, detail);
  }
}

void MainDialog::showMessage(StringId id, MessageIcon icon, std::string_view detail) {
  ShowBox(std::string(LoadString(id)), icon, std::string(detail));
}

void MainDialog::showReport(const std::string& text, MessageIcon icon) { ShowBox(text, icon, {}); }

void MainDialog::runOnce() { m_view.RunOnce(); }

void MainDialog::post(std::function<void()> task) { m_view.Post(std::move(task)); }

void MainDialog::openMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                                std::function<void()> closed) {
  m_view.OpenMessageBox(text, icon, detail, std::move(closed));
}

}  // namespace tarvel
