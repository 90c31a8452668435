// One radio's write (with its verify) and one radio's connection check, as
// tarvel-cli runs them on a single port and on each port of a line of
// radios: each fills the radio's RunResult.
#pragma once

#include <optional>
#include <string>

#include "cli/RadioOptions.h"
#include "station/RunResult.h"
#include "cli/TerminalMessages.h"
#include "station/FileToWrite.h"
#include "firmware/WriteProcedure.h"

namespace tarvel::cli {

// --key FILE (any number) and, with `forWrite`, --require-manifest.
void AddTrustOptions(CLI::App& command, TrustOptions& trust, bool forWrite = true);

// Shows why the file is refused and fills `result` with it (exit code 5).
void RefuseFile(const SflFileProblem& problem, TerminalMessages& messages, RunResult& result);

// Writes the file, reads it back when `verify`, and fills the result's
// transfer facts, exit code, message, detail and hint. The verify's own
// lines go out only where `messages` prints reports. A failure after a stop
// request has the signal's exit code.
void WriteRadio(RadioSession& session, WriteUi& ui, const CheckedSflFile& file, const RadioOptions& options,
                TerminalMessages& messages, RunResult& result);

// Wakes the loader and synchronises with it, writing nothing, and fills the
// result's exit code, message, detail and hint.
void SyncRadio(RadioSession& session, const RadioOptions& options, TerminalMessages& messages, RunResult& result);

}  // namespace tarvel::cli
