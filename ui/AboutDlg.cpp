#include "ui/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "base/Strings.h"
#include "dialog/DialogTemplate.h"
#include "service/Converters.h"
#include "ui/Artwork.h"
#include "ui/DialogWidgets.h"
#include "dialog/Globals.h"

namespace tarvel {

namespace {

// The libraries' names as the about box has always shown them.
constexpr const char* kHexConverterPrefix = "Tesmol.dll : ";
constexpr const char* kFlashConverterPrefix = "Oxbrin.dll : ";

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent, const ConverterSearch& search)
    : QDialog(parent), m_strVersion(FromStringTable(StringId::Version)) {
  setWindowTitle(QStringLiteral("About Tarvel"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont(kAboutFontPt));
  const DialogBaseUnits units = BaseUnitsOf(font());
  setFixedSize(DluToPixelsX(kAboutWidthDlu, units), DluToPixelsY(kAboutHeightDlu, units));

  for (const ControlTemplate& control : kAboutControls) {
    QWidget* widget = nullptr;
    if (control.kind == ControlKind::Icon) {
      auto* icon = new QLabel(this);
      icon->setPixmap(DrawAppIcon());
      icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget = icon;
    } else if (control.kind == ControlKind::DefPushButton) {
      auto* ok = new QPushButton(QString::fromUtf8(control.text), this);
      ok->setDefault(true);
      connect(ok, &QPushButton::clicked, this, &QDialog::accept);
      widget = ok;
    } else {
      auto* label = new QLabel(QString::fromUtf8(control.text), this);
      label->setTextFormat(Qt::PlainText);
      widget = label;
    }
    const PixelRect r = MapDialogRect(control.x, control.y, control.cx, control.cy, units);
    widget->setGeometry(r.x, r.y, r.width, r.height);
    if (control.id != IDC_STATIC) widget->setObjectName(QString::number(control.id));
  }

  OnInitDialog(search);
}

void CAboutDlg::OnInitDialog(const ConverterSearch& search) {
  // Data exchange: the version line and the converter line.
  static_cast<QLabel*>(GetDlgItem(IDC_VERSION))->setText(m_strVersion);
  static_cast<QLabel*>(GetDlgItem(IDC_ABOUT_CONVERTER))->setText(m_strConverterVersion);
  if (!g_bServiceMode) return;

  // A library that is missing, or lacks its version export, leaves its line
  // as it was.
  const ConverterVersionTexts versions = ConverterVersions(search);
  if (versions.hexToSfl) {
    static_cast<QLabel*>(GetDlgItem(IDC_ABOUT_CONVERTER))
        ->setText(QString::fromLatin1(kHexConverterPrefix) + ToQString(*versions.hexToSfl));
  }
  if (versions.flashImage) {
    static_cast<QLabel*>(GetDlgItem(IDC_ABOUT_LOADER))
        ->setText(QString::fromLatin1(kFlashConverterPrefix) + ToQString(*versions.flashImage));
  }
}

QWidget* CAboutDlg::GetDlgItem(int id) const {
  return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

}  // namespace tarvel
