// A write or a flash read run on a thread of its own, so that nothing the
// user does in the window, and no box the window shows, holds the
// conversation with the radio. What the procedure shows is handed back to
// the window's thread in the order it was shown: the lock, the lamp and the
// progress without waiting, a message box with waiting until the user has
// closed it, as the procedure goes on only then. No window system here: the
// window says how a task reaches its thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "base/MessageDisplay.h"
#include "loader/SessionObserver.h"

namespace tarvel {

// The window's side.
class WindowThread {
 public:
  virtual ~WindowThread() = default;
  // Runs `task` on the window's thread, after every task posted before it.
  // Called from the access's thread.
  virtual void post(std::function<void()> task) = 0;
  // Opens a message box without waiting for it; `closed` runs on the
  // window's thread once the user has closed it.
  virtual void openMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                              std::function<void()> closed) = 0;
};

class AccessThread {
 public:
  explicit AccessThread(WindowThread& window) : m_window(window) {}
  // Waits for a running access; a box it waits for counts as closed.
  ~AccessThread();
  AccessThread(const AccessThread&) = delete;
  AccessThread& operator=(const AccessThread&) = delete;

  // Window thread: runs `access` on the access thread; once it has
  // returned, `finished` runs on the window thread. False (nothing run)
  // while another access runs.
  bool start(std::function<void()> access, std::function<void()> finished);
  // Window thread: an access started and not yet finished.
  bool running() const { return m_bRunning; }

  // Access thread: `task` on the window's thread, without waiting.
  void post(std::function<void()> task) { m_window.post(std::move(task)); }
  // Access thread: a message box, waiting until it has been closed.
  void showAndWait(const std::string& text, MessageIcon icon, const std::string& detail);

 private:
  WindowThread& m_window;
  std::thread m_thread;
  bool m_bRunning = false;  // window thread only

  std::mutex m_mutex;
  std::condition_variable m_boxClosed;
  std::uint64_t m_nBoxesOpened = 0;  // guarded by m_mutex
  std::uint64_t m_nBoxesClosed = 0;
  bool m_bEnding = false;
};

// A session's events, from the access thread, handed to the window's own
// observer on the window's thread: the status and the progress without
// waiting, a failure's box and the success report with waiting until the
// user has closed them.
class HandedObserver final : public SessionObserver {
 public:
  HandedObserver(AccessThread& thread, SessionObserver& window) : m_thread(thread), m_window(window) {}

  void statusChanged(AccessStatus status) override;
  void progressed(const Progress& progress) override;
  void failed(const Failure& failure) override;
  void succeeded(const std::string& report) override;

 private:
  AccessThread& m_thread;
  SessionObserver& m_window;
};

// The box text and detail of a failure: the system's detail, then the
// diagnosis's line.
std::string FailureBoxDetail(const Failure& failure);

// Runs `access` on `thread` with its events handed to `window` on the
// window's thread; once it is over, `finished` runs on the window's
// thread. False (nothing run) while another access runs.
bool StartAccess(AccessThread& thread, SessionObserver& window, std::function<void(SessionObserver&)> access,
                 std::function<void()> finished);

}  // namespace tarvel
