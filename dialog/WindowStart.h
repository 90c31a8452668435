// What both windows do at start, before the main dialog opens, the same on
// every system.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "dialog/MainDialog.h"

namespace tarvel {

// The start-up directory (the first SFL folder, g_strStartDir) and the
// settings file in it; a line on `errors` when that file is larger than the
// settings layer reads (it is left as it is, and the settings start from
// their defaults); the version record written. `services` gets the settings
// file and `arguments`, the command line after the program's name.
void PrepareMainWindow(const std::vector<std::string>& arguments, MainDialogServices& services,
                       std::FILE* errors = stderr);

}  // namespace tarvel
