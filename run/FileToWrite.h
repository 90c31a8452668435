// The SFL file of a write, read and checked once before any radio is woken,
// whether one radio, a line of them or a station's beds get it.
#pragma once

#include <optional>
#include <string>

#include "firmware/WriteProcedure.h"
#include "run/RunResult.h"
#include "trust/FileTrust.h"

namespace tarvel {

// Reads and checks the file, against its folder's manifest too, and
// describes it in `facts` (name, SHA-256, manifest state and records as far
// as it could be read). A file the manifest refuses is a problem; one it
// does not vouch for gives `warning`.
std::optional<SflFileProblem> LoadFileToWrite(const std::string& path, bool verify, const TrustOptions& trust,
                                              CheckedSflFile& file, TransferFacts& facts,
                                              std::optional<SflFileProblem>& warning);

}  // namespace tarvel
