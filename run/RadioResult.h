// The run's object for one radio, made from its outcome in one place: the
// exit code, the message and its detail, the hint, the transfer's figures
// and the diagnosis. The command line prints it and records it; a station's
// bed records it; so neither can word a unit differently.
#pragma once

#include "run/RadioSession.h"
#include "run/RunResult.h"

namespace tarvel {

// Fills `result` from `outcome`. `result.transfer`, where the job has one,
// holds the file's facts already; the figures are added to it.
void DescribeOutcome(const RadioOutcome& outcome, RunResult& result);

// What the read-back found, as the command line's detail says it.
std::string VerifyDifferenceText(const ReadBackOutcome& verify);

}  // namespace tarvel
