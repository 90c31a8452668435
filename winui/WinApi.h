// windows.h for the window's files: without its LoadString macro, which
// would rename the string table's own function.
#pragma once

#include <windows.h>
#undef LoadString
