#include "run/UnitWatch.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "serial/PortPresence.h"

namespace tarvel {

namespace {

using std::chrono::milliseconds;

// A watch that looks again and again on a thread of its own, and that a
// write can hold off its port.
class LookingWatch : public UnitWatch {
 public:
  void hold(bool held) override {
    std::unique_lock lock(mutex_);
    held_ = held;
    changed_.notify_all();
    if (held) changed_.wait(lock, [this] { return letGo_ || ended_; });
  }

 protected:
  // One look; how long until the next.
  virtual milliseconds look() = 0;
  // Closes whatever the watch has open; on the watch's thread.
  virtual void letGoOfPort() {}

  void begin() { thread_ = std::thread([this] { run(); }); }
  // Each watch's destructor ends the thread before its own members go.
  void end() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
      stopFlag_.store(true);
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  // Ends a look in progress when the watch ends.
  const std::atomic<bool>* stopFlag() const { return &stopFlag_; }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (held_) {
        if (!letGo_) {
          lock.unlock();
          letGoOfPort();
          lock.lock();
          letGo_ = true;
          changed_.notify_all();
        }
        changed_.wait(lock, [this] { return stop_ || !held_; });
        continue;
      }
      letGo_ = false;
      lock.unlock();
      const milliseconds next = look();
      lock.lock();
      changed_.wait_for(lock, next, [this] { return stop_ || held_; });
    }
    lock.unlock();
    letGoOfPort();
    lock.lock();
    ended_ = true;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool letGo_ = true;
  bool stop_ = false;
  bool ended_ = false;
  std::atomic<bool> stopFlag_{false};
  std::thread thread_;
};

// Insert: the system says when the port comes and goes. Where it cannot
// (no inotify left), the port is looked for at every poll instead.
class PortWatch final : public LookingWatch {
 public:
  PortWatch(const UnitWatchJob& job, std::function<void(UnitSignal)> signal)
      : port_(job.job.port), poll_(job.poll), signal_(std::move(signal)) {
    std::string error;
    presence_ = WatchPortPresence(
        port_, [this](bool present) { signal_(present ? UnitSignal::Appeared : UnitSignal::Vanished); }, &error);
    if (!presence_) begin();
  }
  ~PortWatch() override {
    presence_.reset();
    end();
  }
  // Watching the port's folder never touches the port.
  void hold(bool /*held*/) override {}

 private:
  milliseconds look() override {
    const bool present = PortPresent(port_);
    if (!known_ || present != present_) signal_(present ? UnitSignal::Appeared : UnitSignal::Vanished);
    known_ = true;
    present_ = present;
    return poll_;
  }

  std::string port_;
  milliseconds poll_;
  std::function<void(UnitSignal)> signal_;
  std::unique_ptr<PortPresenceWatch> presence_;
  bool known_ = false;
  bool present_ = false;
};

// Answer: a short synchronisation now and then. It writes nothing, and its
// failure is no failure of a unit: it only says that no loader answered.
class AnswerWatch final : public LookingWatch {
 public:
  AnswerWatch(const UnitWatchJob& job, std::function<void(UnitSignal)> signal) : job_(job), signal_(std::move(signal)) {
    job_.job.trace.clear();
    job_.job.stop = stopFlag();
    begin();
  }
  ~AnswerWatch() override { end(); }

 private:
  milliseconds look() override {
    SessionObserver quiet;
    SessionPlatform platform;
    platform.opener = job_.opener;
    const RadioOutcome outcome = SyncRadio(job_.job, quiet, platform);
    if (!outcome.stopped) signal_(outcome.failure ? UnitSignal::Silent : UnitSignal::Answered);
    return job_.poll;
  }

  UnitWatchJob job_;
  std::function<void(UnitSignal)> signal_;
};

// Line: the port is held open for its modem lines while no write needs it.
class LineWatchOfPort final : public LookingWatch {
 public:
  LineWatchOfPort(const UnitWatchJob& job, std::function<void(UnitSignal)> signal)
      : job_(job), signal_(std::move(signal)) {
    if (job_.opener == nullptr) {
      system_ = MakeSystemPortOpener();
      job_.opener = system_.get();
    }
    begin();
  }
  ~LineWatchOfPort() override { end(); }

 private:
  // A switch's bounce is over long before this; a hold waits no longer.
  static constexpr milliseconds kLineWait{100};

  milliseconds look() override {
    if (!port_) {
      OpenResult opened = job_.opener->open(job_.job.port, job_.job.baud, PortTimeouts{});
      if (opened.status != OpenStatus::Ok) {
        seen(false);
        return job_.poll;
      }
      port_ = std::move(opened.port);
    }
    const std::optional<ModemLevels> levels = port_->modemLevels();
    if (!levels) {
      // Unplugged, or a port without lines: tried again at the next poll.
      port_.reset();
      seen(false);
      return job_.poll;
    }
    seen(Level(*levels));
    port_->waitForLineChange(kLineWait);
    return milliseconds::zero();
  }
  void letGoOfPort() override { port_.reset(); }

  bool Level(const ModemLevels& levels) const {
    switch (job_.line) {
      case StartLine::Dsr: return levels.dsr;
      case StartLine::Dcd: return levels.dcd;
      case StartLine::Cts: break;
    }
    return levels.cts;
  }
  void seen(bool up) {
    // A line found down at the start says nothing: no unit was there.
    if (known_ ? up != up_ : up) signal_(up ? UnitSignal::Rose : UnitSignal::Fell);
    known_ = true;
    up_ = up;
  }

  UnitWatchJob job_;
  std::function<void(UnitSignal)> signal_;
  std::unique_ptr<PortOpener> system_;
  std::unique_ptr<SerialPort> port_;
  bool known_ = false;
  bool up_ = false;
};

}  // namespace

std::unique_ptr<UnitWatch> WatchForUnit(const UnitWatchJob& job, std::function<void(UnitSignal)> signal) {
  switch (job.mode) {
    case StartMode::Insert: return std::make_unique<PortWatch>(job, std::move(signal));
    case StartMode::Answer: return std::make_unique<AnswerWatch>(job, std::move(signal));
    case StartMode::Line: return std::make_unique<LineWatchOfPort>(job, std::move(signal));
    case StartMode::Keys: break;
  }
  return nullptr;
}

WaitEnd WaitForUnit(const UnitWatchJob& job, std::optional<milliseconds> timeout, const std::atomic<bool>* stop) {
  // A stop is looked for this often: a signal handler cannot notify.
  constexpr milliseconds kStopLooks{100};
  if (job.mode == StartMode::Keys) return WaitEnd::Ready;
  std::mutex mutex;
  std::condition_variable changed;
  UnitStart state;
  std::unique_ptr<UnitWatch> watch = WatchForUnit(job, [&](UnitSignal signal) {
    const std::lock_guard lock(mutex);
    state = AfterSignal(job.mode, state, signal);
    changed.notify_all();
  });
  const auto deadline = std::chrono::steady_clock::now() + timeout.value_or(milliseconds::zero());
  WaitEnd end = WaitEnd::Ready;
  {
    std::unique_lock lock(mutex);
    while (!ReadyToStart(job.mode, state)) {
      if (stop != nullptr && stop->load()) {
        end = WaitEnd::Stopped;
        break;
      }
      if (timeout && std::chrono::steady_clock::now() >= deadline) {
        end = WaitEnd::TimedOut;
        break;
      }
      changed.wait_for(lock, kStopLooks);
    }
  }
  // Its port is closed before the write opens it.
  watch.reset();
  return end;
}

}  // namespace tarvel
