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

void HandedUi::lockForWrite() {
  m_thread.post([&ui = m_writeUi] { ui.lockForWrite(); });
}

void HandedUi::unlockAfterWrite() {
  m_thread.post([&ui = m_writeUi] { ui.unlockAfterWrite(); });
}

// Both interfaces have it; the window's WriteUi takes it for both.
void HandedUi::statusChanged(int status) {
  m_thread.post([&ui = m_writeUi, status] { ui.statusChanged(status); });
}

void HandedUi::setProgressRange(std::uint16_t highest) {
  m_thread.post([&ui = m_writeUi, highest] { ui.setProgressRange(highest); });
}

void HandedUi::setProgress(int position, const std::string& text) {
  m_thread.post([&ui = m_writeUi, position, text] { ui.setProgress(position, text); });
}

void HandedUi::bringToFront() {
  m_thread.post([&ui = m_writeUi] { ui.bringToFront(); });
}

void HandedUi::setReadProgress(unsigned position, std::uint16_t endBlock) {
  m_thread.post([&ui = m_readUi, position, endBlock] { ui.setReadProgress(position, endBlock); });
}

void HandedUi::showFolderPane() {
  m_thread.post([&ui = m_readUi] { ui.showFolderPane(); });
}

void HandedUi::blockRead(int blocksDone, std::uint16_t endBlock) {
  m_thread.post([&ui = m_readUi, blocksDone, endBlock] { ui.blockRead(blocksDone, endBlock); });
}

void HandedUi::showMessage(StringId id, MessageIcon icon, std::string_view detail) {
  m_thread.showAndWait(std::string(LoadString(id)), icon, std::string(detail));
}

void HandedUi::showReport(const std::string& text, MessageIcon icon) { m_thread.showAndWait(text, icon, {}); }

AccessContext::AccessContext(LoaderContext& window, HandedUi& ui)
    : m_window(window),
      m_opener(window.link.opener, m_watch),
      m_messages(ui, m_watch, ThisSystem()),
      m_ctx(m_opener, m_messages, window.clock, m_pump) {
  m_messages.attach(m_ctx);
  m_ctx.link.m_strCommName = window.link.m_strCommName;
  m_ctx.link.m_nBaudRate = window.link.m_nBaudRate;
  m_ctx.link.timeouts = window.link.timeouts;
  // A port that a line switch left open: the access's first open closes it.
  m_ctx.link.hComm = std::move(window.link.hComm);
  m_ctx.m_nType = window.m_nType;
  m_ctx.m_bRtsPulse = window.m_bRtsPulse;
  m_ctx.waitForInputBound = window.waitForInputBound;
}

void AccessContext::HandBack() {
  m_window.link.hComm = std::move(m_ctx.link.hComm);
  m_window.m_abPacket = m_ctx.m_abPacket;
  m_window.m_nRetry = m_ctx.m_nRetry;
  m_window.m_wCheckSum = m_ctx.m_wCheckSum;
  m_window.m_wReadSum = m_ctx.m_wReadSum;
}

namespace {

struct Conversation {
  Conversation(AccessThread& thread, WriteUi& writeUi, ReadUi& readUi, LoaderContext& window)
      : ui(thread, writeUi, readUi), context(window, ui) {}
  HandedUi ui;
  AccessContext context;
};

}  // namespace

bool StartAccess(AccessThread& thread, LoaderContext& window, WriteUi& writeUi, ReadUi& readUi,
                 std::function<void(LoaderContext&, HandedUi&)> access, std::function<void()> finished) {
  if (thread.running()) return false;
  // The window's thread owns the conversation; the access uses it only
  // until it returns, which is before `finished` can run.
  auto conversation = std::make_shared<Conversation>(thread, writeUi, readUi, window);
  Conversation* used = conversation.get();
  return thread.start([used, access = std::move(access)] { access(used->context.ctx(), used->ui); },
                      [conversation, finished = std::move(finished)] {
                        conversation->context.HandBack();
                        finished();
                      });
}

}  // namespace tarvel
