// The main window's controls through the Win32 API: the status bar, the
// comment box's font, the message box icons, the combo boxes' texts, the
// file list's columns, rows and sort arrow, the classic look of the dark
// scheme, and the layout report of the window tests.
#pragma once

#include "winui/WinApi.h"

#include <string>
#include <vector>

#include "base/MessageDisplay.h"
#include "catalog/FileList.h"

namespace tarvel::winui {

std::wstring WindowText(HWND window);
std::vector<std::string> ComboEntries(HWND box);
// The entry's index.
int AddComboEntry(HWND box, const std::string& text);
// The drop-down as wide as its longest entry.
void FitDropDown(HWND box);

// The status bar along the bottom: pane 0 for the folder with a progress
// bar over it (hidden), pane 1 owner-drawn for the lamp, as wide as the
// indicator text.
struct StatusBar {
  HWND bar = nullptr;
  HWND progress = nullptr;
};
StatusBar CreateStatusBar(HWND dialog);

// Courier New at 9.6 points for the screen of `dialog`.
HFONT CreateCommentFont(HWND dialog);

// The MB_ICON flag of a message box.
UINT BoxIcon(MessageIcon icon);

// Full-row selection with grid lines, and the two columns.
void SetUpFileList(HWND list);
// Every row goes, and with it the keyboard focus and the selection.
void ShowListRows(HWND list, const std::vector<CatalogRow>& rows);
// The name column fits its widest text; the date column takes the rest of
// the list's width, or its own widest text when that is more.
void FitListColumns(HWND list);
// Image 1 (the downward triangle) or 0 (upward) on `sorted`; none elsewhere.
void ShowListSortArrow(HWND list, int sorted, int image);

// Themed buttons draw their text in the theme's colour: the labels of the
// dark scheme need the classic look.
void UseClassicLook(HWND dialog);

// For the tests that drive the window: each control's id, its rectangle in
// screen pixels and in dialog units, and the first row of the file list.
void WriteLayoutReport(const std::string& path, HWND dialog, bool type1Allowed, bool rtsPulse, bool dark);

}  // namespace tarvel::winui
