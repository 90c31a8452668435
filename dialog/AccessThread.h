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

#include "diagnosis/DiagnosingMessages.h"
#include "diagnosis/LineWatch.h"
#include "firmware/FlashRead.h"
#include "firmware/WriteProcedure.h"
#include "loader/LoaderContext.h"

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

// The procedure's view of the window, from the access thread: every call
// handed to the window's own WriteUi, ReadUi and message boxes.
class HandedUi final : public WriteUi, public ReadUi, public MessageDisplay {
 public:
  HandedUi(AccessThread& thread, WriteUi& writeUi, ReadUi& readUi)
      : m_thread(thread), m_writeUi(writeUi), m_readUi(readUi) {}

  void lockForWrite() override;
  void unlockAfterWrite() override;
  void statusChanged(int status) override;
  void setProgressRange(std::uint16_t highest) override;
  void setProgress(int position, const std::string& text) override;
  void bringToFront() override;
  void setReadProgress(unsigned position, std::uint16_t endBlock) override;
  void showFolderPane() override;
  void blockRead(int blocksDone, std::uint16_t endBlock) override;
  void showMessage(StringId id, MessageIcon icon, std::string_view detail = {}) override;
  void showReport(const std::string& text, MessageIcon icon) override;

 private:
  AccessThread& m_thread;
  WriteUi& m_writeUi;
  ReadUi& m_readUi;
};

// The conversation of one access: the window's port choice and open port
// handed over to it, and its sums handed back when it is over. Its messages
// and waits are the access thread's; the window's own context is not
// touched while the access runs.
class AccessContext {
 public:
  AccessContext(LoaderContext& window, HandedUi& ui);
  // The port (closed by then) and the sums go back to the window's context.
  void HandBack();
  LoaderContext& ctx() { return m_ctx; }

 private:
  LoaderContext& m_window;
  // What the line did, so that a failure to open or to synchronise shows
  // its cause under the box's text.
  LineWatch m_watch;
  WatchingOpener m_opener;
  DiagnosingMessages m_messages;
  NoUiPump m_pump;  // the window runs on its own thread
  LoaderContext m_ctx;
};

// Runs `access` on `thread` with a conversation of its own (the window's
// port choice and open port handed over; its lock, lamp, progress and boxes
// handed back to `writeUi` and `readUi` on the window's thread). Once it is
// over, the port and the sums go back to `window`, then `finished` runs on
// the window's thread. False (nothing run) while another access runs.
bool StartAccess(AccessThread& thread, LoaderContext& window, WriteUi& writeUi, ReadUi& readUi,
                 std::function<void(LoaderContext&, HandedUi&)> access, std::function<void()> finished);

}  // namespace tarvel
