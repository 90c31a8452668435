// Small helpers between the dialog templates, the string table and Qt.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <memory>

class QMessageBox;
class QStyle;
class QWidget;

#include <string>
#include <string_view>

#include "base/MessageDisplay.h"
#include "base/Strings.h"
#include "dialog/DialogLogic.h"
#include "dialog/Looks.h"

namespace tarvel {

QString ToQString(std::string_view text);
std::string ToStdString(const QString& text);
QString FromStringTable(StringId id);
inline QColor ToQColor(Rgb colour) { return QColor(colour.r, colour.g, colour.b); }

// File-system paths: the system's bytes as text and back, so that a name
// that is not valid text still names the same file.
QString FromLocalPath(const std::string& path);
std::string ToLocalPath(const QString& path);

// "Times New Roman" at the given size: the dialogs' font.
QFont DialogFont(int pointSize);

// The dialog base units of a font, measured as the dialog manager does.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// The application style with the check box and radio button metrics of the
// dialog templates (13-pixel boxes, 3 pixels before the text), so that their
// texts fit the widths the templates give them. Lives as long as the
// application.
QStyle* TemplateButtonStyle();

// A message box with the application title as caption, the icon of the
// message and an OK button. Carriage returns in `text` break lines; a
// non-empty `detail` (the system's explanation) goes below the text.
std::unique_ptr<QMessageBox> BuildMessageBox(const QString& text, MessageIcon icon, const QString& detail,
                                             QWidget* parent);

// The same box with Yes and No, No the default and Escape's answer: true
// for Yes.
bool AskYesNoBox(const QString& text, MessageIcon icon, const QString& detail, QWidget* parent);

}  // namespace tarvel
