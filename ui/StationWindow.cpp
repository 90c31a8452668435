#include "ui/StationWindow.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include "ui/DialogWidgets.h"
#include "ui/StationPanel.h"

namespace tarvel {

namespace {

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
  // A fixture change: nothing starts, by the keys or by itself.
  auto* f8 = new QShortcut(QKeySequence(Qt::Key_F8), this);
  f8->setContext(Qt::WindowShortcut);
  connect(f8, &QShortcut::activated, m_pPause, &QPushButton::click);
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
  m_pPause = new QPushButton(FromStringTable(StringId::StationPauseButton), this);
  m_pPause->setCheckable(true);
  m_pPause->setAutoDefault(false);
  m_pPause->setFocusPolicy(Qt::NoFocus);
  connect(m_pPause, &QPushButton::clicked, this, [this](bool paused) {
    m_pPause->setText(FromStringTable(paused ? StringId::StationResumeButton : StringId::StationPauseButton));
    m_pPresenter->OnPauseToggled();
  });
  layout->addWidget(m_pPause, 0, Qt::AlignLeft);
}

void CStationWindow::BuildPanels(QVBoxLayout* layout) {
  m_pArea = new QScrollArea(this);
  m_pArea->setWidgetResizable(true);
  m_pArea->setFrameShape(QFrame::NoFrame);
  auto* grid = new QWidget(m_pArea);
  m_pGrid = new QGridLayout(grid);
  for (std::size_t i = 0; i < station().bedCount(); ++i) {
    CStationPanel* panel = m_panels.emplace_back(new CStationPanel(grid));
    connect(panel->serial, &QLineEdit::returnPressed, this, [this, i] { m_pPresenter->OnSerialEntered(i); });
    connect(panel->start, &QPushButton::clicked, this, [this, i] { m_pPresenter->OnStartPressed(i); });
  }
  m_pArea->setWidget(grid);
  layout->addWidget(m_pArea, 1);
  Reflow();
}

void CStationWindow::Reflow() {
  const PanelGrid shape = GridFor(m_panels.size(), width(), height());
  if (shape.columns != m_shape.columns || shape.scale != m_shape.scale) {
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
      const int index = static_cast<int>(i);
      m_pGrid->addWidget(m_panels[i], index / shape.columns, index % shape.columns);
      m_panels[i]->SetScale(shape.scale);
    }
    // Panels keep their own height; the room left stays below them.
    for (int row = 0; row <= std::max(shape.rows, m_shape.rows); ++row) m_pGrid->setRowStretch(row, 0);
    m_pGrid->setRowStretch(shape.rows, 1);
    for (int column = 0; column < std::max(shape.columns, m_shape.columns); ++column) {
      m_pGrid->setColumnStretch(column, column < shape.columns ? 1 : 0);
    }
    m_shape = shape;
  }
}

void CStationWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Reflow();
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
  m_panels[bed]->setTitle(ToQString(title));
}

void CStationWindow::SetLamp(std::size_t bed, BedState state, const std::string& text) {
  m_panels[bed]->SetLamp(state, text);
}

void CStationWindow::SetProgress(std::size_t bed, int done, int range, const std::string& text) {
  m_panels[bed]->SetProgress(done, range, text);
}

void CStationWindow::SetResult(std::size_t bed, const std::string& text) { SetText(m_panels[bed]->result, text); }

void CStationWindow::SetDiagnosis(std::size_t bed, const std::string& text) { SetText(m_panels[bed]->diagnosis, text); }

void CStationWindow::EnableStart(std::size_t bed, bool enabled) { m_panels[bed]->start->setEnabled(enabled); }

void CStationWindow::SetBedNote(std::size_t bed, const std::string& state, const std::string& mode) {
  m_panels[bed]->SetNote(state, mode);
}

std::string CStationWindow::SerialText(std::size_t bed) const { return ToStdString(m_panels[bed]->serial->text()); }

void CStationWindow::ClearSerial(std::size_t bed) { m_panels[bed]->serial->clear(); }

void CStationWindow::FocusSerial(std::size_t bed, bool selectAll) {
  m_panels[bed]->serial->setFocus();
  // The operator never types into a field he cannot see.
  m_pArea->ensureWidgetVisible(m_panels[bed]->serial);
  if (selectAll) m_panels[bed]->serial->selectAll();
}

void CStationWindow::MarkSerial(std::size_t bed, bool marked) { m_panels[bed]->MarkSerial(marked); }

void CStationWindow::SetSerialEditable(std::size_t bed, bool editable) { m_panels[bed]->serial->setReadOnly(!editable); }

bool CStationWindow::AskYesNo(const std::string& text) {
  return AskYesNoBox(ToQString(text), MessageIcon::Exclamation, QString(), this);
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
