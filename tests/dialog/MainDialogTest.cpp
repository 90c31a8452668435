// The main dialog without a window: events against the calls it makes on a
// fake view that records them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "dialog/DialogTemplate.h"
#include "dialog/Globals.h"
#include "dialog/MainDialog.h"
#include "tests/support/Fakes.h"
#include "tests/support/TempDir.h"
#include "tests/trust/TrustCases.h"

namespace tarvel {
namespace {

using Calls = std::vector<std::string>;

std::string Flag(bool value) { return value ? "1" : "0"; }

class FakeView final : public MainDialogView {
 public:
  void EnableItem(int id, bool enabled) override { note("enable " + std::to_string(id) + " " + Flag(enabled)); }
  void RemoveControl(int id) override { note("remove " + std::to_string(id)); }
  void SetCheck(int id, bool checked) override { note("check " + std::to_string(id) + " " + Flag(checked)); }
  void SetStatusText(const std::string& text) override { note("status " + text); }
  void SetComment(const std::string& text) override { comment = text; }
  void SetTitle(const std::string& title) override { note("title " + title); }
  void SetCloseEnabled(bool enabled) override { note("close " + Flag(enabled)); }
  void Repaint() override {}
  std::vector<std::string> BoxEntries(int) const override { return {}; }
  int AddBoxEntry(int, const std::string&) override { return 0; }
  void SelectBoxEntry(int, int) override {}
  void FillBox(int id, const std::vector<std::string>& entries, int selected) override {
    std::string text = "fill " + std::to_string(id);
    for (const std::string& entry : entries) text += " " + entry;
    note(text + " @" + std::to_string(selected));
  }
  void SelectPortFieldText() override {}
  void SetPortHint(const std::string& hint) override { note("hint " + hint); }
  void ShowRows(const std::vector<CatalogRow>& rows) override {
    std::string text = "rows";
    for (const CatalogRow& row : rows) text += " " + row.fileName;
    note(text);
  }
  void SetRowToolTip(int row, const std::string& text) override { tips[row] = text; }
  int FocusedRow() const override { return focusedRow; }
  bool RowSelected(int) const override { return rowSelected; }
  void FocusRow(int row, bool selected) override { note("focus " + std::to_string(row) + " " + Flag(selected)); }
  void ShowSortArrow(int column, int image) override {
    note("arrow " + std::to_string(column) + " " + std::to_string(image));
  }
  void FitColumns() override {}
  void FocusFileList() override {}
  void SetFolderPane(const std::string&) override {}
  void RepaintLamp() override {}
  void SetReadProgress(unsigned, std::uint16_t) override {}
  void SetProgressRange(std::uint16_t) override {}
  void SetProgress(int, const std::string&) override {}
  void BringToFront() override {}
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  std::optional<std::string> ChooseFolder(const std::string&) override { return std::nullopt; }
  ConverterDialogAnswer RunConverterDialog(const Settings&, const std::string&) override {
    note("converter dialog");
    return converterAnswer;
  }
  DumpDialogAnswer RunDumpDialog(const std::string&) override {
    note("dump dialog");
    return dumpAnswer;
  }
  void ShowAbout() override {}
  void ShowMessageBox(const std::string& text, MessageIcon, const std::string&) override { note("box " + text); }
  void OpenMessageBox(const std::string& text, MessageIcon, const std::string&,
                      std::function<void()> closed) override {
    note("box " + text);
    if (closed) closed();
  }
  void OpenRefusalBox(const std::string& text) override { note("box " + text); }
  void CloseRefusalBoxes() override { note("refusals closed"); }
  bool AskYesNo(const std::string& text, MessageIcon, const std::string& detail) override {
    note("ask " + text);
    askDetail = detail;
    return answerYes;
  }
  void End() override { note("end"); }
  void Post(std::function<void()> task) override {
    const std::lock_guard lock(mutex);
    tasks.push_back(std::move(task));
  }
  void RunOnce() override {}
  // Runs the access's tasks as the window's thread would, until it is over.
  void WaitForAccess() override {
    if (duringAccess) duringAccess(*dialog);
    RunPostedUntil([this] { return !dialog->Accessing(); });
  }
  void AccessOver() override { note("over"); }
  // Runs what other threads posted until `done`, as the window's thread
  // would; false when it is not done within a generous time.
  bool RunPostedUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::function<void()> task;
      {
        const std::lock_guard lock(mutex);
        if (!tasks.empty()) {
          task = std::move(tasks.front());
          tasks.pop_front();
        }
      }
      if (task) {
        task();
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    return true;
  }

  void note(std::string call) { calls.push_back(std::move(call)); }

  MainDialog* dialog = nullptr;
  Calls calls;
  int focusedRow = -1;
  bool rowSelected = false;
  ConverterDialogAnswer converterAnswer;
  DumpDialogAnswer dumpAnswer;
  std::function<void(MainDialog&)> duringAccess;
  std::mutex mutex;
  std::deque<std::function<void()>> tasks;
  std::map<int, std::string> tips;
  std::string comment;
  bool answerYes = false;  // No is the default
  std::string askDetail;
};

// True when `expected` occur in `calls` in this order, others between them.
bool InOrder(const Calls& calls, const Calls& expected) {
  auto at = calls.begin();
  for (const std::string& call : expected) {
    at = std::find(at, calls.end(), call);
    if (at == calls.end()) return false;
    ++at;
  }
  return true;
}

std::string Joined(const Calls& calls) {
  std::string text;
  for (const std::string& call : calls) text += "\n  " + call;
  return text;
}

constexpr const char* kCantClose = "box Can't close while accessing the flash.";
constexpr const char* kEnd = "end";

TEST(MainDialog, EventsAgainstTheViewCalls) {
  const struct {
    const char* name;
    std::string arguments;
    bool type1Allowed;
    std::function<void(MainDialog&, FakeView&)> event;
    Calls expected;  // in this order
    Calls absent;    // calls beginning so, after start-up
  } rows[] = {
      {"start-up in normal mode: no converters, no line switches, no WRITE, no arrow",
       "", true, nullptr,
       {"fill 1004 /dev/ttyS0 @-1", "check 1024 1", "enable 1000 0", "remove 1002", "remove 1028", "remove 1018",
        "remove 1019", "remove 1020", "arrow -1 -1"},
       {}},
      {"start-up in service mode without QAP-10 or converters: the line switches stay", "-q", false, nullptr,
       {"enable 1025 0", "remove 1026", "enable 1000 0", "remove 1002", "remove 1028"},
       {}},
      {"QAP-10 chosen: its speeds from 38400, the line switches off", "-q", true,
       [](MainDialog& d, FakeView&) { d.OnSelectType(kTypeQap10); },
       {"fill 1005 38400 115200 @0", "enable 1019 0", "enable 1020 0"},
       {}},
      {"the cable already chosen: nothing", "-q", true, [](MainDialog& d, FakeView&) { d.OnSelectType(kTypeQap8); },
       {},
       {"fill", "enable"}},
      {"a header click sorts by name ascending, a second descending", "", true,
       [](MainDialog& d, FakeView&) {
         d.OnColumnClick(0);
         d.OnColumnClick(0);
       },
       {"rows a.sfl b.sfl c.sfl", "arrow 0 1", "rows c.sfl b.sfl a.sfl", "arrow 0 0"},
       {"focus"}},
      {"the focused and selected row follows its file through the sort", "", true,
       [](MainDialog& d, FakeView& v) {
         d.OnColumnClick(0);
         v.focusedRow = 0;
         v.rowSelected = true;
         d.OnColumnClick(0);
       },
       {"rows c.sfl b.sfl a.sfl", "focus 2 1", "arrow 0 0"},
       {}},
      {"a column that is not one: nothing", "", true, [](MainDialog& d, FakeView&) { d.OnColumnClick(2); }, {},
       {"rows", "arrow"}},
      {"a file clicked: WRITE and the title", "", true,
       [](MainDialog& d, FakeView& v) {
         d.OnColumnClick(1);
         d.OnColumnClick(0);
         v.focusedRow = 1;
         d.OnFileListClick();
       },
       {"enable 1000 1", "title b - Tarvel"},
       {}},
      {"the focus moved to a row by the keys: its file, as a click", "", true,
       [](MainDialog& d, FakeView& v) {
         d.OnColumnClick(0);
         v.focusedRow = 2;
         d.OnFocusedRowChanged();
       },
       {"enable 1000 1", "title c - Tarvel"},
       {}},
      {"the focus back on the file chosen: not loaded again", "", true,
       [](MainDialog& d, FakeView& v) {
         d.OnColumnClick(0);
         v.focusedRow = 0;
         d.OnFileListClick();
         v.note("--");
         d.OnFocusedRowChanged();
         v.focusedRow = -1;
         d.OnFocusedRowChanged();
         EXPECT_EQ(v.calls.back(), "--");
       },
       {"title a - Tarvel", "--"},
       {}},
      {"the rows replaced (in listing order): the same row's file is chosen anew", "", true,
       [](MainDialog& d, FakeView& v) {
         d.OnColumnClick(0);
         v.focusedRow = 0;
         d.OnFileListClick();
         d.OnReload();
         d.OnFocusedRowChanged();
       },
       {"title a - Tarvel", "title Tarvel", "title c - Tarvel"},
       {}},
      {"Reload: the title back, WRITE off", "", true, [](MainDialog& d, FakeView&) { d.OnReload(); },
       {"title Tarvel", "enable 1000 0"},
       {}},
      {"Close when idle ends the dialog", "", true, [](MainDialog& d, FakeView&) { d.OnButtonClose(); }, {kEnd},
       {"box"}},
      {"Close at the red lamp is refused", "", true,
       [](MainDialog& d, FakeView&) {
         d.Context().m_nStatus = 1;
         d.OnButtonClose();
       },
       {kCantClose},
       {kEnd}},
      {"Close at the yellow lamp when idle ends the dialog", "", true,
       [](MainDialog& d, FakeView&) {
         d.Context().m_nStatus = 2;
         d.OnButtonClose();
       },
       {kEnd},
       {"box"}},
      {"a write locks the window and unlocks it; the port that cannot open is reported", "", true,
       [](MainDialog& d, FakeView&) { d.OnWrite(); },
       {"enable 1000 0", "enable 1001 0", "enable 1009 0", "check 1019 0", "close 0", "status Writing...",
        "close 1", "status ", "over"},
       {kEnd, "enable 1007"}},
      {"Close during a write is refused", "", true,
       [](MainDialog& d, FakeView& v) {
         v.duringAccess = [](MainDialog& dialog) { dialog.OnButtonClose(); };
         d.OnWrite();
       },
       {kCantClose, "refusals closed", "over"},
       {kEnd}},
      {"Close during a write at the yellow lamp ends the dialog once it is over", "", true,
       [](MainDialog& d, FakeView& v) {
         v.duringAccess = [](MainDialog& dialog) {
           dialog.Context().m_nStatus = 2;
           dialog.OnButtonClose();
         };
         d.OnWrite();
       },
       {"over", kEnd},
       {"box Can't"}},
      {"Dump cancelled: no lock", "-q", true, [](MainDialog& d, FakeView&) { d.OnDump(); }, {"dump dialog"},
       {"enable", "close"}},
      {"Dump locks the file list too and leaves WRITE off", "-q", true,
       [](MainDialog& d, FakeView& v) {
         v.dumpAnswer = {"out.sfl", "0"};
         d.OnDump();
       },
       {"dump dialog", "enable 1000 0", "enable 1007 0", "close 0", "enable 1000 0", "enable 1007 1", "close 1",
        "over"},
       {"status Writing", "enable 1000 1"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    for (const char* name : {"b.sfl", "a.sfl", "c.sfl"}) dir.write(name, ";x\r\n");
    g_strStartDir = dir.path().string();
    test::FakeOpener opener;
    opener.failWith = OpenStatus::CannotOpen;
    MainDialogServices services;
    services.settingsPath = (dir.path() / "tarvel.ini").string();
    services.argumentText = row.arguments;
    services.platform.m_bType1Allowed = row.type1Allowed;
    services.listPorts = [] { return std::vector<std::string>{"/dev/ttyS0"}; };
    services.converterSearch = ConverterSearch{{(dir.path() / "none").string()}, false};
    services.opener = &opener;

    FakeView view;
    MainDialog dialog(view, services);
    view.dialog = &dialog;
    dialog.Start();
    const std::size_t started = view.calls.size();
    if (row.event) row.event(dialog, view);
    EXPECT_TRUE(InOrder(view.calls, row.expected)) << Joined(view.calls);
    for (std::size_t i = started; i < view.calls.size(); ++i) {
      for (const std::string& absent : row.absent) EXPECT_NE(view.calls[i].rfind(absent, 0), 0u) << view.calls[i];
    }
  }
  g_bServiceMode = false;
}

// What the file dialogs return goes to the process-wide texts, confirmed
// or not.
TEST(MainDialog, TheFileDialogsFieldsBecomeTheProcessWideTexts) {
  test::TempDir dir;
  g_strStartDir = dir.path().string();
  MainDialogServices services;
  services.settingsPath = (dir.path() / "tarvel.ini").string();
  services.listPorts = [] { return std::vector<std::string>{}; };
  FakeView view;
  MainDialog dialog(view, services);
  view.dialog = &dialog;
  dialog.Start();

  view.converterAnswer = {"", {"out.sfl", "10", "1F", "Radio X", "2.01"}};
  dialog.OnSflConv();
  EXPECT_EQ(g_strSflName, "out.sfl");
  EXPECT_EQ(g_strStartBlock, "10");
  EXPECT_EQ(g_strEndBlock, "1F");
  EXPECT_EQ(g_strProductName, "Radio X");
  EXPECT_EQ(g_strFirmVersion, "2.01");

  view.dumpAnswer = {"", "12"};
  dialog.OnDump();
  EXPECT_EQ(g_strDumpEndBlock, "12");
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// The manifest's states in the window: WRITE enabled for the row chosen,
// the comment's last line, and before any port is opened the refusal's box
// or the warning's question, whose No (the default) writes nothing.
TEST(MainDialog, EveryManifestStateInTheWindow) {
  for (const test::TrustCase& row : test::TrustCases()) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    const TrustOptions trust = test::MakeTrustFolder(row, dir.path());
    std::string ini = "[Manifest]\n";
    if (!trust.keyFiles.empty()) {
      ini += "Keys=";
      for (const std::string& key : trust.keyFiles) ini += key + (&key == &trust.keyFiles.back() ? "\n" : ";");
    }
    if (row.required) ini += "RequireManifest=1\n";
    dir.write("tarvel.ini", ini);
    g_strStartDir = dir.path().string();
    test::FakeOpener opener;
    opener.failWith = OpenStatus::CannotOpen;
    MainDialogServices services;
    services.settingsPath = (dir.path() / "tarvel.ini").string();
    services.listPorts = [] { return std::vector<std::string>{"/dev/ttyS0"}; };
    services.opener = &opener;
    FakeView view;
    MainDialog dialog(view, services);
    view.dialog = &dialog;
    dialog.Start();
    view.focusedRow = 0;
    view.calls.clear();
    dialog.OnFileListClick();
    const bool enabled = row.verdict != WriteVerdict::Refuse;
    EXPECT_TRUE(InOrder(view.calls, {"enable 1000 " + Flag(enabled), "title radio - Tarvel"})) << Joined(view.calls);
    if (row.state == ManifestState::Matches && *row.signedBy != '\0') {
      EXPECT_TRUE(view.comment.ends_with("\r\n\r\nChecked against SHA256SUMS (signed by " +
                                         std::string(row.signedBy) + ")"))
          << view.comment;
    }
    if (row.manifest == nullptr) {
      EXPECT_EQ(view.comment.find("SHA256SUMS"), std::string::npos) << view.comment;
    }
    // The row's tool tip, from the thread that computes the digests.
    ASSERT_TRUE(view.RunPostedUntil([&] { return view.tips.count(0) == 1; }));
    if (!row.alterFile) {
      EXPECT_TRUE(view.tips[0].starts_with("SHA-256 55dd5b09efe0")) << view.tips[0];
    }
    EXPECT_EQ(view.tips[0].find('\n') != std::string::npos, row.manifest != nullptr) << view.tips[0];

    const auto said = [&](const char* kind) {
      return std::any_of(view.calls.begin(), view.calls.end(), [kind](const std::string& call) {
        return call.starts_with(kind) && call.find("manifest") != std::string::npos;
      });
    };
    const auto written = [&] {
      return std::find(view.calls.begin(), view.calls.end(), "status Writing...") != view.calls.end();
    };
    const bool warned = row.verdict == WriteVerdict::Warn;
    view.calls.clear();
    view.askDetail.clear();
    dialog.OnWrite();
    EXPECT_EQ(said("box "), row.verdict == WriteVerdict::Refuse) << Joined(view.calls);
    EXPECT_EQ(said("ask "), warned) << Joined(view.calls);
    EXPECT_EQ(view.askDetail.empty(), !warned) << view.askDetail;
    EXPECT_EQ(written(), row.verdict == WriteVerdict::Go) << Joined(view.calls);
    if (!enabled) {
      EXPECT_EQ(view.calls.front(), "enable 1000 0");
    }
    if (warned) {
      EXPECT_TRUE(view.calls.back().ends_with("?")) << view.calls.back();
      view.answerYes = true;
      view.calls.clear();
      dialog.OnWrite();
      EXPECT_TRUE(written()) << Joined(view.calls);
    }
  }
}

// A listed file changed after it was checked, with its size and its
// modification time as they were: a click on its row and a Reload read it
// again, and it is no longer shown as a match.
TEST(MainDialog, AFileChangedSinceItWasCheckedIsNoMatch) {
  namespace fs = std::filesystem;
  const struct {
    const char* name;
    std::function<void(MainDialog&, FakeView&)> event;
    bool manifestChanged = false;  // the manifest lists another digest, the file stays
  } rows[] = {
      {"its row clicked again", [](MainDialog& d, FakeView&) { d.OnFileListClick(); }},
      // A click reads the manifest again: WRITE and the status line follow it.
      {"the manifest changed, its row clicked again", [](MainDialog& d, FakeView&) { d.OnFileListClick(); }, true},
      {"Reload, then its row clicked",
       [](MainDialog& d, FakeView& v) {
         v.tips.clear();
         d.OnReload();
         ASSERT_TRUE(v.RunPostedUntil([&] { return v.tips.count(0) == 1; }));
         EXPECT_NE(v.tips[0].find("Differs from SHA256SUMS"), std::string::npos) << v.tips[0];
         d.OnFileListClick();
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    test::MakeTrustFolder(test::TrustCases().front(), dir.path());  // radio.sfl as listed
    g_strStartDir = dir.path().string();
    MainDialogServices services;
    services.settingsPath = (dir.path() / "tarvel.ini").string();
    services.listPorts = [] { return std::vector<std::string>{"/dev/ttyS0"}; };
    FakeView view;
    MainDialog dialog(view, services);
    view.dialog = &dialog;
    dialog.Start();
    ASSERT_TRUE(view.RunPostedUntil([&] { return view.tips.count(0) == 1; }));
    EXPECT_NE(view.tips[0].find("Checked against SHA256SUMS"), std::string::npos) << view.tips[0];
    view.focusedRow = 0;
    dialog.OnFileListClick();
    EXPECT_NE(view.comment.find("Checked against SHA256SUMS"), std::string::npos) << view.comment;

    const fs::path file = dir.path() / "radio.sfl";
    if (row.manifestChanged) {
      test::WriteAll(dir.path() / "SHA256SUMS", std::string(64, '0') + "  radio.sfl\n");
    } else {
      const fs::file_time_type modified = fs::last_write_time(file);
      std::string bytes = test::ReadAll(file);
      bytes.replace(bytes.find("DEMO"), 4, "DEMX");
      std::fstream(file, std::ios::in | std::ios::out | std::ios::binary) << bytes;
      fs::last_write_time(file, modified);
    }
    view.calls.clear();
    view.comment.clear();
    row.event(dialog, view);

    EXPECT_TRUE(InOrder(view.calls, {"enable 1000 0", "title radio - Tarvel"})) << Joined(view.calls);
    EXPECT_EQ(view.comment.find("Checked against"), std::string::npos) << view.comment;
    EXPECT_NE(view.comment.find("Differs from SHA256SUMS"), std::string::npos) << view.comment;
    EXPECT_NE(view.tips[0].find("Differs from SHA256SUMS"), std::string::npos) << view.tips[0];
  }
}

}  // namespace
}  // namespace tarvel
