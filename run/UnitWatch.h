// The watches that tell a bed, or a command told to wait, that a unit has
// come or gone: the port appearing, the loader answering a short poll, a
// fixture's switch on a modem line. Each runs on a thread of its own and
// hands its signals to a callback; what they mean is UnitStart's affair.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "run/RadioSession.h"
#include "run/UnitStart.h"

namespace tarvel {

inline constexpr std::chrono::milliseconds kDefaultPoll{2000};

struct UnitWatchJob {
  StartMode mode = StartMode::Insert;
  RadioJob job;  // the port, and for a poll the cable and the speed
  // Between two polls of the loader; between two tries at opening a port
  // for its lines.
  std::chrono::milliseconds poll = kDefaultPoll;
  StartLine line = StartLine::Cts;
  // The ports a poll and a line watch open; the system's when null.
  PortOpener* opener = nullptr;
};

class UnitWatch {
 public:
  virtual ~UnitWatch() = default;  // ends the watch: no signal after it returns
  // Held, the watch leaves the port to a write: it returns once the watch
  // no longer has the port open. Let go, it watches again.
  virtual void hold(bool held) = 0;
};

// Signals on the watch's thread. Insert: Appeared or Vanished as the port
// is at the start, then at each change. Answer: Answered or Silent after
// each poll, the first at once. Line: Rose when the line is up at the
// start, then Rose or Fell at each edge; a port that cannot be opened or
// has no lines counts as a line that is down. Keys: none (null).
std::unique_ptr<UnitWatch> WatchForUnit(const UnitWatchJob& job, std::function<void(UnitSignal)> signal);

enum class WaitEnd { Ready, TimedOut, Stopped };

// For a command: returns once a unit is ready to start (a port that is
// there already counts), after `timeout`, or when `stop` is set.
WaitEnd WaitForUnit(const UnitWatchJob& job, std::optional<std::chrono::milliseconds> timeout,
                    const std::atomic<bool>* stop);

}  // namespace tarvel
