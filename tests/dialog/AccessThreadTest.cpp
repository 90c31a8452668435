// The access on its own thread: what the procedure shows reaches the window's
// thread in order, a message box holds the procedure until it is closed, and
// a window that goes away never leaves the access hanging.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dialog/AccessThread.h"

namespace tarvel {
namespace {

// The window: tasks queue up until the test's thread runs them; boxes stay
// open until the test closes them.
class QueueWindow final : public WindowThread, public SessionObserver {
 public:
  void post(std::function<void()> task) override {
    {
      const std::lock_guard lock(m_mutex);
      m_tasks.push_back(std::move(task));
    }
    m_posted.notify_all();
  }
  void openMessageBox(const std::string& text, MessageIcon, const std::string&,
                      std::function<void()> closed) override {
    log.push_back("box " + text);
    openBox = std::move(closed);
  }
  // Runs the window's tasks until `until` holds.
  void RunUntil(const std::function<bool()>& until) {
    while (!until()) {
      std::unique_lock lock(m_mutex);
      m_posted.wait_for(lock, std::chrono::milliseconds(10), [&] { return !m_tasks.empty(); });
      if (m_tasks.empty()) continue;
      std::function<void()> task = std::move(m_tasks.front());
      m_tasks.pop_front();
      lock.unlock();
      task();
    }
  }

  void statusChanged(AccessStatus status) override { log.push_back("status " + std::to_string(StatusCode(status))); }
  void progressed(const Progress& progress) override {
    log.push_back("progress " + std::to_string(static_cast<int>(progress.phase)) + " " + std::to_string(progress.block));
  }

  std::vector<std::string> log;  // the window's thread only
  std::function<void()> openBox;

 private:
  std::mutex m_mutex;
  std::condition_variable m_posted;
  std::deque<std::function<void()>> m_tasks;
};

TEST(AccessThread, HandsTheCallsOverInOrderAndWaitsForItsBoxes) {
  QueueWindow window;
  AccessThread thread(window);
  HandedObserver ui(thread, window);
  std::atomic<bool> pastTheBox{false};
  bool finished = false;
  ASSERT_TRUE(thread.start(
      [&] {
        ui.progressed({SessionPhase::Started});
        ui.statusChanged(AccessStatus::Accessing);
        ui.progressed({SessionPhase::Writing, 0, 3});
        ui.failed({FailureKind::LineLost, StringId::CommunicationError, {}, 0, {}});
        pastTheBox = true;
        ui.progressed({SessionPhase::Ended, 0, 3});
      },
      [&] {
        window.log.push_back("finished");
        finished = true;
      }));
  EXPECT_TRUE(thread.running());
  EXPECT_FALSE(thread.start([] {}, [] {})) << "a second access inside the first";

  window.RunUntil([&] { return static_cast<bool>(window.openBox); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(pastTheBox) << "the procedure went on while its box was up";
  window.openBox();
  window.RunUntil([&] { return finished; });

  EXPECT_TRUE(pastTheBox);
  EXPECT_FALSE(thread.running());
  EXPECT_EQ(window.log, (std::vector<std::string>{"progress 0 0", "status 1", "progress 3 0", "box Communication Error.",
                                                  "progress 6 0", "finished"}));
}

TEST(AccessThread, AWindowThatGoesAwayReleasesTheAccessFromItsBox) {
  QueueWindow window;
  std::atomic<bool> ended{false};
  {
    AccessThread thread(window);
    HandedObserver ui(thread, window);
    thread.start(
        [&] {
          ui.succeeded("report");
          ended = true;
        },
        [] {});
    window.RunUntil([&] { return static_cast<bool>(window.openBox); });
  }  // never closed: the thread's end lets the access go on and waits for it
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace tarvel
