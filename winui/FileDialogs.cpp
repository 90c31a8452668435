#include "winui/FileDialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <optional>
#include <cstring>
#include <span>
#include <vector>

#include "base/Win32Text.h"
#include "dialog/DialogTemplate.h"
#include "dialog/Globals.h"
#include "dialog/Looks.h"
#include "service/SflConversion.h"
#include "winui/ControlText.h"
#include "winui/Controls.h"
#include "winui/DialogTemplateBuilder.h"
#include "winui/Painting.h"

namespace tarvel::winui {

namespace {

constexpr DWORD kPathChars = 32768;

std::string ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  if (item == nullptr) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return win32::Utf8(text);
}

void SetItemText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextW(dialog, id, win32::Wide(text).c_str());
}

void LimitText(HWND dialog, int id, int chars) { SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, chars, 0); }

// Block fields take hexadecimal digits, '.', backspace and tab only.
LRESULT CALLBACK HexEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_CHAR) {
    if (!IsHexKey(static_cast<char32_t>(wParam))) return 0;
  }
  return DefSubclassProc(edit, message, wParam, lParam);
}

void MakeHexField(HWND dialog, int id) {
  AttachHexFilter(GetDlgItem(dialog, id));
  LimitText(dialog, id, kBlockTextMaxChars);
}

// The panel as a child template below the common dialog's controls.
struct Panel {
  std::span<const ControlTemplate> controls;
  int widthDlu;
  int heightDlu;
};

HGLOBAL PanelTemplate(const Panel& panel) {
  DialogFrame frame;
  frame.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK | DS_CONTROL;
  frame.widthDlu = panel.widthDlu;
  frame.heightDlu = panel.heightDlu;
  frame.fontPt = kPanelFontPt;
  const std::vector<WORD> words = BuildDialogTemplate(frame, panel.controls);
  // A fixed block: its handle is its address, as the dialog reads it.
  HGLOBAL memory = GlobalAlloc(GMEM_FIXED, words.size() * sizeof(WORD));
  if (memory != nullptr) std::memcpy(memory, words.data(), words.size() * sizeof(WORD));
  return memory;
}

struct ConverterHook {
  const Settings* settings;
  SflConvTexts* fields;
  std::string* replaceConfirmed;
};

// Confirmed with an output name that exists: asked before the dialog goes,
// so that No keeps it open with everything typed. The output name as it
// stands: empty (a HEX name typed rather than picked) asks nothing.
bool MayClose(HWND panel, HWND dialog, const OPENFILENAMEW& open, const ConverterHook& hook) {
  hook.replaceConfirmed->clear();
  const std::optional<std::string> existing =
      ExistingSflOutput(win32::Utf8(open.lpstrFile), ItemText(panel, IDC_SFL_NAME));
  if (!existing) return true;
  const std::wstring text = MessageBoxText(FormatString(StringId::ReplaceFilePrompt, {*existing}), {});
  const std::wstring title = win32::Wide(LoadString(StringId::AppTitle));
  if (MessageBoxW(dialog, text.c_str(), title.c_str(), MB_YESNO | MB_DEFBUTTON2 | BoxIcon(MessageIcon::Exclamation)) !=
      IDYES) {
    return false;
  }
  *hook.replaceConfirmed = *existing;
  return true;
}

// The converter panel: START and END as stored, the output name following
// the chosen HEX file, the replacement asked before it closes, every field
// kept when the dialog goes.
UINT_PTR CALLBACK ConverterHookProc(HWND panel, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* open = reinterpret_cast<const OPENFILENAMEW*>(lParam);
      const auto* hook = reinterpret_cast<const ConverterHook*>(open->lCustData);
      SetWindowLongPtrW(panel, GWLP_USERDATA, static_cast<LONG_PTR>(open->lCustData));
      MakeHexField(panel, IDC_SFL_START);
      MakeHexField(panel, IDC_SFL_END);
      // A stored text longer than the field's limit shows cut to it.
      SetItemText(panel, IDC_SFL_START, hook->settings->sflStart().substr(0, kBlockTextMaxChars));
      SetItemText(panel, IDC_SFL_END, hook->settings->sflEnd().substr(0, kBlockTextMaxChars));
      LimitText(panel, IDC_SFL_NAME, kSflNameMaxChars);
      LimitText(panel, IDC_PRODUCT_NAME, kCommentValueMaxChars);
      LimitText(panel, IDC_FIRM_VERSION, kCommentValueMaxChars);
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
      HWND dialog = GetParent(panel);
      if (notify->hdr.code == CDN_INITDONE) {
        SendMessageW(dialog, CDM_SETCONTROLTEXT, IDOK,
                     reinterpret_cast<LPARAM>(win32::Wide(kSflConvAcceptLabel).c_str()));
      } else if (notify->hdr.code == CDN_FILEOK) {
        const auto* hook = reinterpret_cast<const ConverterHook*>(GetWindowLongPtrW(panel, GWLP_USERDATA));
        if (hook != nullptr && !MayClose(panel, dialog, *notify->lpOFN, *hook)) {
          SetWindowLongPtrW(panel, DWLP_MSGRESULT, 1);  // the dialog stays
          return 1;
        }
      } else if (notify->hdr.code == CDN_SELCHANGE) {
        std::wstring path(kPathChars, L'\0');
        const LRESULT length = SendMessageW(dialog, CDM_GETFILEPATH, path.size(), reinterpret_cast<LPARAM>(path.data()));
        if (length <= 0) return 0;
        path.resize(static_cast<std::size_t>(length - 1));
        const DWORD attributes = GetFileAttributesW(path.c_str());
        // A folder selected in the list leaves the output name as it was.
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return 0;
        const std::size_t slash = path.find_last_of(L"\\/");
        const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
        SetItemText(panel, IDC_SFL_NAME, DefaultSflName(win32::Utf8(name)));
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      if (g_bDarkScheme) {
        HDC dc = reinterpret_cast<HDC>(lParam);
        SetTextColor(dc, ToColorRef(kDarkPanelLabel));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<UINT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
      }
      return 0;
    case WM_DESTROY:
      if (const auto* hook = reinterpret_cast<const ConverterHook*>(GetWindowLongPtrW(panel, GWLP_USERDATA))) {
        *hook->fields = SflConvTexts{ItemText(panel, IDC_SFL_NAME), ItemText(panel, IDC_SFL_START),
                                     ItemText(panel, IDC_SFL_END), ItemText(panel, IDC_PRODUCT_NAME),
                                     ItemText(panel, IDC_FIRM_VERSION)};
      }
      return 0;
    default:
      return 0;
  }
}

UINT_PTR CALLBACK DumpHookProc(HWND panel, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(panel, GWLP_USERDATA,
                        static_cast<LONG_PTR>(reinterpret_cast<const OPENFILENAMEW*>(lParam)->lCustData));
      MakeHexField(panel, IDC_DUMP_END_BLOCK);
      SetItemText(panel, IDC_DUMP_END_BLOCK, kDumpDefaultEndBlock);
      return TRUE;
    case WM_DESTROY:
      if (auto* endBlock = reinterpret_cast<std::string*>(GetWindowLongPtrW(panel, GWLP_USERDATA)))
        *endBlock = ItemText(panel, IDC_DUMP_END_BLOCK);
      return 0;
    default:
      return 0;
  }
}

std::optional<std::string> RunFileDialog(HWND owner, const std::string& folder, const char* title,
                                         const std::array<const char*, 2>& filters, const Panel& panel,
                                         LPOFNHOOKPROC hookProc, LPARAM hookData, bool save,
                                         const char* defaultName) {
  const std::wstring filter = FileFilterText(filters);
  const std::wstring wideTitle = win32::Wide(title);
  const std::wstring wideFolder = win32::Wide(folder);
  std::vector<wchar_t> file(kPathChars, L'\0');
  if (defaultName != nullptr) {
    const std::wstring name = win32::Wide(defaultName);
    std::copy(name.begin(), name.end(), file.begin());
  }
  HGLOBAL panelTemplate = PanelTemplate(panel);
  OPENFILENAMEW open{};
  open.lStructSize = sizeof(open);
  open.hwndOwner = owner;
  open.hInstance = static_cast<HINSTANCE>(panelTemplate);
  open.lpstrFilter = filter.c_str();
  open.lpstrFile = file.data();
  open.nMaxFile = static_cast<DWORD>(file.size());
  open.lpstrInitialDir = wideFolder.c_str();
  open.lpstrTitle = wideTitle.c_str();
  open.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
               (panelTemplate != nullptr ? OFN_ENABLETEMPLATEHANDLE : 0) |
               (save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST);
  open.lpfnHook = hookProc;
  open.lCustData = hookData;
  const BOOL chosen = save ? GetSaveFileNameW(&open) : GetOpenFileNameW(&open);
  if (panelTemplate != nullptr) GlobalFree(panelTemplate);
  if (!chosen) return std::nullopt;
  return win32::Utf8(file.data());
}

int CALLBACK BrowseCallback(HWND chooser, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED) SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, start);
  return 0;
}

}  // namespace

ConverterDialogAnswer RunConverterDialog(HWND owner, const Settings& settings, const std::string& folder) {
  ConverterDialogAnswer answer;
  ConverterHook hook{&settings, &answer.fields, &answer.replaceConfirmed};
  answer.hexPath = RunFileDialog(owner, folder, kSflConvTitle, kHexFilters,
                                 Panel{kConverterPanelControls, kConverterPanelWidthDlu, kConverterPanelHeightDlu},
                                 ConverterHookProc, reinterpret_cast<LPARAM>(&hook), false, nullptr)
                       .value_or(std::string());
  return answer;
}

DumpDialogAnswer RunDumpDialog(HWND owner, const std::string& folder) {
  DumpDialogAnswer answer;
  answer.outputPath = RunFileDialog(owner, folder, kDumpTitle, kSflFilters,
                                    Panel{kEndBlockPanelControls, kEndBlockPanelWidthDlu, kEndBlockPanelHeightDlu},
                                    DumpHookProc, reinterpret_cast<LPARAM>(&answer.endBlock), true, kDumpDefaultName)
                          .value_or(std::string());
  return answer;
}

void AttachHexFilter(HWND edit) { SetWindowSubclass(edit, HexEditProc, 1, 0); }

std::optional<std::string> ChooseFolder(HWND owner, const std::string& start) {
  const std::wstring title = win32::Wide(kBrowseTitle);
  const std::wstring startFolder = win32::Wide(start);
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  browse.lpfn = BrowseCallback;
  browse.lParam = reinterpret_cast<LPARAM>(startFolder.c_str());
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  if (chosen == nullptr) return std::nullopt;
  std::wstring path(kPathChars, L'\0');
  const BOOL ok = SHGetPathFromIDListEx(chosen, path.data(), kPathChars, GPFIDL_DEFAULT);
  CoTaskMemFree(chosen);
  if (!ok) return std::nullopt;
  path.resize(wcslen(path.c_str()));
  return win32::Utf8(path);
}

}  // namespace tarvel::winui
