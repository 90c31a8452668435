#include "winui/MainDialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <cstdio>

#include "base/Strings.h"
#include "base/Win32Text.h"
#include "catalog/CommentBlock.h"
#include "catalog/DisplayText.h"
#include "catalog/FileList.h"
#include "dialog/ConverterProbe.h"
#include "dialog/DialogTemplate.h"
#include "dialog/Globals.h"
#include "serial/CommPort.h"
#include "serial/SerialPort.h"
#include "service/SflConversion.h"
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

constexpr COLORREF kVersionBlue = RGB(0, 0, 255);
constexpr COLORREF kStatusRed = RGB(255, 0, 0);
constexpr COLORREF kDarkVersionYellow = RGB(255, 255, 0);
constexpr COLORREF kDarkStaticGreen = RGB(0, 255, 0);
constexpr COLORREF kDarkText = RGB(128, 0, 0);

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

// The converter run: START and END stored as typed, the wait cursor shown
// while the converter works.
class WindowSflConvUi final : public SflConvUi {
 public:
  WindowSflConvUi(HWND window, Settings& settings) : m_window(window), m_settings(settings) {}
  void storeBlockTexts(const std::string& startText, const std::string& endText) override {
    m_settings.setSflStart(startText);
    m_settings.setSflEnd(endText);
  }
  void beginWait() override {
    UpdateWindow(m_window);
    m_previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  }
  void endWait() override { SetCursor(m_previous); }

 private:
  HWND m_window;
  Settings& m_settings;
  HCURSOR m_previous = nullptr;
};

}  // namespace

CFirmwareWriterDlg::CFirmwareWriterDlg(DialogServices services)
    : m_services(std::move(services)),
      m_opener(MakeSystemPortOpener()),
      m_settings(m_services.settingsPath),
      m_ctx(*m_opener, *this, m_clock, *this),
      m_choice(m_ctx, m_settings),
      m_search(ProgramConverterSearch()),
      m_catalog(std::string()) {}

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
        OnAbout();
        return TRUE;
      }
      if ((wParam & 0xFFF0) == SC_CLOSE && !m_bCloseEnabled) return TRUE;
      return FALSE;
    case WM_CLOSE:
      // The title bar's close: refused while a write or read runs.
      if (m_bCloseEnabled && !Accessing()) EndDialog(m_hWnd, IDOK);
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

  const int storedSpeed = m_choice.Load(m_services.platform.m_bType1Allowed);
  m_ctx.m_nStatus = 0;
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

  m_bType1Allowed = m_services.platform.m_bType1Allowed;
  m_ctx.m_bRtsPulse = m_services.platform.m_bRtsPulse;
  if (!m_bType1Allowed) {
    EnableItem(IDC_TYPE1, false);
    RemoveControl(IDC_CABLE);
  }
  for (const char* port : kInitialPortEntries) AddEntry(Item(IDC_PORT), port);
  FillPortList();
  SelectPortEntry();
  ApplySpeedBox(m_choice.StartupSpeedBox(storedSpeed));
  CheckRadioButton(m_hWnd, IDC_TYPE0, IDC_TYPE1, m_ctx.m_nType == kTypeQap10 ? IDC_TYPE1 : IDC_TYPE0);
  SetItemText(IDC_STATUS_TEXT, "");

  m_strSflFolder = g_strStartDir;
  SetPaneText(m_strSflFolder);
  FillFileList();

  HDC screen = GetDC(m_hWnd);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(m_hWnd, screen);
  m_fontComment = CreateFontW(-MulDiv(kCommentFontTenthsPt, dpi, 720), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              FIXED_PITCH | FF_MODERN, L"Courier New");
  SendMessageW(Item(IDC_COMMENT), WM_SETFONT, reinterpret_cast<WPARAM>(m_fontComment), FALSE);
  EnableItem(IDC_WRITE, false);

  const CommandLineModes modes = ParseCommandLine(m_services.argumentText);
  g_bServiceMode = modes.serviceMode;
  g_bDarkScheme = modes.darkScheme;
  m_bDarkRequested = modes.darkScheme;
  if (g_bDarkScheme) ListView_SetTextColor(list, kDarkText);
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

  if (m_ctx.m_nType == kTypeQap10) {
    EnableItem(IDC_CHECK_5V, false);
    EnableItem(IDC_CHECK_MD, false);
  }
  for (int id : ControlsRemovedAtStart(g_bServiceMode, [this] { return ProbeConverterLibraries(m_search); }))
    RemoveControl(id);
  ShowSortArrow();
  FitColumns();
  SetFocus(list);
  if (!m_services.layoutReport.empty()) post([this] { WriteLayoutReport(); });
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
      if (code == BN_CLICKED) OnWrite();
      return;
    case IDC_BROWSE:
      if (code == BN_CLICKED) OnBrowse();
      return;
    case IDC_SFL_CONV:
      if (code == BN_CLICKED) OnSflConv();
      return;
    case IDC_DUMP:
      if (code == BN_CLICKED) OnDump();
      return;
    case IDC_RELOAD:
      if (code == BN_CLICKED) OnReload();
      return;
    case IDC_CLOSE:
      if (code == BN_CLICKED) OnButtonClose();
      return;
    case IDC_TYPE0:
    case IDC_TYPE1:
      if (code == BN_CLICKED) OnSelectType(id == IDC_TYPE1 ? kTypeQap10 : kTypeQap8);
      return;
    case IDC_CHECK_5V:
      if (code == BN_CLICKED) tarvel::OnCheck5V(m_ctx.link, IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED);
      return;
    case IDC_CHECK_MD:
      if (code == BN_CLICKED) tarvel::OnCheckMD(m_ctx.link, IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED);
      return;
    case IDC_PORT:
      if (code == CBN_SELCHANGE && !Accessing()) {
        const int entry = static_cast<int>(SendMessageW(Item(IDC_PORT), CB_GETCURSEL, 0, 0));
        const std::vector<std::string> entries = ComboEntries(Item(IDC_PORT));
        if (entry >= 0 && entry < static_cast<int>(entries.size())) m_choice.PortChosen(entries[static_cast<std::size_t>(entry)]);
      } else if (code == CBN_KILLFOCUS) {
        SelectPortEntry();  // leaving the field without Enter drops what was typed
      }
      return;
    case IDC_BAUD:
      if (code == CBN_SELCHANGE) {
        const int entry = static_cast<int>(SendMessageW(Item(IDC_BAUD), CB_GETCURSEL, 0, 0));
        const std::vector<std::string> entries = ComboEntries(Item(IDC_BAUD));
        if (entry >= 0 && entry < static_cast<int>(entries.size())) m_choice.SpeedChosen(entries[static_cast<std::size_t>(entry)]);
      }
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
    AcceptTypedPort();
    return;
  }
  if (Accessing() || !m_bCloseEnabled) return;
  EndDialog(m_hWnd, IDOK);
}

void CFirmwareWriterDlg::OnNotify(const NMHDR& header) {
  if (header.idFrom != IDC_FILE_LIST) return;
  if (header.code == NM_CLICK) {
    OnFileListClick();
  } else if (header.code == LVN_COLUMNCLICK) {
    OnColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
  }
}

void CFirmwareWriterDlg::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.hwndItem == m_hStatusBar) {
    // Status pane 1: the lamp of m_nStatus.
    PaintLamp(item.hDC, item.rcItem, LampForStatus(m_ctx.m_nStatus));
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
  if (!DarkScheme()) {
    if (id == IDC_VERSION) SetTextColor(dc, kVersionBlue);
    if (id == IDC_STATUS_TEXT) SetTextColor(dc, kStatusRed);
    if (id == IDC_VERSION || id == IDC_STATUS_TEXT) {
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return FALSE;
  }
  if (control == m_hWnd) return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
  if (id == IDC_COMMENT) {
    // Opaque: its own background in the colour of an inactive border.
    SetTextColor(dc, kDarkText);
    SetBkColor(dc, GetSysColor(COLOR_INACTIVEBORDER));
    return reinterpret_cast<INT_PTR>(m_brushComment);
  }
  COLORREF colour = kDarkStaticGreen;
  if (id == IDC_VERSION) colour = kDarkVersionYellow;
  if (id == IDC_STATUS_TEXT) colour = kStatusRed;
  SetTextColor(dc, colour);
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

void CFirmwareWriterDlg::FillPortList() {
  HWND box = Item(IDC_PORT);
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : PortBoxEntries(SystemPortNames())) AddEntry(box, entry);
}

// The entry equal to the port name; a name the listing did not find is
// added, so that the box always shows the port that WRITE will use.
void CFirmwareWriterDlg::SelectPortEntry() {
  HWND box = Item(IDC_PORT);
  const std::string& name = m_ctx.link.m_strCommName;
  int entry = FindEntryExact(ComboEntries(box), name);
  if (entry < 0 && !name.empty()) entry = AddEntry(box, name);
  SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  // The drop-down as wide as its longest name.
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
void CFirmwareWriterDlg::AcceptTypedPort() {
  HWND box = Item(IDC_PORT);
  const std::optional<std::string> typed = TypedPortName(win32::Utf8(WindowText(box)));
  if (!typed || Accessing()) {
    SelectPortEntry();
    return;
  }
  int entry = FindEntryExact(ComboEntries(box), *typed);
  if (entry < 0) entry = AddEntry(box, *typed);
  SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  m_choice.PortChosen(ComboEntries(box)[static_cast<std::size_t>(entry)]);
  SelectPortEntry();
  SendMessageW(box, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

void CFirmwareWriterDlg::ApplySpeedBox(const SpeedBox& speeds) {
  HWND box = Item(IDC_BAUD);
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : speeds.entries) AddEntry(box, entry);
  SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(speeds.selected), 0);
}

void CFirmwareWriterDlg::OnSelectType(int type) {
  const std::optional<SpeedBox> speeds = m_choice.SelectType(type);
  if (!speeds) return;
  SelectPortEntry();
  ApplySpeedBox(*speeds);
  EnableItem(IDC_CHECK_5V, type == kTypeQap8);
  EnableItem(IDC_CHECK_MD, type == kTypeQap8);
}

void CFirmwareWriterDlg::FillFileList() {
  const bool found = m_catalog.ChangeFolder(m_strSflFolder);
  ShowRows();
  FitColumns();
  // A folder without SFL files leaves the comment of the last file chosen.
  if (found) SetItemText(IDC_COMMENT, "");
}

// Every row goes, and with it the keyboard focus and the selection.
void CFirmwareWriterDlg::ShowRows() {
  HWND list = Item(IDC_FILE_LIST);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list);
  const auto& rows = m_catalog.rows();
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

void CFirmwareWriterDlg::ShowSortArrow() {
  HWND header = ListView_GetHeader(Item(IDC_FILE_LIST));
  for (int column : {kColumnName, kColumnDate}) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, column, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    // Image 1 is the downward triangle, image 0 the upward one.
    const int image = m_catalog.sortState().ArrowImage(column);
    if (image == 1) item.fmt |= HDF_SORTDOWN;
    if (image == 0) item.fmt |= HDF_SORTUP;
    Header_SetItem(header, column, &item);
  }
}

void CFirmwareWriterDlg::OnReload() {
  if (Accessing()) return;
  FillFileList();
  SetWindowTextW(m_hWnd, win32::Wide(LoadString(StringId::AppTitle)).c_str());
  EnableItem(IDC_WRITE, false);
}

void CFirmwareWriterDlg::OnBrowse() {
  if (Accessing()) return;
  const std::optional<std::string> folder = ChooseFolder(m_hWnd, m_strSflFolder);
  if (!folder || folder->empty()) return;
  m_strSflFolder = *folder;
  SetPaneText(m_strSflFolder);
  OnReload();
}

void CFirmwareWriterDlg::OnColumnClick(int column) {
  HWND list = Item(IDC_FILE_LIST);
  // The row with the keyboard focus, and its selection, follow their file
  // through the sort.
  const int current = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
  const auto& before = m_catalog.rows();
  const std::string focused =
      current >= 0 && current < static_cast<int>(before.size()) ? before[static_cast<std::size_t>(current)].fileName : std::string();
  const bool selected = current >= 0 && ListView_GetItemState(list, current, LVIS_SELECTED) != 0;
  if (!m_catalog.ColumnClick(column)) return;
  ShowRows();
  if (!focused.empty()) {
    const auto& after = m_catalog.rows();
    const auto row = std::find_if(after.begin(), after.end(), [&](const CatalogRow& r) { return r.fileName == focused; });
    if (row != after.end()) {
      const int index = static_cast<int>(row - after.begin());
      const UINT state = LVIS_FOCUSED | (selected ? LVIS_SELECTED : 0);
      ListView_SetItemState(list, index, state, LVIS_FOCUSED | LVIS_SELECTED);
    }
  }
  ShowSortArrow();
  FitColumns();
}

void CFirmwareWriterDlg::OnFileListClick() {
  const int row = ListView_GetNextItem(Item(IDC_FILE_LIST), -1, LVNI_FOCUSED);
  if (row < 0) return;
  const std::optional<Selection> selection = m_catalog.Select(static_cast<std::size_t>(row));
  if (!selection) return;
  // A write under way keeps WRITE disabled until it is over.
  EnableItem(IDC_WRITE, !Accessing());
  SetWindowTextW(m_hWnd, win32::Wide(selection->title).c_str());
  m_strFilePath = selection->filePath;
  std::string reason;
  const std::optional<std::string> comment = ReadCommentBoxText(m_strFilePath, &reason);
  if (!comment) {
    showMessage(StringId::FileCannotBeOpened, MessageIcon::Stop, reason);
    return;
  }
  SetWindowTextW(Item(IDC_COMMENT), CommentBoxText(*comment).c_str());
}

void CFirmwareWriterDlg::OnSflConv() {
  if (Accessing()) return;
  const std::optional<std::string> hexPath = RunConverterDialog(m_hWnd, m_settings, m_strSflFolder);
  if (!hexPath || hexPath->empty()) return;
  const SflConvTexts texts{g_strSflName, g_strStartBlock, g_strEndBlock, g_strProductName, g_strFirmVersion};
  WindowSflConvUi ui(m_hWnd, m_settings);
  if (RunSflConversion(*hexPath, texts, ui, *this, m_search)) OnReload();
}

void CFirmwareWriterDlg::OnDump() {
  if (Accessing()) return;
  std::optional<std::string> outputPath;
  if (const std::size_t comma = m_services.dumpAnswer.rfind(','); comma != std::string::npos) {
    outputPath = m_services.dumpAnswer.substr(0, comma);
    g_strDumpEndBlock = m_services.dumpAnswer.substr(comma + 1);
  } else {
    outputPath = RunDumpDialog(m_hWnd, m_strSflFolder);
  }
  if (!outputPath || outputPath->empty()) return;
  LockForRead();
  // The read writes beside the chosen file and replaces it only on success.
  g_wEndBlock = ParseBlockText(g_strDumpEndBlock);
  const std::uint16_t endBlock = g_wEndBlock;
  auto outcome = std::make_shared<ReadOutcome>();
  const std::string path = *outputPath;
  RunAccess(
      [this, path, endBlock, outcome](LoaderContext& ctx, HandedUi& ui) {
        ConverterBlockSink sink(m_search);
        *outcome = ReadFlash(ctx, ui, sink, path, endBlock);
      },
      [this, outcome] {
        if (outcome->succeeded) OnReload();
        UnlockAfterRead();
      });
}

void CFirmwareWriterDlg::OnWrite() {
  if (Accessing()) return;
  const std::string filePath = m_strFilePath;
  RunAccess([filePath](LoaderContext& ctx, HandedUi& ui) { tarvel::OnWrite(ctx, ui, filePath); }, [] {});
}

void CFirmwareWriterDlg::RunAccess(std::function<void(LoaderContext&, HandedUi&)> access,
                                  std::function<void()> finished) {
  StartAccess(m_accessThread, m_ctx, *this, *this, std::move(access),
             [this, finished = std::move(finished)] {
               finished();
               if (m_bCloseAfterAccess) {
                 m_bCloseAfterAccess = false;
                 EndDialog(m_hWnd, IDOK);
               }
             });
}

// The lamp is red while the access uses the port, and for the moments
// before and after: "Cl&ose" is refused then. A yellow lamp lets the dialog
// end once the access is over.
void CFirmwareWriterDlg::OnButtonClose() {
  switch (AnswerClose(m_ctx.m_nStatus, Accessing())) {
    case CloseAnswer::Refuse:
      showMessage(StringId::CantCloseWhileAccessing, MessageIcon::Exclamation);
      return;
    case CloseAnswer::AfterAccess:
      m_bCloseAfterAccess = true;
      return;
    case CloseAnswer::Now:
      EndDialog(m_hWnd, IDOK);
      return;
  }
}

void CFirmwareWriterDlg::OnAbout() { RunAboutBox(m_hWnd, m_search); }

void CFirmwareWriterDlg::SetCloseEnabled(bool enabled) {
  m_bCloseEnabled = enabled;
  if (HMENU menu = GetSystemMenu(m_hWnd, FALSE))
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void CFirmwareWriterDlg::LockForRead() {
  for (const ControlEnable& control : LockedForRead()) EnableItem(control.id, control.enabled);
  for (int id : {IDC_CHECK_5V, IDC_CHECK_MD}) CheckDlgButton(m_hWnd, id, BST_UNCHECKED);
  SetCloseEnabled(false);
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CFirmwareWriterDlg::UnlockAfterRead() {
  for (const ControlEnable& control : IdleAfterRead(m_ctx.m_nType, m_bType1Allowed)) EnableItem(control.id, control.enabled);
  SetFocus(Item(IDC_FILE_LIST));
  SetCloseEnabled(true);
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CFirmwareWriterDlg::lockForWrite() {
  for (const ControlEnable& control : LockedForAccess()) EnableItem(control.id, control.enabled);
  for (int id : {IDC_CHECK_5V, IDC_CHECK_MD}) CheckDlgButton(m_hWnd, id, BST_UNCHECKED);
  SetCloseEnabled(false);
  SetItemText(IDC_STATUS_TEXT, std::string(LoadString(StringId::Writing)));
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CFirmwareWriterDlg::unlockAfterWrite() {
  SetCloseEnabled(true);
  SetItemText(IDC_STATUS_TEXT, "");
  for (const ControlEnable& control : IdleAfterAccess(m_ctx.m_nType, m_bType1Allowed)) EnableItem(control.id, control.enabled);
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CFirmwareWriterDlg::statusChanged(int status) {
  m_ctx.m_nStatus = status;
  InvalidateRect(m_hStatusBar, nullptr, TRUE);
  UpdateWindow(m_hStatusBar);
}

void CFirmwareWriterDlg::setProgressRange(std::uint16_t highest) {
  m_progress.lower = 0;
  m_progress.upper = highest;
  m_progress.position = std::clamp(m_progress.position, 0, static_cast<int>(highest));
  InvalidateRect(Item(IDC_PROGRESS), nullptr, FALSE);
}

void CFirmwareWriterDlg::setProgress(int position, const std::string& text) {
  m_progress.position = std::clamp(position, std::min(m_progress.lower, m_progress.upper),
                                   std::max(m_progress.lower, m_progress.upper));
  m_progress.text = win32::Wide(text);
  InvalidateRect(Item(IDC_PROGRESS), nullptr, FALSE);
}

void CFirmwareWriterDlg::bringToFront() {
  SetForegroundWindow(m_hWnd);
  BringWindowToTop(m_hWnd);
}

void CFirmwareWriterDlg::setReadProgress(unsigned position, std::uint16_t) {
  const bool show = position > 0;
  if ((IsWindowVisible(m_hStatusProgress) != FALSE) != show) {
    SetPaneText("");
    ShowWindow(m_hStatusProgress, show ? SW_SHOWNA : SW_HIDE);
  }
  const int upper = StatusProgressUpper(g_wEndBlock);
  SendMessageW(m_hStatusProgress, PBM_SETRANGE32, 0, std::max(upper, 1));
  SendMessageW(m_hStatusProgress, PBM_SETPOS, upper == 0 ? 0 : std::min<unsigned>(position, static_cast<unsigned>(upper)), 0);
}

void CFirmwareWriterDlg::showFolderPane() { SetPaneText(m_strSflFolder); }

void CFirmwareWriterDlg::ShowBox(const std::string& text, MessageIcon icon, const std::string& detail) {
  MessageBoxW(m_hWnd, MessageBoxText(text, detail).c_str(), win32::Wide(LoadString(StringId::AppTitle)).c_str(),
              MB_OK | BoxIcon(icon));
}

// The message loop of a box keeps serving the access's tasks, so a box the
// window shows while an access runs does not hold it.
void CFirmwareWriterDlg::showMessage(StringId id, MessageIcon icon, std::string_view detail) {
  ShowBox(std::string(LoadString(id)), icon, std::string(detail));
}

void CFirmwareWriterDlg::showReport(const std::string& text, MessageIcon icon) { ShowBox(text, icon, {}); }

void CFirmwareWriterDlg::post(std::function<void()> task) {
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

void CFirmwareWriterDlg::openMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                                        std::function<void()> closed) {
  ShowBox(text, icon, detail);
  if (closed) closed();
}

// For the tests that drive the window: each control's id, its rectangle in
// screen pixels and in dialog units, and the first row of the file list.
void CFirmwareWriterDlg::WriteLayoutReport() const {
  FILE* out = _wfopen(win32::Wide(m_services.layoutReport).c_str(), L"wb");
  if (out == nullptr) return;
  RECT unit{0, 0, 4, 8};
  MapDialogRect(m_hWnd, &unit);
  std::fprintf(out, "units %ld %ld\n", unit.right, unit.bottom);
  POINT origin{0, 0};
  ClientToScreen(m_hWnd, &origin);
  std::fprintf(out, "client %ld %ld\n", origin.x, origin.y);
  std::fprintf(out, "flags type1=%d rtspulse=%d dark=%d\n", m_bType1Allowed ? 1 : 0, m_ctx.m_bRtsPulse ? 1 : 0,
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
