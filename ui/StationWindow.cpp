#include "ui/StationWindow.h"

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
#include <filesystem>

#include "base/Report.h"
#include "catalog/CommentBlock.h"
#include "loader/CableFacts.h"
#include "ui/DialogWidgets.h"

namespace tarvel {

namespace {

// Beds per column: four panels and the header fit 800 pixels.
constexpr int kRowsPerColumn = 4;
constexpr int kDigestShown = 12;

// A palette, not a style sheet: eight lamps change at once at a round's
// start and end, and a style sheet re-polishes the widget each time.
QColor LampColour(BedState state) {
  switch (state) {
    case BedState::Running: return {0xf0, 0xc0, 0x20};
    case BedState::Passed: return {0x30, 0xb0, 0x40};
    case BedState::Failed: return {0xe0, 0x30, 0x30};
    case BedState::Idle: break;
  }
  return {0xb0, 0xb0, 0xb0};
}

StringId LampText(BedState state) {
  switch (state) {
    case BedState::Running: return StringId::StationBedRunning;
    case BedState::Passed: return StringId::StationBedPassed;
    case BedState::Failed: return StringId::StationBedFailed;
    case BedState::Idle: break;
  }
  return StringId::StationBedIdle;
}

// The program's texts end lines with CR for the message boxes; a panel
// shows them on one line.
QString OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return ToQString(text).simplified();
}

QString CounterText(StringId label, const Tally& tally) {
  return ToQString(FormatString(StringId::StationCounters,
                                {LoadString(label), std::to_string(tally.passed), std::to_string(tally.failed),
                                 std::to_string(tally.passed + tally.failed), YieldText(tally)}));
}

}  // namespace

CStationWindow::CStationWindow(StationConfig config, CheckedSflFile firmware, TransferFacts facts, QWidget* parent)
    : QWidget(parent) {
  const std::string name = config.name;
  m_pStation = std::make_unique<Station>(std::move(config), std::move(firmware), std::move(facts), *this);
  setWindowTitle(ToQString(FormatString(StringId::StationWindowTitle, {name})));
  auto* layout = new QVBoxLayout(this);
  BuildHeader(layout);
  BuildPanels(layout);
  auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
  f5->setContext(Qt::WindowShortcut);
  connect(f5, &QShortcut::activated, this, [this] { StartRound(true); });
  resize(1280, 800);
}

CStationWindow::~CStationWindow() {
  // The beds end before the panels they report to.
  m_pStation.reset();
}

void CStationWindow::BuildHeader(QVBoxLayout* layout) {
  const StationConfig& config = m_pStation->config();
  const TransferFacts& facts = m_pStation->firmware();
  const std::string file = std::filesystem::path(config.firmware).filename().string();
  auto* firmware = new QLabel(this);
  firmware->setTextFormat(Qt::PlainText);
  firmware->setText(ToQString(FormatString(config.verify ? StringId::StationHeaderVerify : StringId::StationHeader,
                                           {file, facts.fileSha256.substr(0, kDigestShown), FactsOf(config.cable).label,
                                            std::to_string(config.baud)})));
  QFont bold = firmware->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  firmware->setFont(bold);
  layout->addWidget(firmware);
  if (!config.trustLine.empty()) {
    auto* trust = new QLabel(ToQString(config.trustLine), this);
    trust->setTextFormat(Qt::PlainText);
    layout->addWidget(trust);
  }
  auto* comment = new QLabel(this);
  comment->setTextFormat(Qt::PlainText);
  comment->setText(OneLine(ReadCommentBoxText(config.firmware).value_or(std::string())));
  comment->setWordWrap(true);
  layout->addWidget(comment);
  m_pCounters = new QLabel(this);
  m_pCounters->setTextFormat(Qt::PlainText);
  layout->addWidget(m_pCounters);
  countersChanged();
}

void CStationWindow::BuildPanels(QVBoxLayout* layout) {
  const std::size_t count = m_pStation->bedCount();
  const int columns = count <= 1 ? 1 : count <= 4 ? 2 : static_cast<int>((count + kRowsPerColumn - 1) / kRowsPerColumn);
  const int rows = static_cast<int>((count + columns - 1) / columns);
  auto* area = new QScrollArea(this);
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  auto* grid = new QWidget(area);
  auto* gridLayout = new QGridLayout(grid);
  m_panels.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const Bed& bed = m_pStation->bed(i);
    auto* box = new QGroupBox(ToQString(bed.name + "   " + bed.port), grid);
    auto* boxLayout = new QGridLayout(box);
    Panel& panel = m_panels[i];
    auto* label = new QLabel(FromStringTable(StringId::StationSerialLabel), box);
    panel.serial = new QLineEdit(box);
    label->setBuddy(panel.serial);
    panel.lamp = new QLabel(box);
    panel.lamp->setAlignment(Qt::AlignCenter);
    panel.lamp->setAutoFillBackground(true);
    panel.lamp->setMargin(4);
    panel.lamp->setMinimumWidth(110);
    panel.lamp->setFixedHeight(64);
    QFont lampFont = panel.lamp->font();
    lampFont.setBold(true);
    lampFont.setPointSizeF(lampFont.pointSizeF() * 1.6);
    panel.lamp->setFont(lampFont);
    panel.progress = new QProgressBar(box);
    panel.result = new QLabel(box);
    panel.result->setTextFormat(Qt::PlainText);
    panel.result->setWordWrap(true);
    panel.diagnosis = new QLabel(box);
    panel.diagnosis->setTextFormat(Qt::PlainText);
    panel.diagnosis->setWordWrap(true);
    panel.start = new QPushButton(FromStringTable(StringId::StationStart), box);
    panel.start->setAutoDefault(false);
    boxLayout->addWidget(label, 0, 0);
    boxLayout->addWidget(panel.serial, 0, 1);
    boxLayout->addWidget(panel.start, 0, 2);
    boxLayout->addWidget(panel.lamp, 1, 0, 2, 1);
    boxLayout->addWidget(panel.progress, 1, 1, 1, 2);
    boxLayout->addWidget(panel.result, 2, 1, 1, 2);
    boxLayout->addWidget(panel.diagnosis, 3, 0, 1, 3);
    boxLayout->setColumnStretch(1, 1);
    gridLayout->addWidget(box, static_cast<int>(i) % rows, static_cast<int>(i) / rows);
    connect(panel.serial, &QLineEdit::returnPressed, this, [this, i] { SerialEntered(i); });
    connect(panel.start, &QPushButton::clicked, this,
            [this, i] { Refused(m_pStation->startBed(i, ToStdString(m_panels[i].serial->text().trimmed()))); });
    bedChanged(i);
  }
  // Panels keep their own height; the room left stays below them.
  gridLayout->setRowStretch(rows, 1);
  area->setWidget(grid);
  layout->addWidget(area, 1);
}

void CStationWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!m_panels.empty()) m_panels.front().serial->setFocus();
}

std::vector<std::string> CStationWindow::Serials() const {
  std::vector<std::string> serials;
  for (const Panel& panel : m_panels) serials.push_back(ToStdString(panel.serial->text().trimmed()));
  return serials;
}

void CStationWindow::SerialEntered(std::size_t bed) {
  if (bed + 1 < m_panels.size()) {
    m_panels[bed + 1].serial->setFocus();
    m_panels[bed + 1].serial->selectAll();
    return;
  }
  StartRound(false);
}

void CStationWindow::StartRound(bool all) { Refused(m_pStation->startRound(Serials(), all)); }

void CStationWindow::Refused(const std::optional<std::string>& refusal) {
  // An empty refusal: nothing to start, nothing to say.
  if (!refusal || refusal->empty()) return;
  QMessageBox* box = BuildMessageBox(ToQString(*refusal), MessageIcon::Exclamation, QString(), this).release();
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void CStationWindow::post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CStationWindow::bedChanged(std::size_t index) {
  const Bed& bed = m_pStation->bed(index);
  Panel& panel = m_panels[index];
  const int total = bed.blocksTotal.load();
  const int done = bed.blocksDone.load();
  if (done != panel.shownBlocks) {
    panel.shownBlocks = done;
    panel.progress->setRange(0, total > 0 ? total : 1);
    panel.progress->setValue(done);
    panel.progress->setFormat(ToQString(FormatBlockCounter(done) + " / " + FormatBlockCounter(total)) + "   %p%");
  }
  if (panel.shown == bed.state) return;
  panel.shown = bed.state;
  panel.lamp->setText(FromStringTable(LampText(bed.state)));
  QPalette palette = panel.lamp->palette();
  palette.setColor(QPalette::Window, LampColour(bed.state));
  palette.setColor(QPalette::WindowText, Qt::black);
  panel.lamp->setPalette(palette);
  const bool ended = bed.state == BedState::Passed || bed.state == BedState::Failed;
  // The fields clear after a round: the result names the unit it was.
  const std::string unit = bed.last.serial.empty() ? std::string() : bed.last.serial + ": ";
  panel.result->setText(ended ? OneLine(unit + bed.last.text + " (" + FormatElapsed(bed.last.elapsedMs) + ")")
                              : QString());
  panel.diagnosis->setText(ended ? OneLine(bed.last.diagnosis) : QString());
  panel.start->setEnabled(bed.state != BedState::Running);
}

void CStationWindow::countersChanged() {
  m_pCounters->setText(CounterText(StringId::StationSession, m_pStation->session()) + "      " +
                       CounterText(StringId::StationToday, m_pStation->today()));
}

void CStationWindow::roundEnded() {
  if (m_bCloseAfterRound) {
    close();
    return;
  }
  // Ready for the next tray: the serial numbers written are cleared.
  for (std::size_t i = 0; i < m_panels.size(); ++i) {
    if (ToStdString(m_panels[i].serial->text().trimmed()) == m_pStation->bed(i).last.serial) {
      m_panels[i].serial->clear();
    }
  }
  if (!m_panels.empty()) m_panels.front().serial->setFocus();
}

void CStationWindow::closeEvent(QCloseEvent* event) {
  if (!m_pStation->running()) {
    event->accept();
    return;
  }
  event->ignore();
  if (m_bCloseAfterRound) return;
  const std::unique_ptr<QMessageBox> box =
      BuildMessageBox(FromStringTable(StringId::StationCloseDuringRound), MessageIcon::Exclamation, QString(), this);
  box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  if (box->exec() != QMessageBox::Yes || !m_pStation->running()) {
    if (!m_pStation->running()) close();
    return;
  }
  // Each bed ends after its block in progress and says how far it got;
  // the window closes once the last has.
  m_bCloseAfterRound = true;
  m_pStation->stop();
}

}  // namespace tarvel
