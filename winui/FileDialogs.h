// The Windows file dialogs of the main window: the converter's open dialog
// and the Dump save dialog, each the common dialog with its panel from the
// shared control tables below the standard controls, and the folder
// chooser of "&Browse...".
#pragma once

#include "winui/WinApi.h"

#include <optional>
#include <string>

#include "dialog/MainDialogView.h"
#include "settings/Settings.h"

namespace tarvel::winui {

// "SFL File Converter": the HEX file chosen (empty when cancelled) and the
// panel's fields as they stood when it closed, confirmed or not.
ConverterDialogAnswer RunConverterDialog(HWND owner, const Settings& settings, const std::string& folder);

// "Flash Extraction": the SFL file to write (empty when cancelled) and the
// End Block field.
DumpDialogAnswer RunDumpDialog(HWND owner, const std::string& folder);

// A block field: hexadecimal digits, '.', backspace and tab are typed,
// every other character is dropped.
void AttachHexFilter(HWND edit);

// "Please select the SFL file folder.": the folder chosen, or none.
std::optional<std::string> ChooseFolder(HWND owner, const std::string& start);

}  // namespace tarvel::winui
