// The about box: the program's version. The converter libraries' versions
// (service mode) are filled in by the converters' own code.
#pragma once

#include <QDialog>
#include <QString>

namespace tarvel {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  QWidget* GetDlgItem(int id) const;

  QString m_strVersion;
  QString m_strConverterVersion;
};

}  // namespace tarvel
