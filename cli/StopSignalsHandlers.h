// What the stop signals share between the platform-free part and each
// system's handler: the request and the signal, which a handler may touch
// (lock-free atomics), and the installing and restoring of the handlers.
#pragma once

#include <atomic>

namespace tarvel::cli::stop {

extern std::atomic<bool> g_request;
extern std::atomic<int> g_signal;

// The system's handlers in place, and the ones that were there before back.
void InstallHandlers();
void RestoreHandlers();

}  // namespace tarvel::cli::stop
