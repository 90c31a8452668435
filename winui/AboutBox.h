// "About Tarvel": the version, and in service mode the converter DLLs'
// versions.
#pragma once

#include "winui/WinApi.h"

#include "service/ConverterLibrary.h"

namespace tarvel::winui {

void RunAboutBox(HWND owner, const ConverterSearch& search);

}  // namespace tarvel::winui
