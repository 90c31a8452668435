// The main dialog's controls made from the shared control table, placed in
// dialog units of the dialog font, with the boxes' first entries.
#pragma once

#include <QDialog>
#include <map>
#include <string>

class QGroupBox;

namespace tarvel {

class CProgTextCtrl;

struct MainControls {
  std::map<int, QWidget*> controls;   // by id
  QGroupBox* writeGroup = nullptr;    // the frame without an id
  CProgTextCtrl* progress = nullptr;  // the write's progress bar
};

// Also gives `dialog` its font and fixed size. `boxFilter` sees the combo
// boxes' events (Enter) and the port field's (typing a path).
MainControls CreateMainControls(QDialog& dialog, QObject* boxFilter);

// What the port box's drop-down list shows for `port`.
QString PortListLine(const QString& port);

// The static controls' text colours of the scheme (`dark`: the dark
// scheme paints the dialog), and the file list's dark text (`darkList`:
// the dark scheme asked for, painted or not).
void ColourMainControls(const MainControls& built, bool dark, bool darkList);

// Each control's id and rectangle in pixels of the client area, with the
// dialog base units: the same report as the Windows window writes.
void WriteLayoutReport(const std::string& path, const QFont& font, const std::map<int, QWidget*>& controls);

}  // namespace tarvel
