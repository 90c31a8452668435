// The two programming cables by name. What each cable means for the line
// (framing, speeds, pacing) is the loader's table, loader/CableFacts.h; the
// simulated radio names its cable with this type too but keeps its own model
// of the line.
#pragma once

namespace tarvel {

enum class Cable { Qap8, Qap10 };

}  // namespace tarvel
