#include "winui/StationWindow.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>

#include "base/Strings.h"
#include "base/Win32Text.h"
#include "dialog/Looks.h"
#include "station/StationFile.h"
#include "winui/ControlText.h"
#include "winui/Controls.h"
#include "winui/Painting.h"

namespace tarvel::winui {

namespace {

constexpr UINT kRunTasks = WM_APP + 1;
constexpr const wchar_t* kPanelsClass = L"TarvelStationPanels";
// Controls of bed i: kFirstControl + 2 i (its serial field) and + 1 (Start).
constexpr int kFirstControl = 1000;
// At 1280x800 and 96 dots per inch: the lamp's text and the result's are
// this much larger than the system's message font.
constexpr double kLampFont = 2.4;
constexpr double kResultFont = 1.4;
constexpr double kHeaderFont = 1.2;
constexpr COLORREF kDarkGreen = RGB(0, 255, 0);
constexpr COLORREF kDarkPanel = RGB(16, 16, 16);
constexpr COLORREF kDarkFrame = RGB(0, 140, 0);

COLORREF Colour(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) {
  const FARPROC found = GetProcAddress(GetModuleHandleW(module), name);
  return found == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

// The dots per inch of the screen `window` is on: Windows 10 tells each
// monitor's; before it, the system's.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto forWindow = SystemFunction<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
  if (forWindow != nullptr && window != nullptr) {
    if (const UINT dpi = forWindow(window); dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The font the system uses for message boxes, sized for `dpi`.
LOGFONTW MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  using ForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto forDpi = SystemFunction<ForDpiFunction>(L"user32.dll", "SystemParametersInfoForDpi");
  if (forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
    return metrics.lfMessageFont;
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    LOGFONTW fallback{};
    fallback.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
    lstrcpynW(fallback.lfFaceName, L"Segoe UI", LF_FACESIZE);
    return fallback;
  }
  // Given for the system's dots per inch.
  HDC screen = GetDC(nullptr);
  const int system = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), system);
  return metrics.lfMessageFont;
}

HFONT ScaledFont(LOGFONTW font, double factor, bool bold) {
  font.lfHeight = static_cast<LONG>(std::lround(font.lfHeight * factor));
  if (font.lfHeight == 0) font.lfHeight = -1;
  font.lfWidth = 0;
  if (bold) font.lfWeight = FW_BOLD;
  font.lfQuality = CLEARTYPE_QUALITY;
  return CreateFontIndirectW(&font);
}

// The system's setting "Choose your app mode": Dark.
bool SystemAppsDark() {
  DWORD light = 1;
  DWORD size = sizeof(light);
  const LSTATUS status =
      RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                   L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
  return status == ERROR_SUCCESS && light == 0;
}

// The title bar in the dark too, where the system draws it so.
void DarkTitleBar(HWND window) {
  using SetAttributeFunction = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
  HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
  if (dwm == nullptr) return;
  const FARPROC found = GetProcAddress(dwm, "DwmSetWindowAttribute");
  if (found != nullptr) {
    constexpr DWORD kUseImmersiveDarkMode = 20;
    const BOOL on = TRUE;
    reinterpret_cast<SetAttributeFunction>(reinterpret_cast<void*>(found))(window, kUseImmersiveDarkMode, &on,
                                                                           sizeof(on));
  }
  FreeLibrary(dwm);
}

// A GDI object selected for the life of the scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(m_dc, m_previous); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_previous;
};

int LineHeight(HFONT font) {
  HDC screen = GetDC(nullptr);
  TEXTMETRICW metrics{};
  {
    const Selected keep(screen, font);
    GetTextMetricsW(screen, &metrics);
  }
  ReleaseDC(nullptr, screen);
  return metrics.tmHeight + metrics.tmExternalLeading;
}

int TextWidth(HFONT font, const std::wstring& text) {
  HDC screen = GetDC(nullptr);
  SIZE size{};
  {
    const Selected keep(screen, font);
    GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &size);
  }
  ReleaseDC(nullptr, screen);
  return size.cx;
}

void RoundedBox(HDC dc, const RECT& place, COLORREF face, COLORREF edge, int corner) {
  HBRUSH brush = CreateSolidBrush(face);
  HPEN pen = CreatePen(PS_SOLID, 1, edge);
  {
    const Selected keepBrush(dc, brush);
    const Selected keepPen(dc, pen);
    RoundRect(dc, place.left, place.top, place.right, place.bottom, corner, corner);
  }
  DeleteObject(pen);
  DeleteObject(brush);
}

void Text(HDC dc, const std::wstring& text, RECT place, UINT format) {
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place, format | DT_NOPREFIX);
}

std::wstring Wide(const std::string& text) { return win32::Wide(text); }

}  // namespace

// The window's fonts, made again when it moves to a screen of other dots
// per inch or the panels' scale changes.
class CStationWindow::Fonts {
 public:
  Fonts(UINT dpi, double scale) {
    const LOGFONTW message = MessageFont(dpi);
    normal = ScaledFont(message, 1.0, false);
    bold = ScaledFont(message, 1.0, true);
    header = ScaledFont(message, kHeaderFont, true);
    lamp = ScaledFont(message, kLampFont * scale, true);
    result = ScaledFont(message, kResultFont * scale, false);
    field = ScaledFont(message, kResultFont * scale, false);
  }
  ~Fonts() {
    for (HFONT font : {normal, bold, header, lamp, result, field}) DeleteObject(font);
  }
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  HFONT normal;
  HFONT bold;
  HFONT header;
  HFONT lamp;
  HFONT result;
  HFONT field;
};

int RunStation(const std::string& file, bool darkAllowed, const std::string& layoutReport) {
  StationConfig config;
  CheckedSflFile firmware;
  TransferFacts facts;
  // Read before any window: a station with half a configuration never opens.
  if (const std::optional<std::string> problem = ReadStationFile(file, config, firmware, facts)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
    MessageBoxW(nullptr, MessageBoxText(*problem, {}).c_str(),
                Wide(std::string(LoadString(StringId::AppTitle))).c_str(), MB_OK | MB_ICONSTOP);
    return 2;
  }
  CStationWindow window(std::move(config), std::move(firmware), std::move(facts), darkAllowed && SystemAppsDark());
  return window.Run(layoutReport);
}

CStationWindow::CStationWindow(StationConfig config, CheckedSflFile firmware, TransferFacts facts, bool dark)
    : m_panels(config.beds.size()),
      m_dark(dark),
      m_pPresenter(
          std::make_unique<StationPresenter>(*this, std::move(config), std::move(firmware), std::move(facts))) {}

CStationWindow::~CStationWindow() {
  // The beds end before the window's resources go.
  m_pPresenter.reset();
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
  if (m_markedBrush != nullptr) DeleteObject(m_markedBrush);
}

int CStationWindow::Run(const std::string& layoutReport) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  m_hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = m_hIcon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kStationWindowClass;
  RegisterClassExW(&windowClass);
  WNDCLASSEXW panelsClass = windowClass;
  panelsClass.lpfnWndProc = PanelsProc;
  panelsClass.hIcon = nullptr;
  panelsClass.lpszClassName = kPanelsClass;
  RegisterClassExW(&panelsClass);
  m_markedBrush = CreateSolidBrush(Colour(kMarkedSerialColour));

  // 1280 x 800 at 96 dots per inch, as the Qt window opens, within the work
  // area of the screen it opens on.
  RECT work{0, 0, 1280, 800};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const UINT dpi = WindowDpi(nullptr);
  const int width = std::min<int>(MulDiv(1280, static_cast<int>(dpi), 96), work.right - work.left);
  const int height = std::min<int>(MulDiv(800, static_cast<int>(dpi), 96), work.bottom - work.top);
  m_hWnd = CreateWindowExW(WS_EX_CONTROLPARENT, kStationWindowClass, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                           work.left + (work.right - work.left - width) / 2,
                           work.top + (work.bottom - work.top - height) / 2, width, height, nullptr, nullptr, instance,
                           this);
  if (m_hWnd == nullptr) return 1;
  if (m_dark) DarkTitleBar(m_hWnd);
  m_hSmallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon ? m_hSmallIcon : m_hIcon));
  CreateControls();
  m_pPresenter->Start();
  Layout();
  ShowWindow(m_hWnd, SW_SHOWNORMAL);
  UpdateWindow(m_hWnd);
  m_pPresenter->OnShown();
  if (!layoutReport.empty()) Post([this, layoutReport] { WriteLayoutReport(layoutReport); });

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (OnKey(message)) continue;
    // The dialog manager's keys: Tab between the fields and buttons, Enter
    // as IDOK.
    if (IsDialogMessageW(m_hWnd, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

void CStationWindow::CreateControls() {
  m_hPanels =
      CreateWindowExW(WS_EX_CONTROLPARENT, kPanelsClass, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPCHILDREN, 0,
                      0, 10, 10, m_hWnd, nullptr, GetModuleHandleW(nullptr), this);
  const std::wstring start = Wide(std::string(LoadString(StringId::StationStart)));
  for (std::size_t i = 0; i < m_panels.size(); ++i) {
    const int id = kFirstControl + 2 * static_cast<int>(i);
    Panel& panel = m_panels[i];
    // In this order, so that Tab goes from a field to its Start, then on to
    // the next bed's field.
    panel.serial = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                   0, 0, 10, 10, m_hPanels, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    panel.start = CreateWindowExW(0, L"BUTTON", start.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                                  10, 10, m_hPanels, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id + 1)),
                                  GetModuleHandleW(nullptr), nullptr);
    // Themed buttons draw their text in the theme's colour.
    if (m_dark) SetWindowTheme(panel.start, L"", L"");
  }
}

LRESULT CALLBACK CStationWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<CStationWindow*>(create->lpCreateParams)->m_hWnd = hwnd;
  }
  auto* window = reinterpret_cast<CStationWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return window == nullptr ? DefWindowProcW(hwnd, message, wParam, lParam) : window->OnMessage(message, wParam, lParam);
}

LRESULT CALLBACK CStationWindow::PanelsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<CStationWindow*>(create->lpCreateParams)->m_hPanels = hwnd;
  }
  auto* window = reinterpret_cast<CStationWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return window == nullptr ? DefWindowProcW(hwnd, message, wParam, lParam)
                           : window->OnPanelsMessage(message, wParam, lParam);
}

LRESULT CStationWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
    case WM_USER:  // DM_GETDEFID: no default button, so Enter comes as IDOK
      return 0;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) Layout();
      return 0;
    case WM_DPICHANGED: {
      // The system's suggestion keeps the window where it was on the new
      // screen; the fonts follow it.
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      m_grid.scale = 0;  // the fonts made again
      SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_ACTIVATE:
      // A window of its own (no dialog) keeps the focus where the operator
      // left it across another window's turn.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(m_hWnd, focus)) m_lastFocus = focus;
      } else if (m_lastFocus != nullptr && IsWindow(m_lastFocus)) {
        SetFocus(m_lastFocus);
      } else if (!m_panels.empty()) {
        SetFocus(m_panels.front().serial);
      }
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(m_hWnd, &paint);
      RECT client;
      GetClientRect(m_hWnd, &client);
      PaintHeader(dc, client);
      EndPaint(m_hWnd, &paint);
      return 0;
    }
    case WM_CLOSE:
      if (m_pPresenter->OnClose()) DestroyWindow(m_hWnd);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {Px(480), Px(360)};
      return 0;
    }
    case kRunTasks: RunTasks(); return 0;
    default: return DefWindowProcW(m_hWnd, message, wParam, lParam);
  }
}

LRESULT CStationWindow::OnPanelsMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(m_hPanels, &paint);
      RECT client;
      GetClientRect(m_hPanels, &client);
      // Drawn off the screen first: eight lamps and bars change at once at
      // a round's start and end.
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<int>(client.right, 1), std::max<int>(client.bottom, 1));
      {
        const Selected keep(memory, bitmap);
        PaintPanels(memory, client);
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      }
      DeleteObject(bitmap);
      DeleteDC(memory);
      EndPaint(m_hPanels, &paint);
      return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      // A serial field that kept the round from starting, until the next
      // start; a read-only field asks as a static does.
      HWND control = reinterpret_cast<HWND>(lParam);
      for (const Panel& panel : m_panels) {
        if (panel.serial != control) continue;
        if (panel.marked) {
          SetBkColor(reinterpret_cast<HDC>(wParam), Colour(kMarkedSerialColour));
          SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
          return reinterpret_cast<LRESULT>(m_markedBrush);
        }
      }
      return DefWindowProcW(m_hPanels, message, wParam, lParam);
    }
    case WM_CTLCOLORBTN:
      if (m_dark) {
        SetTextColor(reinterpret_cast<HDC>(wParam), kDarkGreen);
        SetBkColor(reinterpret_cast<HDC>(wParam), kDarkPanel);
        return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
      }
      return DefWindowProcW(m_hPanels, message, wParam, lParam);
    case WM_VSCROLL: {
      SCROLLINFO info{};
      info.cbSize = sizeof(info);
      info.fMask = SIF_ALL;
      GetScrollInfo(m_hPanels, SB_VERT, &info);
      int position = info.nPos;
      switch (LOWORD(wParam)) {
        case SB_LINEUP: position -= m_metrics.line * 2; break;
        case SB_LINEDOWN: position += m_metrics.line * 2; break;
        case SB_PAGEUP: position -= static_cast<int>(info.nPage); break;
        case SB_PAGEDOWN: position += static_cast<int>(info.nPage); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: position = info.nTrackPos; break;
        case SB_TOP: position = 0; break;
        case SB_BOTTOM: position = m_contentHeight; break;
        default: break;
      }
      ScrollTo(position);
      return 0;
    }
    case WM_MOUSEWHEEL:
      ScrollTo(m_scroll - GET_WHEEL_DELTA_WPARAM(wParam) * m_metrics.line * 3 / WHEEL_DELTA);
      return 0;
    default: return DefWindowProcW(m_hPanels, message, wParam, lParam);
  }
}

void CStationWindow::OnCommand(int id, int code, HWND control) {
  if (id == IDOK) {
    OnEnter();
    return;
  }
  if (id < kFirstControl || control == nullptr) return;
  const auto bed = static_cast<std::size_t>((id - kFirstControl) / 2);
  if (bed >= m_panels.size()) return;
  if ((id - kFirstControl) % 2 == 1 && code == BN_CLICKED) m_pPresenter->OnStartPressed(bed);
}

// Enter in a serial field: on to the next bed, or the round. A Start button
// is pressed with Space, as in the Qt window.
void CStationWindow::OnEnter() {
  HWND focus = GetFocus();
  for (std::size_t i = 0; i < m_panels.size(); ++i) {
    if (focus == m_panels[i].serial) {
      m_pPresenter->OnSerialEntered(i);
      return;
    }
  }
}

// F5 anywhere in the window starts every bed.
bool CStationWindow::OnKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_F5) return false;
  if (message.hwnd != m_hWnd && !IsChild(m_hWnd, message.hwnd)) return false;
  m_pPresenter->OnStartAll();
  return true;
}

UINT CStationWindow::Dpi() const { return WindowDpi(m_hWnd); }

int CStationWindow::Px(double logical) const {
  return static_cast<int>(std::lround(logical * static_cast<double>(Dpi()) / 96.0));
}

COLORREF CStationWindow::TextColour() const { return m_dark ? kDarkGreen : GetSysColor(COLOR_WINDOWTEXT); }

void CStationWindow::MakeFonts() {
  // The controls take the new fonts before the old ones go.
  auto fonts = std::make_unique<Fonts>(Dpi(), m_grid.scale);
  for (const Panel& panel : m_panels) {
    SendMessageW(panel.serial, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->field), FALSE);
    SendMessageW(panel.start, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->normal), FALSE);
  }
  m_fonts = std::move(fonts);
  Metrics& m = m_metrics;
  m.pad = Px(8);
  m.gap = Px(6);
  m.line = LineHeight(m_fonts->normal);
  m.titleLine = LineHeight(m_fonts->bold);
  m.bigLine = LineHeight(m_fonts->result);
  m.barHeight = m.line + Px(6);
  m.labelWidth = TextWidth(m_fonts->normal, Wide(std::string(LoadString(StringId::StationSerialLabel))));
  m.startWidth = TextWidth(m_fonts->normal, Wide(std::string(LoadString(StringId::StationStart)))) + Px(28);
  // The widest lamp text fits, as does the Qt window's least lamp.
  int lampText = 0;
  for (const StringId id : {StringId::StationBedIdle, StringId::StationBedRunning, StringId::StationBedPassed,
                            StringId::StationBedFailed, StringId::StationBedVerifying}) {
    lampText = std::max(lampText, TextWidth(m_fonts->lamp, Wide(std::string(LoadString(id)))));
  }
  m.lampWidth = std::max(lampText + 2 * m.pad, Px(110 * m_grid.scale));
  m.lampHeight = std::max(Px(64 * m_grid.scale), m.barHeight + m.gap + 2 * m.bigLine);
}

void CStationWindow::Layout() {
  if (m_hPanels == nullptr || m_laying) return;
  m_laying = true;
  RECT client;
  GetClientRect(m_hWnd, &client);
  // The grid of the window's size in pixels of 96 dots per inch, as the Qt
  // window's: the same columns and scale on every screen.
  const double perPixel = 96.0 / static_cast<double>(Dpi());
  const PanelGrid grid =
      GridFor(m_panels.size(), static_cast<int>(client.right * perPixel), static_cast<int>(client.bottom * perPixel));
  if (!m_fonts || grid.scale != m_grid.scale) {
    m_grid = grid;
    MakeFonts();
  }
  m_grid = grid;
  Metrics& m = m_metrics;

  // The header: the firmware's line, the manifest's, the comment (at most
  // two lines) and the counters.
  HDC screen = GetDC(m_hWnd);
  int header = m.pad + LineHeight(m_fonts->header);
  if (!m_header.trust.empty()) header += m.line;
  if (!m_header.comment.empty()) {
    RECT measure{0, 0, client.right - 2 * m.pad, 0};
    const Selected keep(screen, m_fonts->normal);
    const std::wstring comment = Wide(m_header.comment);
    DrawTextW(screen, comment.c_str(), -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    header += std::min<int>(measure.bottom, 2 * m.line);
  }
  header += m.gap + LineHeight(m_fonts->bold) + m.gap;
  ReleaseDC(m_hWnd, screen);
  m.headerHeight = header;

  bool notes = false;
  for (const Panel& panel : m_panels) notes = notes || !panel.stateLine.empty() || !panel.mode.empty();
  m.panelHeight = m.pad + m.titleLine + m.gap + (m.bigLine + Px(8)) + m.gap + m.lampHeight + m.gap + 3 * m.line +
                  (notes ? m.gap + m.line : 0) + m.pad;
  const int rows = grid.rows;
  m_contentHeight = rows * m.panelHeight + (rows + 1) * m.pad;
  const int areaHeight = std::max<int>(client.bottom - header, 0);
  int areaWidth = client.right;
  // The scroll bar takes its width only when the panels need it.
  const bool scrolls = m_contentHeight > areaHeight;
  if (scrolls) areaWidth -= GetSystemMetrics(SM_CXVSCROLL);
  m.columns = grid.columns;
  m.panelWidth = std::max((areaWidth - (m.columns + 1) * m.pad) / m.columns, Px(200));
  MoveWindow(m_hPanels, 0, header, client.right, areaHeight, TRUE);
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = std::max(m_contentHeight - 1, 0);
  info.nPage = static_cast<UINT>(areaHeight);
  m_scroll = std::clamp(m_scroll, 0, std::max(m_contentHeight - areaHeight, 0));
  info.nPos = m_scroll;
  SetScrollInfo(m_hPanels, SB_VERT, &info, TRUE);
  PlaceControls();
  InvalidateRect(m_hWnd, nullptr, FALSE);
  InvalidateRect(m_hPanels, nullptr, FALSE);
  m_laying = false;
}

void CStationWindow::PlaceControls() {
  const Metrics& m = m_metrics;
  HDWP moves = BeginDeferWindowPos(static_cast<int>(2 * m_panels.size()));
  for (std::size_t i = 0; i < m_panels.size(); ++i) {
    Panel& panel = m_panels[i];
    // Row by row, so that the beds of a row read left to right.
    const int row = static_cast<int>(i) / m.columns;
    const int column = static_cast<int>(i) % m.columns;
    const int left = m.pad + column * (m.panelWidth + m.pad);
    const int top = m.pad + row * (m.panelHeight + m.pad) - m_scroll;
    panel.place = {left, top, left + m.panelWidth, top + m.panelHeight};
    const int fieldTop = top + m.pad + m.titleLine + m.gap;
    const int fieldHeight = m.bigLine + Px(8);
    const int fieldLeft = left + m.pad + m.labelWidth + m.gap;
    const int startLeft = panel.place.right - m.pad - m.startWidth;
    if (moves != nullptr) {
      moves = DeferWindowPos(moves, panel.serial, nullptr, fieldLeft, fieldTop,
                             std::max(startLeft - m.gap - fieldLeft, 10), fieldHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves != nullptr) {
      moves = DeferWindowPos(moves, panel.start, nullptr, startLeft, fieldTop, m.startWidth, fieldHeight,
                             SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (moves != nullptr) EndDeferWindowPos(moves);
}

void CStationWindow::ScrollTo(int position) {
  RECT area;
  GetClientRect(m_hPanels, &area);
  position = std::clamp(position, 0, std::max<int>(m_contentHeight - area.bottom, 0));
  if (position == m_scroll) return;
  m_scroll = position;
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_POS;
  info.nPos = m_scroll;
  SetScrollInfo(m_hPanels, SB_VERT, &info, TRUE);
  PlaceControls();
  InvalidateRect(m_hPanels, nullptr, FALSE);
}

void CStationWindow::PaintHeader(HDC dc, const RECT& client) {
  const Metrics& m = m_metrics;
  const RECT top{0, 0, client.right, m.headerHeight};
  if (m_dark) {
    PaintDarkBackground(dc, client);
  } else {
    FillRect(dc, &top, GetSysColorBrush(COLOR_BTNFACE));
  }
  if (!m_fonts) return;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, TextColour());
  const int width = client.right - 2 * m.pad;
  int y = m.pad;
  const auto line = [&](HFONT font, const std::string& text, int height, UINT format) {
    const Selected keep(dc, font);
    Text(dc, Wide(text), RECT{m.pad, y, m.pad + width, y + height}, format);
    y += height;
  };
  line(m_fonts->header, m_header.firmware, LineHeight(m_fonts->header), DT_SINGLELINE | DT_END_ELLIPSIS);
  if (!m_header.trust.empty()) line(m_fonts->normal, m_header.trust, m.line, DT_SINGLELINE | DT_END_ELLIPSIS);
  if (!m_header.comment.empty()) {
    RECT measure{0, 0, width, 0};
    {
      const Selected keep(dc, m_fonts->normal);
      const std::wstring comment = Wide(m_header.comment);
      DrawTextW(dc, comment.c_str(), -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    line(m_fonts->normal, m_header.comment, std::min<int>(measure.bottom, 2 * m.line),
         DT_WORDBREAK | DT_END_ELLIPSIS | DT_EDITCONTROL);
  }
  y += m.gap;
  {
    const Selected keep(dc, m_fonts->bold);
    Text(dc, m_counters, RECT{m.pad, y, m.pad + width, y + m.titleLine}, DT_SINGLELINE | DT_END_ELLIPSIS);
  }
}

void CStationWindow::PaintPanels(HDC dc, const RECT& client) {
  if (m_dark) {
    PaintDarkBackground(dc, client);
  } else {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  }
  if (!m_fonts) return;
  for (const Panel& panel : m_panels) {
    RECT overlap;
    if (IntersectRect(&overlap, &panel.place, &client)) PaintPanel(dc, panel);
  }
}

void CStationWindow::PaintPanel(HDC dc, const Panel& panel) {
  const Metrics& m = m_metrics;
  const RECT& place = panel.place;
  // The panel: a frame round a face of its own.
  RoundedBox(dc, place, m_dark ? kDarkPanel : GetSysColor(COLOR_WINDOW),
             m_dark ? kDarkFrame : GetSysColor(COLOR_BTNSHADOW), Px(8));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, TextColour());
  const int left = place.left + m.pad;
  const int right = place.right - m.pad;
  int y = place.top + m.pad;
  {
    const Selected keep(dc, m_fonts->bold);
    Text(dc, panel.title, RECT{left, y, right, y + m.titleLine}, DT_SINGLELINE | DT_END_ELLIPSIS);
  }
  y += m.titleLine + m.gap;
  const int fieldHeight = m.bigLine + Px(8);
  {
    const Selected keep(dc, m_fonts->normal);
    Text(dc, Wide(std::string(LoadString(StringId::StationSerialLabel))),
         RECT{left, y, left + m.labelWidth, y + fieldHeight}, DT_SINGLELINE | DT_VCENTER);
  }
  y += fieldHeight + m.gap;

  // The lamp: its colour says the state from across the room, its word
  // says it to whoever cannot tell the colours apart.
  const RECT lamp{left, y, left + m.lampWidth, y + m.lampHeight};
  RoundedBox(dc, lamp, Colour(LampColour(panel.state)), RGB(64, 64, 64), Px(10));
  {
    const Selected keep(dc, m_fonts->lamp);
    SetTextColor(dc, RGB(0, 0, 0));
    Text(dc, panel.lamp, lamp, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetTextColor(dc, TextColour());
  }

  // Beside it the bar with the block and the percentage, and the result.
  const int textLeft = lamp.right + m.gap;
  {
    const int saved = SaveDC(dc);
    SetViewportOrgEx(dc, textLeft, y, nullptr);
    const ProgressState bar{0, panel.range, panel.done, panel.progress};
    PaintTextProgress(dc, RECT{0, 0, right - textLeft, m.barHeight}, bar, m_dark, m_fonts->normal);
    RestoreDC(dc, saved);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TextColour());
  }
  {
    const Selected keep(dc, m_fonts->result);
    Text(dc, panel.result, RECT{textLeft, y + m.barHeight + m.gap, right, lamp.bottom},
         DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS);
  }
  y = lamp.bottom + m.gap;
  {
    const Selected keep(dc, m_fonts->normal);
    Text(dc, panel.diagnosis, RECT{left, y, right, y + 3 * m.line}, DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS);
  }
  y += 3 * m.line;
  if (!panel.stateLine.empty() || !panel.mode.empty()) {
    y += m.gap;
    const Selected keep(dc, m_fonts->bold);
    Text(dc, panel.stateLine, RECT{left, y, right, y + m.line}, DT_SINGLELINE | DT_END_ELLIPSIS);
    Text(dc, panel.mode, RECT{left, y, right, y + m.line}, DT_SINGLELINE | DT_RIGHT);
  }
}

void CStationWindow::RepaintPanel(std::size_t bed) {
  if (m_hPanels != nullptr) InvalidateRect(m_hPanels, &m_panels[bed].place, FALSE);
}

void CStationWindow::ShowHeader(const StationHeaderLines& header) {
  m_header = header;
  if (m_hWnd != nullptr) SetWindowTextW(m_hWnd, Wide(header.title).c_str());
  Layout();
}

void CStationWindow::SetCounters(const std::string& text) {
  m_counters = Wide(text);
  if (m_hWnd == nullptr) return;
  RECT top{0, 0, 0, m_metrics.headerHeight};
  GetClientRect(m_hWnd, &top);
  top.bottom = m_metrics.headerHeight;
  InvalidateRect(m_hWnd, &top, FALSE);
}

void CStationWindow::SetPanelTitle(std::size_t bed, const std::string& title) {
  m_panels[bed].title = Wide(title);
  RepaintPanel(bed);
}

void CStationWindow::SetLamp(std::size_t bed, BedState state, const std::string& text) {
  m_panels[bed].state = state;
  m_panels[bed].lamp = Wide(text);
  RepaintPanel(bed);
}

void CStationWindow::SetProgress(std::size_t bed, int done, int range, const std::string& text) {
  m_panels[bed].done = done;
  m_panels[bed].range = range;
  m_panels[bed].progress = Wide(text);
  RepaintPanel(bed);
}

void CStationWindow::SetResult(std::size_t bed, const std::string& text) {
  m_panels[bed].result = Wide(text);
  RepaintPanel(bed);
}

void CStationWindow::SetDiagnosis(std::size_t bed, const std::string& text) {
  // Its hint on a line of its own.
  m_panels[bed].diagnosis = Wide(text);
  RepaintPanel(bed);
}

void CStationWindow::EnableStart(std::size_t bed, bool enabled) {
  if (m_panels[bed].start != nullptr) EnableWindow(m_panels[bed].start, enabled ? TRUE : FALSE);
}

void CStationWindow::SetBedNote(std::size_t bed, const std::string& state, const std::string& mode) {
  Panel& panel = m_panels[bed];
  const bool hadNote = !panel.stateLine.empty() || !panel.mode.empty();
  panel.stateLine = Wide(state);
  panel.mode = Wide(mode);
  // The first note makes room for itself in every panel.
  if (hadNote != (!state.empty() || !mode.empty())) Layout();
  RepaintPanel(bed);
}

std::string CStationWindow::SerialText(std::size_t bed) const {
  HWND field = m_panels[bed].serial;
  return field == nullptr ? std::string() : win32::Utf8(WindowText(field));
}

void CStationWindow::ClearSerial(std::size_t bed) {
  if (m_panels[bed].serial != nullptr) SetWindowTextW(m_panels[bed].serial, L"");
}

void CStationWindow::FocusSerial(std::size_t bed, bool selectAll) {
  HWND field = m_panels[bed].serial;
  if (field == nullptr) return;
  // The operator never types into a field he cannot see.
  RECT area;
  GetClientRect(m_hPanels, &area);
  const RECT& place = m_panels[bed].place;
  if (place.top < 0) {
    ScrollTo(m_scroll + place.top - m_metrics.pad);
  } else if (place.bottom > area.bottom) {
    ScrollTo(m_scroll + place.bottom - area.bottom + m_metrics.pad);
  }
  SetFocus(field);
  m_lastFocus = field;
  if (selectAll) SendMessageW(field, EM_SETSEL, 0, -1);
}

void CStationWindow::MarkSerial(std::size_t bed, bool marked) {
  if (m_panels[bed].marked == marked) return;
  m_panels[bed].marked = marked;
  if (m_panels[bed].serial != nullptr) InvalidateRect(m_panels[bed].serial, nullptr, TRUE);
}

void CStationWindow::SetSerialEditable(std::size_t bed, bool editable) {
  if (m_panels[bed].serial != nullptr) SendMessageW(m_panels[bed].serial, EM_SETREADONLY, editable ? FALSE : TRUE, 0);
}

bool CStationWindow::AskYesNo(const std::string& text) {
  // The box's own loop goes on running the beds' posted tasks.
  return MessageBoxW(m_hWnd, MessageBoxText(text, {}).c_str(),
                     Wide(std::string(LoadString(StringId::AppTitle))).c_str(),
                     MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION) == IDYES;
}

void CStationWindow::ShowRefusal(const std::string& text) {
  MessageBoxW(m_hWnd, MessageBoxText(text, {}).c_str(), Wide(std::string(LoadString(StringId::AppTitle))).c_str(),
              MB_OK | MB_ICONEXCLAMATION);
}

void CStationWindow::Close() {
  // Posted: the presenter is in the middle of its own call.
  if (m_hWnd != nullptr) PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CStationWindow::Post(std::function<void()> task) {
  {
    const std::lock_guard lock(m_tasksMutex);
    m_tasks.push_back(std::move(task));
  }
  PostMessageW(m_hWnd, kRunTasks, 0, 0);
}

void CStationWindow::WriteLayoutReport(const std::string& path) const {
  FILE* report = _wfopen(win32::Wide(path).c_str(), L"w");
  if (report == nullptr) return;
  RECT client;
  GetClientRect(m_hWnd, &client);
  RECT area;
  GetClientRect(m_hPanels, &area);
  const auto height = [](HFONT font) {
    LOGFONTW described{};
    GetObjectW(font, sizeof(described), &described);
    return std::abs(static_cast<int>(described.lfHeight));
  };
  std::fprintf(report, "client %ld %ld dpi %u\n", client.right, client.bottom, Dpi());
  std::fprintf(report, "area %ld %ld scrolls %d\n", area.right, area.bottom, m_contentHeight > area.bottom ? 1 : 0);
  std::fprintf(report, "fonts message %d lamp %d result %d\n", height(m_fonts->normal), height(m_fonts->lamp),
               height(m_fonts->result));
  for (const Panel& panel : m_panels) {
    std::fprintf(report, "panel %ld %ld %ld %ld lamp %d %d\n", panel.place.left, panel.place.top, panel.place.right,
                 panel.place.bottom, m_metrics.lampWidth, m_metrics.lampHeight);
  }
  std::fprintf(report, "end\n");
  std::fclose(report);
}

void CStationWindow::RunTasks() {
  // One task per message, so that a box a task opens lets the next run.
  std::function<void()> task;
  {
    const std::lock_guard lock(m_tasksMutex);
    if (m_tasks.empty()) return;
    task = std::move(m_tasks.front());
    m_tasks.pop_front();
  }
  task();
}

}  // namespace tarvel::winui
