// The station window driven by the keyboard alone, as an operator with a
// barcode scanner does, against four simulated radios.
#include <QLabel>
#include <QLineEdit>
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

}  // namespace
}  // namespace tarvel
