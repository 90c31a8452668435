#include "winui/Controls.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <cstdio>

#include "base/Strings.h"
#include "base/Win32Text.h"
#include "catalog/DisplayText.h"
#include "dialog/DialogTemplate.h"

namespace tarvel::winui {

namespace {

constexpr int kStatusBarId = 0xE801;
constexpr int kIndicatorMarginPx = 3;
constexpr int kLampPx = 16;
constexpr int kInitialStatusUpper = 255;
constexpr int kCommentFontTenthsPt = 96;

}  // namespace

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

int AddComboEntry(HWND box, const std::string& text) {
  return static_cast<int>(SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Wide(text).c_str())));
}

StatusBar CreateStatusBar(HWND dialog) {
  StatusBar made;
  made.bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)), GetModuleHandleW(nullptr),
                                 nullptr);
  RECT client;
  GetClientRect(dialog, &client);
  HDC dc = GetDC(made.bar);
  SIZE indicator{};
  const std::wstring text = win32::Wide(LoadString(StringId::StatusIndicator));
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &indicator);
  ReleaseDC(made.bar, dc);
  const int paneWidth = std::max<int>(indicator.cx + 2 * kIndicatorMarginPx, kLampPx + 2 * kIndicatorMarginPx);
  int edges[2] = {client.right - paneWidth, -1};
  SendMessageW(made.bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  SendMessageW(made.bar, SB_SETTEXTW, 1 | SBT_OWNERDRAW, 0);

  RECT pane;
  SendMessageW(made.bar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&pane));
  made.progress = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, pane.left, pane.top, pane.right - pane.left,
                                      pane.bottom - pane.top, made.bar, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(made.progress, PBM_SETRANGE32, 0, kInitialStatusUpper);
  return made;
}

HFONT CreateCommentFont(HWND dialog) {
  HDC screen = GetDC(dialog);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(dialog, screen);
  return CreateFontW(-MulDiv(kCommentFontTenthsPt, dpi, 720), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     FIXED_PITCH | FF_MODERN, L"Courier New");
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

void SetUpFileList(HWND list) {
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_INFOTIP);
  for (int column : {kColumnName, kColumnDate}) {
    std::wstring title = column == kColumnName ? L"SFL File" : L"Date";
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    header.fmt = LVCFMT_LEFT;
    header.cx = 60;
    header.pszText = title.data();
    ListView_InsertColumn(list, column, &header);
  }
}

// Every row goes, and with it the keyboard focus and the selection.
void ShowListRows(HWND list, const std::vector<CatalogRow>& rows) {
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
void FitListColumns(HWND list) {
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

void ShowListSortArrow(HWND list, int sorted, int image) {
  HWND header = ListView_GetHeader(list);
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


void FitDropDown(HWND box) {
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

void UseClassicLook(HWND dialog) {
  // Themed buttons draw their text in the theme's colour: the labels of
  // the dark scheme need the classic look.
  for (const ControlTemplate& control : kMainDialogControls) {
    if (control.id != IDC_STATIC && (control.kind == ControlKind::RadioButton || control.kind == ControlKind::CheckBox))
      SetWindowTheme(GetDlgItem(dialog, control.id), L"", L"");
  }
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(child, name, 16);
        if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX && _wcsicmp(name, L"Button") == 0)
          SetWindowTheme(child, L"", L"");
        return TRUE;
      },
      0);
}

// For the tests that drive the window: each control's id, its rectangle in
// screen pixels and in dialog units, and the first row of the file list.
void WriteLayoutReport(const std::string& path, HWND dialog, bool type1Allowed, bool rtsPulse, bool dark) {
  FILE* out = _wfopen(win32::Wide(path).c_str(), L"wb");
  if (out == nullptr) return;
  RECT unit{0, 0, 4, 8};
  MapDialogRect(dialog, &unit);
  std::fprintf(out, "units %ld %ld\n", unit.right, unit.bottom);
  POINT origin{0, 0};
  ClientToScreen(dialog, &origin);
  std::fprintf(out, "client %ld %ld\n", origin.x, origin.y);
  std::fprintf(out, "flags type1=%d rtspulse=%d dark=%d\n", type1Allowed ? 1 : 0, rtsPulse ? 1 : 0, dark ? 1 : 0);
  for (const ControlTemplate& control : kMainDialogControls) {
    HWND item = control.id == IDC_STATIC ? nullptr : GetDlgItem(dialog, control.id);
    if (item == nullptr) continue;
    RECT r;
    GetWindowRect(item, &r);
    std::fprintf(out, "control %d %ld %ld %ld %ld\n", control.id, r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (SendMessageW(GetDlgItem(dialog, IDC_FILE_LIST), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)) != 0) {
    MapWindowPoints(GetDlgItem(dialog, IDC_FILE_LIST), nullptr, reinterpret_cast<POINT*>(&row), 2);
    std::fprintf(out, "row0 %ld %ld %ld %ld\n", row.left, row.top, row.right - row.left, row.bottom - row.top);
  }
  std::fprintf(out, "end\n");
  std::fclose(out);
}

}  // namespace tarvel::winui
