// Forwards a record file's lines to the factory's database, in order and
// exactly once. The record file is always the first write; the database is
// fed from it. How far the sending got is kept beside it in NAME.sent
// (replaced atomically), so a restart resumes where it stopped; a line the
// database refuses for good goes, with the reason, to NAME.refused and the
// lines after it still go. Each insert is idempotent (the line's
// record_id), so a line sent twice, after a crash between the insert and
// the progress file, is stored once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "records/Database.h"

namespace tarvel {

std::string SentPath(const std::string& record);
std::string RefusedPath(const std::string& record);

struct SendReport {
  int stored = 0;            // lines the database took in this pass (new, or already there)
  int setAside = 0;          // lines it refused for good, now in NAME.refused
  std::string setAsideReason;  // the first such line's reason
  std::size_t waiting = 0;   // complete lines still to send
  std::uint64_t sentUpTo = 0;  // the file's bytes that are sent or set aside
  bool complete = false;     // nothing waits
  std::string reason;        // why lines wait
  bool connectionLost = false;
};

// One pass over `record`: the complete lines after its progress mark are
// sent in order until one fails for a reason that a later try may not
// have. A line still being written (no line end yet) waits for the next
// pass. Only one pass per record file runs at a time, across processes.
SendReport SendPending(DatabaseConnection& db, const std::string& record,
                       const std::atomic<bool>* stop = nullptr);

// The complete lines of `record` that wait for the database.
std::size_t CountWaiting(const std::string& record);

// A line's record_id, or, for a line written before lines had one, an id
// made from its bytes, the same every time.
std::string RecordIdOf(const std::string& line, const std::string& given);

// A thread that keeps a record file's database up to date: nudged after
// each line, it sends what waits; while the database is unreachable it
// tries again every few seconds, so the queue drains by itself once it is
// back. Nothing that nudges it ever waits on the network.
class RecordSender {
 public:
  struct Status {
    std::size_t waiting = 0;
    std::string reason;  // why lines wait (the last failure), or empty
    bool failing = false;
    std::uint64_t sentUpTo = 0;
    int setAside = 0;
    std::string setAsideReason;
    int passes = 0;
  };

  // `changed` is called on the sender's thread after every pass.
  RecordSender(std::string record, std::string connection, std::function<void()> changed = {},
               std::chrono::milliseconds retry = std::chrono::seconds(5));
  ~RecordSender();
  RecordSender(const RecordSender&) = delete;
  RecordSender& operator=(const RecordSender&) = delete;

  void nudge();
  // Waits at most `limit` until the file's bytes up to `offset` are sent;
  // false at once while the database is known to fail, or when the time
  // runs out.
  bool waitSent(std::uint64_t offset, std::chrono::milliseconds limit);
  Status status() const;

 private:
  void loop();
  bool pass();

  const std::string record_;
  const std::string connection_;
  const std::function<void()> changed_;
  const std::chrono::milliseconds retry_;
  std::unique_ptr<DatabaseConnection> db_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  bool nudged_ = true;
  bool stop_ = false;
  std::atomic<bool> stopping_{false};
  Status status_;
  std::thread thread_;
};

}  // namespace tarvel
