#include "run/RadioSession.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "base/FileIo.h"
#include "base/OutputFile.h"
#include "base/UiPump.h"
#include "diagnosis/LineWatch.h"
#include "loader/Conversation.h"
#include "loader/Exchanges.h"
#include "loader/Waits.h"
#include "loader/LoaderContext.h"
#include "run/RadioDiagnosis.h"
#include "serial/TracingPort.h"

namespace tarvel {

namespace {

// After the synchronisation, before the block's exchange: long enough for
// a reply still on its way through an adapter that holds replies (16 ms).
constexpr std::uint32_t kSettleMs = 20;

std::vector<Finding> Diagnose(const Failure& failure, const RadioJob& job, const LineWatch& watch) {
  return DiagnoseRadioFailure(failure, RadioLine{job.port, job.cable, job.baud}, watch);
}

// Hands every event on, with the cause of a failure to open or to
// synchronise found as it happens, so that a window's box can say it.
class DiagnosingObserver final : public SessionObserver {
 public:
  DiagnosingObserver(SessionObserver& inner, const RadioJob& job, const LineWatch& watch)
      : inner_(inner), job_(job), watch_(watch) {}

  void statusChanged(AccessStatus status) override { inner_.statusChanged(status); }
  void progressed(const Progress& progress) override { inner_.progressed(progress); }
  void retried(int block, int retries) override { inner_.retried(block, retries); }
  void retriedBecause(int block, int attempt, const RetryReason& reason) override {
    inner_.retriedBecause(block, attempt, reason);
  }
  void synchronised(const SyncAnswer& answer) override { inner_.synchronised(answer); }
  void failed(const Failure& failure) override {
    std::vector<Finding> found = Diagnose(failure, job_, watch_);
    if (found.empty()) {
      inner_.failed(failure);
      return;
    }
    Failure told = failure;
    // A port that failed for no cause the diagnosis knows has only the
    // system's reason, which the detail already gives.
    if (found.front().id != FindingId::PortFailed) told.finding = found.front().text;
    if (findings.empty()) findings = std::move(found);
    inner_.failed(told);
  }
  void succeeded(const std::string& report) override { inner_.succeeded(report); }

  std::vector<Finding> findings;  // those of the first failure that had any

 private:
  SessionObserver& inner_;
  const RadioJob& job_;
  const LineWatch& watch_;
};

// The port, the trace, the watch of the line and the conversation of one
// job, alive while it runs. The trace replaces its file only at the end.
class Session {
 public:
  Session(const RadioJob& job, SessionObserver& observer, const SessionPlatform& platform)
      : job_(job), observer_(observer, job, watch_) {
    if (platform.opener == nullptr) system_ = MakeSystemPortOpener();
    opener_ = platform.opener != nullptr ? platform.opener : system_.get();
    clock_ = platform.clock != nullptr ? platform.clock : &steady_;
    platform_ = platform;
  }
  ~Session() { finishTrace(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Builds the conversation; a trace that is refused or cannot be created
  // is the job's failure, before the radio is touched.
  std::optional<Failure> open() {
    PortOpener* opener = opener_;
    if (!job_.trace.empty()) {
      OutputError error;
      if (!traceFile_.open(job_.trace, {job_.otherFile}, error)) return TraceFailure(error);
      traceStream_.open(fileio::PathOf(traceFile_.temporaryPath()), std::ios::out | std::ios::trunc);
      if (!traceStream_) {
        return Failure{FailureKind::Usage, StringId::TraceCannotBeCreated, job_.trace + ": " + std::strerror(errno), {}, {}};
      }
      tracing_ = std::make_unique<TracingOpener>(*opener, traceStream_);
      opener = tracing_.get();
    }
    watching_ = std::make_unique<WatchingOpener>(*opener, watch_);
    ctx_ = std::make_unique<LoaderContext>(*watching_, observer_, *clock_, pump_);
    ctx_->link.m_strCommName = job_.port;
    ctx_->link.m_nBaudRate = job_.baud;
    if (platform_.timeouts) ctx_->link.timeouts = *platform_.timeouts;
    if (platform_.waitForInputBound) ctx_->waitForInputBound = *platform_.waitForInputBound;
    ctx_->setCable(job_.cable);
    ctx_->m_bRtsPulse = job_.rtsPulse;
    ctx_->stopRequest = job_.stop;
    return std::nullopt;
  }

  LoaderContext& ctx() { return *ctx_; }
  const LineWatch& watch() const { return watch_; }
  // The outcome's failure and diagnosis.
  void conclude(RadioOutcome& outcome, const Failure& failure) {
    outcome.failure = failure;
    outcome.line = watch_;
    outcome.stopped = failure.kind == FailureKind::Stopped || (failure && job_.stop != nullptr && job_.stop->load());
    if (!failure) return;
    outcome.diagnosis = observer_.findings.empty() ? Diagnose(failure, job_, watch_) : observer_.findings;
  }

 private:
  static Failure TraceFailure(const OutputError& error) {
    if (error.problem == OutputProblem::System) {
      return {FailureKind::Usage, StringId::TraceCannotBeCreated, error.text, {}, {}};
    }
    return {FailureKind::Usage, RefusalMessage(error.problem), "--trace " + error.text, {}, {}};
  }
  void finishTrace() {
    // The port first: its close is the trace's last line.
    ctx_.reset();
    tracing_.reset();
    if (!traceFile_.isOpen()) return;
    traceStream_.close();
    OutputError error;
    if (!traceStream_ || !traceFile_.commit(error)) {
      std::fprintf(stderr, "tarvel: the trace was not written: %s\n",
                   error.text.empty() ? traceFile_.targetPath().c_str() : error.text.c_str());
    }
  }

  const RadioJob& job_;
  LineWatch watch_;
  DiagnosingObserver observer_;
  SessionPlatform platform_;
  std::unique_ptr<PortOpener> system_;
  PortOpener* opener_ = nullptr;
  SteadyClock steady_;
  Clock* clock_ = nullptr;
  NoUiPump pump_;
  OutputFile traceFile_;
  std::ofstream traceStream_;
  std::unique_ptr<TracingOpener> tracing_;
  std::unique_ptr<WatchingOpener> watching_;
  std::unique_ptr<LoaderContext> ctx_;
};

// A write's read-back, after the write's own conversation has closed.
void VerifyWritten(Session& session, const CheckedSflFile& file, RadioOutcome& outcome) {
  session.ctx().observer.progressed({SessionPhase::Verifying, 0, 0});
  outcome.verify = ReadBackAndCompare(session.ctx(), file);
  session.conclude(outcome, outcome.verify->failure);
}

// Runs `body` in a session of its own; a trace refused before the radio
// is touched is the outcome's failure, and the observer hears of it.
template <typename Body>
RadioOutcome RunSession(JobKind kind, const RadioJob& job, SessionObserver& observer, const SessionPlatform& platform,
                        const Body& body) {
  RadioOutcome outcome;
  outcome.job = kind;
  Session session(job, observer, platform);
  if (std::optional<Failure> refused = session.open()) {
    observer.failed(*refused);
    outcome.failure = *refused;
    return outcome;
  }
  body(session, outcome);
  return outcome;
}

template <typename Write>
RadioOutcome RunWrite(const RadioJob& job, SessionObserver& observer, const SessionPlatform& platform,
                      const Write& write, const CheckedSflFile* file) {
  return RunSession(JobKind::Write, job, observer, platform, [&](Session& session, RadioOutcome& outcome) {
    outcome.write = write(session.ctx());
    session.conclude(outcome, outcome.write.failure);
    if (outcome.write.succeeded && job.verify && file != nullptr) VerifyWritten(session, *file, outcome);
  });
}

}  // namespace

RadioOutcome WriteFirmware(const RadioJob& job, const CheckedSflFile& file, SessionObserver& observer,
                           const SessionPlatform& platform) {
  return RunWrite(
      job, observer, platform, [&file](LoaderContext& ctx) { return OnWrite(ctx, file); }, &file);
}

RadioOutcome WriteFirmwareFile(const RadioJob& job, const std::string& path, SessionObserver& observer,
                               const SessionPlatform& platform) {
  return RunWrite(
      job, observer, platform, [&path](LoaderContext& ctx) { return OnWrite(ctx, path); }, nullptr);
}

RadioOutcome ReadFirmware(const RadioJob& job, BlockSink& sink, const std::string& output, std::uint16_t endBlock,
                          bool replace, SessionObserver& observer, const SessionPlatform& platform) {
  return RunSession(JobKind::Read, job, observer, platform, [&](Session& session, RadioOutcome& outcome) {
    outcome.read = ReadFlash(session.ctx(), sink, output, endBlock, replace);
    session.conclude(outcome, outcome.read.failure);
  });
}

RadioOutcome SyncRadio(const RadioJob& job, SessionObserver& observer, const SessionPlatform& platform) {
  return RunSession(JobKind::Sync, job, observer, platform, [&](Session& session, RadioOutcome& outcome) {
    const std::optional<Failure> failure = RunConversation(
        session.ctx(), kWriteConversation, [] { return std::optional<Failure>(); }, platform.afterOpen);
    session.conclude(outcome, failure.value_or(Failure{}));
  });
}

RadioOutcome SyncAndReadFirstBlock(const RadioJob& job, SessionObserver& observer, const SessionPlatform& platform) {
  return RunSession(JobKind::Sync, job, observer, platform, [&](Session& session, RadioOutcome& outcome) {
    LoaderContext& ctx = session.ctx();
    std::optional<LineWatch> synchronised;
    const std::optional<Failure> failure = RunConversation(
        ctx, kWriteConversation,
        [&] {
          // What the line did is the synchronisation's: a block's long
          // reply passes an adapter's hold at once and is no measure of it.
          synchronised = session.watch();
          // An answer to a call repeated before the loader's reply was seen
          // would shift the block's reply: dropped first.
          BusyWait(ctx, kSettleMs);
          std::array<std::uint8_t, kReadReplySize> stray{};
          while (BytesWaiting(ctx) > 0 && ReadBytes(ctx, stray) > 0) {
          }
          ReadReply reply{};
          outcome.read.blocksRead = ReadBlockExchange(ctx, 0, reply) == BlockReadResult::Read ? 1 : 0;
          return std::optional<Failure>();
        },
        platform.afterOpen);
    session.conclude(outcome, failure.value_or(Failure{}));
    if (synchronised) outcome.line = *synchronised;
  });
}

}  // namespace tarvel
