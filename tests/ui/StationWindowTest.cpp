// The station window driven by the keyboard alone, as an operator with a
// barcode scanner does, against four simulated radios.
#include <filesystem>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "sim/SimRadio.h"
#include "station/StationFile.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"
#include "ui/StationWindow.h"

namespace tarvel {
namespace {

TEST(StationWindow, SerialsTypedWithEnterStartTheRoundAndClearAfterIt) {
  test::TempDir dir;
  std::vector<std::unique_ptr<sim::Radio>> radios;
  std::string beds;
  for (int i = 0; i < 4; ++i) {
    sim::Options options;
    options.linkPath = (dir.path() / ("r" + std::to_string(i))).string();
    std::string error;
    radios.push_back(sim::Radio::Start(options, &error));
    ASSERT_TRUE(radios.back()) << error;
    beds += "Bed " + std::to_string(i + 1) + "=" + options.linkPath + "\n";
  }
  dir.write("fw.sfl", test::ConventionalSfl(0, 8));
  const std::string path = dir.write("bench.ini", "[Station]\nFirmware=fw.sfl\nBaud=115200\n[Beds]\n" + beds);
  StationConfig config;
  CheckedSflFile file;
  TransferFacts facts;
  ASSERT_FALSE(ReadStationFile(path, config, file, facts));

  CStationWindow window(config, file, facts);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::focusWidget(), window.SerialField(0));
  for (int i = 0; i < 4; ++i) {
    QWidget* focused = QApplication::focusWidget();
    ASSERT_EQ(focused, window.SerialField(i));
    QTest::keyClicks(focused, QString("SN-%1").arg(i + 1));
    QTest::keyClick(focused, Qt::Key_Return);
  }
  EXPECT_TRUE(window.station().running());
  EXPECT_EQ(window.Lamp(0)->text(), "running");
  QTRY_VERIFY_WITH_TIMEOUT(!window.station().running(), 60000);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(window.Lamp(i)->text(), "passed");
    EXPECT_EQ(window.station().bed(i).last.serial, "SN-" + std::to_string(i + 1));
    EXPECT_TRUE(window.SerialField(i)->text().isEmpty());
  }
  EXPECT_EQ(QApplication::focusWidget(), window.SerialField(0));
  EXPECT_TRUE(window.Counters()->text().startsWith("This session: 4 passed, 0 failed, 4 in all, yield 100.0 %"))
      << window.Counters()->text().toStdString();
}

// Beds that start when their port appears: the panels say what they wait
// for, and F8 holds every start until it is pressed again.
TEST(StationWindow, InsertModeBedsWaitSayWhatForAndF8PausesThem) {
  test::TempDir dir;
  std::vector<std::unique_ptr<sim::Radio>> radios;
  std::string beds;
  std::vector<std::string> ports;
  for (int i = 0; i < 2; ++i) {
    sim::Options options;
    options.linkPath.clear();
    std::string error;
    radios.push_back(sim::Radio::Start(options, &error));
    ASSERT_TRUE(radios.back()) << error;
    ports.push_back((dir.path() / ("port" + std::to_string(i))).string());
    beds += "Bed " + std::to_string(i + 1) + "=" + ports.back() + "\n";
  }
  dir.write("fw.sfl", test::ConventionalSfl(0, 8));
  const std::string path = dir.write("bench.ini", "[Station]\nFirmware=fw.sfl\nStart=insert\n[Beds]\n" + beds);
  StationConfig config;
  CheckedSflFile file;
  TransferFacts facts;
  ASSERT_FALSE(ReadStationFile(path, config, file, facts));

  CStationWindow window(config, file, facts);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTRY_COMPARE_WITH_TIMEOUT(window.StateLine(0)->text(), QString("waiting for a radio"), 30000);
  EXPECT_EQ(window.ModeLabel(1)->text(), "start: insert");
  EXPECT_TRUE(window.StateLine(1)->isVisible());

  QTest::keyClick(&window, Qt::Key_F8);
  EXPECT_TRUE(window.station().paused());
  EXPECT_EQ(window.PauseButton()->text(), "Resume (F8)");
  EXPECT_TRUE(window.Counters()->text().contains("Paused: no bed starts until F8 resumes."));
  for (int i = 0; i < 2; ++i) std::filesystem::create_symlink(radios[i]->devicePath(), ports[i]);
  QTRY_COMPARE_WITH_TIMEOUT(window.StateLine(1)->text(), QString("paused"), 30000);
  EXPECT_FALSE(window.station().running());

  QTest::keyClick(&window, Qt::Key_F8);
  EXPECT_FALSE(window.station().paused());
  QTRY_VERIFY_WITH_TIMEOUT(window.station().session().passed == 2 && !window.station().running(), 60000);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(window.Lamp(i)->text(), "passed");
    EXPECT_EQ(window.StateLine(i)->text(), "remove the radio");
  }
}

}  // namespace
}  // namespace tarvel
