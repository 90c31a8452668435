// The event stream's queue: a reader that stalls costs events, counted,
// never a radio's time; a reader that has gone ends the writing only.
#include "run/EventStream.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace tarvel {
namespace {

// A reader that takes nothing until it is let go.
class StalledReader {
 public:
  EventStream::LineWriter writer() {
    return [this](std::string_view line) {
      std::unique_lock lock(mutex_);
      ++arrived_;
      arrivedChanged_.notify_all();
      released_.wait(lock, [this] { return open_; });
      lines.emplace_back(line);
      return !gone;
    };
  }
  // Waits until the writer holds its first line.
  void waitForFirst() {
    std::unique_lock lock(mutex_);
    arrivedChanged_.wait(lock, [this] { return arrived_ > 0; });
  }
  void release() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    released_.notify_all();
  }

  std::vector<std::string> lines;
  bool gone = false;

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::condition_variable arrivedChanged_;
  int arrived_ = 0;
  bool open_ = false;
};

Json Numbered(int n) { return Json{{"n", n}}; }

TEST(EventStream, AFullQueueDropsAndCountsButKeepsWhatMustArrive) {
  StalledReader reader;
  EventStream stream(reader.writer(), 3);
  stream.post(Numbered(0));
  reader.waitForFirst();  // the writer holds 0; the queue is empty
  for (int n = 1; n <= 3; ++n) EXPECT_TRUE(stream.post(Numbered(n)));
  EXPECT_FALSE(stream.post(Numbered(4)));
  EXPECT_FALSE(stream.post(Numbered(5)));
  stream.postAlways(Numbered(6));  // beyond the bound: an end is never lost
  stream.postLine("{\"object\":1}");
  EXPECT_EQ(stream.dropped(), 2u);
  reader.release();
  stream.close();
  const std::vector<std::string> expected = {"{\"n\":0}\n", "{\"n\":1}\n", "{\"n\":2}\n", "{\"n\":3}\n",
                                             "{\"n\":6}\n", "{\"object\":1}\n"};
  EXPECT_EQ(reader.lines, expected);
  EXPECT_FALSE(stream.post(Numbered(7)));  // closed
}

TEST(EventStream, AReaderThatHasGoneIsWrittenNoMore) {
  StalledReader reader;
  reader.gone = true;
  reader.release();
  EventStream stream(reader.writer());
  for (int n = 0; n < 5; ++n) stream.postAlways(Numbered(n));
  stream.close();
  EXPECT_TRUE(stream.readerGone());
  EXPECT_EQ(reader.lines.size(), 1u);
}

// The calls a write with its read-back makes, as the procedures make
// them: one progress per block, each state once, the read-back's own
// wake-up inside "verifying", and the last block said at the write's end.
TEST(RadioEvents, AWriteAndItsReadBack) {
  std::vector<std::string> lines;
  std::mutex mutex;
  EventStream stream([&](std::string_view line) {
    const std::lock_guard lock(mutex);
    lines.emplace_back(line);
    return true;
  });
  RadioEvents events(stream, "/dev/ttyUSB0", "SN1");
  const auto p = [&](SessionPhase phase, int block, int blocks, int retries = 0) {
    events.progressed({phase, block, blocks, retries, 0});
  };
  p(SessionPhase::Started, 0, 0);
  p(SessionPhase::Waking, 0, 0);
  p(SessionPhase::Synchronised, 0, 0);
  p(SessionPhase::Writing, -1, 3);
  p(SessionPhase::Writing, 0, 3);
  p(SessionPhase::Writing, 1, 3);
  events.retriedBecause(1, 1, RetryReason{RetryCause::SumDiffers, 0, 0x1234, 0x1235, 0});
  p(SessionPhase::Writing, 2, 3, 1);
  p(SessionPhase::Ended, 3, 0, 1);
  p(SessionPhase::Verifying, 0, 0);
  p(SessionPhase::Waking, 0, 0);
  p(SessionPhase::Synchronised, 0, 0);
  for (int done = 1; done <= 3; ++done) p(SessionPhase::Verifying, done, 3);
  events.end(Json{{"blocks_done", 3}});
  stream.close();

  std::vector<std::string> said;
  for (const std::string& line : lines) {
    const Json event = Json::parse(line);
    EXPECT_EQ(event["port"], "/dev/ttyUSB0");
    EXPECT_EQ(event["serial"], "SN1");
    std::string word = event["event"];
    if (event.contains("state")) word += " " + event["state"].get<std::string>();
    if (word.starts_with("progress")) word += " " + std::to_string(event["block"].get<int>()) + "/" +
                                              std::to_string(event["of"].get<int>());
    if (word == "retry") word += " " + event["block"].get<std::string>() + " " + event["reason"].get<std::string>() +
                                 " " + event["loader_sum"].get<std::string>();
    said.push_back(word);
  }
  const std::vector<std::string> expected = {
      "state waking",       "state synchronised",   "state writing",        "progress writing 0/3",
      "progress writing 1/3", "retry 001 sum-differs 1234", "progress writing 2/3", "progress writing 3/3",
      "state verifying",    "progress verifying 1/3", "progress verifying 2/3", "progress verifying 3/3",
      "end"};
  EXPECT_EQ(said, expected);
}

}  // namespace
}  // namespace tarvel
