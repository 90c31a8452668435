// tarvel: the main window.
#include "app/FirmwareWriterApp.h"

int main(int argc, char** argv) {
  tarvel::CFirmwareWriterApp application(argc, argv);
  return application.InitInstance();
}
