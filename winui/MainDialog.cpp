#include "winui/MainDialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <cstdio>

#include "base/Strings.h"
#include "base/Win32Text.h"
#include "dialog/DialogTemplate.h"
#include "dialog/Globals.h"
#include "dialog/Looks.h"
#include "winui/AboutBox.h"
#include "winui/ControlText.h"
#include "winui/Controls.h"
#include "winui/DialogTemplateBuilder.h"
#include "winui/FileDialogs.h"

namespace tarvel::winui {

namespace {

constexpr UINT kRunTasks = WM_APP + 1;
constexpr UINT kAboutCommand = 0x0010;  // below 0xF000, a multiple of 16

}  // namespace

CFirmwareWriterDlg::CFirmwareWriterDlg(DialogServices services)
    : m_layoutReport(std::move(services.layoutReport)),
      m_dialog(*this, std::move(services)) {}

CFirmwareWriterDlg::~CFirmwareWriterDlg() {
  if (m_fontComment != nullptr) DeleteObject(m_fontComment);
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
  if (m_brushComment != nullptr) DeleteObject(m_brushComment);
}

void CFirmwareWriterDlg::DoModal() {
  WNDCLASSEXW dialogClass{};
  dialogClass.cbSize = sizeof(dialogClass);
  GetClassInfoExW(nullptr, L"#32770", &dialogClass);
  dialogClass.cbSize = sizeof(dialogClass);
  dialogClass.lpszClassName = kMainDialogClass;
  dialogClass.hInstance = GetModuleHandleW(nullptr);
  m_hIcon = static_cast<HICON>(LoadImageW(dialogClass.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  dialogClass.hIcon = m_hIcon;
  RegisterClassExW(&dialogClass);

  DialogFrame frame;
  frame.style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  frame.className = kMainDialogClass;
  frame.title = win32::Wide(LoadString(StringId::AppTitle));
  frame.widthDlu = kMainDialogWidthDlu;
  frame.heightDlu = kMainDialogHeightDlu;
  frame.fontPt = kMainDialogFontPt;
  const std::vector<WORD> words = BuildDialogTemplate(frame, kMainDialogControls);
  DialogBoxIndirectParamW(dialogClass.hInstance, reinterpret_cast<const DLGTEMPLATE*>(words.data()), nullptr,
                          DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CFirmwareWriterDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CFirmwareWriterDlg*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    dialog->m_hWnd = hwnd;
    dialog->OnInitDialog();
    return FALSE;  // the focus was given to the file list
  }
  auto* dialog = reinterpret_cast<CFirmwareWriterDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return dialog == nullptr ? FALSE : dialog->OnMessage(message, wParam, lParam);
}

INT_PTR CFirmwareWriterDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY:
      OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
      return TRUE;
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
      return OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ERASEBKGND: {
      if (!DarkScheme() || IsIconic(m_hWnd)) return FALSE;
      RECT client;
      GetClientRect(m_hWnd, &client);
      PaintDarkBackground(reinterpret_cast<HDC>(wParam), client);
      SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == kAboutCommand) {
        ShowAbout();
        return TRUE;
      }
      if ((wParam & 0xFFF0) == SC_CLOSE && !m_dialog.CloseEnabled()) return TRUE;
      return FALSE;
    case WM_CLOSE:
      // The title bar's close: refused while a write or read runs.
      if (m_dialog.MayEnd()) EndDialog(m_hWnd, IDOK);
      return TRUE;
    case kRunTasks:
      RunTasks();
      return TRUE;
    default:
      return FALSE;
  }
}

void CFirmwareWriterDlg::OnInitDialog() {
  // The version text, the icons and the system menu's About item.
  SetItemText(IDC_VERSION, std::string(LoadString(StringId::Version)));
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  m_hSmallIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon ? m_hSmallIcon : m_hIcon));
  const std::string about(LoadString(StringId::AboutMenu));
  if (HMENU menu = GetSystemMenu(m_hWnd, FALSE); menu != nullptr && !about.empty()) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, win32::Wide(about).c_str());
  }

  const StatusBar bar = CreateStatusBar(m_hWnd);
  m_hStatusBar = bar.bar;
  m_hStatusProgress = bar.progress;
  SetUpFileList(Item(IDC_FILE_LIST));

  // The cable symbol keeps its picture's size.
  if (HWND cable = Item(IDC_CABLE)) {
    RECT place;
    GetWindowRect(cable, &place);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    SetWindowPos(cable, nullptr, place.left, place.top, 28, 13, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  for (const char* port : kInitialPortEntries) AddBoxEntry(IDC_PORT, port);
  m_dialog.Start();

  m_fontComment = CreateCommentFont(m_hWnd);
  SendMessageW(Item(IDC_COMMENT), WM_SETFONT, reinterpret_cast<WPARAM>(m_fontComment), FALSE);
  if (g_bDarkScheme) ListView_SetTextColor(Item(IDC_FILE_LIST), ToColorRef(kDarkText));
  if (DarkScheme()) {
    UseClassicLook(m_hWnd);
    m_brushComment = CreateSolidBrush(GetSysColor(COLOR_INACTIVEBORDER));
  }

  if (!m_layoutReport.empty()) {
    Post([this] {
      WriteLayoutReport(m_layoutReport, m_hWnd, m_dialog.Type1Allowed(), m_dialog.Context().m_bRtsPulse, DarkScheme());
    });
  }
}

void CFirmwareWriterDlg::OnCommand(int id, int code) {
  switch (id) {
    case IDOK:
      OnEnter();
      return;
    case IDCANCEL:
      return;  // Escape does not close the dialog
    case IDC_WRITE:
      if (code == BN_CLICKED) m_dialog.OnWrite();
      return;
    case IDC_BROWSE:
      if (code == BN_CLICKED) m_dialog.OnBrowse();
      return;
    case IDC_SFL_CONV:
      if (code == BN_CLICKED) m_dialog.OnSflConv();
      return;
    case IDC_DUMP:
      if (code == BN_CLICKED) m_dialog.OnDump();
      return;
    case IDC_RELOAD:
      if (code == BN_CLICKED) m_dialog.OnReload();
      return;
    case IDC_CLOSE:
      if (code == BN_CLICKED) m_dialog.OnButtonClose();
      return;
    case IDC_TYPE0:
    case IDC_TYPE1:
      if (code == BN_CLICKED) m_dialog.OnSelectType(id == IDC_TYPE1 ? kTypeQap10 : kTypeQap8);
      return;
    case IDC_CHECK_5V:
    case IDC_CHECK_MD:
      if (code == BN_CLICKED) m_dialog.OnLineSwitch(id, IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED);
      return;
    case IDC_PORT:
      if (code == CBN_SELCHANGE) {
        m_dialog.OnPortPicked(static_cast<int>(SendMessageW(Item(IDC_PORT), CB_GETCURSEL, 0, 0)));
      } else if (code == CBN_KILLFOCUS) {
        m_dialog.SelectPortEntry();  // leaving the field without Enter drops what was typed
      }
      return;
    case IDC_BAUD:
      if (code == CBN_SELCHANGE) m_dialog.OnSpeedPicked(static_cast<int>(SendMessageW(Item(IDC_BAUD), CB_GETCURSEL, 0, 0)));
      return;
    default:
      return;
  }
}

// Enter: the port box takes a typed port; a focused push button was
// pressed by the dialog manager already; the file list keeps it; anywhere else the dialog ends,
// but never while an access runs.
void CFirmwareWriterDlg::OnEnter() {
  HWND focus = GetFocus();
  HWND port = Item(IDC_PORT);
  if (port != nullptr && focus != nullptr && (focus == port || GetParent(focus) == port)) {
    m_dialog.OnPortTyped(win32::Utf8(WindowText(port)));
    return;
  }
  // In the file list the focused row is the file already.
  if (focus != nullptr && focus == Item(IDC_FILE_LIST)) return;
  if (m_dialog.MayEnd()) EndDialog(m_hWnd, IDOK);
}

void CFirmwareWriterDlg::OnNotify(const NMHDR& header) {
  if (header.idFrom != IDC_FILE_LIST) return;
  if (header.code == NM_CLICK) {
    m_dialog.OnFileListClick();
  } else if (header.code == LVN_ITEMCHANGED) {
    // The focus reached a row by the keys (or the program): that row is
    // the file. Under a pressed mouse button NM_CLICK follows and loads.
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    const bool focused = (change.uChanged & LVIF_STATE) != 0 && (change.uNewState & LVIS_FOCUSED) != 0 &&
                         (change.uOldState & LVIS_FOCUSED) == 0;
    if (focused && GetKeyState(VK_LBUTTON) >= 0) m_dialog.OnFocusedRowChanged();
  } else if (header.code == LVN_COLUMNCLICK) {
    m_dialog.OnColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
  } else if (header.code == LVN_GETINFOTIPW) {
    // The list hands over its own buffer to fill.
    const auto& ask = reinterpret_cast<const NMLVGETINFOTIPW&>(header);
    const auto row = static_cast<std::size_t>(ask.iItem);
    if (ask.iItem >= 0 && row < m_rowTips.size() && !m_rowTips[row].empty() && ask.cchTextMax > 0) {
      lstrcpynW(ask.pszText, m_rowTips[row].c_str(), ask.cchTextMax);
    }
  }
}

void CFirmwareWriterDlg::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.hwndItem == m_hStatusBar) {
    // Status pane 1: the lamp of m_nStatus.
    PaintLamp(item.hDC, item.rcItem, m_dialog.CurrentLamp());
  } else if (item.CtlID == static_cast<UINT>(IDC_PROGRESS)) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    PaintTextProgress(item.hDC, item.rcItem, m_progress, g_bDarkScheme, font);
  } else if (item.CtlID == static_cast<UINT>(IDC_CABLE)) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    PaintCableSymbol(item.hDC, item.rcItem);
  }
}


INT_PTR CFirmwareWriterDlg::OnCtlColor(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == IDC_PORT || GetDlgCtrlID(GetParent(control)) == IDC_PORT) return FALSE;  // the port box's field
  // A box's drop-down list is no child of the dialog, and its id may be a
  // control's.
  if (control != m_hWnd && GetAncestor(control, GA_PARENT) != m_hWnd) return FALSE;
  const bool dark = DarkScheme();
  if (dark && control == m_hWnd) return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
  const std::optional<Rgb> colour = StaticTextColour(id, dark);
  if (!colour) return FALSE;
  SetTextColor(dc, ToColorRef(*colour));
  if (!dark) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
  }
  if (id == IDC_COMMENT) {
    // Opaque: its own background in the colour of an inactive border.
    SetBkColor(dc, GetSysColor(COLOR_INACTIVEBORDER));
    return reinterpret_cast<INT_PTR>(m_brushComment);
  }
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

void CFirmwareWriterDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  RECT client;
  GetClientRect(m_hWnd, &client);
  if (IsIconic(m_hWnd)) {
    DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
             (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, m_hIcon);
  } else if (HWND banner = Item(IDC_BANNER)) {
    RECT place;
    GetWindowRect(banner, &place);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    PaintBanner(dc, place, DarkScheme());
  }
  EndPaint(m_hWnd, &paint);
}

void CFirmwareWriterDlg::EnableItem(int id, bool enabled) {
  HWND item = Item(id);
  if (item == nullptr) return;
  EnableWindow(item, enabled ? TRUE : FALSE);
  // The list view draws its rows alike enabled or not: a disabled list is
  // greyed by hand, as the other controls grey themselves.
  if (id == IDC_FILE_LIST) {
    const COLORREF background = GetSysColor(enabled ? COLOR_WINDOW : COLOR_BTNFACE);
    ListView_SetBkColor(item, background);
    ListView_SetTextBkColor(item, background);
    ListView_SetTextColor(item, enabled ? (g_bDarkScheme ? ToColorRef(kDarkText) : GetSysColor(COLOR_WINDOWTEXT))
                                        : GetSysColor(COLOR_GRAYTEXT));
    InvalidateRect(item, nullptr, TRUE);
  }
}

void CFirmwareWriterDlg::RemoveControl(int id) {
  if (HWND item = Item(id)) DestroyWindow(item);
}

void CFirmwareWriterDlg::SetItemText(int id, const std::string& text) {
  if (HWND item = Item(id)) SetWindowTextW(item, win32::Wide(text).c_str());
  // A transparent label over the dark background leaves its old text.
  if (DarkScheme() && (id == IDC_STATUS_TEXT || id == IDC_PORT_HINT)) {
    RECT place;
    GetWindowRect(Item(id), &place);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    RedrawWindow(m_hWnd, &place, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }
}

void CFirmwareWriterDlg::SetPaneText(const std::string& text) {
  SendMessageW(m_hStatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(win32::Wide(text).c_str()));
}


void CFirmwareWriterDlg::SetCheck(int id, bool checked) {
  if (checked && (id == IDC_TYPE0 || id == IDC_TYPE1)) {
    CheckRadioButton(m_hWnd, IDC_TYPE0, IDC_TYPE1, id);
  } else {
    CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
  }
}

void CFirmwareWriterDlg::SetComment(const std::string& text) {
  SetWindowTextW(Item(IDC_COMMENT), CommentBoxText(text).c_str());
}

void CFirmwareWriterDlg::SetTitle(const std::string& title) { SetWindowTextW(m_hWnd, win32::Wide(title).c_str()); }

void CFirmwareWriterDlg::Repaint() {
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

std::vector<std::string> CFirmwareWriterDlg::BoxEntries(int id) const { return ComboEntries(Item(id)); }

int CFirmwareWriterDlg::AddBoxEntry(int id, const std::string& text) { return AddComboEntry(Item(id), text); }

void CFirmwareWriterDlg::SelectBoxEntry(int id, int entry) {
  SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  if (id == IDC_PORT) FitDropDown(Item(IDC_PORT));
}

void CFirmwareWriterDlg::FillBox(int id, const std::vector<std::string>& entries, int selected) {
  HWND box = Item(id);
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : entries) AddComboEntry(box, entry);
  SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void CFirmwareWriterDlg::SelectPortFieldText() { SendMessageW(Item(IDC_PORT), CB_SETEDITSEL, 0, MAKELPARAM(0, -1)); }

void CFirmwareWriterDlg::ShowRows(const std::vector<CatalogRow>& rows) {
  m_rowTips.assign(rows.size(), std::wstring());
  ShowListRows(Item(IDC_FILE_LIST), rows);
}

void CFirmwareWriterDlg::SetRowToolTip(int row, const std::string& text) {
  if (row >= 0 && static_cast<std::size_t>(row) < m_rowTips.size()) {
    m_rowTips[static_cast<std::size_t>(row)] = win32::Wide(text);
  }
}

void CFirmwareWriterDlg::FitColumns() { FitListColumns(Item(IDC_FILE_LIST)); }

void CFirmwareWriterDlg::ShowSortArrow(int column, int image) { ShowListSortArrow(Item(IDC_FILE_LIST), column, image); }

int CFirmwareWriterDlg::FocusedRow() const { return ListView_GetNextItem(Item(IDC_FILE_LIST), -1, LVNI_FOCUSED); }

bool CFirmwareWriterDlg::RowSelected(int row) const {
  return ListView_GetItemState(Item(IDC_FILE_LIST), row, LVIS_SELECTED) != 0;
}

void CFirmwareWriterDlg::FocusRow(int row, bool selected) {
  const UINT state = LVIS_FOCUSED | (selected ? LVIS_SELECTED : 0);
  ListView_SetItemState(Item(IDC_FILE_LIST), row, state, LVIS_FOCUSED | LVIS_SELECTED);
}

std::optional<std::string> CFirmwareWriterDlg::ChooseFolder(const std::string& start) {
  return winui::ChooseFolder(m_hWnd, start);
}

ConverterDialogAnswer CFirmwareWriterDlg::RunConverterDialog(const Settings& settings, const std::string& folder) {
  return winui::RunConverterDialog(m_hWnd, settings, folder);
}

DumpDialogAnswer CFirmwareWriterDlg::RunDumpDialog(const std::string& folder) {
  return winui::RunDumpDialog(m_hWnd, folder);
}

void CFirmwareWriterDlg::ShowAbout() { RunAboutBox(m_hWnd, m_dialog.Search()); }

void CFirmwareWriterDlg::SetCloseEnabled(bool enabled) {
  if (HMENU menu = GetSystemMenu(m_hWnd, FALSE))
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void CFirmwareWriterDlg::SetFolderPane(const std::string& folder) { SetPaneText(folder); }

void CFirmwareWriterDlg::RepaintLamp() {
  InvalidateRect(m_hStatusBar, nullptr, TRUE);
  UpdateWindow(m_hStatusBar);
}

void CFirmwareWriterDlg::SetProgressRange(std::uint16_t highest) {
  m_progress.lower = 0;
  m_progress.upper = highest;
  m_progress.position = std::clamp(m_progress.position, 0, static_cast<int>(highest));
  InvalidateRect(Item(IDC_PROGRESS), nullptr, FALSE);
}

void CFirmwareWriterDlg::SetProgress(int position, const std::string& text) {
  m_progress.position = std::clamp(position, std::min(m_progress.lower, m_progress.upper),
                                   std::max(m_progress.lower, m_progress.upper));
  m_progress.text = win32::Wide(text);
  InvalidateRect(Item(IDC_PROGRESS), nullptr, FALSE);
}

void CFirmwareWriterDlg::BringToFront() {
  SetForegroundWindow(m_hWnd);
  BringWindowToTop(m_hWnd);
}

void CFirmwareWriterDlg::SetReadProgress(unsigned position, std::uint16_t endBlock) {
  const bool show = position > 0;
  if ((IsWindowVisible(m_hStatusProgress) != FALSE) != show) {
    SetPaneText("");
    ShowWindow(m_hStatusProgress, show ? SW_SHOWNA : SW_HIDE);
  }
  const int upper = StatusProgressUpper(endBlock);
  SendMessageW(m_hStatusProgress, PBM_SETRANGE32, 0, std::max(upper, 1));
  SendMessageW(m_hStatusProgress, PBM_SETPOS, upper == 0 ? 0 : std::min<unsigned>(position, static_cast<unsigned>(upper)), 0);
}


void CFirmwareWriterDlg::ShowMessageBox(const std::string& text, MessageIcon icon, const std::string& detail) {
  MessageBoxW(m_hWnd, MessageBoxText(text, detail).c_str(), win32::Wide(LoadString(StringId::AppTitle)).c_str(),
              MB_OK | BoxIcon(icon));
}

void CFirmwareWriterDlg::SetPortHint(const std::string& hint) { SetItemText(IDC_PORT_HINT, hint); }

bool CFirmwareWriterDlg::AskYesNo(const std::string& text, MessageIcon icon, const std::string& detail) {
  return MessageBoxW(m_hWnd, MessageBoxText(text, detail).c_str(), win32::Wide(LoadString(StringId::AppTitle)).c_str(),
                     MB_YESNO | MB_DEFBUTTON2 | BoxIcon(icon)) == IDYES;
}

void CFirmwareWriterDlg::OpenMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                                        std::function<void()> closed) {
  ShowMessageBox(text, icon, detail);
  if (closed) closed();
}

void CFirmwareWriterDlg::Post(std::function<void()> task) {
  {
    const std::lock_guard lock(m_tasksMutex);
    m_tasks.push_back(std::move(task));
  }
  PostMessageW(m_hWnd, kRunTasks, 0, 0);
}

void CFirmwareWriterDlg::RunTasks() {
  // One task per message, so that a box a task opens lets the next run.
  std::function<void()> task;
  {
    const std::lock_guard lock(m_tasksMutex);
    if (m_tasks.empty()) return;
    task = std::move(m_tasks.front());
    m_tasks.pop_front();
  }
  task();
}

}  // namespace tarvel::winui
