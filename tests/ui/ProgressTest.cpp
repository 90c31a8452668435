// The write progress bar's two-colour paint and the status bar's progress
// pane, looked at through their pixels.
#include <gtest/gtest.h>

#include <QImage>
#include <QProgressBar>

#include "dialog/DialogLogic.h"
#include "dialog/Globals.h"
#include "ui/ProgStatusBar.h"
#include "ui/ProgTextCtrl.h"

namespace tarvel {
namespace {

const QColor kBar(0, 0, 200);
const QColor kTextOverBar(255, 255, 255);
const QColor kRest(200, 200, 200);
const QColor kTextOverRest(0, 0, 0);

class ProgTextCtrlTest : public ::testing::Test {
 protected:
  ProgTextCtrlTest() {
    QPalette colours = bar.palette();
    colours.setColor(QPalette::Highlight, kBar);
    colours.setColor(QPalette::HighlightedText, kTextOverBar);
    colours.setColor(QPalette::Button, kRest);
    colours.setColor(QPalette::WindowText, kTextOverRest);
    bar.setPalette(colours);
    QFont font = bar.font();
    font.setPixelSize(22);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);  // pure text colours
    bar.setFont(font);
    bar.resize(246, 46);
    g_bDarkScheme = false;
  }
  ~ProgTextCtrlTest() override { g_bDarkScheme = false; }

  // Pixels of one colour in the columns [from, to) of the client area.
  int count(const QImage& image, int from, int to, const QColor& colour) const {
    const QRect client = bar.ClientRect();
    int n = 0;
    for (int x = client.left() + from; x < client.left() + to; ++x) {
      for (int y = client.top(); y <= client.bottom(); ++y) n += image.pixelColor(x, y) == colour;
    }
    return n;
  }
  QColor at(const QImage& image, int x) const {
    const QRect client = bar.ClientRect();
    return image.pixelColor(client.left() + x, client.top() + 2);
  }

  CProgTextCtrl bar;
};

TEST_F(ProgTextCtrlTest, AnEmptyRangePaintsNoFill) {
  bar.SetRange(0, 0);
  bar.SetPos(0);
  bar.SetWindowText(QStringLiteral("000"));
  const QImage image = bar.grab().toImage();
  const int width = bar.ClientRect().width();
  EXPECT_EQ(count(image, 0, width, kBar), 0);
  EXPECT_EQ(count(image, 0, width, kTextOverBar), 0);
  EXPECT_GT(count(image, 0, width, kTextOverRest), 0);
  EXPECT_EQ(at(image, 1), kRest);
}

TEST_F(ProgTextCtrlTest, TheTextChangesColourWhereTheFillEnds) {
  bar.SetRange(0, 100);
  bar.SetPos(50);
  bar.SetWindowText(QStringLiteral("MMMMMMMMMM"));
  const QImage image = bar.grab().toImage();
  const int width = bar.ClientRect().width();
  const int filled = FilledWidth(0, 100, 50, width - 1);
  ASSERT_GT(filled, 20);
  // The fill starts one pixel in and ends where the formula says.
  EXPECT_EQ(at(image, 0), kRest);
  EXPECT_EQ(at(image, 1), kBar);
  EXPECT_EQ(at(image, filled), kBar);
  EXPECT_EQ(at(image, filled + 1), kRest);
  EXPECT_EQ(count(image, 1, filled + 1, kTextOverRest), 0);
  EXPECT_GT(count(image, 1, filled + 1, kTextOverBar), 0);
  EXPECT_EQ(count(image, filled + 1, width, kTextOverBar), 0);
  EXPECT_GT(count(image, filled + 1, width, kTextOverRest), 0);
  EXPECT_EQ(count(image, filled + 1, width, kBar), 0);
}

TEST_F(ProgTextCtrlTest, TheDarkSchemeFillsRed) {
  g_bDarkScheme = true;
  bar.SetRange(0, 10);
  bar.SetPos(10);
  const QImage image = bar.grab().toImage();
  EXPECT_EQ(at(image, 5), QColor(250, 0, 0));
  EXPECT_EQ(at(image, bar.ClientRect().width() - 2), QColor(250, 0, 0));
  EXPECT_EQ(at(image, bar.ClientRect().width() - 1), kRest);
}

TEST_F(ProgTextCtrlTest, PositionsAreClampedToTheRange) {
  bar.SetRange(0, 7);
  EXPECT_EQ(bar.SetPos(9), 0);
  EXPECT_EQ(bar.GetPos(), 7);
  bar.SetPos(-3);
  EXPECT_EQ(bar.GetPos(), 0);
  bar.SetPos(5);
  bar.SetRange(0, 3);
  EXPECT_EQ(bar.GetPos(), 3);
  int lower = -1, upper = -1;
  bar.GetRange(lower, upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 3);
}

TEST(ProgStatusBar, ProgressCoversPane0OnlyWhileAboveZero) {
  CProgStatusBar bar;
  bar.resize(400, 24);
  bar.show();
  QProgressBar* progress = bar.GetProgressCtrl();
  EXPECT_TRUE(progress->isHidden());
  EXPECT_EQ(progress->geometry(), bar.GetItemRect(0));
  EXPECT_EQ(bar.GetItemRect(1).right(), 399);
  EXPECT_EQ(bar.GetItemRect(0).right() + 1, bar.GetItemRect(1).left());
  EXPECT_EQ(bar.GetPaneText(1), QStringLiteral("ST"));

  g_wEndBlock = 0x3FF;
  bar.SetPaneText(0, QStringLiteral("/home/fw"));
  bar.SetProgress(1);
  EXPECT_FALSE(progress->isHidden());
  EXPECT_TRUE(bar.GetPaneText(0).isEmpty());
  EXPECT_EQ(progress->maximum(), 0x3FF / 20);
  EXPECT_EQ(progress->value(), 1);

  bar.SetPaneText(0, QStringLiteral("kept"));
  bar.SetProgress(30);  // no change of visibility: the pane keeps its text
  EXPECT_EQ(bar.GetPaneText(0), QStringLiteral("kept"));
  EXPECT_EQ(progress->value(), 30);

  bar.SetProgress(0);
  EXPECT_TRUE(progress->isHidden());
  EXPECT_TRUE(bar.GetPaneText(0).isEmpty());

  // Fewer than 20 blocks: an empty range, shown empty.
  g_wEndBlock = 19;
  bar.SetProgress(1);
  EXPECT_FALSE(progress->isHidden());
  EXPECT_EQ(progress->value(), 0);
  EXPECT_NE(progress->minimum(), progress->maximum());  // no busy animation
  g_wEndBlock = 0;
}

}  // namespace
}  // namespace tarvel
