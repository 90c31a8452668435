// A run's events as JSON Lines, for a program that watches radios live (a
// test framework, an MES, a dashboard): hello, then per radio begin,
// state, progress, retry and end. The layout is versioned by kEventSchema;
// within one schema number fields are only ever added.
//
// A radio never waits for the reader: events are queued and written by a
// thread of the stream's own. When the queue is full, the event is
// dropped and counted; the radio's end says how many it lost. The few
// events a reader cannot do without (hello, begin, end, the run's JSON
// object) are never dropped: they wait for room beyond the bound.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "loader/SessionObserver.h"
#include "run/RunResult.h"

namespace tarvel {

inline constexpr int kEventSchema = 1;
// Events that may wait for the writer: a whole 1,024-block write of
// one radio's progress, many times over for a line of radios.
inline constexpr std::size_t kEventQueueCapacity = 8192;

class EventStream {
 public:
  // Gets each line with its line feed, on the stream's thread; false when
  // the reader has gone (a closed pipe): nothing more is written.
  using LineWriter = std::function<bool(std::string_view line)>;

  explicit EventStream(LineWriter write, std::size_t capacity = kEventQueueCapacity);
  // Writes what is queued, then ends the thread.
  ~EventStream();
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // "-": stdout; else the file, appended to (a FIFO waits for its reader).
  // Null, with the system's reason, when it cannot be opened.
  static std::unique_ptr<EventStream> Open(const std::string& target, std::string& reason);

  // Queues an event; false when the queue was full and it was dropped.
  bool post(Json event);
  // Queues an event that is never dropped.
  void postAlways(Json event);
  // Queues a line as it stands (the run's --json object on a shared stdout).
  void postLine(std::string line);

  // Waits until everything queued is written (or the reader has gone),
  // then ends the thread. Posting afterwards drops.
  void close();

  std::uint64_t dropped() const { return dropped_.load(); }
  // The reader went away: the lines after that were not written.
  bool readerGone() const { return gone_.load(); }

 private:
  struct Item {
    Json event;
    std::string line;  // when not empty: written as it stands
  };
  void run();
  bool queue(Item item, bool always);

  LineWriter write_;
  std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Item> items_;
  bool closing_ = false;
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<bool> gone_{false};
  std::thread thread_;
};

// The fields every event has: its name, the schema, the time, and the
// radio's port and serial number where there is a radio.
Json EventHead(std::string_view name, const std::string& port = {}, const std::string& serial = {});

// {"event":"hello",...,"tool":{...},"command":...}.
Json HelloEvent(const std::string& tool, const std::string& command, const std::string& port = {});

// One radio's events: begin from the run's facts, the session's state,
// progress and retries as they come, and end with the run's object. Its
// calls as an observer come on the radio's thread; nothing waits for the
// stream.
class RadioEvents final : public SessionObserver {
 public:
  RadioEvents(EventStream& stream, std::string port, std::string serial)
      : stream_(stream), port_(std::move(port)), serial_(std::move(serial)) {}

  // `job`: "write", "read", "sync" or "diagnosis"; the file, its digest
  // and the blocks where the job has them.
  void begin(const std::string& job, const RadioFacts& radio, const TransferFacts* transfer);
  // The object --json prints for this radio; the events this radio lost
  // are counted in it.
  void end(const Json& object);

  void progressed(const Progress& progress) override;
  void retriedBecause(int block, int attempt, const RetryReason& reason) override;

  std::uint64_t dropped() const { return dropped_.load(); }

 private:
  void post(Json event);
  void state(const char* name);
  void progress(std::string_view stateName, int done, int of, int retries, std::uint32_t elapsedMs);

  EventStream& stream_;
  std::string port_;
  std::string serial_;
  std::atomic<std::uint64_t> dropped_{0};
  // Each state is said once, in the order first reached: a read-back's own
  // wake-up belongs to "verifying".
  unsigned statesSaid_ = 0;
  std::string_view current_;  // the state whose blocks progress counts (a literal)
  int lastDone_ = -1;              // the blocks done that were last said
  int of_ = 0;
  int retries_ = 0;
  std::uint32_t elapsedMs_ = 0;
};

// Hands every call to two observers: the front end's and the events.
class BothObservers final : public SessionObserver {
 public:
  BothObservers(SessionObserver& first, SessionObserver& second) : first_(first), second_(second) {}
  void statusChanged(AccessStatus status) override;
  void progressed(const Progress& progress) override;
  void retried(int block, int retries) override;
  void retriedBecause(int block, int attempt, const RetryReason& reason) override;
  void synchronised(const SyncAnswer& answer) override;
  void failed(const Failure& failure) override;
  void succeeded(const std::string& report) override;

 private:
  SessionObserver& first_;
  SessionObserver& second_;
};

}  // namespace tarvel
