#include "ui/FileDialogs.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QTreeView>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>
#include <optional>

#include "dialog/DialogTemplate.h"
#include "service/SflConversion.h"
#include "ui/DialogWidgets.h"
#include "dialog/Globals.h"
#include "dialog/Looks.h"

namespace tarvel {

namespace {

QStringList Filters(const std::array<const char*, 2>& filters) {
  QStringList list;
  for (const char* filter : filters) list << QString::fromLatin1(filter);
  return list;
}

// Keys that type no character into the field, although Qt gives some of
// them a text: editing and the dialog's own keys.
bool IsEditingKey(int key) {
  switch (key) {
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Backtab:
      return true;
    default:
      return false;
  }
}

}  // namespace

CHexEdit::CHexEdit(QWidget* parent) : QLineEdit(parent) {
  // Pasted or dropped text too: only what may be typed.
  setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f.]*")), this));
}

bool CHexEdit::IsTypable(QChar c) { return IsHexKey(c.unicode()); }

void CHexEdit::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (!text.isEmpty() && !IsEditingKey(event->key())) {
    // With Ctrl held a key types a control character (Ctrl+V is 0x16).
    const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    const bool typable = !control && std::all_of(text.begin(), text.end(), IsTypable);
    if (!typable) {
      event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

CPanelFileDlg::CPanelFileDlg(const QString& folder, QWidget* parent) : QFileDialog(parent) {
  // Only Qt's own dialog can host the panel.
  setOption(QFileDialog::DontUseNativeDialog);
  setDirectory(folder);
}

QWidget* CPanelFileDlg::GetDlgItem(int id) const {
  const auto found = m_fields.find(id);
  return found == m_fields.end() ? nullptr : found->second;
}

QString CPanelFileDlg::ItemText(int id) const {
  const auto* edit = qobject_cast<const QLineEdit*>(GetDlgItem(id));
  return edit ? edit->text() : QString();
}

void CPanelFileDlg::AddPanel(std::span<const ControlTemplate> controls, int widthDlu, int heightDlu,
                             const QColor& labelColour) {
  m_pPanel = new QWidget(this);
  m_pPanel->setFont(DialogFont(kPanelFontPt));
  const DialogBaseUnits units = BaseUnitsOf(m_pPanel->font());
  m_pPanel->setFixedSize(DluToPixelsX(widthDlu, units), DluToPixelsY(heightDlu, units));

  QLabel* pendingLabel = nullptr;  // gives its access key to the next field
  for (const ControlTemplate& control : controls) {
    const QString text = QString::fromUtf8(control.text);
    QWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::Edit: {
        auto* edit =
            control.id == IDC_SFL_START || control.id == IDC_SFL_END || control.id == IDC_DUMP_END_BLOCK
                ? new CHexEdit(m_pPanel)
                : new QLineEdit(m_pPanel);
        if (pendingLabel) pendingLabel->setBuddy(edit);
        pendingLabel = nullptr;
        widget = edit;
        break;
      }
      case ControlKind::GroupBox:
        widget = new QGroupBox(text, m_pPanel);
        break;
      default: {
        auto* label = new QLabel(text, m_pPanel);
        label->setTextFormat(Qt::PlainText);
        pendingLabel = label;
        widget = label;
        break;
      }
    }
    if (labelColour.isValid() && control.kind != ControlKind::Edit) {
      QPalette colours = widget->palette();
      colours.setColor(QPalette::Active, QPalette::WindowText, labelColour);
      colours.setColor(QPalette::Inactive, QPalette::WindowText, labelColour);
      widget->setPalette(colours);
    }
    const PixelRect r = MapDialogRect(control.x, control.y, control.cx, control.cy, units);
    widget->setGeometry(r.x, r.y, r.width, r.height);
    if (control.id != IDC_STATIC) {
      widget->setObjectName(QString::number(control.id));
      m_fields[control.id] = widget;
    }
  }
  // The fields follow the template's order when tabbing; group boxes and
  // labels take no focus.
  QWidget* previous = nullptr;
  for (const ControlTemplate& control : controls) {
    QWidget* field = GetDlgItem(control.id);
    if (field == nullptr || control.kind != ControlKind::Edit) continue;
    if (previous) setTabOrder(previous, field);
    previous = field;
  }

  // Qt's dialog lays its controls out in a grid: the panel takes a row of
  // its own below them.
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
    grid->addWidget(m_pPanel, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignLeft | Qt::AlignTop);
  } else if (layout()) {
    layout()->addWidget(m_pPanel);
  }
  FitColumns();
}

// Opens wide enough that the file list's columns show their titles and a
// file name of a usual length beside the side bar.
void CPanelFileDlg::FitColumns() {
  constexpr int kNameChars = 32;  // a usual file name
  const QFontMetrics metrics(font());
  int wanted = metrics.horizontalAdvance(QLatin1Char('x')) * kNameChars;
  if (const auto* view = findChild<QTreeView*>(QStringLiteral("treeView"))) {
    const QHeaderView* header = view->header();
    for (int column = 1; column < header->count(); ++column) {
      const QString title = view->model()->headerData(column, Qt::Horizontal).toString();
      wanted += std::max(header->sectionSizeHint(column), metrics.horizontalAdvance(title) + 4 * metrics.averageCharWidth());
    }
  }
  if (const auto* sidebar = findChild<QWidget*>(QStringLiteral("sidebar"))) wanted += sidebar->sizeHint().width();
  wanted += 6 * metrics.averageCharWidth();  // frames, splitter, scroll bar
  resize(std::max(width(), wanted), height());
}

CFileDlg::CFileDlg(const Settings& settings, const QString& folder, QWidget* parent)
    : CPanelFileDlg(folder, parent) {
  setWindowTitle(QString::fromLatin1(kSflConvTitle));
  setAcceptMode(QFileDialog::AcceptOpen);
  setFileMode(QFileDialog::ExistingFile);
  setNameFilters(Filters(kHexFilters));
  setLabelText(QFileDialog::Accept, QString::fromLatin1(kSflConvAcceptLabel));
  AddPanel(kConverterPanelControls, kConverterPanelWidthDlu, kConverterPanelHeightDlu,
           g_bDarkScheme ? ToQColor(kDarkPanelLabel) : QColor());

  // Settings keep START and END as the user typed them; a stored text
  // longer than the field's limit shows cut to it.
  auto* start = static_cast<QLineEdit*>(GetDlgItem(IDC_SFL_START));
  auto* end = static_cast<QLineEdit*>(GetDlgItem(IDC_SFL_END));
  start->setText(ToQString(settings.sflStart()));
  end->setText(ToQString(settings.sflEnd()));
  start->setMaxLength(kBlockTextMaxChars);
  end->setMaxLength(kBlockTextMaxChars);
  static_cast<QLineEdit*>(GetDlgItem(IDC_SFL_NAME))->setMaxLength(kSflNameMaxChars);
  static_cast<QLineEdit*>(GetDlgItem(IDC_PRODUCT_NAME))->setMaxLength(kCommentValueMaxChars);
  static_cast<QLineEdit*>(GetDlgItem(IDC_FIRM_VERSION))->setMaxLength(kCommentValueMaxChars);

  connect(this, &QFileDialog::currentChanged, this, &CFileDlg::OnFileNameChange);
}

void CFileDlg::OnFileNameChange(const QString& path) {
  // A folder selected in the list leaves the file name, and so the output
  // name, as it was.
  if (!path.isEmpty() && QFileInfo(path).isDir()) return;
  const std::string name = DefaultSflName(ToStdString(QFileInfo(path).fileName()));
  static_cast<QLineEdit*>(GetDlgItem(IDC_SFL_NAME))->setText(ToQString(name));
}

void CFileDlg::done(int result) {
  m_fields.sflName = ToStdString(ItemText(IDC_SFL_NAME));
  m_fields.startBlock = ToStdString(ItemText(IDC_SFL_START));
  m_fields.endBlock = ToStdString(ItemText(IDC_SFL_END));
  m_fields.productName = ToStdString(ItemText(IDC_PRODUCT_NAME));
  m_fields.firmVersion = ToStdString(ItemText(IDC_FIRM_VERSION));
  m_replaceConfirmed.clear();
  const QStringList chosen = selectedFiles();
  if (result == QDialog::Accepted && !chosen.isEmpty()) {
    // The output name as it stands: empty (a HEX name typed rather than
    // picked) asks nothing, and the converter refuses it.
    if (const std::optional<std::string> existing = ExistingSflOutput(ToLocalPath(chosen.front()), m_fields.sflName)) {
      const std::string question = FormatString(StringId::ReplaceFilePrompt, {*existing});
      const bool yes = m_question ? m_question(*this, question)
                                  : AskYesNoBox(ToQString(question), MessageIcon::Exclamation, QString(), this);
      if (!yes) return;
      m_replaceConfirmed = *existing;
    }
  }
  QFileDialog::done(result);
}

CFileDlg2::CFileDlg2(const QString& folder, QWidget* parent) : CPanelFileDlg(folder, parent) {
  setWindowTitle(QString::fromLatin1(kDumpTitle));
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  setNameFilters(Filters(kSflFilters));
  selectFile(QString::fromLatin1(kDumpDefaultName));
  AddPanel(kEndBlockPanelControls, kEndBlockPanelWidthDlu, kEndBlockPanelHeightDlu, QColor());
  auto* endBlock = static_cast<QLineEdit*>(GetDlgItem(IDC_DUMP_END_BLOCK));
  endBlock->setText(QString::fromLatin1(kDumpDefaultEndBlock));
  endBlock->setMaxLength(kBlockTextMaxChars);
}

void CFileDlg2::done(int result) {
  m_strEndBlock = ToStdString(ItemText(IDC_DUMP_END_BLOCK));
  QFileDialog::done(result);
}

}  // namespace tarvel
