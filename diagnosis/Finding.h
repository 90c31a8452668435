// One link of the chain from the port to the loader, as the diagnosis found
// it: a stable id for scripts, the text and what to do next.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

enum class FindingId {
  PortMissing,
  PortDenied,
  PortBusy,
  PortFailed,
  Adapter,
  LateReplies,
  LoaderSilent,
  OtherCable,
  Garbled,
  LoaderAnswered,
  CableUntold,  // the sync answered, but no exchange told the cables apart
};

struct Finding {
  FindingId id;
  std::string text;
  std::string hint;  // empty where there is nothing to do
};

// "port-missing", "port-denied", ...: the id as scripts see it.
const char* FindingName(FindingId id);

// Whether the finding is a broken link (the chain stops there) rather than
// a fact or a warning.
bool IsBroken(FindingId id);

// The command line's exit code for a chain that stops at `id`: 3 for the
// port's links, 4 for the loader's, 0 for a fact or a warning.
int FindingExitCode(FindingId id);

// The first broken link, if any.
const Finding* FirstBroken(const std::vector<Finding>& findings);

}  // namespace tarvel
