#include "winui/AboutBox.h"

#include <string>

#include "base/Strings.h"
#include "base/Win32Text.h"
#include "dialog/DialogTemplate.h"
#include "dialog/Globals.h"
#include "service/Converters.h"
#include "winui/DialogTemplateBuilder.h"

namespace tarvel::winui {

namespace {

// The libraries' names as the about box has always shown them.
constexpr const char* kHexConverterPrefix = "Tesmol.dll : ";
constexpr const char* kFlashConverterPrefix = "Oxbrin.dll : ";

void SetText(HWND box, int id, const std::string& text) { SetDlgItemTextW(box, id, win32::Wide(text).c_str()); }

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetText(box, IDC_VERSION, std::string(LoadString(StringId::Version)));
      if (!g_bServiceMode) return TRUE;
      // A library that is missing, or lacks its version export, leaves its
      // line as it was.
      const auto* search = reinterpret_cast<const ConverterSearch*>(lParam);
      const ConverterVersionTexts versions = ConverterVersions(*search);
      if (versions.hexToSfl) SetText(box, IDC_ABOUT_CONVERTER, kHexConverterPrefix + *versions.hexToSfl);
      if (versions.flashImage) SetText(box, IDC_ABOUT_LOADER, kFlashConverterPrefix + *versions.flashImage);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(box, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void RunAboutBox(HWND owner, const ConverterSearch& search) {
  DialogFrame frame;
  frame.style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  frame.title = L"About Tarvel";
  frame.widthDlu = kAboutWidthDlu;
  frame.heightDlu = kAboutHeightDlu;
  frame.fontPt = kAboutFontPt;
  const std::vector<WORD> words = BuildDialogTemplate(frame, kAboutControls);
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words.data()), owner,
                          AboutProc, reinterpret_cast<LPARAM>(&search));
}

}  // namespace tarvel::winui
