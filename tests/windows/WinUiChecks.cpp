// Checks of the Windows window's parts that need no radio and no user, run
// under wine by wine-window-tests: the dialog templates built from the
// control tables and laid out by the dialog manager, the painted progress,
// and the texts handed to the controls.
#include "winui/WinApi.h"

#include <commctrl.h>

#include <array>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "base/Strings.h"
#include "base/Win32Text.h"
#include "dialog/DialogTemplate.h"
#include "winui/ControlText.h"
#include "winui/DialogTemplateBuilder.h"
#include "winui/FileDialogs.h"
#include "winui/Painting.h"

namespace {

using namespace tarvel;
using namespace tarvel::winui;

int passed = 0;
int failed = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  (ok ? passed : failed)++;
}

// Reads the template back word by word, as the dialog manager does.
void TemplateWords() {
  DialogFrame frame;
  frame.style = WS_POPUP | WS_CAPTION;
  frame.title = L"T";
  frame.widthDlu = kMainDialogWidthDlu;
  frame.heightDlu = kMainDialogHeightDlu;
  frame.fontPt = kMainDialogFontPt;
  const std::vector<WORD> w = BuildDialogTemplate(frame, kMainDialogControls);
  const DWORD style = w[0] | (static_cast<DWORD>(w[1]) << 16);
  Check((style & DS_SETFONT) != 0 && w[4] == 22 && w[7] == 391 && w[8] == 201, "dialog header: font, 22 items, 391 x 201");
  std::size_t at = 9;
  Check(w[at] == 0 && w[at + 1] == 0 && w[at + 2] == L'T' && w[at + 3] == 0 && w[at + 4] == 10, "no menu, own class, title, 10 pt");
  at += 5;
  std::wstring font;
  while (w[at] != 0) font.push_back(static_cast<wchar_t>(w[at++]));
  ++at;
  Check(font == L"Times New Roman", "font name");
  bool aligned = true;
  bool placed = true;
  for (const ControlTemplate& control : kMainDialogControls) {
    if (at % 2 != 0) ++at;
    aligned = aligned && at % 2 == 0;
    placed = placed && w[at + 4] == control.x && w[at + 5] == control.y && w[at + 6] == control.cx &&
             w[at + 7] == control.cy && w[at + 8] == static_cast<WORD>(control.id);
    at += 9;
    if (w[at] == 0xFFFF) {
      at += 2;
    } else {
      while (w[at] != 0) ++at;
      ++at;
    }
    if (w[at] == 0xFFFF) {
      at += 2;
    } else {
      while (w[at] != 0) ++at;
      ++at;
    }
    ++at;  // creation data
  }
  Check(aligned && placed, "every item DWORD-aligned, with the table's position and id");
  Check(at == w.size(), "nothing after the last item");

  Check((ControlStyle(kMainDialogControls[10]) & CBS_DROPDOWN) == CBS_DROPDOWN &&
            (ControlStyle(kMainDialogControls[11]) & 3) == CBS_DROPDOWNLIST,
        "the port box takes typing, the speed box offers its list");
}

INT_PTR CALLBACK Quiet(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The dialog manager places every control at its dialog units.
void Layout() {
  DialogFrame frame;
  frame.style = WS_POPUP | WS_CAPTION;
  frame.widthDlu = kMainDialogWidthDlu;
  frame.heightDlu = kMainDialogHeightDlu;
  frame.fontPt = kMainDialogFontPt;
  const std::vector<WORD> words = BuildDialogTemplate(frame, kMainDialogControls);
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words.data()),
                                           nullptr, Quiet, 0);
  Check(dialog != nullptr, "the main dialog's template makes a dialog");
  if (dialog == nullptr) return;
  for (const ControlTemplate& control : kMainDialogControls) {
    if (control.id == IDC_STATIC) continue;
    HWND item = GetDlgItem(dialog, control.id);
    // Position and size are each mapped on their own, as the dialog manager does.
    RECT mapped{control.x, control.y, control.cx, control.cy};
    MapDialogRect(dialog, &mapped);
    const RECT expected{mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
    RECT actual{};
    if (item != nullptr) {
      GetWindowRect(item, &actual);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    }
    // A combo box is as high as its field; the template gives its list's height.
    const bool heightOwn = control.kind == ControlKind::ComboBox;
    Check(item != nullptr && actual.left == expected.left && actual.top == expected.top &&
              actual.right == expected.right && (heightOwn || actual.bottom == expected.bottom),
          "control " + std::to_string(control.id) + " at its dialog units");
  }
  Check((GetWindowLongW(GetDlgItem(dialog, IDC_BANNER), GWL_STYLE) & WS_VISIBLE) == 0, "the banner's place is not shown");

  // The port box's hint, broken into lines as the static control breaks
  // them, fits its label whole.
  HWND hint = GetDlgItem(dialog, IDC_PORT_HINT);
  RECT room{};
  RECT needed{};
  if (hint != nullptr) {
    const std::wstring text = win32::Wide(LoadString(StringId::NoSerialPortFound));
    GetClientRect(hint, &room);
    needed = room;
    HDC dc = GetDC(hint);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hint, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_LEFT | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(hint, dc);
  }
  Check(hint != nullptr && needed.right <= room.right && needed.bottom <= room.bottom,
        "the port box's hint fits its label whole (" + std::to_string(needed.right) + " x " +
            std::to_string(needed.bottom) + " in " + std::to_string(room.right) + " x " + std::to_string(room.bottom) +
            ")");
  DestroyWindow(dialog);
}

// The two-colour progress painted into a bitmap of its own.
void ProgressPainting() {
  constexpr int kWidth = 101;
  constexpr int kHeight = 20;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  SelectObject(dc, bitmap);
  auto pixel = [&](int x, int y) {
    const DWORD value = static_cast<const DWORD*>(bits)[y * kWidth + x];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
  };
  const RECT client{0, 0, kWidth, kHeight};
  struct Case {
    int position;
    bool dark;
    int lastFilledX;  // -1: nothing filled
  };
  // The inner rectangle runs from x = 1 to 99; half of 100 fills 50 pixels.
  for (const Case c : {Case{0, false, -1}, Case{5, false, 50}, Case{10, false, 99}, Case{5, true, 50}}) {
    ProgressState state;
    state.lower = 0;
    state.upper = 10;
    state.position = c.position;
    PaintTextProgress(dc, client, state, c.dark, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    GdiFlush();
    const COLORREF bar = c.dark ? RGB(250, 0, 0) : GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF rest = GetSysColor(COLOR_BTNFACE);
    bool right = pixel(0, 2) == rest;
    for (int x = 1; x < kWidth - 1; ++x) right = right && pixel(x, 2) == (x <= c.lastFilledX ? bar : rest);
    Check(right, "progress " + std::to_string(c.position) + "/10" + (c.dark ? " dark" : "") + ": the filled part");
  }
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// The banner ANDed onto white keeps the white around its red lettering;
// in the dark scheme it is copied, black around.
void Banner() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, kBannerWidthPx, kBannerHeightPx);
  ReleaseDC(nullptr, screen);
  SelectObject(dc, bitmap);
  const RECT place{0, 0, kBannerWidthPx, kBannerHeightPx};
  for (const bool dark : {false, true}) {
    FillRect(dc, &place, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    PaintBanner(dc, place, dark);
    const COLORREF corner = GetPixel(dc, 0, 0);
    const COLORREF rule = GetPixel(dc, 10, 8);  // the rule left of the name
    Check(corner == (dark ? RGB(0, 0, 0) : RGB(255, 255, 255)) && rule == ToColorRef(kBannerRed),
          std::string("banner ") + (dark ? "copied in the dark scheme" : "ANDed onto the background"));
  }
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// A block field drops what is not a hexadecimal digit or '.'.
void HexField() {
  HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 80, 20, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  AttachHexFilter(edit);
  for (const wchar_t c : std::wstring(L"3fG.x-A\u00E4 9")) SendMessageW(edit, WM_CHAR, c, 0);
  wchar_t text[32] = {};
  GetWindowTextW(edit, text, 32);
  Check(std::wstring(text) == L"3f.A9", "a block field takes hex digits and '.' only");
  DestroyWindow(edit);
}

void Texts() {
  Check(MessageBoxText("Failed.\rTry again.", "") == L"Failed.\r\nTry again.", "box text: CR breaks a line");
  Check(MessageBoxText("A\r\nB\nC", "reason") == L"A\r\nB\r\nC\r\n\r\nreason", "box text: the reason after an empty line");
  Check(MessageBoxText("\xC3\xBC", "") == L"\u00FC", "box text: UTF-8");
  Check(CommentBoxText(";a\n;b\r\n;c\n") == L";a\r\n;b\r\n;c\r\n", "comment: lone LF as CR LF");
  const std::wstring hex = FileFilterText(kHexFilters);
  static const wchar_t kExpected[] = L"HEX File (*.hex)\0*.hex\0All Files (*)\0*.*\0\0";
  Check(hex == std::wstring(kExpected, std::size(kExpected) - 1), "filter list");
}

}  // namespace

// The file dialogs' panels as the dialog manager makes them: a label with
// an access key underlines it ('&' is not drawn), and the End Block field
// shows 3FF whole.
template <std::size_t N>
HWND MakePanel(const std::array<ControlTemplate, N>& controls, int widthDlu, int heightDlu) {
  DialogFrame frame;
  frame.style = WS_POPUP;
  frame.widthDlu = widthDlu;
  frame.heightDlu = heightDlu;
  frame.fontPt = kPanelFontPt;
  const std::vector<WORD> words = BuildDialogTemplate(frame, controls);
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words.data()),
                                    nullptr, Quiet, 0);
}

void PanelLabels() {
  const HWND panels[] = {
      MakePanel(kConverterPanelControls, kConverterPanelWidthDlu, kConverterPanelHeightDlu),
      MakePanel(kEndBlockPanelControls, kEndBlockPanelWidthDlu, kEndBlockPanelHeightDlu),
  };
  int mnemonics = 0;
  bool prefixed = true;
  for (HWND panel : panels) {
    Check(panel != nullptr, "a panel's template makes a dialog");
    if (panel == nullptr) return;
    for (HWND child = GetWindow(panel, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t text[64] = {};
      GetWindowTextW(child, text, static_cast<int>(std::size(text)));
      wchar_t kind[16] = {};
      GetClassNameW(child, kind, static_cast<int>(std::size(kind)));
      if (std::wstring(kind) != L"Static" || std::wstring(text).find(L'&') == std::wstring::npos) continue;
      ++mnemonics;
      if ((GetWindowLongW(child, GWL_STYLE) & SS_NOPREFIX) != 0) prefixed = false;
    }
  }
  Check(mnemonics == 6 && prefixed, "every panel label with '&' shows its access key, not the '&'");

  HWND field = GetDlgItem(panels[1], IDC_DUMP_END_BLOCK);
  SetWindowTextW(field, L"3FF");
  RECT room{};
  SendMessageW(field, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
  HDC dc = GetDC(field);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(field, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32W(dc, L"3FF", 3, &extent);
  SelectObject(dc, old);
  ReleaseDC(field, dc);
  Check(extent.cx > 0 && extent.cx <= room.right - room.left, "the End Block field shows 3FF whole");
  for (HWND panel : panels) DestroyWindow(panel);
}

int main() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  TemplateWords();
  Layout();
  ProgressPainting();
  Banner();
  HexField();
  Texts();
  PanelLabels();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
