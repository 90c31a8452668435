// The station's window: one panel per bed in a fixed order, wrapping into
// columns, and a header and counters that show the station's settings as
// text. The keyboard alone runs it: Enter in a serial field moves to the
// next bed's, Enter in the last starts every bed with a serial number, F5
// starts them all.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "station/Station.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace tarvel {

class CStationWindow final : public QWidget, public StationView {
  Q_OBJECT
 public:
  CStationWindow(StationConfig config, CheckedSflFile firmware, TransferFacts facts, QWidget* parent = nullptr);
  ~CStationWindow() override;

  Station& station() { return *m_pStation; }
  QLineEdit* SerialField(std::size_t bed) const { return m_panels[bed].serial; }
  QPushButton* StartButton(std::size_t bed) const { return m_panels[bed].start; }
  QLabel* Lamp(std::size_t bed) const { return m_panels[bed].lamp; }
  QLabel* Counters() const { return m_pCounters; }

  // StationView
  void post(std::function<void()> task) override;
  void bedChanged(std::size_t bed) override;
  void countersChanged() override;
  void roundEnded() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  struct Panel {
    QLineEdit* serial = nullptr;
    QLabel* lamp = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* result = nullptr;
    QLabel* diagnosis = nullptr;
    QPushButton* start = nullptr;
    // What the panel shows now, so that only a change is drawn again.
    std::optional<BedState> shown;
    int shownBlocks = -1;
  };

  void BuildHeader(QVBoxLayout* layout);
  void BuildPanels(QVBoxLayout* layout);
  void SerialEntered(std::size_t bed);
  void StartRound(bool all);
  void Refused(const std::optional<std::string>& refusal);
  std::vector<std::string> Serials() const;

  std::unique_ptr<Station> m_pStation;
  std::vector<Panel> m_panels;
  QLabel* m_pCounters = nullptr;
  bool m_bCloseAfterRound = false;
};

}  // namespace tarvel
