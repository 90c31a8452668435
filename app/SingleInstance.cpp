#include "app/SingleInstance.h"

#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

namespace tarvel {

namespace {

// How long a later start tries to reach the first copy before it gives up
// and ends quietly.
constexpr int kNotifyTimeoutMs = 2000;

QString LockPathFor(const QString& name) {
  return QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral(".lock");
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_strName(std::move(name)), m_lock(LockPathFor(m_strName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::NameFor(const QString& baseName, const QString& user) {
  return baseName + QLatin1Char('-') + user;
}

QString SingleInstance::ExecutableBaseName() {
  const QString base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  return base.isEmpty() ? QStringLiteral("tarvel") : base;
}

QString SingleInstance::UserName() {
  const uid_t uid = ::getuid();
  if (const passwd* entry = ::getpwuid(uid); entry != nullptr && entry->pw_name != nullptr) {
    return QString::fromLocal8Bit(entry->pw_name);
  }
  return QString::number(uid);
}

SingleInstance::Start SingleInstance::Acquire() {
  if (!m_lock.tryLock(0)) {
    return m_lock.error() == QLockFile::LockFailedError ? Start::AlreadyRunning : Start::LockUnusable;
  }
  m_pServer = new QLocalServer(this);
  m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
  // Holding the lock, any socket of this name was left by a copy that died.
  QLocalServer::removeServer(m_strName);
  if (m_pServer->listen(m_strName)) {
    connect(m_pServer, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
  }
  return Start::First;
}

bool SingleInstance::NotifyRunningCopy() {
  QLocalSocket socket;
  socket.connectToServer(m_strName);
  if (!socket.waitForConnected(kNotifyTimeoutMs)) return false;
  socket.write("raise\n");
  const bool sent = socket.waitForBytesWritten(kNotifyTimeoutMs);
  socket.disconnectFromServer();
  return sent;
}

void SingleInstance::OnNewConnection() {
  while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
    socket->close();
    socket->deleteLater();
    emit RaiseRequested();
  }
}

void RaiseWindow(QWidget* mainWindow) {
  if (mainWindow == nullptr) return;
  if (mainWindow->isMinimized()) mainWindow->showNormal();
  mainWindow->raise();
  mainWindow->activateWindow();
  QWidget* popup = QApplication::activeModalWidget();
  if (popup != nullptr && popup != mainWindow) {
    popup->raise();
    popup->activateWindow();
  }
}

}  // namespace tarvel
