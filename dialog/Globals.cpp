#include "dialog/Globals.h"

namespace tarvel {

std::string g_strStartDir;
bool g_bServiceMode = false;
bool g_bDarkScheme = false;
std::uint16_t g_wEndBlock = 0;

std::string g_strStartBlock;
std::string g_strEndBlock;
std::string g_strSflName;
std::string g_strProductName;
std::string g_strFirmVersion;
std::string g_strDumpEndBlock;

}  // namespace tarvel
