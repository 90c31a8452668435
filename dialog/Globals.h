// Process-wide values of the window, set once at start-up (the end block is
// set by the flash read before it reports progress), and the texts that the
// converter file dialogs hand to their commands.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel {

// The working directory at start: the first SFL folder.
extern std::string g_strStartDir;
// From the command line: "-q" service mode, "-qk" also the dark scheme.
extern bool g_bServiceMode;
extern bool g_bDarkScheme;
// The last block of a flash read; the status bar's progress range.
extern std::uint16_t g_wEndBlock;

// The converter panel's fields as they stood when the open dialog closed
// (confirmed or not): START, END, output name, product name, firmware
// version.
extern std::string g_strStartBlock;
extern std::string g_strEndBlock;
extern std::string g_strSflName;
extern std::string g_strProductName;
extern std::string g_strFirmVersion;
// The End Block field as it stood when the save dialog closed.
extern std::string g_strDumpEndBlock;

}  // namespace tarvel
