// Ctrl-C, kill and a closed terminal as a request to stop. The first ends
// the write or read in progress after the exchange under way, through the
// procedure's usual closing steps (lines set, port released, partial dump
// kept); a second ends the program at once, still releasing the ports.
// Signals belong to the process, so one StopSignals serves every context of
// a run: one made while another lives (a session inside a run over several
// radios) only shares the outer one's request. The Windows build gives it a
// console-control-handler twin.
#pragma once

#include <atomic>

namespace tarvel::cli {

class StopSignals {
 public:
  // Installs the handlers of SIGINT, SIGTERM and SIGHUP, unless another
  // StopSignals has (then it leaves the request as it is).
  StopSignals();
  // The last one restores the handlers that were there before.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The flag for RadioJob::stop.
  const std::atomic<bool>& request() const;
  // The exit code of a run that a signal stopped: 128 + its number (130 for
  // SIGINT, 143 for SIGTERM, 129 for SIGHUP); 0 while none came.
  int exitCode() const;
};

}  // namespace tarvel::cli
