// tarvel.exe: the main window on Windows, or the station window.
#include "winui/WinApi.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/ProgramStart.h"
#include "base/Strings.h"
#include "base/Win32Text.h"
#include "dialog/DialogLogic.h"
#include "dialog/WindowStart.h"
#include "winui/MainDialog.h"
#include "winui/StationWindow.h"

namespace {

using tarvel::win32::Utf8;
using tarvel::win32::Wide;

std::vector<std::string> Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

// The ANSI version record, with its own size filled in as the call requires.
tarvel::PlatformFlags SystemPlatformFlags() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&version)) return tarvel::PlatformFlags{true, false};
#pragma GCC diagnostic pop
  return tarvel::WindowsPlatformFlags(version.dwPlatformId, version.dwMinorVersion);
}

// One window per user: a second start raises the first, restores it when
// minimised and brings its active box forward, then ends.
HANDLE AcquireSingleInstance() {
  wchar_t user[256] = L"";
  DWORD size = 256;
  GetUserNameW(user, &size);
  const std::wstring name = std::wstring(L"Local\\Tarvel-") + user;
  HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
  if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    if (HWND first = FindWindowW(tarvel::winui::kMainDialogClass, nullptr)) {
      if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
      HWND active = GetLastActivePopup(first);
      SetForegroundWindow(active != nullptr ? active : first);
    }
    return nullptr;
  }
  return mutex;
}

void ShowText(const std::string& text, UINT icon = MB_ICONINFORMATION) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(tarvel::LoadString(tarvel::StringId::AppTitle)).c_str(), MB_OK | icon);
}

void PrepareControls() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                      ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tarvel::PrepareStandardStreams();
  const std::vector<std::string> arguments = Arguments();
  const tarvel::StartChoice choice = tarvel::ParseStartRequest(arguments);
  switch (choice.request) {
    case tarvel::StartRequest::Help:
      ShowText(std::string(tarvel::LoadString(tarvel::StringId::WindowUsage)));
      return 0;
    case tarvel::StartRequest::Version:
      ShowText(std::string(tarvel::LoadString(tarvel::StringId::Version)));
      return 0;
    case tarvel::StartRequest::Refused:
      // A program without a console: the box is what the user sees; stderr
      // serves a script that started it.
      std::fprintf(stderr, "%s\n", choice.refusal.c_str());
      ShowText(choice.refusal, MB_ICONSTOP);
      return 2;
    case tarvel::StartRequest::Station: {
      PrepareControls();
      std::string layoutReport;
#ifdef TARVEL_TEST_SEAMS
      if (const char* report = std::getenv("TARVEL_WINDOW_LAYOUT")) layoutReport = report;
#endif
      return tarvel::winui::RunStation(choice.station, !SystemPlatformFlags().m_bRtsPulse, layoutReport);
    }
    case tarvel::StartRequest::Window:
      break;
  }
  HANDLE instance = AcquireSingleInstance();
  if (instance == nullptr) return 0;

  PrepareControls();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the folder chooser

  tarvel::winui::DialogServices services;
  tarvel::PrepareMainWindow(arguments, services);
  services.platform = SystemPlatformFlags();
#ifdef TARVEL_TEST_SEAMS
  // Only the test build (tarvel-test.exe) lets its environment report the
  // layout; the shipped program never reads it.
  if (const char* report = std::getenv("TARVEL_WINDOW_LAYOUT")) services.layoutReport = report;
#endif
  {
    tarvel::winui::CFirmwareWriterDlg dialog(std::move(services));
    dialog.DoModal();
  }
  CoUninitialize();
  ReleaseMutex(instance);
  CloseHandle(instance);
  return 0;
}
