// One bed's panel in the station window: its serial field, Start, lamp, bar,
// result and diagnosis, drawn as the presenter says.
#pragma once

#include <QGroupBox>
#include <string>

#include "station/Station.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tarvel {

class CStationPanel final : public QGroupBox {
  Q_OBJECT
 public:
  explicit CStationPanel(QWidget* parent);

  void SetLamp(BedState state, const std::string& text);
  void SetProgress(int done, int range, const std::string& text);
  // The lamp's and the result's size, 1 at 1280x800.
  void SetScale(double scale);
  void MarkSerial(bool marked);
  // The bed's state line and start mode beside its lamp; hidden when empty.
  void SetNote(const std::string& state, const std::string& mode);

  QLineEdit* serial = nullptr;
  QPushButton* start = nullptr;
  QLabel* lamp = nullptr;
  QProgressBar* progress = nullptr;
  QLabel* result = nullptr;
  QLabel* diagnosis = nullptr;
  QLabel* stateLine = nullptr;
  QLabel* modeLabel = nullptr;
};

}  // namespace tarvel
