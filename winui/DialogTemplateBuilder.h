// In-memory dialog templates from the control tables that the Qt window
// also builds from, so that the Windows dialog manager lays the controls
// out in the same dialog units.
#pragma once

#include "winui/WinApi.h"

#include <span>
#include <string>
#include <vector>

#include "dialog/DialogTemplate.h"

namespace tarvel::winui {

struct DialogFrame {
  DWORD style = 0;
  const wchar_t* className = nullptr;  // null: the system's dialog class
  std::wstring title;
  int widthDlu = 0;
  int heightDlu = 0;
  const char* fontName = kMainDialogFont;
  int fontPt = 0;
};

// The window style of a control kind (besides WS_CHILD and WS_VISIBLE).
DWORD ControlStyle(const ControlTemplate& control);

// A DLGTEMPLATE with its items, DWORD-aligned, for CreateDialogIndirect,
// DialogBoxIndirect or a file dialog's template handle.
std::vector<WORD> BuildDialogTemplate(const DialogFrame& frame, std::span<const ControlTemplate> controls);

}  // namespace tarvel::winui
