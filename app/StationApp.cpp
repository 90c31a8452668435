#include "app/StationApp.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "station/StationFile.h"
#include "ui/DialogWidgets.h"
#include "ui/StationWindow.h"

namespace tarvel {

int RunStation(int& argc, char** argv, const std::string& file) {
  StationConfig config;
  CheckedSflFile firmware;
  TransferFacts facts;
  // Read before any window: a station with half a configuration never opens.
  if (const std::optional<std::string> problem = ReadStationFile(file, config, firmware, facts)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
#ifndef _WIN32
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return 2;
#endif
    const QApplication application(argc, argv);
    const std::unique_ptr<QMessageBox> box =
        BuildMessageBox(ToQString(*problem), MessageIcon::Stop, QString(), nullptr);
    box->exec();
    return 2;
  }
  QApplication application(argc, argv);
  CStationWindow window(std::move(config), std::move(firmware), std::move(facts));
  window.show();
  return QApplication::exec();
}

}  // namespace tarvel
