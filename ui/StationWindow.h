// The station's window in Qt: a header, the counters, and one panel per bed
// in a fixed order, re-flowing into as many columns as the window's width
// takes. What it shows and what its keys
// do is the presenter's (station/StationPresenter.h); this draws.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "station/StationPresenter.h"
#include "ui/StationPanel.h"

class QGridLayout;
class QLabel;
class QScrollArea;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace tarvel {

class CStationWindow final : public QWidget, public StationWindowView {
  Q_OBJECT
 public:
  CStationWindow(StationConfig config, CheckedSflFile firmware, TransferFacts facts, QWidget* parent = nullptr);
  // The presenter goes before the panels, and its beds end before it.
  ~CStationWindow() override = default;

  Station& station() { return m_pPresenter->station(); }
  // A stop signal: every bed stops after its block, and the window closes
  // once the last has ended; StopExitCode() is then the program's.
  void StopForSignal(int exitCode) { m_pPresenter->OnStopSignal(exitCode); }
  int StopExitCode() const { return m_pPresenter->StopExitCode(); }
  QLineEdit* SerialField(std::size_t bed) const { return m_panels[bed]->serial; }
  QPushButton* StartButton(std::size_t bed) const { return m_panels[bed]->start; }
  QLabel* Lamp(std::size_t bed) const { return m_panels[bed]->lamp; }
  QLabel* StateLine(std::size_t bed) const { return m_panels[bed]->stateLine; }
  QLabel* ModeLabel(std::size_t bed) const { return m_panels[bed]->modeLabel; }
  QLabel* Counters() const { return m_pCounters; }
  QPushButton* PauseButton() const { return m_pPause; }

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

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildHeader(QVBoxLayout* layout);
  void BuildPanels(QVBoxLayout* layout);
  // The panels laid out again for the window's size: columns, order, the
  // lamps' and results' size.
  void Reflow();

  std::unique_ptr<StationPresenter> m_pPresenter;
  std::vector<CStationPanel*> m_panels;
  QLabel* m_pFirmware = nullptr;
  QLabel* m_pTrust = nullptr;
  QLabel* m_pComment = nullptr;
  QLabel* m_pCounters = nullptr;
  QPushButton* m_pPause = nullptr;
  QScrollArea* m_pArea = nullptr;
  QGridLayout* m_pGrid = nullptr;
  PanelGrid m_shape{0, 0, 0.0};
};

}  // namespace tarvel
