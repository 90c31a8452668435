// The watches that start a bed by themselves: the port's folder watched
// through inotify with links that the test makes and removes, a fixture's
// modem line through a fake port, and the loader's answer from a simulated
// radio that comes and goes.
#include "run/UnitWatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "serial/PortPresence.h"
#include "sim/SimRadio.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Long enough for a loaded machine; only a broken watch waits this long.
constexpr auto kPatience = 30s;

// What a watch said, in order, taken one at a time by the test.
template <typename T>
class Heard {
 public:
  void operator()(T value) {
    const std::lock_guard lock(mutex_);
    values_.push_back(value);
    arrived_.notify_all();
  }
  std::optional<T> next() {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, kPatience, [this] { return !values_.empty(); })) return std::nullopt;
    const T value = values_.front();
    values_.pop_front();
    return value;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<T> values_;
};

TEST(PortPresence, ALinkMadeAndRemovedInTheWatchedFolder) {
  test::TempDir dir;
  // As /dev/serial/by-id, the folder is made with the first adapter and
  // removed with the last.
  const fs::path folder = dir.path() / "by-id";
  const std::string port = (folder / "usb-radio-if00").string();
  Heard<bool> heard;
  std::string error;
  auto watch = WatchPortPresence(port, [&](bool present) { heard(present); }, &error);
  ASSERT_TRUE(watch) << error;
  EXPECT_EQ(heard.next(), false);

  fs::create_directory(folder);
  fs::create_symlink("/dev/null", port);
  EXPECT_EQ(heard.next(), true);
  fs::remove(port);
  EXPECT_EQ(heard.next(), false);
  // A link that leads nowhere is no port; the next change is the real one.
  fs::create_symlink(dir.path() / "nothing", port);
  fs::remove(port);
  fs::create_symlink("/dev/null", port);
  EXPECT_EQ(heard.next(), true);
  // The folder goes with the last adapter and comes again with the next.
  fs::remove(port);
  fs::remove(folder);
  EXPECT_EQ(heard.next(), false);
  fs::create_directory(folder);
  fs::create_symlink("/dev/null", port);
  EXPECT_EQ(heard.next(), true);
}

TEST(PortPresence, APortThereAtTheStartIsSaidAtOnce) {
  test::TempDir dir;
  const std::string port = (dir.path() / "ttyRADIO").string();
  fs::create_symlink("/dev/null", port);
  EXPECT_TRUE(PortPresent(port));
  EXPECT_FALSE(PortPresent(dir.write("plain", "not a device")));
  Heard<bool> heard;
  auto watch = WatchPortPresence(port, [&](bool present) { heard(present); }, nullptr);
  ASSERT_TRUE(watch);
  EXPECT_EQ(heard.next(), true);
}

// A port whose modem lines the test sets; it counts the ports open.
struct FakeLines {
  std::mutex mutex;
  ModemLevels levels;
  bool hasLines = true;
  int refusals = 0;  // opens refused before the first that succeeds
  int open = 0;

  void set(const ModemLevels& now) {
    const std::lock_guard lock(mutex);
    levels = now;
  }
};

class FakeLinePort final : public SerialPort {
 public:
  explicit FakeLinePort(FakeLines& lines) : lines_(lines) {}
  ~FakeLinePort() override {
    const std::lock_guard lock(lines_.mutex);
    --lines_.open;
  }
  IoResult write(std::span<const std::uint8_t> bytes) override { return {bytes.size(), PortStatus::Ok, 0}; }
  IoResult read(std::span<std::uint8_t>) override { return {0, PortStatus::TimedOut, 0}; }
  std::size_t bytesWaiting() override { return 0; }
  bool waitForInput(std::chrono::milliseconds) override { return false; }
  void setLine(ControlLine, bool) override {}
  bool hasModemLines() const override { return true; }
  std::optional<ModemLevels> modemLevels() override {
    const std::lock_guard lock(lines_.mutex);
    if (!lines_.hasLines) return std::nullopt;
    return lines_.levels;
  }
  void waitForLineChange(std::chrono::milliseconds) override { std::this_thread::sleep_for(1ms); }

 private:
  FakeLines& lines_;
};

class FakeLineOpener final : public PortOpener {
 public:
  explicit FakeLineOpener(FakeLines& lines) : lines_(lines) {}
  OpenResult open(const std::string&, unsigned, const PortTimeouts&) override {
    const std::lock_guard lock(lines_.mutex);
    OpenResult result;
    if (lines_.refusals > 0) {
      --lines_.refusals;
      result.status = OpenStatus::CannotOpen;
      return result;
    }
    ++lines_.open;
    result.port = std::make_unique<FakeLinePort>(lines_);
    return result;
  }

 private:
  FakeLines& lines_;
};

TEST(UnitWatch, LineModeFollowsItsLineAndLetsGoOfThePortWhenHeld) {
  FakeLines lines;
  lines.refusals = 2;  // the adapter is not there yet
  FakeLineOpener opener(lines);
  UnitWatchJob job;
  job.mode = StartMode::Line;
  job.line = StartLine::Dsr;
  job.poll = 10ms;
  job.opener = &opener;
  job.job.port = "fixture";
  Heard<UnitSignal> heard;
  auto watch = WatchForUnit(job, [&](UnitSignal signal) { heard(signal); });
  ASSERT_TRUE(watch);

  // Other lines move: nothing is said until DSR rises.
  lines.set({true, false, true});
  lines.set({true, true, true});
  EXPECT_EQ(heard.next(), UnitSignal::Rose);
  lines.set({false, false, false});
  EXPECT_EQ(heard.next(), UnitSignal::Fell);
  lines.set({false, true, false});
  EXPECT_EQ(heard.next(), UnitSignal::Rose);

  // A write needs the port: held, the watch has it open no more.
  watch->hold(true);
  {
    const std::lock_guard lock(lines.mutex);
    EXPECT_EQ(lines.open, 0);
  }
  // The switch opened during the write: said once the watch looks again.
  lines.set({false, false, false});
  watch->hold(false);
  EXPECT_EQ(heard.next(), UnitSignal::Fell);

  // An adapter without lines: taken for a line that is down.
  lines.set({false, true, false});
  EXPECT_EQ(heard.next(), UnitSignal::Rose);
  {
    const std::lock_guard lock(lines.mutex);
    lines.hasLines = false;
  }
  EXPECT_EQ(heard.next(), UnitSignal::Fell);
  watch.reset();
  EXPECT_EQ(lines.open, 0);
}

TEST(UnitWatch, LineModeStartsAUnitWhoseSwitchIsClosedAtTheStart) {
  FakeLines lines;
  lines.levels = {true, false, false};
  FakeLineOpener opener(lines);
  UnitWatchJob job;
  job.mode = StartMode::Line;
  job.opener = &opener;
  job.poll = 10ms;
  EXPECT_EQ(WaitForUnit(job, kPatience, nullptr), WaitEnd::Ready);
  EXPECT_EQ(lines.open, 0);
  // DSR is not the line asked for.
  lines.levels = {false, true, true};
  EXPECT_EQ(WaitForUnit(job, 50ms, nullptr), WaitEnd::TimedOut);
  std::atomic<bool> stop{true};
  EXPECT_EQ(WaitForUnit(job, std::nullopt, &stop), WaitEnd::Stopped);
}

TEST(UnitWatch, AnswerModePollsQuietlyUntilTheLoaderAnswers) {
  test::TempDir dir;
  const std::string link = (dir.path() / "radio").string();
  UnitWatchJob job;
  job.mode = StartMode::Answer;
  job.poll = 20ms;
  job.job.port = link;
  Heard<UnitSignal> heard;
  auto watch = WatchForUnit(job, [&](UnitSignal signal) { heard(signal); });
  // No port yet: each poll is silent.
  EXPECT_EQ(heard.next(), UnitSignal::Silent);
  sim::Options options;
  options.linkPath = link;
  std::string error;
  auto radio = sim::Radio::Start(options, &error);
  ASSERT_TRUE(radio) << error;
  std::optional<UnitSignal> signal;
  do {
    signal = heard.next();
  } while (signal == UnitSignal::Silent);
  EXPECT_EQ(signal, UnitSignal::Answered);
  watch.reset();
  // Polls wrote nothing.
  EXPECT_EQ(radio->stats().writePackets, 0);
  EXPECT_GT(radio->stats().syncBytes, 0);
}

TEST(UnitWatch, WaitingForAPortThatAppears) {
  test::TempDir dir;
  UnitWatchJob job;
  job.mode = StartMode::Insert;
  job.job.port = (dir.path() / "ttyRADIO").string();
  EXPECT_EQ(WaitForUnit(job, 50ms, nullptr), WaitEnd::TimedOut);
  std::thread plug([&] { fs::create_symlink("/dev/null", job.job.port); });
  EXPECT_EQ(WaitForUnit(job, kPatience, nullptr), WaitEnd::Ready);
  plug.join();
}

}  // namespace
}  // namespace tarvel
