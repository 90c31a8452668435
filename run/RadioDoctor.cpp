#include "run/RadioDoctor.h"

#include "loader/CableFacts.h"
#include "run/RadioSession.h"

namespace tarvel {

namespace {

std::string CableName(Cable cable) { return std::string(FactsOf(cable).label); }
std::string CableOption(Cable cable) { return std::string(FactsOf(cable).name); }

RadioOutcome TrySync(const DoctorRequest& request, Cable cable, unsigned baud, PortOpener* opener, Clock* clock,
                     std::function<void()> afterOpen = {}) {
  RadioJob job;
  job.port = request.port;
  job.cable = cable;
  job.baud = baud;
  SessionPlatform platform;
  platform.opener = opener;
  platform.clock = clock;
  platform.afterOpen = std::move(afterOpen);
  return SyncRadio(job, NoObserver(), platform);
}

// Synchronisations more, at most, when the first one's replies looked late.
constexpr int kLateReplyTries = 3;

bool Opened(const RadioOutcome& attempt) {
  return attempt.failure.kind != FailureKind::Port && attempt.failure.kind != FailureKind::Configuration;
}

}  // namespace

std::vector<Finding> RunDoctor(const DoctorRequest& request, const PortSystem& system, PortOpener* opener,
                               Clock* clock) {
  std::vector<Finding> findings = DiagnosePort(request.port, system);
  if (FirstBroken(findings) != nullptr) return findings;

  const std::vector<PortInfo> ports = system.ports();
  const PortInfo* port = FindPort(ports, request.port);
  const int latencyBefore = system.latencyTimer(request.port);
  int latencyAfter = latencyBefore;
  const RadioOutcome first = TrySync(request, request.cable, request.baud, opener, clock,
                                     [&] { latencyAfter = system.latencyTimer(request.port); });
  if (port != nullptr && !port->vendorId.empty()) {
    findings.push_back({FindingId::Adapter, AdapterText(*port, latencyBefore, latencyAfter), {}});
  }
  if (!Opened(first)) {
    std::string reason(LoadString(first.failure.message));
    if (!first.failure.detail.empty()) reason += " " + first.failure.detail;
    findings.push_back(OpenFailureFinding(request.port, reason, system));
    return findings;
  }
  if (!first.failure) {
    // A busy machine only ever delays a reply: before an adapter is blamed
    // for late replies, the fastest of a few more synchronisations counts.
    LineWatch fastest = first.line;
    for (int again = 0; again < kLateReplyTries && fastest.shortestReply.value_or(kLateReply) > kLateReply; ++again) {
      const RadioOutcome retry = TrySync(request, request.cable, request.baud, opener, clock);
      if (retry.failure || !retry.line.shortestReply) continue;
      if (!fastest.shortestReply || *retry.line.shortestReply < *fastest.shortestReply) {
        fastest.shortestReply = retry.line.shortestReply;
      }
    }
    for (Finding& finding : SyncSuccessFindings(fastest, request.cable, request.baud, request.port, system)) {
      findings.push_back(std::move(finding));
    }
    return findings;
  }
  Finding failure = SyncFailureFinding(first.line, request.cable, request.baud, request.port);
  if (failure.id == FindingId::LoaderSilent) {
    // The other cable at the line's speed where it offers it, else at its
    // fastest.
    const Cable other = request.cable == Cable::Qap10 ? Cable::Qap8 : Cable::Qap10;
    const unsigned baud = SpeedOffered(other, request.baud) ? request.baud : FactsOf(other).speeds.back();
    const RadioOutcome second = TrySync(request, other, baud, opener, clock);
    if (!second.failure) {
      findings.push_back({FindingId::OtherCable,
                          FormatString(StringId::DiagOtherCable, {CableName(request.cable), CableName(other)}),
                          FormatString(StringId::DiagOtherCableHint,
                                       {CableName(other), CableOption(other), CableName(other)})});
      return findings;
    }
    failure.hint = LoadString(StringId::DiagLoaderSilentHint);
  }
  findings.push_back(std::move(failure));
  return findings;
}

}  // namespace tarvel
