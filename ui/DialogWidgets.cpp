#include "ui/DialogWidgets.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>

#include "dialog/DialogTemplate.h"

namespace tarvel {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToStdString(const QString& text) { return text.toStdString(); }

QString FromStringTable(StringId id) { return ToQString(LoadString(id)); }

QString FromLocalPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QFont DialogFont(int pointSize) {
  QFont font(QString::fromLatin1(kMainDialogFont));
  font.setPointSize(pointSize);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return BaseUnitsFromFont(alphabet, metrics.height());
}

namespace {

class TemplateButtonMetrics final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    switch (metric) {
      case PM_IndicatorWidth:
      case PM_IndicatorHeight:
      case PM_ExclusiveIndicatorWidth:
      case PM_ExclusiveIndicatorHeight:
        return 13;
      case PM_CheckBoxLabelSpacing:
      case PM_RadioButtonLabelSpacing:
        return 3;
      default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }
};

}  // namespace

QStyle* TemplateButtonStyle() {
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = new TemplateButtonMetrics;
    style->setParent(qApp);
  }
  return style;
}

namespace {

QString CarriageReturnsAsLineBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

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

bool AskYesNoBox(const QString& text, MessageIcon icon, const QString& detail, QWidget* parent) {
  const std::unique_ptr<QMessageBox> box = BuildMessageBox(text, icon, detail, parent);
  box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  return box->exec() == QMessageBox::Yes;
}

}  // namespace tarvel
