// The SFL file of a write, read and checked once before any radio is woken,
// whether one radio, a line of them or a station's beds get it.
#pragma once

#include <optional>
#include <string>

#include "firmware/WriteProcedure.h"
#include "station/RunResult.h"

namespace tarvel {

// Reads and checks the file and describes it in `facts` (name, SHA-256 and
// records as far as it could be read).
std::optional<SflFileProblem> LoadFileToWrite(const std::string& path, bool verify, CheckedSflFile& file,
                                              TransferFacts& facts);

}  // namespace tarvel
