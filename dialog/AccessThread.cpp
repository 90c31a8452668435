#include "dialog/AccessThread.h"

#include <memory>
#include <utility>

namespace tarvel {

AccessThread::~AccessThread() {
  {
    // A box the access still waits for counts as closed: the window is going.
    const std::lock_guard lock(m_mutex);
    m_bEnding = true;
  }
  m_boxClosed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

bool AccessThread::start(std::function<void()> access, std::function<void()> finished) {
  if (m_bRunning) return false;
  if (m_thread.joinable()) m_thread.join();
  m_bRunning = true;
  m_thread = std::thread([this, access = std::move(access), finished = std::move(finished)]() mutable {
    access();
    // The last task of the access: by the time it runs, the thread is done
    // but for its return.
    m_window.post([this, finished = std::move(finished)] {
      if (m_thread.joinable()) m_thread.join();
      m_bRunning = false;
      finished();
    });
  });
  return true;
}

void AccessThread::showAndWait(const std::string& text, MessageIcon icon, const std::string& detail) {
  std::uint64_t box = 0;
  {
    const std::lock_guard lock(m_mutex);
    if (m_bEnding) return;
    box = ++m_nBoxesOpened;
  }
  m_window.post([this, text, icon, detail] {
    m_window.openMessageBox(text, icon, detail, [this] {
      {
        const std::lock_guard lock(m_mutex);
        ++m_nBoxesClosed;
      }
      m_boxClosed.notify_all();
    });
  });
  std::unique_lock lock(m_mutex);
  m_boxClosed.wait(lock, [&] { return m_bEnding || m_nBoxesClosed >= box; });
}

void HandedObserver::statusChanged(AccessStatus status) {
  m_thread.post([&window = m_window, status] { window.statusChanged(status); });
}

void HandedObserver::progressed(const Progress& progress) {
  m_thread.post([&window = m_window, progress] { window.progressed(progress); });
}

void HandedObserver::failed(const Failure& failure) {
  m_thread.showAndWait(std::string(LoadString(failure.message)), MessageIcon::Stop, FailureBoxDetail(failure));
}

void HandedObserver::succeeded(const std::string& report) {
  m_thread.showAndWait(report, MessageIcon::Information, {});
}

std::string FailureBoxDetail(const Failure& failure) {
  if (failure.finding.empty()) return failure.detail;
  return failure.detail.empty() ? failure.finding : failure.detail + "\n" + failure.finding;
}

bool StartAccess(AccessThread& thread, SessionObserver& window, std::function<void(SessionObserver&)> access,
                 std::function<void()> finished) {
  if (thread.running()) return false;
  // The window's thread owns the observer; the access uses it only until
  // it returns, which is before `finished` can run.
  auto observer = std::make_shared<HandedObserver>(thread, window);
  HandedObserver* used = observer.get();
  return thread.start([used, access = std::move(access)] { access(*used); },
                      [observer, finished = std::move(finished)] { finished(); });
}

}  // namespace tarvel
