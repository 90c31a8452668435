#include "diagnosis/DiagnosingMessages.h"

#include <vector>

namespace tarvel {

void DiagnosingMessages::showMessage(StringId id, MessageIcon icon, std::string_view detail) {
  std::string finding;
  if (ctx_ != nullptr) {
    const std::string& port = ctx_->link.m_strCommName;
    if (id == StringId::PortCannotBeHandled || id == StringId::PortInitFailed) {
      // The system's reason is the detail already.
      const Finding cause = OpenFailureFinding(port, std::string(detail), system_);
      if (cause.id != FindingId::PortFailed) finding = cause.text;
    } else if (id == StringId::SyncError) {
      finding = SyncFailureFinding(watch_, ctx_->cable(), ctx_->link.m_nBaudRate, port).text;
    }
  }
  if (finding.empty()) {
    inner_.showMessage(id, icon, detail);
    return;
  }
  std::string withFinding(detail);
  if (!withFinding.empty()) withFinding += '\n';
  withFinding += finding;
  inner_.showMessage(id, icon, withFinding);
}

}  // namespace tarvel
