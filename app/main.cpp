// tarvel: the main window.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/FirmwareWriterApp.h"
#include "app/StationApp.h"
#include "base/ProgramStart.h"
#include "base/Strings.h"
#include "dialog/DialogLogic.h"

int main(int argc, char** argv) {
  tarvel::PrepareStandardStreams();
  // "--help" and "--version" answer before the single-instance check, the
  // settings file and the window.
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (const std::optional<std::string> station = tarvel::StationRequest(arguments)) {
    return tarvel::RunStation(argc, argv, *station);
  }
  switch (tarvel::ParseStartRequest(arguments)) {
    case tarvel::StartRequest::Help:
      std::fputs(std::string(tarvel::LoadString(tarvel::StringId::WindowUsage)).c_str(), stdout);
      return 0;
    case tarvel::StartRequest::Version:
      std::printf("%s\n", std::string(tarvel::LoadString(tarvel::StringId::Version)).c_str());
      return 0;
    case tarvel::StartRequest::Window:
      break;
  }
  tarvel::CFirmwareWriterApp application(argc, argv);
  return application.InitInstance();
}
