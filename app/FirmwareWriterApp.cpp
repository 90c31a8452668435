#include "app/FirmwareWriterApp.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "app/SingleInstance.h"
#include "dialog/Globals.h"
#include "dialog/WindowStart.h"
#include "ui/FirmwareWriterDlg.h"

namespace tarvel {

CFirmwareWriterApp::CFirmwareWriterApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CFirmwareWriterApp::InitInstance() {
  SingleInstance instance(
      SingleInstance::NameFor(SingleInstance::ExecutableBaseName(), SingleInstance::UserName()));
  if (instance.Acquire() == SingleInstance::Start::AlreadyRunning) {
    instance.NotifyRunningCopy();
    return 0;
  }

  std::vector<std::string> arguments;
  const QStringList all = QCoreApplication::arguments();
  for (qsizetype i = 1; i < all.size(); ++i) arguments.push_back(all[i].toStdString());

  DialogServices services;
  PrepareMainWindow(arguments, services);
  m_strStartDir = g_strStartDir;
  m_strProfilePath = services.settingsPath;
#ifdef TARVEL_TEST_SEAMS
  // Only a test build lets its environment ask for the layout report.
  if (const char* report = std::getenv("TARVEL_WINDOW_LAYOUT")) services.layoutReport = report;
#endif

  CFirmwareWriterDlg dialog(std::move(services));
  m_pMainWnd = &dialog;
  connect(&instance, &SingleInstance::RaiseRequested, this, [this] { RaiseWindow(m_pMainWnd); });
  dialog.exec();
  m_pMainWnd = nullptr;
  return 0;
}

}  // namespace tarvel
