#include "ui/FirmwareWriterDlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <algorithm>

#include "dialog/DialogTemplate.h"
#include "dialog/Globals.h"
#include "dialog/Looks.h"
#include "ui/AboutDlg.h"
#include "ui/Artwork.h"
#include "ui/DialogWidgets.h"
#include "ui/FileDialogs.h"
#include "ui/FileListCtrl.h"
#include "ui/MainControls.h"
#include "ui/ProgStatusBar.h"
#include "ui/ProgTextCtrl.h"

namespace tarvel {

namespace {

constexpr double kCommentFontPt = 9.6;

bool IsPlainEnter(const QKeyEvent* key) {
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  return enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// The first file a dialog returned, as the system's path; empty for none.
std::string ChosenPath(const QFileDialog& dialog) {
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : ToLocalPath(chosen.front());
}

}  // namespace

CFirmwareWriterDlg::CFirmwareWriterDlg(DialogServices services, QWidget* parent)
    : QDialog(parent),
      m_strVersion(FromStringTable(StringId::Version)),
      m_hIcon(DrawAppIcon()),
      m_layoutReport(std::move(services.layoutReport)),
      m_dialog(*this, std::move(services)) {
  OnInitDialog();
}

CFirmwareWriterDlg::~CFirmwareWriterDlg() {
  // The boxes' events while the children go are no longer this dialog's.
  for (int id : {IDC_PORT, IDC_BAUD}) {
    if (auto* box = Item<QComboBox>(id)) {
      box->removeEventFilter(this);
      box->lineEdit()->removeEventFilter(this);
    }
  }
}

void CFirmwareWriterDlg::CreateControls() {
  MainControls built = CreateMainControls(*this, this);
  m_controls = std::move(built.controls);
  m_pWriteGroup = built.writeGroup;
  m_wndProgress = built.progress;
}

void CFirmwareWriterDlg::ConnectControls() {
  MainDialog& dialog = m_dialog;
  const auto button = [&](int id, void (MainDialog::*handler)()) {
    connect(Item<QAbstractButton>(id), &QAbstractButton::clicked, this, [&dialog, handler] { (dialog.*handler)(); });
  };
  button(IDC_WRITE, &MainDialog::OnWrite);
  button(IDC_BROWSE, &MainDialog::OnBrowse);
  button(IDC_SFL_CONV, &MainDialog::OnSflConv);
  button(IDC_RELOAD, &MainDialog::OnReload);
  button(IDC_CLOSE, &MainDialog::OnButtonClose);
  button(IDC_DUMP, &MainDialog::OnDump);
  for (int id : {IDC_CHECK_5V, IDC_CHECK_MD})
    connect(Item<QCheckBox>(id), &QCheckBox::clicked, this, [&dialog, id](bool checked) { dialog.OnLineSwitch(id, checked); });
  connect(Item<QRadioButton>(IDC_TYPE0), &QRadioButton::clicked, this, [&dialog] { dialog.OnSelectType(kTypeQap8); });
  connect(Item<QRadioButton>(IDC_TYPE1), &QRadioButton::clicked, this, [&dialog] { dialog.OnSelectType(kTypeQap10); });
  connect(PortBox(), &QComboBox::activated, this, [&dialog](int entry) { dialog.OnPortPicked(entry); });
  connect(PortBox(), &QComboBox::currentIndexChanged, this, &CFirmwareWriterDlg::ShowPortName);
  connect(Item<QComboBox>(IDC_BAUD), &QComboBox::activated, this, [&dialog](int entry) { dialog.OnSpeedPicked(entry); });
  connect(FileList(), &CFileListCtrl::Clicked, this, [&dialog] { dialog.OnFileListClick(); });
  connect(FileList(), &CFileListCtrl::FocusedRowMoved, this, [&dialog] { dialog.OnFocusedRowChanged(); });
  connect(FileList()->Header(), &QHeaderView::sectionClicked, this, [&dialog](int column) { dialog.OnColumnClick(column); });
}

void CFirmwareWriterDlg::OnInitDialog() {
  setWindowTitle(FromStringTable(StringId::AppTitle));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  // The controls with their initial lists, and the version text.
  CreateControls();
  ConnectControls();
  Item<QLabel>(IDC_VERSION)->setText(m_strVersion);
  setWindowIcon(QIcon(m_hIcon));

  // The status bar over the bottom strip, a title bar high.
  m_wndStatusBar = new CProgStatusBar(this);
  const int barHeight = CProgStatusBar::BarHeight(this);
  m_wndStatusBar->setGeometry(0, height() - barHeight, width(), barHeight);
  connect(m_wndStatusBar, &CProgStatusBar::DrawItem, this, &CFirmwareWriterDlg::OnDrawItem);
  for (Lamp lamp : {Lamp::Idle, Lamp::Busy, Lamp::Error}) m_hLamps[static_cast<int>(lamp)] = DrawLamp(lamp);
  m_wndProgress->SetWindowText(QString());

  m_dialog.Start();

  m_fontComment = QFont(QStringLiteral("Courier New"));
  m_fontComment.setPointSizeF(kCommentFontPt);
  Item<QPlainTextEdit>(IDC_COMMENT)->setFont(m_fontComment);
  ColourMainControls(MainControls{m_controls, m_pWriteGroup, m_wndProgress}, DarkScheme(), g_bDarkScheme);
  if (!m_layoutReport.empty()) {
    QTimer::singleShot(0, this, [this] { WriteLayoutReport(m_layoutReport, font(), m_controls); });
  }
}


CFileListCtrl* CFirmwareWriterDlg::FileList() const { return Item<CFileListCtrl>(IDC_FILE_LIST); }

QWidget* CFirmwareWriterDlg::GetDlgItem(int id) const {
  const auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : found->second;
}


void CFirmwareWriterDlg::RemoveControl(int id) {
  const auto found = m_controls.find(id);
  if (found == m_controls.end()) return;
  delete found->second;
  m_controls.erase(found);
}

void CFirmwareWriterDlg::EnableItem(int id, bool enabled) {
  QWidget* widget = GetDlgItem(id);
  if (widget == nullptr) return;
  // A control that loses its enabling keeps the focus where it was, as a
  // Windows dialog does, rather than handing it to the next control: Enter
  // during a write then presses nothing (not Close, say) in either window.
  if (!enabled && widget == focusWidget()) {
    m_parkedFocus = widget;
    setFocus(Qt::OtherFocusReason);
  }
  widget->setEnabled(enabled);
  if (enabled && widget == m_parkedFocus) {
    if (focusWidget() == nullptr || focusWidget() == this) widget->setFocus(Qt::OtherFocusReason);
    m_parkedFocus = nullptr;
  }
}

// No clicked(): no handler runs.
void CFirmwareWriterDlg::SetCheck(int id, bool checked) {
  if (auto* button = Item<QAbstractButton>(id)) button->setChecked(checked);
}

void CFirmwareWriterDlg::SetStatusText(const std::string& text) { Item<QLabel>(IDC_STATUS_TEXT)->setText(ToQString(text)); }

// The comment box shows lines as the edit control did: the block's CR LF
// pairs are Qt's line breaks.
void CFirmwareWriterDlg::SetComment(const std::string& text) {
  QString display = ToQString(text);
  display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Item<QPlainTextEdit>(IDC_COMMENT)->setPlainText(display);
}

void CFirmwareWriterDlg::SetTitle(const std::string& title) { setWindowTitle(ToQString(title)); }

QComboBox* CFirmwareWriterDlg::PortBox() const { return Item<QComboBox>(IDC_PORT); }

std::vector<std::string> CFirmwareWriterDlg::BoxEntries(int id) const {
  std::vector<std::string> entries;
  if (const auto* box = Item<QComboBox>(id)) {
    for (int i = 0; i < box->count(); ++i) entries.push_back(ToStdString(box->itemText(i)));
  }
  return entries;
}

int CFirmwareWriterDlg::AddBoxEntry(int id, const std::string& text) {
  auto* box = Item<QComboBox>(id);
  box->addItem(ToQString(text));
  return box->count() - 1;
}

void CFirmwareWriterDlg::SelectBoxEntry(int id, int entry) {
  Item<QComboBox>(id)->setCurrentIndex(entry);
  if (id == IDC_PORT) ShowPortName();
}

void CFirmwareWriterDlg::FillBox(int id, const std::vector<std::string>& entries, int selected) {
  auto* box = Item<QComboBox>(id);
  const QSignalBlocker quiet(box);
  box->clear();
  for (const std::string& entry : entries) box->addItem(ToQString(entry));
  box->setCurrentIndex(selected);
}

void CFirmwareWriterDlg::SetPortHint(const std::string& hint) { Item<QLabel>(IDC_PORT_HINT)->setText(ToQString(hint)); }

void CFirmwareWriterDlg::SelectPortFieldText() { PortBox()->lineEdit()->selectAll(); }

// The field is a few characters wide: it shows the port's short name, the
// drop-down (as wide as its longest line) and the tool tip the whole path.
void CFirmwareWriterDlg::ShowPortName() {
  QComboBox* box = PortBox();
  int widest = 0;
  for (int i = 0; i < box->count(); ++i)
    widest = std::max(widest, box->fontMetrics().horizontalAdvance(PortListLine(box->itemText(i))));
  box->view()->setMinimumWidth(widest + 2 * box->style()->pixelMetric(QStyle::PM_ScrollBarExtent));

  const int entry = box->currentIndex();
  const QString path = entry < 0 ? QString() : box->itemText(entry);
  box->setToolTip(path);
  QLineEdit* field = box->lineEdit();
  if (field->hasFocus()) {
    field->setText(path);
    return;
  }
  // The field's room from the box's own size: the field itself is laid out
  // only when the box is shown.
  QStyleOptionComboBox option;
  option.initFrom(box);
  option.editable = true;
  const int room =
      box->width() - box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, box).width();
  const QString shortName = ToQString(PortDisplayName(ToStdString(path)));
  // A by-id name keeps its serial number's end whole: only the maker and
  // product give way.
  const qsizetype tail = shortName.lastIndexOf(QChar(0x2026));
  if (tail > 0) {
    const QString end = shortName.mid(tail + 1);
    const int left = std::max(room - field->fontMetrics().horizontalAdvance(end), 0);
    QString front = field->fontMetrics().elidedText(shortName.left(tail).trimmed() + QChar(0x2026), Qt::ElideRight, left);
    if (!front.endsWith(QChar(0x2026))) front += QChar(0x2026);
    field->setText(front + end);
  } else {
    field->setText(field->fontMetrics().elidedText(shortName, Qt::ElideMiddle, std::max(room, 0)));
  }
  field->setCursorPosition(0);
}


void CFirmwareWriterDlg::ShowRows(const std::vector<CatalogRow>& rows) { FileList()->ShowRows(rows); }

void CFirmwareWriterDlg::SetRowToolTip(int row, const std::string& text) { FileList()->SetRowToolTip(row, text); }

int CFirmwareWriterDlg::FocusedRow() const { return FileList()->currentRow(); }

bool CFirmwareWriterDlg::RowSelected(int row) const {
  return FileList()->selectionModel()->isRowSelected(row, QModelIndex());
}

void CFirmwareWriterDlg::FocusRow(int row, bool selected) {
  CFileListCtrl* list = FileList();
  list->selectionModel()->setCurrentIndex(list->model()->index(row, kColumnName),
                                          selected ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                                                   : QItemSelectionModel::NoUpdate);
}

void CFirmwareWriterDlg::ShowSortArrow(int column, int image) { FileList()->Header()->SetSortArrow(column, image); }

void CFirmwareWriterDlg::FitColumns() { FileList()->FitColumns(); }

void CFirmwareWriterDlg::FocusFileList() { FileList()->setFocus(); }

void CFirmwareWriterDlg::SetFolderPane(const std::string& folder) {
  m_wndStatusBar->SetPaneText(0, FromLocalPath(folder));
  m_wndStatusBar->repaint();
}

void CFirmwareWriterDlg::RepaintLamp() { m_wndStatusBar->repaint(); }

// The bar's range comes from g_wEndBlock, which the read was started with.
void CFirmwareWriterDlg::SetReadProgress(unsigned position, std::uint16_t) {
  m_wndStatusBar->SetProgress(position);
  m_wndStatusBar->repaint();
}

void CFirmwareWriterDlg::SetProgressRange(std::uint16_t highest) { m_wndProgress->SetRange(0, highest); }

void CFirmwareWriterDlg::SetProgress(int position, const std::string& text) {
  m_wndProgress->SetPos(position);
  m_wndProgress->SetWindowText(ToQString(text));
}

void CFirmwareWriterDlg::BringToFront() {
  raise();
  activateWindow();
}

void CFirmwareWriterDlg::BeginWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void CFirmwareWriterDlg::EndWaitCursor() { QApplication::restoreOverrideCursor(); }

int CFirmwareWriterDlg::ExecFileDialog(QFileDialog& dialog) { return dialog.exec(); }

std::optional<std::string> CFirmwareWriterDlg::ChooseFolder(const std::string& start) {
  QFileDialog chooser(this, QString::fromLatin1(kBrowseTitle), FromLocalPath(start));
  chooser.setFileMode(QFileDialog::Directory);
  chooser.setOption(QFileDialog::ShowDirsOnly);
  if (ExecFileDialog(chooser) != QDialog::Accepted) return std::nullopt;
  return ChosenPath(chooser);
}

ConverterDialogAnswer CFirmwareWriterDlg::RunConverterDialog(const Settings& settings, const std::string& folder) {
  CFileDlg dialog(settings, FromLocalPath(folder), this);
  dialog.SetQuestion([this](QWidget& over, const std::string& text) {
    return AskYesNoOver(over, text, MessageIcon::Exclamation, {});
  });
  const bool confirmed = ExecFileDialog(dialog) == QDialog::Accepted;
  return {confirmed ? ChosenPath(dialog) : std::string(), dialog.Fields(),
          confirmed ? dialog.ReplaceConfirmed() : std::string()};
}

// The save dialog's model watches its folder from a thread of its own: it
// ends here, before the read writes into that folder.
DumpDialogAnswer CFirmwareWriterDlg::RunDumpDialog(const std::string& folder) {
  CFileDlg2 dialog(FromLocalPath(folder), this);
  const bool confirmed = ExecFileDialog(dialog) == QDialog::Accepted;
  return {confirmed ? ChosenPath(dialog) : std::string(), dialog.EndBlock()};
}

void CFirmwareWriterDlg::ShowAbout() {
  CAboutDlg about(this, m_dialog.Search());
  about.exec();
}

void CFirmwareWriterDlg::OnDrawItem(int pane) {
  if (pane == 1) m_wndStatusBar->SetPaneIcon(1, m_hLamps[static_cast<int>(m_dialog.CurrentLamp())]);
}

void CFirmwareWriterDlg::ShowMessageBox(const std::string& text, MessageIcon icon, const std::string& detail) {
  const std::unique_ptr<QMessageBox> box = BuildMessageBox(ToQString(text), icon, ToQString(detail), this);
  box->exec();
}

void CFirmwareWriterDlg::OpenRefusalBox(const std::string& text) {
  QMessageBox* box = BuildMessageBox(ToQString(text), MessageIcon::Exclamation, QString(), this).release();
  box->setAttribute(Qt::WA_DeleteOnClose);
  m_refusals.emplace_back(box);
  box->open();
}

void CFirmwareWriterDlg::CloseRefusalBoxes() {
  for (const QPointer<QMessageBox>& box : m_refusals) {
    if (box) box->close();
  }
  m_refusals.clear();
}

bool CFirmwareWriterDlg::AskYesNo(const std::string& text, MessageIcon icon, const std::string& detail) {
  return AskYesNoOver(*this, text, icon, detail);
}

bool CFirmwareWriterDlg::AskYesNoOver(QWidget& over, const std::string& text, MessageIcon icon,
                                      const std::string& detail) {
  return AskYesNoBox(ToQString(text), icon, ToQString(detail), &over);
}

void CFirmwareWriterDlg::OpenMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                                        std::function<void()> closed) {
  QMessageBox* box = BuildMessageBox(ToQString(text), icon, ToQString(detail), this).release();
  box->setAttribute(Qt::WA_DeleteOnClose);
  if (closed) connect(box, &QDialog::finished, this, [closed = std::move(closed)] { closed(); });
  box->open();
}

void CFirmwareWriterDlg::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CFirmwareWriterDlg::RunOnce() { QCoreApplication::processEvents(); }

// Until the access is over (or the program quits).
void CFirmwareWriterDlg::WaitForAccess() {
  QEventLoop loop;
  m_pAccessLoop = &loop;
  if (Accessing()) loop.exec();
  m_pAccessLoop = nullptr;
}

void CFirmwareWriterDlg::AccessOver() {
  if (m_pAccessLoop != nullptr) m_pAccessLoop->quit();
}

void CFirmwareWriterDlg::reject() {}

void CFirmwareWriterDlg::done(int result) {
  if (Accessing()) return;
  QDialog::done(result);
}

void CFirmwareWriterDlg::closeEvent(QCloseEvent* event) {
  // A write or read greys the title bar's close; otherwise it closes at once.
  if (!CloseEnabled()) {
    event->ignore();
    return;
  }
  accept();
  event->accept();
}

void CFirmwareWriterDlg::keyPressEvent(QKeyEvent* event) {
  if (IsPlainEnter(event)) {
    // Enter presses the push button that has the focus; in the file list it
    // does nothing, as the focused row is the file already; anywhere else it
    // ends the dialog.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      if (button->isEnabled()) button->click();
    } else if (focusWidget() != FileList()) {
      accept();
    }
    return;
  }
  QDialog::keyPressEvent(event);  // Escape reaches reject(), which ignores it
}

bool CFirmwareWriterDlg::eventFilter(QObject* watched, QEvent* event) {
  const bool enter = event->type() == QEvent::KeyPress && IsPlainEnter(static_cast<QKeyEvent*>(event));
  QComboBox* port = PortBox();
  // The box passes its keys on to its field: Enter may reach either first.
  if (port != nullptr && enter && watched == port) {
    m_dialog.OnPortTyped(ToStdString(port->lineEdit()->text()));
    return true;
  }
  if (port != nullptr && watched == port->lineEdit()) {
    if (enter) {
      m_dialog.OnPortTyped(ToStdString(port->lineEdit()->text()));
      return true;
    }
    // Typing starts from the whole path; leaving the field without Enter
    // drops what was typed.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
      const bool result = QDialog::eventFilter(watched, event);
      QTimer::singleShot(0, this, [this] {
        ShowPortName();
        if (PortBox()->lineEdit()->hasFocus()) PortBox()->lineEdit()->selectAll();
      });
      return result;
    }
  }
  if (enter && qobject_cast<QComboBox*>(watched) != nullptr) {
    accept();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void CFirmwareWriterDlg::contextMenuEvent(QContextMenuEvent* event) {
  const QString about = FromStringTable(StringId::AboutMenu);
  if (about.isEmpty()) return;
  QMenu menu(this);
  menu.addAction(about, this, &CFirmwareWriterDlg::OnAbout);
  menu.exec(event->globalPos());
}

void CFirmwareWriterDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (isMinimized()) {
    const QSize icon = m_hIcon.size();
    painter.drawPixmap((width() - icon.width() + 1) / 2, (height() - icon.height() + 1) / 2, m_hIcon);
    return;
  }
  OnEraseBkgnd(painter);
  PaintBanner(painter);
}

void CFirmwareWriterDlg::OnEraseBkgnd(QPainter& painter) {
  if (!DarkScheme()) return;  // the platform's background stays
  const int bottom = height();
  for (int y = 0; y <= bottom; ++y) {
    const int pen = GradientPen(y, bottom);
    if (pen < 0) return;
    painter.setPen(QColor(3 * pen, 0, 0));
    painter.drawLine(0, y, width(), y);
  }
}

void CFirmwareWriterDlg::PaintBanner(QPainter& painter) {
  const QWidget* placeholder = GetDlgItem(IDC_BANNER);
  if (placeholder == nullptr) return;
  const QImage banner = DrawBanner(DarkScheme());
  const QRect place = placeholder->geometry();
  const QRect source(0, 0, std::min(place.width(), banner.width()),
                     std::min(place.height(), banner.height()));
  painter.save();
  // On the normal background the banner's white must vanish: AND it in.
  if (!DarkScheme()) painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
  painter.drawImage(place.topLeft(), banner, source);
  painter.restore();
}

}  // namespace tarvel
