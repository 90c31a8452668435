#include "winui/MainDialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <cstdio>

#include "base/Strings.h"
#include "base/Win32Text.h"
#include "catalog/DisplayText.h"
#include "dialog/DialogTemplate.h"
#include "dialog/Globals.h"
#include "dialog/Looks.h"
#include "winui/AboutBox.h"
#include "winui/ControlText.h"
#include "winui/DialogTemplateBuilder.h"
#include "winui/FileDialogs.h"

namespace tarvel::winui {

namespace {

constexpr UINT kRunTasks = WM_APP + 1;
constexpr UINT kAboutCommand = 0x0010;  // below 0xF000, a multiple of 16
constexpr int kStatusBarId = 0xE801;
constexpr int kIndicatorMarginPx = 3;
constexpr int kLampPx = 16;
constexpr int kInitialStatusUpper = 255;
constexpr int kCommentFontTenthsPt = 96;

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::vector<std::string> ComboEntries(HWND box) {
  std::vector<std::string> entries;
  const int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(box, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
    SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    entries.push_back(win32::Utf8(text));
  }
  return entries;
}

int AddEntry(HWND box, const std::string& text) {
  return static_cast<int>(SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Wide(text).c_str())));
}

UINT BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Stop:
      return MB_ICONSTOP;
    case MessageIcon::Information:
      return MB_ICONINFORMATION;
    case MessageIcon::Exclamation:
      return MB_ICONEXCLAMATION;
  }
  return 0;
}

}  // namespace

CFirmwareWriterDlg::CFirmwareWriterDlg(DialogServices services)
    : m_layoutReport(std::move(services.layoutReport)),
      m_dumpAnswer(std::move(services.dumpAnswer)),
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

  CreateStatusBar();

  // The list: full-row selection with grid lines, the two columns.
  HWND list = Item(IDC_FILE_LIST);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  for (int column : {kColumnName, kColumnDate}) {
    std::wstring title = column == kColumnName ? L"SFL File" : L"Date";
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    header.fmt = LVCFMT_LEFT;
    header.cx = 60;
    header.pszText = title.data();
    ListView_InsertColumn(list, column, &header);
  }

  // The cable symbol keeps its picture's size.
  if (HWND cable = Item(IDC_CABLE)) {
    RECT place;
    GetWindowRect(cable, &place);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    SetWindowPos(cable, nullptr, place.left, place.top, 28, 13, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  for (const char* port : kInitialPortEntries) AddBoxEntry(IDC_PORT, port);
  m_dialog.Start();

  HDC screen = GetDC(m_hWnd);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(m_hWnd, screen);
  m_fontComment = CreateFontW(-MulDiv(kCommentFontTenthsPt, dpi, 720), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              FIXED_PITCH | FF_MODERN, L"Courier New");
  SendMessageW(Item(IDC_COMMENT), WM_SETFONT, reinterpret_cast<WPARAM>(m_fontComment), FALSE);
  if (g_bDarkScheme) ListView_SetTextColor(list, ToColorRef(kDarkText));
  if (DarkScheme()) {
    // Themed buttons draw their text in the theme's colour: the labels of
    // the dark scheme need the classic look.
    for (const ControlTemplate& control : kMainDialogControls) {
      if (control.id != IDC_STATIC && (control.kind == ControlKind::RadioButton || control.kind == ControlKind::CheckBox))
        SetWindowTheme(Item(control.id), L"", L"");
    }
    EnumChildWindows(
        m_hWnd,
        [](HWND child, LPARAM) -> BOOL {
          wchar_t name[16] = {};
          GetClassNameW(child, name, 16);
          if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX && _wcsicmp(name, L"Button") == 0)
            SetWindowTheme(child, L"", L"");
          return TRUE;
        },
        0);
    m_brushComment = CreateSolidBrush(GetSysColor(COLOR_INACTIVEBORDER));
  }

  if (!m_layoutReport.empty()) Post([this] { WriteLayoutReport(); });
}

void CFirmwareWriterDlg::CreateStatusBar() {
  m_hStatusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, m_hWnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)), GetModuleHandleW(nullptr),
                                 nullptr);
  RECT client;
  GetClientRect(m_hWnd, &client);
  HDC dc = GetDC(m_hStatusBar);
  SIZE indicator{};
  const std::wstring text = win32::Wide(LoadString(StringId::StatusIndicator));
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &indicator);
  ReleaseDC(m_hStatusBar, dc);
  const int paneWidth = std::max<int>(indicator.cx + 2 * kIndicatorMarginPx, kLampPx + 2 * kIndicatorMarginPx);
  int edges[2] = {client.right - paneWidth, -1};
  SendMessageW(m_hStatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  SendMessageW(m_hStatusBar, SB_SETTEXTW, 1 | SBT_OWNERDRAW, 0);

  RECT pane;
  SendMessageW(m_hStatusBar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&pane));
  m_hStatusProgress = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, pane.left, pane.top, pane.right - pane.left,
                                      pane.bottom - pane.top, m_hStatusBar, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(m_hStatusProgress, PBM_SETRANGE32, 0, kInitialStatusUpper);
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
// pressed by the dialog manager already; anywhere else the dialog ends,
// but never while an access runs.
void CFirmwareWriterDlg::OnEnter() {
  HWND focus = GetFocus();
  HWND port = Item(IDC_PORT);
  if (port != nullptr && focus != nullptr && (focus == port || GetParent(focus) == port)) {
    m_dialog.OnPortTyped(win32::Utf8(WindowText(port)));
    return;
  }
  if (m_dialog.MayEnd()) EndDialog(m_hWnd, IDOK);
}

void CFirmwareWriterDlg::OnNotify(const NMHDR& header) {
  if (header.idFrom != IDC_FILE_LIST) return;
  if (header.code == NM_CLICK) {
    m_dialog.OnFileListClick();
  } else if (header.code == LVN_COLUMNCLICK) {
    m_dialog.OnColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
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
  if (HWND item = Item(id)) EnableWindow(item, enabled ? TRUE : FALSE);
}

void CFirmwareWriterDlg::RemoveControl(int id) {
  if (HWND item = Item(id)) DestroyWindow(item);
}

void CFirmwareWriterDlg::SetItemText(int id, const std::string& text) {
  if (HWND item = Item(id)) SetWindowTextW(item, win32::Wide(text).c_str());
  // A transparent label over the dark background leaves its old text.
  if (DarkScheme() && id == IDC_STATUS_TEXT) {
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

int CFirmwareWriterDlg::AddBoxEntry(int id, const std::string& text) { return AddEntry(Item(id), text); }

void CFirmwareWriterDlg::SelectBoxEntry(int id, int entry) {
  SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  if (id == IDC_PORT) FitPortDropDown();
}

void CFirmwareWriterDlg::FillBox(int id, const std::vector<std::string>& entries, int selected) {
  HWND box = Item(id);
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : entries) AddEntry(box, entry);
  SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void CFirmwareWriterDlg::SelectPortFieldText() { SendMessageW(Item(IDC_PORT), CB_SETEDITSEL, 0, MAKELPARAM(0, -1)); }

// The drop-down as wide as its longest name.
void CFirmwareWriterDlg::FitPortDropDown() {
  HWND box = Item(IDC_PORT);
  HDC dc = GetDC(box);
  HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
  int widest = 0;
  for (const std::string& text : ComboEntries(box)) {
    const std::wstring wide = win32::Wide(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    widest = std::max<int>(widest, size.cx);
  }
  SelectObject(dc, previous);
  ReleaseDC(box, dc);
  const int dropped = widest + 2 * GetSystemMetrics(SM_CXVSCROLL);
  SendMessageW(box, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(dropped), 0);
}

// Enter in the port box: the typed name becomes the port, as a picked entry
// would, and stays in the list.

// Every row goes, and with it the keyboard focus and the selection.
void CFirmwareWriterDlg::ShowRows(const std::vector<CatalogRow>& rows) {
  HWND list = Item(IDC_FILE_LIST);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::wstring name = win32::Wide(DecodeForDisplay(rows[i].baseName));
    std::wstring date = win32::Wide(rows[i].dateText);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = name.data();
    ListView_InsertItem(list, &item);
    ListView_SetItemText(list, static_cast<int>(i), kColumnDate, date.data());
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

// The name column fits its widest text; the date column takes the rest of
// the list's width, or its own widest text when that is more.
void CFirmwareWriterDlg::FitColumns() {
  HWND list = Item(IDC_FILE_LIST);
  constexpr int kHeaderPaddingPx = 16;  // the header's margins either side of its title
  for (int column : {kColumnName, kColumnDate}) {
    ListView_SetColumnWidth(list, column, LVSCW_AUTOSIZE);
    const int content = ListView_GetColumnWidth(list, column);
    const int header = ListView_GetStringWidth(list, column == kColumnName ? L"SFL File" : L"Date") + kHeaderPaddingPx;
    ListView_SetColumnWidth(list, column, std::max(content, header));
  }
  RECT client;
  GetClientRect(list, &client);
  const int rest = client.right - ListView_GetColumnWidth(list, kColumnName);
  if (rest > ListView_GetColumnWidth(list, kColumnDate)) ListView_SetColumnWidth(list, kColumnDate, rest);
}

void CFirmwareWriterDlg::ShowSortArrow(int sorted, int image) {
  HWND header = ListView_GetHeader(Item(IDC_FILE_LIST));
  for (int column : {kColumnName, kColumnDate}) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, column, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    // Image 1 is the downward triangle, image 0 the upward one.
    if (column == sorted && image == 1) item.fmt |= HDF_SORTDOWN;
    if (column == sorted && image == 0) item.fmt |= HDF_SORTUP;
    Header_SetItem(header, column, &item);
  }
}


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
  if (const std::size_t comma = m_dumpAnswer.rfind(','); comma != std::string::npos)
    return {m_dumpAnswer.substr(0, comma), m_dumpAnswer.substr(comma + 1)};
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


// For the tests that drive the window: each control's id, its rectangle in
// screen pixels and in dialog units, and the first row of the file list.
void CFirmwareWriterDlg::WriteLayoutReport() const {
  FILE* out = _wfopen(win32::Wide(m_layoutReport).c_str(), L"wb");
  if (out == nullptr) return;
  RECT unit{0, 0, 4, 8};
  MapDialogRect(m_hWnd, &unit);
  std::fprintf(out, "units %ld %ld\n", unit.right, unit.bottom);
  POINT origin{0, 0};
  ClientToScreen(m_hWnd, &origin);
  std::fprintf(out, "client %ld %ld\n", origin.x, origin.y);
  std::fprintf(out, "flags type1=%d rtspulse=%d dark=%d\n", m_dialog.Type1Allowed() ? 1 : 0, m_dialog.Context().m_bRtsPulse ? 1 : 0,
               DarkScheme() ? 1 : 0);
  for (const ControlTemplate& control : kMainDialogControls) {
    HWND item = control.id == IDC_STATIC ? nullptr : Item(control.id);
    if (item == nullptr) continue;
    RECT r;
    GetWindowRect(item, &r);
    std::fprintf(out, "control %d %ld %ld %ld %ld\n", control.id, r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (SendMessageW(Item(IDC_FILE_LIST), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)) != 0) {
    MapWindowPoints(Item(IDC_FILE_LIST), nullptr, reinterpret_cast<POINT*>(&row), 2);
    std::fprintf(out, "row0 %ld %ld %ld %ld\n", row.left, row.top, row.right - row.left, row.bottom - row.top);
  }
  std::fprintf(out, "end\n");
  std::fclose(out);
}

}  // namespace tarvel::winui
