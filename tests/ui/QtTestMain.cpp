// GoogleTest with a QApplication, on the offscreen platform unless the
// environment names another, so that listing the tests needs no display.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

namespace {

// Qt's pool and file-watcher threads are detached: waiting for one returns
// before the thread has run its thread-local destructors, which free its
// thread data. The leak check runs as the process exits, and on a busy
// machine it could find that data held only by a thread still ending. So
// the test waits, within a bound, until this is the only thread left.
void AwaitOtherThreadsEnded() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::error_code error;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::filesystem::directory_iterator tasks("/proc/self/task", error);
    if (error || std::distance(tasks, std::filesystem::directory_iterator{}) <= 1) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  int result = 0;
  {
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  AwaitOtherThreadsEnded();
  return result;
}
