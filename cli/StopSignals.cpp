#include "cli/StopSignals.h"

#include <mutex>

#include "cli/StopSignalsHandlers.h"

namespace tarvel::cli {

namespace stop {

std::atomic<bool> g_request{false};
std::atomic<int> g_signal{0};

}  // namespace stop

namespace {

// How many StopSignals live; sessions of several radios come and go on
// their own threads.
std::mutex g_nesting;
int g_depth = 0;

}  // namespace

StopSignals::StopSignals() {
  const std::lock_guard lock(g_nesting);
  if (g_depth++ > 0) return;
  stop::g_request.store(false);
  stop::g_signal.store(0);
  stop::InstallHandlers();
}

StopSignals::~StopSignals() {
  const std::lock_guard lock(g_nesting);
  if (--g_depth > 0) return;
  stop::RestoreHandlers();
}

const std::atomic<bool>& StopSignals::request() const { return stop::g_request; }

int StopSignals::exitCode() const {
  const int number = stop::g_signal.load();
  return number == 0 ? 0 : 128 + number;
}

}  // namespace tarvel::cli
