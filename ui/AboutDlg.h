// The about box: the program's version and, in service mode, the versions
// of the two converter libraries, read afresh at each opening.
#pragma once

#include <QDialog>
#include <QString>

#include "service/ConverterLibrary.h"

namespace tarvel {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr, const ConverterSearch& search = ProgramConverterSearch());

  QWidget* GetDlgItem(int id) const;

  QString m_strVersion;
  QString m_strConverterVersion;

 private:
  void OnInitDialog(const ConverterSearch& search);
};

}  // namespace tarvel
