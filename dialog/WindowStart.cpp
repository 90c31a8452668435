#include "dialog/WindowStart.h"

#include "base/Strings.h"
#include "dialog/DialogLogic.h"
#include "dialog/Globals.h"
#include "settings/Settings.h"

namespace tarvel {

void PrepareMainWindow(const std::vector<std::string>& arguments, MainDialogServices& services, std::FILE* errors) {
  const std::string startDir = StartupDirectory();
  services.settingsPath = SettingsPathFor(startDir);
  Settings settings(services.settingsPath);
  if (settings.fileTooLarge()) {
    std::fprintf(errors, "tarvel: %s\n",
                 FormatString(StringId::SettingsFileTooLarge, {services.settingsPath, std::to_string(kProfileHeadBytes)})
                     .c_str());
  }
  settings.writeVersion();  // at every start; a failed write goes unreported
  g_strStartDir = startDir;
  services.argumentText = ArgumentText(arguments);
}

}  // namespace tarvel
