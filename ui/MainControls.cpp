#include "ui/MainControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QStyledItemDelegate>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QApplication>
#include <algorithm>
#include <cstdio>

#include "dialog/DialogLogic.h"
#include "dialog/DialogTemplate.h"
#include "dialog/Looks.h"
#include "ui/Artwork.h"
#include "ui/DialogWidgets.h"
#include "ui/FileListCtrl.h"
#include "ui/ProgTextCtrl.h"

namespace tarvel {

namespace {

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

// The port box's drop-down lines: a by-id or by-path name shortened, with
// the device it leads to beside it.
class PortListDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QString displayText(const QVariant& value, const QLocale&) const override { return PortListLine(value.toString()); }
};

}  // namespace

QString PortListLine(const QString& port) {
  const QString device = port.startsWith(QLatin1String("/dev/serial/")) ? QFileInfo(port).canonicalFilePath() : QString();
  return ToQString(PortListText(ToStdString(port), ToStdString(device)));
}

MainControls CreateMainControls(QDialog& dialog, QObject* boxFilter) {
  MainControls built;
  dialog.setFont(DialogFont(kMainDialogFontPt));
  const DialogBaseUnits units = BaseUnitsOf(dialog.font());
  dialog.setFixedSize(DluToPixelsX(kMainDialogWidthDlu, units), DluToPixelsY(kMainDialogHeightDlu, units));

  for (const ControlTemplate& control : kMainDialogControls) {
    const QString text = QString::fromUtf8(control.text);
    QWidget* widget = nullptr;
    int heightPx = DluToPixelsY(control.cy, units);
    switch (control.kind) {
      case ControlKind::ListView:
        widget = new CFileListCtrl(&dialog);
        break;
      case ControlKind::Edit:
        widget = new QLineEdit(&dialog);
        break;
      case ControlKind::CommentEdit: {
        auto* edit = new QPlainTextEdit(&dialog);
        edit->setReadOnly(true);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Read-only, so on the dialog's own background, as a read-only
        // edit is on Windows, in both schemes.
        QPalette colours = edit->palette();
        colours.setColor(QPalette::Base, QApplication::palette().color(QPalette::Window));
        edit->setPalette(colours);
        widget = edit;
        break;
      }
      case ControlKind::PushButton:
      case ControlKind::DefPushButton: {
        // No default button: Enter outside a push button ends the dialog.
        auto* button = new QPushButton(text, &dialog);
        button->setAutoDefault(false);
        widget = button;
        break;
      }
      case ControlKind::GroupBox:
        widget = new QGroupBox(text, &dialog);
        break;
      case ControlKind::TextLeft:
      case ControlKind::TextRight: {
        auto* label = new QLabel(text, &dialog);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment((control.kind == ControlKind::TextRight ? Qt::AlignRight : Qt::AlignLeft) |
                            Qt::AlignTop);
        label->setWordWrap(control.id == IDC_PORT_HINT);
        widget = label;
        break;
      }
      case ControlKind::ProgressBar:
        built.progress = new CProgTextCtrl(&dialog);
        widget = built.progress;
        break;
      case ControlKind::ComboBox: {
        auto* box = new QComboBox(&dialog);
        box->setEditable(true);
        if (control.id == IDC_PORT) {
          // Any device path may be typed; Enter takes it (the filter).
          box->lineEdit()->installEventFilter(boxFilter);
          box->setItemDelegate(new PortListDelegate(box));
        } else {
          // Only a picked entry counts: the field shows the choice but takes
          // no typing, which would otherwise select a matching entry.
          box->lineEdit()->setReadOnly(true);
        }
        box->installEventFilter(boxFilter);  // the box keeps Enter to itself
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        // The template's height is that of the dropped-down list.
        heightPx = box->sizeHint().height();
        widget = box;
        break;
      }
      case ControlKind::RadioButton:
        widget = new QRadioButton(text, &dialog);
        widget->setStyle(TemplateButtonStyle());
        break;
      case ControlKind::CheckBox:
        widget = new QCheckBox(text, &dialog);
        widget->setStyle(TemplateButtonStyle());
        break;
      case ControlKind::Picture: {
        // A sunken frame around the picture, sized to it.
        auto* picture = new QLabel(&dialog);
        picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        picture->setLineWidth(1);
        picture->setPixmap(DrawCableSymbol());
        picture->setAlignment(Qt::AlignCenter);
        widget = picture;
        break;
      }
      case ControlKind::Placeholder:
        widget = new QLabel(&dialog);
        widget->hide();
        break;
      case ControlKind::Icon:
        widget = new QLabel(&dialog);
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
      built.writeGroup = qobject_cast<QGroupBox*>(widget);
    } else {
      widget->setObjectName(QString::number(control.id));
      built.controls[control.id] = widget;
    }
  }

  auto* port = qobject_cast<QComboBox*>(built.controls[IDC_PORT]);
  for (const char* entry : kInitialPortEntries) port->addItem(QString::fromLatin1(entry));
  auto* speeds = qobject_cast<QComboBox*>(built.controls[IDC_BAUD]);
  for (const std::string& speed : SpeedEntries(kTypeQap8)) speeds->addItem(ToQString(speed));
  return built;
}


void ColourMainControls(const MainControls& built, bool dark, bool darkList) {
  const auto found = built.controls.find(IDC_FILE_LIST);
  if (darkList && found != built.controls.end()) SetTextColour(found->second, QPalette::Text, ToQColor(kDarkText));
  for (const ControlTemplate& control : kMainDialogControls) {
    if (!IsStaticKind(control.kind)) continue;
    const auto item = built.controls.find(control.id);
    QWidget* widget = control.id == IDC_STATIC ? built.writeGroup : item == built.controls.end() ? nullptr : item->second;
    const std::optional<Rgb> colour = StaticTextColour(control.id, dark);
    if (widget == nullptr || !colour) continue;
    if (control.id != IDC_COMMENT) {
      SetTextColour(widget, QPalette::WindowText, ToQColor(*colour));
      continue;
    }
    SetTextColour(widget, QPalette::Text, ToQColor(*colour));
  }
}

// Each control's id and rectangle in pixels of the client area, with the
// dialog base units: the same report as the Windows window writes.
void WriteLayoutReport(const std::string& path, const QFont& font, const std::map<int, QWidget*>& controls) {
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return;
  const DialogBaseUnits units = BaseUnitsOf(font);
  std::fprintf(out, "units %d %d\nclient 0 0\n", units.cx, units.cy);
  for (const ControlTemplate& control : kMainDialogControls) {
    const auto found = controls.find(control.id);
    if (control.id == IDC_STATIC || found == controls.end()) continue;
    const QWidget* widget = found->second;
    const QRect r = widget->geometry();
    std::fprintf(out, "control %d %d %d %d %d\n", control.id, r.x(), r.y(), r.width(), r.height());
  }
  std::fprintf(out, "end\n");
  std::fclose(out);
}

}  // namespace tarvel
