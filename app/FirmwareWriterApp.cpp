#include "app/FirmwareWriterApp.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/SingleInstance.h"
#include "base/Strings.h"
#include "dialog/DialogLogic.h"
#include "settings/Settings.h"
#include "ui/FirmwareWriterDlg.h"
#include "dialog/Globals.h"

namespace tarvel {

CFirmwareWriterApp::CFirmwareWriterApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CFirmwareWriterApp::InitInstance() {
  SingleInstance instance(
      SingleInstance::NameFor(SingleInstance::ExecutableBaseName(), SingleInstance::UserName()));
  if (instance.Acquire() == SingleInstance::Start::AlreadyRunning) {
    instance.NotifyRunningCopy();
    return 0;
  }

  m_strStartDir = StartupDirectory();
  m_strProfilePath = SettingsPathFor(m_strStartDir);
  Settings settings(m_strProfilePath);
  if (settings.fileTooLarge()) {
    std::fprintf(stderr, "tarvel: %s\n",
                 FormatString(StringId::SettingsFileTooLarge, {m_strProfilePath, std::to_string(kProfileHeadBytes)})
                     .c_str());
  }
  settings.writeVersion();  // at every start; a failed write goes unreported
  g_strStartDir = m_strStartDir;

  std::vector<std::string> arguments;
  const QStringList all = QCoreApplication::arguments();
  for (qsizetype i = 1; i < all.size(); ++i) arguments.push_back(all[i].toStdString());

  DialogServices services;
  services.settingsPath = m_strProfilePath;
  services.argumentText = ArgumentText(arguments);
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
