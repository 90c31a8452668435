#include "ui/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "base/Strings.h"
#include "ui/Artwork.h"
#include "ui/DialogTemplate.h"
#include "ui/DialogWidgets.h"

namespace tarvel {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_strVersion(FromStringTable(StringId::Version)) {
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

  // Data exchange: the version line and the converter line.
  static_cast<QLabel*>(GetDlgItem(IDC_VERSION))->setText(m_strVersion);
  static_cast<QLabel*>(GetDlgItem(IDC_ABOUT_CONVERTER))->setText(m_strConverterVersion);
}

QWidget* CAboutDlg::GetDlgItem(int id) const {
  return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

}  // namespace tarvel
