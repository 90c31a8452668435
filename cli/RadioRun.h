// One radio's write (with its verify) and one radio's connection check, as
// tarvel-cli runs them on a single port and on each port of a line of
// radios: each runs the session and fills the radio's RunResult from it.
#pragma once

#include <optional>
#include <string>

#include "cli/RadioOptions.h"
#include "cli/StopSignals.h"
#include "cli/TerminalMessages.h"
#include "firmware/WriteProcedure.h"
#include "run/FileToWrite.h"
#include "run/RadioSession.h"
#include "run/RunResult.h"

namespace tarvel::cli {

// --key FILE (any number) and, with `forWrite`, --require-manifest.
void AddTrustOptions(CLI::App& command, TrustOptions& trust, bool forWrite = true);

// Shows why the file is refused and fills `result` with it (exit code 5).
void RefuseFile(const SflFileProblem& problem, TerminalMessages& messages, RunResult& result);

// Writes the file, reads it back when the job asks, and fills the result.
// The verify's own lines go out only where `messages` prints reports.
void WriteRadio(const RadioJob& job, const CheckedSflFile& file, SessionObserver& observer,
                TerminalMessages& messages, RunResult& result);

// The most data a line can carry for the job at `baud`: a block's 128 bytes
// over the time its exchange takes on the line, in bytes a second.
double LineBoundBytesPerSecond(Cable cable, unsigned baud, JobKind job);

// The line after a write's or a read's report: the port, the file, the
// bytes and blocks (and a write's retries), the time, the rate and its
// share of the line's bound.
std::string TransferSummary(const RunResult& result, JobKind job);

// Wakes the loader and synchronises with it, writing nothing, and fills the
// result.
void SyncRadio(const RadioJob& job, SessionObserver& observer, TerminalMessages& messages, RunResult& result);

// A run that failed while a signal asked it to stop ends with the signal's
// exit code.
void ApplyStopSignal(const StopSignals& stop, RunResult& result);

}  // namespace tarvel::cli
