// One copy of the program per user: the first start holds a lock file and
// listens on a local socket; a later start finds the lock taken, tells the
// first copy through the socket to come to the front, and ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QWidget;

namespace tarvel {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // `name` names the lock file and the socket, e.g. "tarvel-alice".
  explicit SingleInstance(QString name, QObject* parent = nullptr);
  ~SingleInstance() override;

  // The name for an executable base name and a user.
  static QString NameFor(const QString& baseName, const QString& user);
  // The running executable's base name (without folder and extension) and
  // the user's login name (or the user id).
  static QString ExecutableBaseName();
  static QString UserName();

  enum class Start {
    First,  // this copy holds the lock and listens
    AlreadyRunning,
    LockUnusable,  // the lock file cannot be made: go on as the first copy
  };
  Start Acquire();

  // A later start: asks the running copy to come to the front. False when
  // it could not be reached (for example while it is still starting).
  bool NotifyRunningCopy();

 signals:
  // A later start asked this copy to show its window.
  void RaiseRequested();

 private:
  void OnNewConnection();

  QString m_strName;
  QLockFile m_lock;
  QLocalServer* m_pServer = nullptr;
};

// Brings the main window to the front, restored if minimised, and then the
// modal box it shows, if any (a message box or the about box).
void RaiseWindow(QWidget* mainWindow);

}  // namespace tarvel
