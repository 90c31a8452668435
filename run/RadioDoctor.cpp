#include "run/RadioDoctor.h"

#include <chrono>
#include <optional>

#include "loader/CableFacts.h"
#include "run/RadioSession.h"

namespace tarvel {

namespace {

std::string CableName(Cable cable) { return std::string(FactsOf(cable).label); }
std::string CableOption(Cable cable) { return std::string(FactsOf(cable).name); }

enum class Exchange { SyncOnly, ReadFirstBlock };

constexpr std::chrono::milliseconds kBlockWait{1000};

RadioOutcome TrySync(const DoctorRequest& request, Cable cable, unsigned baud, PortOpener* opener, Clock* clock,
                     Exchange exchange = Exchange::SyncOnly, std::function<void()> afterOpen = {}) {
  RadioJob job;
  job.port = request.port;
  job.cable = cable;
  job.baud = baud;
  SessionPlatform platform;
  platform.opener = opener;
  platform.clock = clock;
  platform.afterOpen = std::move(afterOpen);
  if (exchange == Exchange::ReadFirstBlock) {
    // A block's reply takes 150 ms at 9600 baud; a loader that the framing
    // does not reach need not be waited for as long as a write waits.
    PortTimeouts timeouts;
    timeouts.readPerByte = kBlockWait;
    platform.timeouts = timeouts;
    platform.waitForInputBound = kBlockWait;
  }
  return exchange == Exchange::ReadFirstBlock ? SyncAndReadFirstBlock(job, NoObserver(), platform)
                                              : SyncRadio(job, NoObserver(), platform);
}

Cable OtherCable(Cable cable) { return cable == Cable::Qap10 ? Cable::Qap8 : Cable::Qap10; }

// The other cable at the line's speed where it offers it, else at its fastest.
unsigned OtherCableSpeed(Cable other, unsigned baud) {
  return SpeedOffered(other, baud) ? baud : FactsOf(other).speeds.back();
}

bool ReadTheBlock(const RadioOutcome& attempt) { return !attempt.failure && attempt.read.blocksRead == 1; }

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
  // Both framings may answer the synchronisation: a block's exchange after
  // it is what only the right one gets through.
  const RadioOutcome first = TrySync(request, request.cable, request.baud, opener, clock, Exchange::ReadFirstBlock,
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
  const Cable other = OtherCable(request.cable);
  const unsigned otherBaud = OtherCableSpeed(other, request.baud);
  std::optional<Finding> untold;
  if (!first.failure && !ReadTheBlock(first)) {
    if (ReadTheBlock(TrySync(request, other, otherBaud, opener, clock, Exchange::ReadFirstBlock))) {
      findings.push_back({FindingId::OtherCable,
                          FormatString(StringId::DiagWrongFraming, {CableName(request.cable), CableName(other)}),
                          FormatString(StringId::DiagOtherCableHint,
                                       {CableName(other), CableOption(other), CableName(other)})});
      return findings;
    }
    // A loader that reads no block with either cable: the sync alone
    // cannot vouch for the cable.
    untold = Finding{FindingId::CableUntold, FormatString(StringId::DiagCableUntold, {CableName(request.cable)}),
                     FormatString(StringId::DiagCableUntoldHint, {"--cable " + CableOption(other)})};
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
    if (untold) findings.push_back(std::move(*untold));
    return findings;
  }
  Finding failure = SyncFailureFinding(first.line, request.cable, request.baud, request.port);
  if (failure.id == FindingId::LoaderSilent) {
    const RadioOutcome second = TrySync(request, other, otherBaud, opener, clock);
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
