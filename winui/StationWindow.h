// The station's window on Windows: a header, the counters and one panel per
// bed, re-flowing into as many columns as the window's width takes. What it
// shows and what its keys do is the presenter's (station/StationPresenter.h);
// this draws with GDI and forwards the window's events. The serial fields
// and the Start buttons are controls; the rest is painted, so that the lamps
// and the results take the size the screen gives them.
#pragma once

#include "winui/WinApi.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "station/StationPresenter.h"

namespace tarvel::winui {

inline constexpr const wchar_t* kStationWindowClass = L"TarvelStation";

// Reads the station file and runs its window until it closes. A station
// file that cannot be used is said on stderr and in a box, and no window
// opens: exit code 2. `darkAllowed`: where the main window paints its dark
// scheme, the station follows the system's dark mode for applications.
// `layoutReport`: a file for the tests that drive the window, which gets
// where the panels stand and how large their texts are once it is up;
// empty: none.
int RunStation(const std::string& file, bool darkAllowed, const std::string& layoutReport = {});

class CStationWindow final : public StationWindowView {
 public:
  CStationWindow(StationConfig config, CheckedSflFile firmware, TransferFacts facts, bool dark);
  ~CStationWindow() override;
  CStationWindow(const CStationWindow&) = delete;
  CStationWindow& operator=(const CStationWindow&) = delete;

  // Creates and shows the window and runs its messages until it closes.
  int Run(const std::string& layoutReport = {});

  // StationWindowView
  void ShowHeader(const StationHeaderLines& header) override;
  void SetCounters(const std::string& text) override;
  void SetPanelTitle(std::size_t bed, const std::string& title) override;
  void SetLamp(std::size_t bed, BedState state, const std::string& text) override;
  void SetProgress(std::size_t bed, int done, int range, const std::string& text) override;
  void SetResult(std::size_t bed, const std::string& text) override;
  void SetDiagnosis(std::size_t bed, const std::string& text) override;
  void EnableStart(std::size_t bed, bool enabled) override;
  void SetBedNote(std::size_t bed, const std::string& state, const std::string& mode) override;
  std::string SerialText(std::size_t bed) const override;
  void ClearSerial(std::size_t bed) override;
  void FocusSerial(std::size_t bed, bool selectAll) override;
  void MarkSerial(std::size_t bed, bool marked) override;
  void SetSerialEditable(std::size_t bed, bool editable) override;
  bool AskYesNo(const std::string& text) override;
  void ShowRefusal(const std::string& text) override;
  void Close() override;
  void Post(std::function<void()> task) override;

 private:
  // What a panel shows, as the presenter said it, and where it stands.
  struct Panel {
    std::wstring title;
    BedState state = BedState::Idle;
    std::wstring lamp;
    int done = 0;
    int range = 1;
    std::wstring progress;
    std::wstring result;
    std::wstring diagnosis;
    std::wstring stateLine;
    std::wstring mode;
    bool marked = false;
    HWND serial = nullptr;
    HWND start = nullptr;
    RECT place{};  // in the panel area's client, scrolled
  };
  // The sizes of one layout, in pixels of the window's screen.
  struct Metrics {
    int pad = 8;
    int gap = 6;
    int line = 16;       // the message font's line
    int titleLine = 16;  // the panel's title, bold
    int bigLine = 20;    // the serial field and the result
    int lampWidth = 110;
    int lampHeight = 64;
    int barHeight = 22;
    int labelWidth = 80;  // "Serial number"
    int startWidth = 70;
    int panelWidth = 400;
    int panelHeight = 200;
    int columns = 1;
    int headerHeight = 60;
  };
  class Fonts;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnPanelsMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  void OnCommand(int id, int code, HWND control);
  void OnEnter();
  bool OnKey(const MSG& message);
  // The fonts for the window's screen and the panels' scale.
  void MakeFonts();
  // Every panel and control placed again for the window's size and scroll.
  void Layout();
  void PlaceControls();
  void ScrollTo(int position);
  void PaintHeader(HDC dc, const RECT& client);
  void PaintPanels(HDC dc, const RECT& client);
  void PaintPanel(HDC dc, const Panel& panel);
  void RepaintPanel(std::size_t bed);
  void RunTasks();
  void WriteLayoutReport(const std::string& path) const;
  COLORREF TextColour() const;
  UINT Dpi() const;
  int Px(double logical) const;

  std::vector<Panel> m_panels;
  StationHeaderLines m_header;
  std::wstring m_counters;
  bool m_dark = false;
  HWND m_hWnd = nullptr;
  HWND m_hPanels = nullptr;
  HWND m_lastFocus = nullptr;
  HICON m_hIcon = nullptr;
  HICON m_hSmallIcon = nullptr;
  std::unique_ptr<Fonts> m_fonts;
  Metrics m_metrics;
  PanelGrid m_grid;
  int m_scroll = 0;
  int m_contentHeight = 0;
  bool m_laying = false;
  HBRUSH m_markedBrush = nullptr;

  std::mutex m_tasksMutex;
  std::deque<std::function<void()>> m_tasks;

  // Last, so that it is the first to go: its beds end before the panels
  // they report to.
  std::unique_ptr<StationPresenter> m_pPresenter;
};

}  // namespace tarvel::winui
