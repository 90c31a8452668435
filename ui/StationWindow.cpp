#include "ui/StationWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include "ui/DialogWidgets.h"

namespace tarvel {

namespace {

// The lamps' colours: idle, running, passed, failed.
constexpr QRgb kLampColours[] = {0xb0b0b0, 0xf0c020, 0x30b040, 0xe03030};

void Enlarge(QWidget* widget, qreal factor) {
  QFont font = widget->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * factor);
  widget->setFont(font);
}

void SetText(QLabel* label, const std::string& text) { label->setText(ToQString(text)); }

}  // namespace

CStationWindow::CStationWindow(StationConfig config, CheckedSflFile firmware, TransferFacts facts, QWidget* parent)
    : QWidget(parent),
      m_pPresenter(
          std::make_unique<StationPresenter>(*this, std::move(config), std::move(firmware), std::move(facts))) {
  auto* layout = new QVBoxLayout(this);
  BuildHeader(layout);
  BuildPanels(layout);
  auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
  f5->setContext(Qt::WindowShortcut);
  connect(f5, &QShortcut::activated, this, [this] { m_pPresenter->OnStartAll(); });
  m_pPresenter->Start();
  resize(1280, 800);
}

void CStationWindow::BuildHeader(QVBoxLayout* layout) {
  for (QLabel** label : {&m_pFirmware, &m_pTrust, &m_pComment, &m_pCounters}) {
    *label = new QLabel(this);
    (*label)->setTextFormat(Qt::PlainText);
    layout->addWidget(*label);
  }
  Enlarge(m_pFirmware, 1.2);
  m_pComment->setWordWrap(true);
}

void CStationWindow::BuildPanels(QVBoxLayout* layout) {
  const PanelGrid shape = GridFor(station().bedCount());
  auto* area = new QScrollArea(this);
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  auto* grid = new QWidget(area);
  auto* gridLayout = new QGridLayout(grid);
  m_panels.resize(station().bedCount());
  for (std::size_t i = 0; i < m_panels.size(); ++i) {
    Panel& panel = m_panels[i];
    panel.box = new QGroupBox(grid);
    auto* boxLayout = new QGridLayout(panel.box);
    auto* label = new QLabel(FromStringTable(StringId::StationSerialLabel), panel.box);
    panel.serial = new QLineEdit(panel.box);
    label->setBuddy(panel.serial);
    panel.lamp = new QLabel(panel.box);
    panel.lamp->setAlignment(Qt::AlignCenter);
    panel.lamp->setAutoFillBackground(true);
    panel.lamp->setMargin(4);
    panel.lamp->setMinimumWidth(110);
    panel.lamp->setFixedHeight(64);
    Enlarge(panel.lamp, 1.6);
    panel.progress = new QProgressBar(panel.box);
    for (QLabel** text : {&panel.result, &panel.diagnosis}) {
      *text = new QLabel(panel.box);
      (*text)->setTextFormat(Qt::PlainText);
      (*text)->setWordWrap(true);
    }
    panel.start = new QPushButton(FromStringTable(StringId::StationStart), panel.box);
    panel.start->setAutoDefault(false);
    boxLayout->addWidget(label, 0, 0);
    boxLayout->addWidget(panel.serial, 0, 1);
    boxLayout->addWidget(panel.start, 0, 2);
    boxLayout->addWidget(panel.lamp, 1, 0, 2, 1);
    boxLayout->addWidget(panel.progress, 1, 1, 1, 2);
    boxLayout->addWidget(panel.result, 2, 1, 1, 2);
    boxLayout->addWidget(panel.diagnosis, 3, 0, 1, 3);
    boxLayout->setColumnStretch(1, 1);
    gridLayout->addWidget(panel.box, static_cast<int>(i) % shape.rows, static_cast<int>(i) / shape.rows);
    connect(panel.serial, &QLineEdit::returnPressed, this, [this, i] { m_pPresenter->OnSerialEntered(i); });
    connect(panel.start, &QPushButton::clicked, this, [this, i] { m_pPresenter->OnStartPressed(i); });
  }
  // Panels keep their own height; the room left stays below them.
  gridLayout->setRowStretch(shape.rows, 1);
  area->setWidget(grid);
  layout->addWidget(area, 1);
}

void CStationWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_pPresenter->OnShown();
}

void CStationWindow::closeEvent(QCloseEvent* event) { event->setAccepted(m_pPresenter->OnClose()); }

void CStationWindow::ShowHeader(const StationHeaderLines& header) {
  setWindowTitle(ToQString(header.title));
  m_pFirmware->setText(ToQString(header.firmware));
  m_pTrust->setText(ToQString(header.trust));
  m_pTrust->setHidden(header.trust.empty());
  m_pComment->setText(ToQString(header.comment));
}

void CStationWindow::SetCounters(const std::string& text) { SetText(m_pCounters, text); }

void CStationWindow::SetPanelTitle(std::size_t bed, const std::string& title) {
  m_panels[bed].box->setTitle(ToQString(title));
}

void CStationWindow::SetLamp(std::size_t bed, BedState state, const std::string& text) {
  QLabel* lamp = m_panels[bed].lamp;
  lamp->setText(ToQString(text));
  // A palette, not a style sheet: eight lamps change at once at a round's
  // start and end, and a style sheet re-polishes the widget each time.
  QPalette palette = lamp->palette();
  palette.setColor(QPalette::Window, QColor(kLampColours[static_cast<int>(state)]));
  palette.setColor(QPalette::WindowText, Qt::black);
  lamp->setPalette(palette);
}

void CStationWindow::SetProgress(std::size_t bed, int done, int range, const std::string& text) {
  QProgressBar* bar = m_panels[bed].progress;
  bar->setRange(0, range);
  bar->setValue(done);
  bar->setFormat(ToQString(text));
}

void CStationWindow::SetResult(std::size_t bed, const std::string& text) { SetText(m_panels[bed].result, text); }

void CStationWindow::SetDiagnosis(std::size_t bed, const std::string& text) { SetText(m_panels[bed].diagnosis, text); }

void CStationWindow::EnableStart(std::size_t bed, bool enabled) { m_panels[bed].start->setEnabled(enabled); }

std::string CStationWindow::SerialText(std::size_t bed) const { return ToStdString(m_panels[bed].serial->text()); }

void CStationWindow::ClearSerial(std::size_t bed) { m_panels[bed].serial->clear(); }

void CStationWindow::FocusSerial(std::size_t bed, bool selectAll) {
  m_panels[bed].serial->setFocus();
  if (selectAll) m_panels[bed].serial->selectAll();
}

void CStationWindow::MarkSerial(std::size_t bed, bool marked) {
  QLineEdit* field = m_panels[bed].serial;
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, marked ? QColor(0xff, 0xd0, 0xd0) : QApplication::palette().color(QPalette::Base));
  field->setPalette(palette);
}

void CStationWindow::SetSerialEditable(std::size_t bed, bool editable) { m_panels[bed].serial->setReadOnly(!editable); }

bool CStationWindow::AskYesNo(const std::string& text) {
  const std::unique_ptr<QMessageBox> box = BuildMessageBox(ToQString(text), MessageIcon::Exclamation, QString(), this);
  box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  return box->exec() == QMessageBox::Yes;
}

void CStationWindow::ShowRefusal(const std::string& text) {
  QMessageBox* box = BuildMessageBox(ToQString(text), MessageIcon::Exclamation, QString(), this).release();
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void CStationWindow::Close() { close(); }

void CStationWindow::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

}  // namespace tarvel
