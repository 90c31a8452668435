#include "ui/FirmwareWriterDlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QGroupBox>
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
#include <cstdio>

#include "catalog/CommentBlock.h"
#include "dialog/DialogTemplate.h"
#include "serial/CommPort.h"
#include "serial/SerialPort.h"
#include "service/SflConversion.h"
#include "ui/AboutDlg.h"
#include "ui/Artwork.h"
#include "ui/DialogWidgets.h"
#include "ui/FileDialogs.h"
#include "ui/FileListCtrl.h"
#include "dialog/Globals.h"
#include "ui/ProgStatusBar.h"
#include "ui/ProgTextCtrl.h"

namespace tarvel {

namespace {

constexpr double kCommentFontPt = 9.6;

const QColor kVersionBlue(0, 0, 255);
const QColor kStatusRed(255, 0, 0);
const QColor kDarkVersionYellow(255, 255, 0);
const QColor kDarkStaticGreen(0, 255, 0);
const QColor kDarkCommentText(128, 0, 0);
const QColor kDarkListText(128, 0, 0);

bool IsStaticKind(ControlKind kind) {
  switch (kind) {
    case ControlKind::TextLeft:
    case ControlKind::TextRight:
    case ControlKind::GroupBox:
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
    case ControlKind::Picture:
    case ControlKind::Placeholder:
    case ControlKind::CommentEdit:
      return true;
    default:
      return false;
  }
}

// Sets a text colour for the enabled states; disabled text keeps the
// platform's grey.
void SetTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette colours = widget->palette();
  colours.setColor(QPalette::Active, role, colour);
  colours.setColor(QPalette::Inactive, role, colour);
  widget->setPalette(colours);
}

QString CarriageReturnsAsLineBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

bool IsPlainEnter(const QKeyEvent* key) {
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  return enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

std::vector<std::string> ComboEntries(const QComboBox* box) {
  std::vector<std::string> entries;
  for (int i = 0; i < box->count(); ++i) entries.push_back(ToStdString(box->itemText(i)));
  return entries;
}

// The comment box shows lines as the edit control did: the block's CR LF
// pairs are Qt's line breaks.
QString CommentForDisplay(const std::string& text) {
  QString display = ToQString(text);
  display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return display;
}

// The first file a dialog returned, as the system's path; empty for none.
std::string ChosenPath(const QFileDialog& dialog) {
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : ToLocalPath(chosen.front());
}

// The window around the conversion: START and END stored as typed, the
// window redrawn and the wait cursor shown while the converter runs.
class WindowSflConvUi final : public SflConvUi {
 public:
  WindowSflConvUi(QWidget& window, Settings& settings) : m_window(window), m_settings(settings) {}

  void storeBlockTexts(const std::string& startText, const std::string& endText) override {
    m_settings.setSflStart(startText);
    m_settings.setSflEnd(endText);
  }
  void beginWait() override {
    m_window.repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  void endWait() override { QApplication::restoreOverrideCursor(); }

 private:
  QWidget& m_window;
  Settings& m_settings;
};

}  // namespace

std::unique_ptr<QMessageBox> BuildMessageBox(const QString& text, MessageIcon icon, const QString& detail,
                                             QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(FromStringTable(StringId::AppTitle));
  box->setTextFormat(Qt::PlainText);
  box->setText(CarriageReturnsAsLineBreaks(text));
  if (!detail.isEmpty()) box->setInformativeText(CarriageReturnsAsLineBreaks(detail));
  switch (icon) {
    case MessageIcon::Stop:
      box->setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::Information:
      box->setIcon(QMessageBox::Information);
      break;
    case MessageIcon::Exclamation:
      box->setIcon(QMessageBox::Warning);
      break;
  }
  box->setStandardButtons(QMessageBox::Ok);
  return box;
}

CFirmwareWriterDlg::CFirmwareWriterDlg(DialogServices services, QWidget* parent)
    : QDialog(parent),
      m_strVersion(FromStringTable(StringId::Version)),
      m_hIcon(DrawAppIcon()),
      m_services(std::move(services)),
      m_ownOpener(m_services.opener ? nullptr : MakeSystemPortOpener()),
      m_ownClock(m_services.clock ? nullptr : std::make_unique<SteadyClock>()),
      m_settings(m_services.settingsPath),
      m_ctx(m_services.opener ? *m_services.opener : *m_ownOpener, *this,
            m_services.clock ? *m_services.clock : *m_ownClock, *this),
      m_choice(m_ctx, m_settings),
      m_search(m_services.converterSearch ? *m_services.converterSearch : ProgramConverterSearch()),
      m_catalog(std::string()) {
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
  setFont(DialogFont(kMainDialogFontPt));
  const DialogBaseUnits units = BaseUnitsOf(font());
  setFixedSize(DluToPixelsX(kMainDialogWidthDlu, units), DluToPixelsY(kMainDialogHeightDlu, units));

  for (const ControlTemplate& control : kMainDialogControls) {
    const QString text = QString::fromUtf8(control.text);
    QWidget* widget = nullptr;
    int heightPx = DluToPixelsY(control.cy, units);
    switch (control.kind) {
      case ControlKind::ListView:
        widget = new CFileListCtrl(this);
        break;
      case ControlKind::Edit:
        widget = new QLineEdit(this);
        break;
      case ControlKind::CommentEdit: {
        auto* edit = new QPlainTextEdit(this);
        edit->setReadOnly(true);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget = edit;
        break;
      }
      case ControlKind::PushButton:
      case ControlKind::DefPushButton: {
        // No default button: Enter outside a push button ends the dialog.
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        widget = button;
        break;
      }
      case ControlKind::GroupBox:
        widget = new QGroupBox(text, this);
        break;
      case ControlKind::TextLeft:
      case ControlKind::TextRight: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment((control.kind == ControlKind::TextRight ? Qt::AlignRight : Qt::AlignLeft) |
                            Qt::AlignTop);
        widget = label;
        break;
      }
      case ControlKind::ProgressBar:
        m_wndProgress = new CProgTextCtrl(this);
        widget = m_wndProgress;
        break;
      case ControlKind::ComboBox: {
        auto* box = new QComboBox(this);
        box->setEditable(true);
        if (control.id == IDC_PORT) {
          // Any device path may be typed; Enter takes it (the filter).
          box->lineEdit()->installEventFilter(this);
        } else {
          // Only a picked entry counts: the field shows the choice but takes
          // no typing, which would otherwise select a matching entry.
          box->lineEdit()->setReadOnly(true);
        }
        box->installEventFilter(this);  // the box keeps Enter to itself
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        // The template's height is that of the dropped-down list.
        heightPx = box->sizeHint().height();
        widget = box;
        break;
      }
      case ControlKind::RadioButton:
        widget = new QRadioButton(text, this);
        widget->setStyle(TemplateButtonStyle());
        break;
      case ControlKind::CheckBox:
        widget = new QCheckBox(text, this);
        widget->setStyle(TemplateButtonStyle());
        break;
      case ControlKind::Picture: {
        // A sunken frame around the picture, sized to it.
        auto* picture = new QLabel(this);
        picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        picture->setLineWidth(1);
        picture->setPixmap(DrawCableSymbol());
        picture->setAlignment(Qt::AlignCenter);
        widget = picture;
        break;
      }
      case ControlKind::Placeholder:
        widget = new QLabel(this);
        widget->hide();
        break;
      case ControlKind::Icon:
        widget = new QLabel(this);
        break;
    }
    const int x = DluToPixelsX(control.x, units);
    const int y = DluToPixelsY(control.y, units);
    if (control.kind == ControlKind::Picture) {
      const QLabel* picture = static_cast<QLabel*>(widget);
      const QSize size = picture->pixmap().size() + QSize(2, 2);
      widget->setGeometry(x, y, size.width(), size.height());
    } else if (control.kind == ControlKind::RadioButton || control.kind == ControlKind::CheckBox) {
      // A text a pixel or two wider than the template's box is not cut.
      widget->setGeometry(x, y, std::max(DluToPixelsX(control.cx, units), widget->sizeHint().width()),
                          heightPx);
    } else {
      widget->setGeometry(x, y, DluToPixelsX(control.cx, units), heightPx);
    }
    if (control.id == IDC_STATIC) {
      m_pWriteGroup = qobject_cast<QGroupBox*>(widget);
    } else {
      widget->setObjectName(QString::number(control.id));
      m_controls[control.id] = widget;
    }
  }

  for (const char* port : kInitialPortEntries) Item<QComboBox>(IDC_PORT)->addItem(QString::fromLatin1(port));
  for (const std::string& speed : SpeedEntries(kTypeQap8))
    Item<QComboBox>(IDC_BAUD)->addItem(ToQString(speed));

  connect(Item<QPushButton>(IDC_WRITE), &QPushButton::clicked, this, &CFirmwareWriterDlg::OnWrite);
  connect(Item<QPushButton>(IDC_BROWSE), &QPushButton::clicked, this, &CFirmwareWriterDlg::OnBrowse);
  connect(Item<QPushButton>(IDC_SFL_CONV), &QPushButton::clicked, this, &CFirmwareWriterDlg::OnSflConv);
  connect(Item<QPushButton>(IDC_RELOAD), &QPushButton::clicked, this, &CFirmwareWriterDlg::OnReload);
  connect(Item<QPushButton>(IDC_CLOSE), &QPushButton::clicked, this, &CFirmwareWriterDlg::OnButtonClose);
  connect(Item<QPushButton>(IDC_DUMP), &QPushButton::clicked, this, &CFirmwareWriterDlg::OnDump);
  connect(Item<QCheckBox>(IDC_CHECK_5V), &QCheckBox::clicked, this, &CFirmwareWriterDlg::OnCheck5V);
  connect(Item<QCheckBox>(IDC_CHECK_MD), &QCheckBox::clicked, this, &CFirmwareWriterDlg::OnCheckMD);
  connect(Item<QRadioButton>(IDC_TYPE0), &QRadioButton::clicked, this, &CFirmwareWriterDlg::OnSelectType0);
  connect(Item<QRadioButton>(IDC_TYPE1), &QRadioButton::clicked, this, &CFirmwareWriterDlg::OnSelectType1);
  connect(Item<QComboBox>(IDC_PORT), &QComboBox::activated, this, &CFirmwareWriterDlg::OnSelchangePort);
  connect(Item<QComboBox>(IDC_PORT), &QComboBox::currentIndexChanged, this, &CFirmwareWriterDlg::ShowPortName);
  connect(Item<QComboBox>(IDC_BAUD), &QComboBox::activated, this, &CFirmwareWriterDlg::OnSelchangeBaud);
  connect(FileList(), &CFileListCtrl::Clicked, this, &CFirmwareWriterDlg::OnFileListClick);
  connect(FileList()->Header(), &QHeaderView::sectionClicked, this, &CFirmwareWriterDlg::OnColumnClick);
}

void CFirmwareWriterDlg::OnInitDialog() {
  setWindowTitle(FromStringTable(StringId::AppTitle));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  // The controls with their initial lists, and the version text.
  CreateControls();
  Item<QLabel>(IDC_VERSION)->setText(m_strVersion);

  setWindowIcon(QIcon(m_hIcon));

  const int storedSpeed = m_choice.Load(m_services.platform.m_bType1Allowed);

  m_ctx.m_nStatus = 0;
  m_bSortAscending = false;
  m_nSortColumn = -1;

  // The status bar over the bottom strip, a title bar high.
  m_wndStatusBar = new CProgStatusBar(this);
  const int barHeight = CProgStatusBar::BarHeight(this);
  m_wndStatusBar->setGeometry(0, height() - barHeight, width(), barHeight);
  connect(m_wndStatusBar, &CProgStatusBar::DrawItem, this, &CFirmwareWriterDlg::OnDrawItem);

  m_hLampIdle = DrawLamp(Lamp::Idle);
  m_hLampBusy = DrawLamp(Lamp::Busy);
  m_hLampError = DrawLamp(Lamp::Error);

  m_wndProgress->SetWindowText(QString());

  // The list's columns, grid and full-row selection come with the control.
  CFileListCtrl* list = FileList();

  m_bType1Allowed = m_services.platform.m_bType1Allowed;
  m_ctx.m_bRtsPulse = m_services.platform.m_bRtsPulse;
  if (!m_bType1Allowed) {
    EnableItem(IDC_TYPE1, false);
    RemoveControl(IDC_CABLE);
  }

  FillPortList();
  SelectPortEntry();
  ApplySpeedBox(m_choice.StartupSpeedBox(storedSpeed));
  Item<QRadioButton>(m_ctx.m_nType == kTypeQap10 ? IDC_TYPE1 : IDC_TYPE0)->setChecked(true);
  Item<QLabel>(IDC_STATUS_TEXT)->clear();

  m_strSflFolder = g_strStartDir;
  m_wndStatusBar->SetPaneText(0, FromLocalPath(m_strSflFolder));
  FillFileList();

  m_fontComment = QFont(QStringLiteral("Courier New"));
  m_fontComment.setPointSizeF(kCommentFontPt);
  Item<QPlainTextEdit>(IDC_COMMENT)->setFont(m_fontComment);

  EnableItem(IDC_WRITE, false);

  const CommandLineModes modes = ParseCommandLine(m_services.argumentText);
  g_bServiceMode = modes.serviceMode;
  g_bDarkScheme = modes.darkScheme;
  if (g_bDarkScheme) SetTextColour(list, QPalette::Text, kDarkListText);
  ApplySchemeColours();

  if (m_ctx.m_nType == kTypeQap10) {
    EnableItem(IDC_CHECK_5V, false);
    EnableItem(IDC_CHECK_MD, false);
  }

  for (int id : ControlsRemovedAtStart(g_bServiceMode, [this] { return ProbeConverterLibraries(m_search); }))
    RemoveControl(id);

  // No sort yet, so no arrow; both columns fitted.
  list->Header()->SetSortArrow(-1, -1);
  list->FitColumns();
  list->setFocus();
  if (!m_services.layoutReport.empty()) QTimer::singleShot(0, this, [this] { WriteLayoutReport(); });
}

// Each control's id and rectangle in pixels of the client area, with the
// dialog base units: the same report as the Windows window writes.
void CFirmwareWriterDlg::WriteLayoutReport() const {
  FILE* out = std::fopen(m_services.layoutReport.c_str(), "w");
  if (out == nullptr) return;
  const DialogBaseUnits units = BaseUnitsOf(font());
  std::fprintf(out, "units %d %d\nclient 0 0\n", units.cx, units.cy);
  for (const ControlTemplate& control : kMainDialogControls) {
    const QWidget* widget = control.id == IDC_STATIC ? nullptr : GetDlgItem(control.id);
    if (widget == nullptr) continue;
    const QRect r = widget->geometry();
    std::fprintf(out, "control %d %d %d %d %d\n", control.id, r.x(), r.y(), r.width(), r.height());
  }
  std::fprintf(out, "end\n");
  std::fclose(out);
}

CFileListCtrl* CFirmwareWriterDlg::FileList() const { return Item<CFileListCtrl>(IDC_FILE_LIST); }

QWidget* CFirmwareWriterDlg::GetDlgItem(int id) const {
  const auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : found->second;
}

bool CFirmwareWriterDlg::DarkScheme() const { return DarkSchemeActive(g_bDarkScheme, m_ctx.m_bRtsPulse); }

void CFirmwareWriterDlg::RemoveControl(int id) {
  const auto found = m_controls.find(id);
  if (found == m_controls.end()) return;
  delete found->second;
  m_controls.erase(found);
}

void CFirmwareWriterDlg::EnableItem(int id, bool enabled) {
  if (QWidget* widget = GetDlgItem(id)) widget->setEnabled(enabled);
}

void CFirmwareWriterDlg::ApplySchemeColours() {
  if (!DarkScheme()) {
    SetTextColour(GetDlgItem(IDC_VERSION), QPalette::WindowText, kVersionBlue);
    SetTextColour(GetDlgItem(IDC_STATUS_TEXT), QPalette::WindowText, kStatusRed);
    return;
  }
  for (const ControlTemplate& control : kMainDialogControls) {
    if (!IsStaticKind(control.kind)) continue;
    QWidget* widget = control.id == IDC_STATIC ? m_pWriteGroup : GetDlgItem(control.id);
    if (widget == nullptr) continue;
    switch (control.id) {
      case IDC_VERSION:
        SetTextColour(widget, QPalette::WindowText, kDarkVersionYellow);
        break;
      case IDC_STATUS_TEXT:
        SetTextColour(widget, QPalette::WindowText, kStatusRed);
        break;
      case IDC_COMMENT: {
        // Opaque: its own background in the colour of an inactive border.
        SetTextColour(widget, QPalette::Text, kDarkCommentText);
        QPalette colours = widget->palette();
        colours.setColor(QPalette::Base, QApplication::palette().color(QPalette::Window));
        widget->setPalette(colours);
        break;
      }
      default:
        SetTextColour(widget, QPalette::WindowText, kDarkStaticGreen);
        break;
    }
  }
}

QComboBox* CFirmwareWriterDlg::PortBox() const { return Item<QComboBox>(IDC_PORT); }

void CFirmwareWriterDlg::FillPortList() {
  QComboBox* box = PortBox();
  const QSignalBlocker quiet(box);
  box->clear();
  const std::vector<std::string> names = m_services.listPorts ? m_services.listPorts() : SystemPortNames();
  for (const std::string& entry : PortBoxEntries(names)) box->addItem(ToQString(entry));
}

// The entry equal to the port name. A name that the listing did not find
// (a pseudo-terminal, a link, a port unplugged) is added: the box always
// shows the port that WRITE will use.
void CFirmwareWriterDlg::SelectPortEntry() {
  QComboBox* box = PortBox();
  const std::string& name = m_ctx.link.m_strCommName;
  int entry = FindEntryExact(ComboEntries(box), name);
  if (entry < 0 && !name.empty()) {
    box->addItem(ToQString(name));
    entry = box->count() - 1;
  }
  box->setCurrentIndex(entry);
  ShowPortName();
}

// The field is a few characters wide: it shows the port's short name, the
// drop-down (as wide as its longest path) and the tool tip the whole path.
void CFirmwareWriterDlg::ShowPortName() {
  QComboBox* box = PortBox();
  int widest = 0;
  for (int i = 0; i < box->count(); ++i)
    widest = std::max(widest, box->fontMetrics().horizontalAdvance(box->itemText(i)));
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
  field->setText(field->fontMetrics().elidedText(shortName, Qt::ElideMiddle, std::max(room, 0)));
  field->setCursorPosition(0);
}

// Enter in the port box: the typed path becomes the port, as a picked entry
// would, and stays in the list.
void CFirmwareWriterDlg::AcceptTypedPort() {
  QComboBox* box = PortBox();
  const std::optional<std::string> typed = TypedPortName(ToStdString(box->lineEdit()->text()));
  if (!typed || Accessing()) {
    ShowPortName();
    return;
  }
  int entry = FindEntryExact(ComboEntries(box), *typed);
  if (entry < 0) {
    box->addItem(ToQString(*typed));
    entry = box->count() - 1;
  }
  box->setCurrentIndex(entry);
  m_choice.PortChosen(ToStdString(box->itemText(entry)));
  ShowPortName();
  box->lineEdit()->selectAll();
}

void CFirmwareWriterDlg::ApplySpeedBox(const SpeedBox& speeds) {
  auto* box = Item<QComboBox>(IDC_BAUD);
  box->clear();
  for (const std::string& entry : speeds.entries) box->addItem(ToQString(entry));
  box->setCurrentIndex(speeds.selected);
}

void CFirmwareWriterDlg::OnSelchangePort() {
  const QComboBox* box = PortBox();
  if (box->currentIndex() < 0 || Accessing()) return;
  m_choice.PortChosen(ToStdString(box->itemText(box->currentIndex())));
}

void CFirmwareWriterDlg::OnSelchangeBaud() {
  const auto* box = Item<QComboBox>(IDC_BAUD);
  if (box->currentIndex() < 0) return;
  m_choice.SpeedChosen(ToStdString(box->itemText(box->currentIndex())));
}

void CFirmwareWriterDlg::OnSelectType0() {
  const std::optional<SpeedBox> speeds = m_choice.SelectType(kTypeQap8);
  if (!speeds) return;
  SelectPortEntry();
  ApplySpeedBox(*speeds);
  EnableItem(IDC_CHECK_5V, true);
  EnableItem(IDC_CHECK_MD, true);
}

void CFirmwareWriterDlg::OnSelectType1() {
  const std::optional<SpeedBox> speeds = m_choice.SelectType(kTypeQap10);
  if (!speeds) return;
  SelectPortEntry();
  ApplySpeedBox(*speeds);
  EnableItem(IDC_CHECK_5V, false);
  EnableItem(IDC_CHECK_MD, false);
}

void CFirmwareWriterDlg::OnCheck5V() {
  if (const auto* check = Item<QCheckBox>(IDC_CHECK_5V)) tarvel::OnCheck5V(m_ctx.link, check->isChecked());
}

void CFirmwareWriterDlg::OnCheckMD() {
  if (const auto* check = Item<QCheckBox>(IDC_CHECK_MD)) tarvel::OnCheckMD(m_ctx.link, check->isChecked());
}

void CFirmwareWriterDlg::FillFileList() {
  const bool found = m_catalog.ChangeFolder(m_strSflFolder);
  FileList()->ShowRows(m_catalog.rows());
  // A folder name or file names longer than before: the "Date" column
  // stays in view.
  FileList()->FitColumns();
  // A folder without SFL files leaves the comment of the last file chosen.
  if (found) Item<QPlainTextEdit>(IDC_COMMENT)->clear();
}

void CFirmwareWriterDlg::OnReload() {
  if (Accessing()) return;
  FillFileList();
  setWindowTitle(FromStringTable(StringId::AppTitle));
  EnableItem(IDC_WRITE, false);
}

void CFirmwareWriterDlg::OnBrowse() {
  if (Accessing()) return;
  QFileDialog chooser(this, QString::fromLatin1(kBrowseTitle), FromLocalPath(m_strSflFolder));
  chooser.setFileMode(QFileDialog::Directory);
  chooser.setOption(QFileDialog::ShowDirsOnly);
  if (ExecFileDialog(chooser) != QDialog::Accepted) return;
  const std::string folder = ChosenPath(chooser);
  if (folder.empty()) return;
  m_strSflFolder = folder;
  m_wndStatusBar->SetPaneText(0, FromLocalPath(m_strSflFolder));
  OnReload();
}

void CFirmwareWriterDlg::OnColumnClick(int column) {
  CFileListCtrl* list = FileList();
  // The row with the keyboard focus, and its selection, follow their file
  // through the sort.
  const int current = list->currentRow();
  const auto& before = m_catalog.rows();
  const std::string focused = current >= 0 && current < static_cast<int>(before.size())
                                  ? before[static_cast<std::size_t>(current)].fileName
                                  : std::string();
  const bool selected = current >= 0 && list->selectionModel()->isRowSelected(current, QModelIndex());

  if (!m_catalog.ColumnClick(column)) return;
  m_nSortColumn = m_catalog.sortState().column();
  m_bSortAscending = m_catalog.sortState().ascending();
  list->ShowRows(m_catalog.rows());
  if (!focused.empty()) {
    const auto& after = m_catalog.rows();
    const auto found = std::find_if(after.begin(), after.end(),
                                    [&](const CatalogRow& row) { return row.fileName == focused; });
    if (found != after.end()) {
      const QModelIndex index = list->model()->index(static_cast<int>(found - after.begin()), kColumnName);
      list->selectionModel()->setCurrentIndex(
          index, selected ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                          : QItemSelectionModel::NoUpdate);
    }
  }
  list->Header()->SetSortArrow(m_nSortColumn, m_catalog.sortState().ArrowImage(m_nSortColumn));
  list->FitColumns();
}

void CFirmwareWriterDlg::OnFileListClick() {
  const int row = FileList()->currentRow();
  if (row < 0) return;
  const std::optional<Selection> selection = m_catalog.Select(static_cast<std::size_t>(row));
  if (!selection) return;
  // A write under way keeps WRITE disabled until it is over.
  EnableItem(IDC_WRITE, !Accessing());
  setWindowTitle(ToQString(selection->title));
  // The row's own file name: on Linux fw.SFL and fw.sfl are two files.
  m_strFilePath = selection->filePath;
  std::string reason;
  const std::optional<std::string> comment = ReadCommentBoxText(m_strFilePath, &reason);
  if (!comment) {
    showMessage(StringId::FileCannotBeOpened, MessageIcon::Stop, reason);
    return;
  }
  Item<QPlainTextEdit>(IDC_COMMENT)->setPlainText(CommentForDisplay(*comment));
}

int CFirmwareWriterDlg::ExecFileDialog(QFileDialog& dialog) { return dialog.exec(); }

void CFirmwareWriterDlg::OnSflConv() {
  if (Accessing()) return;
  CFileDlg dialog(m_settings, FromLocalPath(m_strSflFolder), this);
  if (ExecFileDialog(dialog) != QDialog::Accepted) return;
  const std::string hexPath = ChosenPath(dialog);
  if (hexPath.empty()) return;
  // The panel's texts as the dialog left them when it closed.
  const SflConvTexts texts{g_strSflName, g_strStartBlock, g_strEndBlock, g_strProductName, g_strFirmVersion};
  WindowSflConvUi ui(*this, m_settings);
  if (RunSflConversion(hexPath, texts, ui, *this, m_search)) OnReload();
}

void CFirmwareWriterDlg::OnDump() {
  if (Accessing()) return;
  std::string outputPath;
  {
    // The save dialog's model watches its folder from a thread of its own:
    // it ends here, before the read writes into that folder.
    CFileDlg2 dialog(FromLocalPath(m_strSflFolder), this);
    if (ExecFileDialog(dialog) != QDialog::Accepted) return;
    outputPath = ChosenPath(dialog);
  }
  if (outputPath.empty()) return;

  LockForRead();
  // The read writes beside the chosen file and replaces it only on success.
  g_wEndBlock = ParseBlockText(g_strDumpEndBlock);
  const std::uint16_t endBlock = g_wEndBlock;
  auto outcome = std::make_shared<ReadOutcome>();
  RunAccess(
      [this, outputPath, endBlock, outcome](LoaderContext& ctx, HandedUi& ui) {
        ConverterBlockSink sink(m_search);
        *outcome = ReadFlash(ctx, ui, sink, outputPath, endBlock);
      },
      [this, outcome] {
        if (outcome->succeeded) OnReload();
        UnlockAfterRead();
      });
}

void CFirmwareWriterDlg::RunAccess(std::function<void(LoaderContext&, HandedUi&)> access,
                                  std::function<void()> finished) {
  if (Accessing()) return;
  QEventLoop loop;
  m_pAccessLoop = &loop;
  StartAccess(m_accessThread, m_ctx, *this, *this, std::move(access),
             [this, finished = std::move(finished)] {
               finished();
               if (m_pAccessLoop != nullptr) m_pAccessLoop->quit();
               if (m_bCloseAfterAccess) {
                 m_bCloseAfterAccess = false;
                 accept();
               }
             });
  // Until the access is over (or the program quits).
  if (Accessing()) loop.exec();
  m_pAccessLoop = nullptr;
}

void CFirmwareWriterDlg::LockForRead() {
  for (const ControlEnable& control : LockedForRead()) EnableItem(control.id, control.enabled);
  for (int id : {IDC_CHECK_5V, IDC_CHECK_MD}) {
    if (auto* check = Item<QCheckBox>(id)) check->setChecked(false);  // no clicked(): no handler
  }
  m_bCloseEnabled = false;
  repaint();
}

void CFirmwareWriterDlg::UnlockAfterRead() {
  for (const ControlEnable& control : IdleAfterRead(m_ctx.m_nType, m_bType1Allowed)) {
    EnableItem(control.id, control.enabled);
  }
  FileList()->setFocus();
  m_bCloseEnabled = true;
  repaint();
}

void CFirmwareWriterDlg::OnAbout() {
  CAboutDlg about(this, m_search);
  about.exec();
}

void CFirmwareWriterDlg::OnWrite() {
  // Never a second write inside a running access.
  if (Accessing()) return;
  const std::string filePath = m_strFilePath;  // a click in the list may change it meanwhile
  RunAccess([filePath](LoaderContext& ctx, HandedUi& ui) { tarvel::OnWrite(ctx, ui, filePath); }, [] {});
}

// The lamp is red while the access uses the port, and also for the moments
// before and after that the access runs: "Cl&ose" is refused then. A yellow
// lamp (the synchronisation error shown) lets the dialog end once the
// access is over.
void CFirmwareWriterDlg::OnButtonClose() {
  switch (AnswerClose(m_ctx.m_nStatus, Accessing())) {
    case CloseAnswer::Refuse:
      showMessage(StringId::CantCloseWhileAccessing, MessageIcon::Exclamation);
      return;
    case CloseAnswer::AfterAccess:
      m_bCloseAfterAccess = true;
      return;
    case CloseAnswer::Now:
      accept();
      return;
  }
}

void CFirmwareWriterDlg::OnDrawItem(int pane) {
  if (pane != 1) return;
  switch (LampForStatus(m_ctx.m_nStatus)) {
    case Lamp::Idle:
      m_wndStatusBar->SetPaneIcon(1, m_hLampIdle);
      break;
    case Lamp::Busy:
      m_wndStatusBar->SetPaneIcon(1, m_hLampBusy);
      break;
    case Lamp::Error:
      m_wndStatusBar->SetPaneIcon(1, m_hLampError);
      break;
  }
}

void CFirmwareWriterDlg::lockForWrite() {
  for (const ControlEnable& control : LockedForAccess()) EnableItem(control.id, control.enabled);
  for (int id : {IDC_CHECK_5V, IDC_CHECK_MD}) {
    if (auto* check = Item<QCheckBox>(id)) check->setChecked(false);  // no clicked(): no handler
  }
  m_bCloseEnabled = false;
  Item<QLabel>(IDC_STATUS_TEXT)->setText(FromStringTable(StringId::Writing));
  repaint();
}

void CFirmwareWriterDlg::unlockAfterWrite() {
  m_bCloseEnabled = true;
  Item<QLabel>(IDC_STATUS_TEXT)->clear();
  for (const ControlEnable& control : IdleAfterAccess(m_ctx.m_nType, m_bType1Allowed)) {
    EnableItem(control.id, control.enabled);
  }
  repaint();
}

// The access's state, kept in the window's context for the lamp and Close.
void CFirmwareWriterDlg::statusChanged(int status) {
  m_ctx.m_nStatus = status;
  m_wndStatusBar->repaint();
}

void CFirmwareWriterDlg::setReadProgress(unsigned position, std::uint16_t) {
  // The bar's range comes from g_wEndBlock, which the read was started with.
  m_wndStatusBar->SetProgress(position);
  m_wndStatusBar->repaint();
}

void CFirmwareWriterDlg::showFolderPane() {
  m_wndStatusBar->SetPaneText(0, FromLocalPath(m_strSflFolder));
  m_wndStatusBar->repaint();
}

void CFirmwareWriterDlg::setProgressRange(std::uint16_t highest) { m_wndProgress->SetRange(0, highest); }

void CFirmwareWriterDlg::setProgress(int position, const std::string& text) {
  m_wndProgress->SetPos(position);
  m_wndProgress->SetWindowText(ToQString(text));
}

void CFirmwareWriterDlg::bringToFront() {
  raise();
  activateWindow();
}

// A box that the window shows itself while an access runs (the refusal to
// close, a file that cannot be read) does not wait: the access goes on.
void CFirmwareWriterDlg::showMessage(StringId id, MessageIcon icon, std::string_view detail) {
  if (Accessing()) {
    OpenMessageBox(FromStringTable(id), icon, ToQString(detail), {});
  } else {
    ShowMessageBox(FromStringTable(id), icon, ToQString(detail));
  }
}

void CFirmwareWriterDlg::showReport(const std::string& text, MessageIcon icon) {
  if (Accessing()) {
    OpenMessageBox(ToQString(text), icon, QString(), {});
  } else {
    ShowMessageBox(ToQString(text), icon, QString());
  }
}

void CFirmwareWriterDlg::post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CFirmwareWriterDlg::openMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                                        std::function<void()> closed) {
  OpenMessageBox(ToQString(text), icon, ToQString(detail), std::move(closed));
}

void CFirmwareWriterDlg::OpenMessageBox(const QString& text, MessageIcon icon, const QString& detail,
                                        std::function<void()> closed) {
  QMessageBox* box = BuildMessageBox(text, icon, detail, this).release();
  box->setAttribute(Qt::WA_DeleteOnClose);
  if (closed) connect(box, &QDialog::finished, this, [closed = std::move(closed)] { closed(); });
  box->open();
}

void CFirmwareWriterDlg::ShowMessageBox(const QString& text, MessageIcon icon, const QString& detail) {
  const std::unique_ptr<QMessageBox> box = BuildMessageBox(text, icon, detail, this);
  box->exec();
}

void CFirmwareWriterDlg::runOnce() { QCoreApplication::processEvents(); }

void CFirmwareWriterDlg::reject() {}

void CFirmwareWriterDlg::done(int result) {
  if (Accessing()) return;
  QDialog::done(result);
}

void CFirmwareWriterDlg::closeEvent(QCloseEvent* event) {
  // A write or read greys the title bar's close; otherwise it closes at once.
  if (!m_bCloseEnabled) {
    event->ignore();
    return;
  }
  accept();
  event->accept();
}

void CFirmwareWriterDlg::keyPressEvent(QKeyEvent* event) {
  if (IsPlainEnter(event)) {
    // Enter presses the push button that has the focus; anywhere else it
    // ends the dialog.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      if (button->isEnabled()) button->click();
    } else {
      accept();
    }
    return;
  }
  QDialog::keyPressEvent(event);  // Escape reaches reject(), which ignores it
}

bool CFirmwareWriterDlg::eventFilter(QObject* watched, QEvent* event) {
  const bool enter = event->type() == QEvent::KeyPress && IsPlainEnter(static_cast<QKeyEvent*>(event));
  QComboBox* port = PortBox();
  if (port != nullptr && watched == port->lineEdit()) {
    if (enter) {
      AcceptTypedPort();
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
