// Process-wide values of the window, set once at start-up (the end block is
// set by the flash read before it reports progress).
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

}  // namespace tarvel
