#include "ui/StationPanel.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>

#include "station/StationPresenter.h"
#include "ui/DialogWidgets.h"

namespace tarvel {

namespace {

void Scaled(QWidget* widget, qreal factor, bool bold) {
  QFont font = QApplication::font(widget);
  font.setBold(bold);
  font.setPointSizeF(font.pointSizeF() * factor);
  widget->setFont(font);
}

}  // namespace

CStationPanel::CStationPanel(QWidget* parent) : QGroupBox(parent) {
  auto* layout = new QGridLayout(this);
  auto* label = new QLabel(FromStringTable(StringId::StationSerialLabel), this);
  serial = new QLineEdit(this);
  label->setBuddy(serial);
  lamp = new QLabel(this);
  lamp->setAlignment(Qt::AlignCenter);
  lamp->setAutoFillBackground(true);
  lamp->setMargin(4);
  lamp->setMinimumWidth(110);
  progress = new QProgressBar(this);
  for (QLabel** text : {&result, &diagnosis}) {
    *text = new QLabel(this);
    (*text)->setTextFormat(Qt::PlainText);
    (*text)->setWordWrap(true);
  }
  for (QLabel** text : {&stateLine, &modeLabel}) {
    *text = new QLabel(this);
    (*text)->setTextFormat(Qt::PlainText);
    (*text)->hide();
  }
  modeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  start = new QPushButton(FromStringTable(StringId::StationStart), this);
  start->setAutoDefault(false);
  layout->addWidget(label, 0, 0);
  layout->addWidget(serial, 0, 1);
  layout->addWidget(start, 0, 2);
  layout->addWidget(lamp, 1, 0, 2, 1);
  layout->addWidget(progress, 1, 1, 1, 2);
  layout->addWidget(result, 2, 1, 1, 2);
  layout->addWidget(diagnosis, 3, 0, 1, 3);
  layout->addWidget(stateLine, 4, 0, 1, 2);
  layout->addWidget(modeLabel, 4, 2);
  layout->setColumnStretch(1, 1);
  SetScale(1.0);
}

void CStationPanel::SetLamp(BedState state, const std::string& text) {
  lamp->setText(ToQString(text));
  // A palette, not a style sheet: eight lamps change at once at a round's
  // start and end, and a style sheet re-polishes the widget each time.
  QPalette palette = lamp->palette();
  palette.setColor(QPalette::Window, QColor(QRgb{LampColour(state)}));
  palette.setColor(QPalette::WindowText, Qt::black);
  lamp->setPalette(palette);
}

void CStationPanel::SetProgress(int done, int range, const std::string& text) {
  progress->setRange(0, range);
  progress->setValue(done);
  progress->setFormat(ToQString(text));
}

void CStationPanel::SetScale(double scale) {
  Scaled(lamp, 1.6 * scale, true);
  lamp->setFixedHeight(static_cast<int>(64 * scale));
  Scaled(result, scale, false);
}

void CStationPanel::SetNote(const std::string& stateText, const std::string& modeText) {
  stateLine->setText(ToQString(stateText));
  stateLine->setHidden(stateText.empty());
  modeLabel->setText(ToQString(modeText));
  modeLabel->setHidden(modeText.empty());
}

void CStationPanel::MarkSerial(bool marked) {
  QPalette palette = serial->palette();
  palette.setColor(QPalette::Base, marked ? QColor(QRgb{kMarkedSerialColour}) : QApplication::palette().color(QPalette::Base));
  serial->setPalette(palette);
}

}  // namespace tarvel
