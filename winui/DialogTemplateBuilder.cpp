#include "winui/DialogTemplateBuilder.h"

#include <commctrl.h>

#include <cstring>

#include "base/Win32Text.h"

namespace tarvel::winui {

namespace {

// The predefined classes by their atoms.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboBoxAtom = 0x0085;
// The icon resource of the about box's picture.
constexpr WORD kAppIconResource = 1;

void AppendText(std::vector<WORD>& out, const std::wstring& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

void AlignToDword(std::vector<WORD>& out) {
  if (out.size() % 2 != 0) out.push_back(0);
}

void AppendDword(std::vector<WORD>& out, DWORD value) {
  out.push_back(LOWORD(value));
  out.push_back(HIWORD(value));
}

}  // namespace

DWORD NoPrefixUnlessMnemonic(const char* text) {
  return text != nullptr && std::strchr(text, '&') != nullptr ? 0 : SS_NOPREFIX;
}

DWORD ControlStyle(const ControlTemplate& control) {
  switch (control.kind) {
    case ControlKind::Edit:
      return WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
    case ControlKind::ListView:
      return WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    case ControlKind::CommentEdit:
      return WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    case ControlKind::PushButton:
      return WS_TABSTOP | BS_PUSHBUTTON;
    case ControlKind::DefPushButton:
      return WS_TABSTOP | BS_DEFPUSHBUTTON;
    case ControlKind::GroupBox:
      return BS_GROUPBOX;
    // A caption with '&' underlines its access key; others show as written.
    case ControlKind::TextLeft:
      return SS_LEFT | NoPrefixUnlessMnemonic(control.text);
    case ControlKind::TextRight:
      return SS_RIGHT | NoPrefixUnlessMnemonic(control.text);
    case ControlKind::ProgressBar:
    case ControlKind::Picture:
      return SS_OWNERDRAW;  // painted by the window
    case ControlKind::ComboBox:
      // Only the port box takes typing; the speed box offers its list.
      return WS_TABSTOP | WS_VSCROLL | (control.id == IDC_PORT ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST);
    case ControlKind::RadioButton:
      return WS_TABSTOP | BS_AUTORADIOBUTTON | (control.id == IDC_TYPE0 ? WS_GROUP : 0);
    case ControlKind::CheckBox:
      return WS_TABSTOP | BS_AUTOCHECKBOX;
    case ControlKind::Placeholder:
      return SS_BLACKRECT;
    case ControlKind::Icon:
      return SS_ICON;
  }
  return 0;
}

std::vector<WORD> BuildDialogTemplate(const DialogFrame& frame, std::span<const ControlTemplate> controls) {
  std::vector<WORD> out;
  AppendDword(out, frame.style | DS_SETFONT);
  AppendDword(out, 0);  // extended style
  out.push_back(static_cast<WORD>(controls.size()));
  for (int value : {0, 0, frame.widthDlu, frame.heightDlu}) out.push_back(static_cast<WORD>(value));
  out.push_back(0);  // no menu
  if (frame.className != nullptr) {
    AppendText(out, frame.className);
  } else {
    out.push_back(0);
  }
  AppendText(out, frame.title);
  out.push_back(static_cast<WORD>(frame.fontPt));
  AppendText(out, win32::Wide(frame.fontName));

  for (const ControlTemplate& control : controls) {
    AlignToDword(out);
    DWORD style = WS_CHILD | ControlStyle(control);
    if (control.kind != ControlKind::Placeholder) style |= WS_VISIBLE;
    DWORD exStyle = 0;
    if (control.kind == ControlKind::ProgressBar) exStyle = WS_EX_STATICEDGE | WS_EX_CLIENTEDGE;
    if (control.kind == ControlKind::Picture) exStyle = WS_EX_STATICEDGE;
    AppendDword(out, style);
    AppendDword(out, exStyle);
    for (int value : {control.x, control.y, control.cx, control.cy}) out.push_back(static_cast<WORD>(value));
    out.push_back(static_cast<WORD>(control.id));  // IDC_STATIC is 0xFFFF
    switch (control.kind) {
      case ControlKind::Edit:
      case ControlKind::CommentEdit:
        out.push_back(0xFFFF);
        out.push_back(kEditAtom);
        break;
      case ControlKind::ListView:
        AppendText(out, WC_LISTVIEWW);
        break;
      case ControlKind::ComboBox:
        out.push_back(0xFFFF);
        out.push_back(kComboBoxAtom);
        break;
      case ControlKind::PushButton:
      case ControlKind::DefPushButton:
      case ControlKind::GroupBox:
      case ControlKind::RadioButton:
      case ControlKind::CheckBox:
        out.push_back(0xFFFF);
        out.push_back(kButtonAtom);
        break;
      default:
        out.push_back(0xFFFF);
        out.push_back(kStaticAtom);
        break;
    }
    if (control.kind == ControlKind::Icon) {
      out.push_back(0xFFFF);
      out.push_back(kAppIconResource);
    } else {
      AppendText(out, win32::Wide(control.text));
    }
    out.push_back(0);  // no creation data
  }
  return out;
}

}  // namespace tarvel::winui
