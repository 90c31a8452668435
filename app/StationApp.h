// tarvel --station FILE.ini: the station window instead of the main dialog.
#pragma once

#include <string>

namespace tarvel {

// Reads the station file and runs its window until it closes. A station
// file that cannot be used is said on stderr (and in a box where there is a
// display) and no window opens: exit code 2.
int RunStation(int& argc, char** argv, const std::string& file);

}  // namespace tarvel
