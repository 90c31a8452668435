// The application object: one copy per user, the start-up directory and the
// settings file in it, the version record, and the modal run of the main
// dialog. The program ends when the dialog closes.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <string>

namespace tarvel {

class CFirmwareWriterApp : public QApplication {
  Q_OBJECT
 public:
  CFirmwareWriterApp(int& argc, char** argv);

  // Runs the start-up and the main dialog; returns the process's exit code.
  // A later start raises the running copy's window and ends at once,
  // without touching the settings file.
  int InitInstance();

  const std::string& StartDir() const { return m_strStartDir; }
  const std::string& ProfilePath() const { return m_strProfilePath; }

 private:
  std::string m_strStartDir;
  std::string m_strProfilePath;
  QPointer<QWidget> m_pMainWnd;
};

}  // namespace tarvel
