#include "diagnosis/Finding.h"

namespace tarvel {

const char* FindingName(FindingId id) {
  switch (id) {
    case FindingId::PortMissing: return "port-missing";
    case FindingId::PortDenied: return "port-denied";
    case FindingId::PortBusy: return "port-busy";
    case FindingId::PortFailed: return "port-failed";
    case FindingId::Adapter: return "adapter";
    case FindingId::LateReplies: return "late-replies";
    case FindingId::LoaderSilent: return "loader-silent";
    case FindingId::OtherCable: return "other-cable";
    case FindingId::Garbled: return "garbled";
    case FindingId::LoaderAnswered: return "loader-answered";
    case FindingId::CableUntold: return "cable-untold";
  }
  return "unknown";
}

bool IsBroken(FindingId id) { return FindingExitCode(id) != 0; }

int FindingExitCode(FindingId id) {
  switch (id) {
    case FindingId::PortMissing:
    case FindingId::PortDenied:
    case FindingId::PortBusy:
    case FindingId::PortFailed: return 3;
    case FindingId::LoaderSilent:
    case FindingId::OtherCable:
    case FindingId::Garbled: return 4;
    case FindingId::Adapter:
    case FindingId::LateReplies:
    case FindingId::LoaderAnswered:
    case FindingId::CableUntold: return 0;
  }
  return 0;
}

const Finding* FirstBroken(const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    if (IsBroken(finding.id)) return &finding;
  }
  return nullptr;
}

}  // namespace tarvel
