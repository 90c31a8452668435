// tarvel: the main window.
#include <cstdio>
#include <string>
#include <vector>

#include "app/FirmwareWriterApp.h"
#include "app/StationApp.h"
#include "base/ProgramStart.h"
#include "base/Strings.h"
#include "dialog/DialogLogic.h"

int main(int argc, char** argv) {
  tarvel::PrepareStandardStreams();
  // "--help", "--version" and a refused option answer before the
  // single-instance check, the settings file and the window.
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const tarvel::StartChoice choice = tarvel::ParseStartRequest(arguments);
  switch (choice.request) {
    case tarvel::StartRequest::Help:
      std::fputs(std::string(tarvel::LoadString(tarvel::StringId::WindowUsage)).c_str(), stdout);
      return 0;
    case tarvel::StartRequest::Version:
      std::printf("%s\n", std::string(tarvel::LoadString(tarvel::StringId::Version)).c_str());
      return 0;
    case tarvel::StartRequest::Refused:
      std::fprintf(stderr, "%s\n", choice.refusal.c_str());
      return 2;
    case tarvel::StartRequest::Station:
      return tarvel::RunStation(argc, argv, choice.station);
    case tarvel::StartRequest::Window:
      break;
  }
  tarvel::CFirmwareWriterApp application(argc, argv);
  return application.InitInstance();
}
