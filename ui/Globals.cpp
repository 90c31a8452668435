#include "ui/Globals.h"

namespace tarvel {

std::string g_strStartDir;
bool g_bServiceMode = false;
bool g_bDarkScheme = false;
std::uint16_t g_wEndBlock = 0;

}  // namespace tarvel
