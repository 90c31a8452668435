// One copy per user: the lock, the local socket, and raising the window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDialog>
#include <QSignalSpy>

#include "app/SingleInstance.h"

namespace tarvel {
namespace {

// A name of this test process's own, so that a running tarvel is not disturbed.
QString TestName(const char* what) {
  return SingleInstance::NameFor(QStringLiteral("tarvel-test-%1").arg(::getpid()), QString::fromLatin1(what));
}

TEST(SingleInstance, ALaterStartFindsTheFirstAndAsksItToComeForward) {
  const QString name = TestName("raise");
  SingleInstance first(name);
  ASSERT_EQ(first.Acquire(), SingleInstance::Start::First);
  QSignalSpy raised(&first, &SingleInstance::RaiseRequested);

  SingleInstance later(name);
  EXPECT_EQ(later.Acquire(), SingleInstance::Start::AlreadyRunning);
  EXPECT_TRUE(later.NotifyRunningCopy());
  EXPECT_TRUE(raised.count() == 1 || raised.wait(10000));
}

TEST(SingleInstance, TheLockEndsWithTheFirstCopy) {
  const QString name = TestName("release");
  {
    SingleInstance first(name);
    ASSERT_EQ(first.Acquire(), SingleInstance::Start::First);
  }
  SingleInstance next(name);
  EXPECT_EQ(next.Acquire(), SingleInstance::Start::First);
}

TEST(SingleInstance, NobodyToNotifyEndsQuietly) {
  SingleInstance alone(TestName("alone"));
  EXPECT_FALSE(alone.NotifyRunningCopy());
}

TEST(SingleInstance, NamesCarryTheProgramAndTheUser) {
  EXPECT_EQ(SingleInstance::NameFor(QStringLiteral("tarvel"), QStringLiteral("ann")),
            QStringLiteral("tarvel-ann"));
  EXPECT_FALSE(SingleInstance::UserName().isEmpty());
  EXPECT_FALSE(SingleInstance::ExecutableBaseName().isEmpty());
}

TEST(SingleInstance, RaisingRestoresAMinimisedWindow) {
  QDialog window;
  window.showMinimized();
  ASSERT_TRUE(window.isMinimized());
  RaiseWindow(&window);
  EXPECT_FALSE(window.isMinimized());
  EXPECT_TRUE(window.isVisible());
  RaiseWindow(nullptr);
}

}  // namespace
}  // namespace tarvel
