// Reading written blocks back and comparing them with the file: the check
// behind `tarvel-cli write --verify`. The radio stores what it acknowledged
// only as far as its own sum tells; this reads the flash itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "firmware/WriteProcedure.h"
#include "loader/LoaderContext.h"

namespace tarvel {

struct ReadBackOutcome {
  bool completed = false;  // every block was read (whatever it held)
  Failure failure;
  int blocksCompared = 0;
  std::optional<std::uint16_t> firstDifference;  // lowest block that differs
  int differences = 0;
  std::uint32_t elapsedMs = 0;
};

// A conversation shaped as a write's that reads every block the file holds
// (the last record of a block counts, as it was written last) in ascending
// order, and compares. Its failures (105/106, 111, 107, or "Stopped" when
// the context's stop request ended it) go to the observer as they are
// found. The file is only read, so several radios may compare against one.
ReadBackOutcome ReadBackAndCompare(LoaderContext& ctx, const CheckedSflFile& file);

}  // namespace tarvel
