// The main dialog on the offscreen platform: its controls per mode, its
// layout, the settings its boxes and buttons store, closing, and painting.
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <array>

#include "dialog/DialogTemplate.h"
#include "tests/support/Fakes.h"
#include "tests/ui/DialogHarness.h"
#include "ui/Artwork.h"
#include "ui/DialogWidgets.h"
#include "ui/ProgStatusBar.h"
#include "ui/ProgTextCtrl.h"

namespace tarvel {
namespace {

using test::DialogTest;
using test::LampCentre;

std::vector<std::string> Entries(const QComboBox* box) {
  std::vector<std::string> entries;
  for (int i = 0; i < box->count(); ++i) entries.push_back(box->itemText(i).toStdString());
  return entries;
}

constexpr std::array<int, 5> kServiceOnly{IDC_SFL_CONV, IDC_DUMP, IDC_LINE_GROUP, IDC_CHECK_5V, IDC_CHECK_MD};

TEST_F(DialogTest, ServiceControlsExistOnlyWithTheServiceSwitches) {
  const struct {
    const char* arguments;
    bool service, dark;
  } rows[] = {{"", false, false},  {"-q", true, false},   {"-Q", true, false}, {"-qk", true, true},
              {"-QK", true, true}, {"-q ", false, false}, {"-k", false, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string("'") + row.arguments + "'");
    const auto dialog = open(row.arguments);
    EXPECT_EQ(g_bServiceMode, row.service);
    EXPECT_EQ(g_bDarkScheme, row.dark);
    for (int id : kServiceOnly) EXPECT_EQ(dialog->GetDlgItem(id) != nullptr, row.service) << id;
    for (const ControlTemplate& control : kMainDialogControls) {
      const bool serviceOnly =
          std::find(kServiceOnly.begin(), kServiceOnly.end(), control.id) != kServiceOnly.end();
      if (control.id != IDC_STATIC && !serviceOnly) {
        EXPECT_NE(dialog->GetDlgItem(control.id), nullptr) << control.id;
      }
    }
  }
}

TEST_F(DialogTest, ControlsStandWhereTheTemplatePutsThemInDialogUnits) {
  const auto dialog = open("-q");
  dialog->show();  // the status bar places its progress control when shown
  EXPECT_EQ(dialog->font().family(), QStringLiteral("Times New Roman"));
  EXPECT_EQ(dialog->font().pointSize(), 10);
  const DialogBaseUnits units = BaseUnitsOf(dialog->font());
  ASSERT_GT(units.cx, 0);
  EXPECT_EQ(dialog->size(),
            QSize(DluToPixelsX(kMainDialogWidthDlu, units), DluToPixelsY(kMainDialogHeightDlu, units)));
  EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());

  for (const ControlTemplate& control : kMainDialogControls) {
    const QWidget* widget = dialog->GetDlgItem(control.id);
    if (widget == nullptr) continue;
    SCOPED_TRACE(control.id);
    const PixelRect r = MapDialogRect(control.x, control.y, control.cx, control.cy, units);
    const QRect g = widget->geometry();
    EXPECT_EQ(g.topLeft(), QPoint(r.x, r.y));
    switch (control.kind) {
      case ControlKind::ComboBox:  // its template height is the dropped list's
        EXPECT_EQ(g.width(), r.width);
        break;
      case ControlKind::Picture:  // sized to its picture
        break;
      case ControlKind::RadioButton:
      case ControlKind::CheckBox:  // never narrower than the template
        EXPECT_GE(g.width(), r.width);
        EXPECT_EQ(g.height(), r.height);
        break;
      default:
        EXPECT_EQ(g, QRect(r.x, r.y, r.width, r.height));
    }
  }
  const QFont comment = dialog->Item<QPlainTextEdit>(IDC_COMMENT)->font();
  EXPECT_EQ(comment.family(), QStringLiteral("Courier New"));
  EXPECT_DOUBLE_EQ(comment.pointSizeF(), 9.6);
  EXPECT_FALSE(dialog->GetDlgItem(IDC_BANNER)->isVisibleTo(dialog.get()));

  // The status bar: the bottom strip, full width, a title bar high.
  const QRect bar = dialog->StatusBar()->geometry();
  EXPECT_EQ(bar.bottom(), dialog->height() - 1);
  EXPECT_EQ(bar.width(), dialog->width());
  EXPECT_EQ(bar.height(), CProgStatusBar::BarHeight(dialog.get()));
  EXPECT_EQ(dialog->StatusBar()->GetProgressCtrl()->geometry(), dialog->StatusBar()->GetItemRect(0));
}

TEST_F(DialogTest, StartsIdleWithTheStoredChoicesAndWritesNoSettings) {
  systemPorts = {"COM3:", "COM1:", "LPT1:"};
  const auto dialog = open();
  const DialogPort& ctx = dialog->Context();
  EXPECT_EQ(Entries(dialog->Item<QComboBox>(IDC_PORT)), (std::vector<std::string>{"COM3", "COM1"}));
  EXPECT_EQ(dialog->Item<QComboBox>(IDC_PORT)->currentText(), QStringLiteral("COM1"));
  EXPECT_EQ(ctx.link.m_strCommName, "COM1");
  EXPECT_EQ(Entries(dialog->Item<QComboBox>(IDC_BAUD)), SpeedEntries(kTypeQap8));
  EXPECT_EQ(dialog->Item<QComboBox>(IDC_BAUD)->currentText(), QStringLiteral("38400"));
  EXPECT_EQ(ctx.link.m_nBaudRate, 38400u);
  EXPECT_TRUE(dialog->Item<QRadioButton>(IDC_TYPE0)->isChecked());
  EXPECT_FALSE(dialog->Item<QRadioButton>(IDC_TYPE1)->isChecked());
  EXPECT_TRUE(dialog->Item<QRadioButton>(IDC_TYPE1)->isEnabled());
  EXPECT_FALSE(dialog->Item<QPushButton>(IDC_WRITE)->isEnabled());
  EXPECT_TRUE(dialog->Item<QLabel>(IDC_STATUS_TEXT)->text().isEmpty());
  EXPECT_EQ(dialog->Item<QLabel>(IDC_VERSION)->text(), QStringLiteral("Tarvel 1.10"));
  EXPECT_TRUE(dialog->ProgressCtrl()->GetWindowText().isEmpty());
  EXPECT_EQ(ctx.m_nStatus, 0);
  EXPECT_FALSE(ctx.m_bRtsPulse);
  EXPECT_EQ(dialog->Dialog().SflFolder(), g_strStartDir);
  EXPECT_EQ(dialog->StatusBar()->GetPaneText(0).toStdString(), g_strStartDir);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tarvel"));
  const auto* list = dialog->Item<QTableWidget>(IDC_FILE_LIST);
  EXPECT_EQ(list->columnCount(), 2);
  EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QStringLiteral("SFL File"));
  EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("Date"));
  EXPECT_FALSE(std::filesystem::exists(settingsPath()));
}

// The box shows the port that WRITE will use, also one the listing does not
// find, by a short name; the whole path is in the list and the tool tip.
TEST_F(DialogTest, AStoredPortMissingFromTheListIsAddedAndShown) {
  writeSettings("[Initialize]\nType=1\nCommName2=/tmp/radio\nBaudRate=12345\n");
  const auto dialog = open("-q");
  const auto* port = dialog->Item<QComboBox>(IDC_PORT);
  EXPECT_EQ(Entries(port), (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0", "/tmp/radio"}));
  EXPECT_EQ(port->currentIndex(), 2);
  EXPECT_EQ(port->currentText(), QStringLiteral("radio"));
  EXPECT_EQ(port->toolTip(), QStringLiteral("/tmp/radio"));
  EXPECT_EQ(dialog->Context().link.m_strCommName, "/tmp/radio");
  EXPECT_EQ(Entries(dialog->Item<QComboBox>(IDC_BAUD)), SpeedEntries(kTypeQap10));
  EXPECT_EQ(dialog->Item<QComboBox>(IDC_BAUD)->currentText(), QStringLiteral("38400"));
  EXPECT_EQ(dialog->Context().link.m_nBaudRate, 38400u);
  EXPECT_EQ(raw("BaudRate"), "12345");
  EXPECT_TRUE(dialog->Item<QRadioButton>(IDC_TYPE1)->isChecked());
  EXPECT_FALSE(dialog->Item<QCheckBox>(IDC_CHECK_5V)->isEnabled());
  EXPECT_FALSE(dialog->Item<QCheckBox>(IDC_CHECK_MD)->isEnabled());
}

TEST_F(DialogTest, WithoutQap10ItsButtonIsDisabledAndTheCableSymbolRemoved) {
  platform.m_bType1Allowed = false;
  writeSettings("[Initialize]\nType=1\nCommName2=/dev/ttyUSB0\n");
  const auto dialog = open("-q");
  EXPECT_FALSE(dialog->Item<QRadioButton>(IDC_TYPE1)->isEnabled());
  EXPECT_EQ(dialog->GetDlgItem(IDC_CABLE), nullptr);
  EXPECT_TRUE(dialog->Item<QRadioButton>(IDC_TYPE0)->isChecked());
  EXPECT_EQ(Entries(dialog->Item<QComboBox>(IDC_BAUD)), SpeedEntries(kTypeQap8));
  EXPECT_EQ(dialog->Item<QComboBox>(IDC_PORT)->currentText(), QStringLiteral("ttyUSB0"));
  EXPECT_EQ(raw("Type"), "1");
}

// The choice rules themselves are covered without a window; here: the wiring.
TEST_F(DialogTest, TheBoxesAndRadioButtonsStoreTheirChoices) {
  systemPorts = {"/dev/ttyS0", "COM1", "COM3", "/dev/ttyUSB0"};
  const auto dialog = open("-q");
  auto* port = dialog->Item<QComboBox>(IDC_PORT);
  auto* baud = dialog->Item<QComboBox>(IDC_BAUD);
  ASSERT_EQ(port->currentText(), QStringLiteral("COM1"));

  baud->setCurrentIndex(5);
  emit baud->activated(5);
  EXPECT_EQ(raw("BaudRate"), "115200");
  EXPECT_EQ(dialog->Context().link.m_nBaudRate, 115200u);

  dialog->Item<QRadioButton>(IDC_TYPE1)->click();
  EXPECT_EQ(raw("Type"), "1");
  EXPECT_EQ(port->currentText(), QStringLiteral("COM3"));
  EXPECT_EQ(Entries(baud), SpeedEntries(kTypeQap10));
  EXPECT_EQ(baud->currentText(), QStringLiteral("38400"));
  EXPECT_FALSE(dialog->Item<QCheckBox>(IDC_CHECK_5V)->isEnabled());
  EXPECT_FALSE(dialog->Item<QCheckBox>(IDC_CHECK_MD)->isEnabled());

  port->setCurrentIndex(3);
  emit port->activated(3);
  EXPECT_EQ(raw("CommName2"), "/dev/ttyUSB0");
  EXPECT_EQ(dialog->Context().link.m_strCommName, "/dev/ttyUSB0");

  dialog->Item<QRadioButton>(IDC_TYPE0)->click();
  EXPECT_EQ(raw("Type"), "0");
  EXPECT_EQ(port->currentText(), QStringLiteral("COM1"));
  EXPECT_EQ(Entries(baud), SpeedEntries(kTypeQap8));
  EXPECT_EQ(baud->currentText(), QStringLiteral("38400"));
  EXPECT_TRUE(dialog->Item<QCheckBox>(IDC_CHECK_5V)->isEnabled());
  EXPECT_TRUE(dialog->Item<QCheckBox>(IDC_CHECK_MD)->isEnabled());
}

TEST_F(DialogTest, TextTypedIntoThePortBoxWithoutEnterStoresNothing) {
  const auto dialog = open();
  auto* port = dialog->Item<QComboBox>(IDC_PORT);
  port->show();
  for (const QString& typed : {QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyS0")}) {
    port->lineEdit()->setFocus();
    QTest::keyClicks(port->lineEdit(), typed);
    port->lineEdit()->clearFocus();
  }
  EXPECT_EQ(dialog->Context().link.m_strCommName, "COM1");
  EXPECT_FALSE(std::filesystem::exists(settingsPath()));
  EXPECT_EQ(port->count(), 3);  // the two listed and the stored COM1
}

// Enter takes a typed path as a picked entry would; a by-id name is shortened
// in its middle to fit the narrow box.
TEST_F(DialogTest, APathTypedIntoThePortBoxIsTakenWithEnter) {
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  systemPorts = {"/dev/ttyUSB0", byId};
  const auto dialog = open();
  dialog->show();
  auto* port = dialog->Item<QComboBox>(IDC_PORT);
  const struct {
    std::string typed, stored;
    int entries;
  } rows[] = {
      {"  /dev/pts/7 ", "/dev/pts/7", 4},  // a new entry, without the blanks
      {byId, byId, 4},                     // an entry already there
      {"   ", byId, 4},                    // nothing typed: nothing changes
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.typed);
    port->lineEdit()->setFocus();
    port->lineEdit()->setText(QString::fromStdString(row.typed));
    QTest::keyClick(port->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(raw("CommName"), row.stored);
    EXPECT_EQ(dialog->Context().link.m_strCommName, row.stored);
    EXPECT_EQ(port->count(), row.entries);
    EXPECT_EQ(port->toolTip().toStdString(), row.stored);
  }
  port->lineEdit()->clearFocus();
  QCoreApplication::processEvents();
  const QString shown = port->currentText();
  // The maker first and the serial number's end last.
  EXPECT_TRUE(shown.startsWith(QStringLiteral("F")) && shown.endsWith(QStringLiteral("\u202685BI")) &&
              shown.contains(QChar(0x2026)))
      << qPrintable(shown);
}

TEST_F(DialogTest, TheLineSwitchesDriveDtrAndRtsOfTheChosenPort) {
  test::FakeOpener fake;
  opener = &fake;
  const auto dialog = open("-q");
  auto* dtr = dialog->Item<QCheckBox>(IDC_CHECK_5V);
  auto* rts = dialog->Item<QCheckBox>(IDC_CHECK_MD);
  dtr->click();
  EXPECT_EQ(fake.lastName, "COM1");
  EXPECT_EQ(fake.lastBaud, 38400u);
  EXPECT_NE(dialog->Context().link.hComm, nullptr);  // kept open while checked
  rts->click();
  rts->click();
  dtr->click();
  EXPECT_EQ(dialog->Context().link.hComm, nullptr);
  const std::vector<std::string>& events = fake.line->events;
  for (const char* expected : {"DTR 1", "RTS 1", "RTS 0", "DTR 0"}) {
    EXPECT_NE(std::find(events.begin(), events.end(), expected), events.end()) << expected;
  }
  EXPECT_TRUE(dialog->boxes.empty());

  fake.failWith = OpenStatus::CannotOpen;
  dtr->click();
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("The COMM Port cannot be handled."));
}

TEST_F(DialogTest, CloseIsRefusedOnlyWhileAccessingTheFlash) {
  auto dialog = open();
  dialog->show();
  dialog->Context().m_nStatus = 1;
  dialog->Item<QPushButton>(IDC_CLOSE)->click();
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("Can't close while accessing the flash."));
  EXPECT_EQ(dialog->boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_TRUE(dialog->isVisible());

  dialog->Context().m_nStatus = 2;  // a failed synchronisation does not block
  dialog->Item<QPushButton>(IDC_CLOSE)->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
}

TEST_F(DialogTest, TheTitleBarClosesWhenIdleButNotWhileLocked) {
  auto dialog = open("-q");
  dialog->show();
  dialog->Dialog().lockForWrite();
  EXPECT_FALSE(dialog->close());
  EXPECT_TRUE(dialog->isVisible());
  dialog->Dialog().unlockAfterWrite();
  EXPECT_TRUE(dialog->close());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

// No serial port on the system and none chosen: an empty box with a hint
// that shows whole beside it, and WRITE says so instead of trying COM1; a
// typed port is used, and the hint goes.
TEST_F(DialogTest, WithoutAnySerialPortTheBoxIsEmptyWithAHint) {
  systemPorts = {};
  dir.write("fw.sfl", ";x\n+0000 00\n");
  const auto dialog = open("-q");
  dialog->show();
  auto* port = dialog->Item<QComboBox>(IDC_PORT);
  const QString hint = QStringLiteral("no serial port found: connect the cable");
  EXPECT_EQ(port->count(), 0);
  EXPECT_TRUE(port->lineEdit()->text().isEmpty());
  const auto* label = dialog->Item<QLabel>(IDC_PORT_HINT);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), hint);
  EXPECT_TRUE(label->isVisible());
  // Every word of it inside the label, and the label clear of the other
  // controls.
  const QRect room = label->contentsRect();
  const QRect needed = label->fontMetrics().boundingRect(room, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, hint);
  EXPECT_TRUE(room.contains(needed)) << needed.width() << "x" << needed.height() << " in " << room.width() << "x"
                                     << room.height();
  for (const ControlTemplate& control : kMainDialogControls) {
    const QWidget* other = dialog->GetDlgItem(control.id);
    if (other == nullptr || other == label || !other->isVisible()) continue;
    EXPECT_FALSE(other->geometry().intersects(label->geometry())) << control.id;
  }
  test::ClickRow(*dialog, 0);
  dialog->Item<QPushButton>(IDC_WRITE)->click();
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, hint);
  EXPECT_EQ(dialog->locks, 0);

  port->lineEdit()->setFocus();
  port->lineEdit()->setText(QStringLiteral("/dev/tarvel-absent"));
  QTest::keyClick(port->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(raw("CommName"), "/dev/tarvel-absent");
  EXPECT_TRUE(label->text().isEmpty());
  dialog->Item<QPushButton>(IDC_WRITE)->click();
  ASSERT_EQ(dialog->boxes.size(), 2u) << test::BoxTexts(dialog->boxes);
  EXPECT_NE(dialog->boxes[1].text, hint);
}

// Typed as a person would, into the widget that has the keyboard focus:
// the port box and the file list keep the window at Enter.
TEST_F(DialogTest, EnterInThePortBoxOrTheFileListKeepsTheWindow) {
  const auto dialog = open();
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  auto* port = dialog->Item<QComboBox>(IDC_PORT);
  port->setFocus();
  QCoreApplication::processEvents();
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  port->lineEdit()->selectAll();
  QTest::keyClicks(focus, QStringLiteral("/dev/pts/9"));
  EXPECT_EQ(port->lineEdit()->text(), QStringLiteral("/dev/pts/9"));
  QTest::keyClick(focus, Qt::Key_Return);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(raw("CommName"), "/dev/pts/9");
  EXPECT_EQ(port->toolTip(), QStringLiteral("/dev/pts/9"));

  dialog->GetDlgItem(IDC_FILE_LIST)->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(DialogTest, EscapeIsIgnoredAndEnterClosesOutsideAPushButton) {
  auto dialog = open();
  dialog->show();
  QTest::keyClick(dialog->GetDlgItem(IDC_FILE_LIST), Qt::Key_Escape);
  dialog->reject();
  EXPECT_TRUE(dialog->isVisible());

  // Enter on a push button presses it (Reload keeps the window open).
  dialog->GetDlgItem(IDC_RELOAD)->setFocus();
  QTest::keyClick(dialog->GetDlgItem(IDC_RELOAD), Qt::Key_Return);
  EXPECT_TRUE(dialog->isVisible());

  for (int id : {IDC_TYPE0, IDC_BAUD}) {
    SCOPED_TRACE(id);
    dialog->show();
    dialog->setResult(0);
    QWidget* control = dialog->GetDlgItem(id);
    control->setFocus();
    QTest::keyClick(control->focusProxy() ? control->focusProxy() : control, Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
  }
}

TEST_F(DialogTest, TheLampShowsTheAccessStatusAtTheNextRedraw) {
  const auto dialog = open();
  dialog->show();
  const struct {
    int status;
    Lamp lamp;
  } rows[] = {{0, Lamp::Idle}, {1, Lamp::Busy}, {2, Lamp::Error}, {0, Lamp::Idle}, {5, Lamp::Idle}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.status);
    dialog->Context().m_nStatus = row.status;
    EXPECT_EQ(LampCentre(*dialog), LampCentre(row.lamp));
  }
  EXPECT_NE(LampCentre(Lamp::Idle), LampCentre(Lamp::Busy));
  EXPECT_NE(LampCentre(Lamp::Busy), LampCentre(Lamp::Error));
}

TEST_F(DialogTest, TheNormalSchemeColoursOnlyTheVersionAndStatusTexts) {
  const auto dialog = open("-q");
  auto text = [&](int id, QPalette::ColorRole role = QPalette::WindowText) {
    return dialog->GetDlgItem(id)->palette().color(QPalette::Active, role);
  };
  EXPECT_EQ(text(IDC_VERSION), QColor(0, 0, 255));
  EXPECT_EQ(text(IDC_STATUS_TEXT), QColor(255, 0, 0));
  EXPECT_EQ(text(IDC_TYPE0), QApplication::palette().color(QPalette::Active, QPalette::WindowText));
  EXPECT_EQ(text(IDC_FILE_LIST, QPalette::Text),
            QApplication::palette().color(QPalette::Active, QPalette::Text));
  // The read-only comment box lies on the dialog's background, as on Windows.
  EXPECT_EQ(text(IDC_COMMENT, QPalette::Base), QApplication::palette().color(QPalette::Active, QPalette::Window));
}

TEST_F(DialogTest, TheDarkSchemeColoursTheStaticControls) {
  const auto dialog = open("-qk");
  ASSERT_TRUE(dialog->DarkScheme());
  auto text = [&](int id, QPalette::ColorRole role = QPalette::WindowText) {
    return dialog->GetDlgItem(id)->palette().color(QPalette::Active, role);
  };
  EXPECT_EQ(text(IDC_VERSION), QColor(255, 255, 0));
  EXPECT_EQ(text(IDC_STATUS_TEXT), QColor(255, 0, 0));
  EXPECT_EQ(text(IDC_COMMENT, QPalette::Text), QColor(128, 0, 0));
  for (int id : {IDC_TYPE0, IDC_TYPE1, IDC_CHECK_5V, IDC_CHECK_MD, IDC_LINE_GROUP}) {
    EXPECT_EQ(text(id), QColor(0, 255, 0)) << id;
  }
  EXPECT_EQ(text(IDC_FILE_LIST, QPalette::Text), QColor(128, 0, 0));
  // Push buttons keep the platform's colours; disabled text stays grey.
  EXPECT_EQ(text(IDC_CLOSE, QPalette::ButtonText), QApplication::palette().color(QPalette::ButtonText));
  EXPECT_NE(dialog->GetDlgItem(IDC_TYPE0)->palette().color(QPalette::Disabled, QPalette::WindowText),
            QColor(0, 255, 0));
}

TEST_F(DialogTest, WithAnRtsPulseTheDarkSwitchLeavesTheDialogNormal) {
  platform.m_bRtsPulse = true;
  const auto dialog = open("-qk");
  EXPECT_TRUE(g_bDarkScheme);
  EXPECT_FALSE(dialog->DarkScheme());
  EXPECT_EQ(dialog->GetDlgItem(IDC_VERSION)->palette().color(QPalette::Active, QPalette::WindowText),
            QColor(0, 0, 255));
  EXPECT_EQ(dialog->GetDlgItem(IDC_FILE_LIST)->palette().color(QPalette::Active, QPalette::Text),
            QColor(128, 0, 0));
}

TEST_F(DialogTest, TheDarkSchemePaintsTheGradientAndTheBlackBanner) {
  const auto dialog = open("-qk");
  dialog->show();
  const QImage image = dialog->grab().toImage();
  // The left margin holds no control.
  for (int y : {0, 40, 188, 300}) {
    const int pen = GradientPen(y, dialog->height());
    EXPECT_EQ(image.pixelColor(2, y), QColor(3 * pen, 0, 0)) << y;
  }
  const QRect banner = dialog->GetDlgItem(IDC_BANNER)->geometry();
  const QImage art = DrawBanner(true);
  EXPECT_EQ(image.pixelColor(banner.topLeft()), QColor(Qt::black));
  EXPECT_EQ(image.pixel(banner.x() + 10, banner.y() + 8), art.pixel(10, 8));
}

TEST_F(DialogTest, TheNormalBannerShowsOnlyItsRedLettering) {
  const auto dialog = open();
  dialog->show();
  const QImage image = dialog->grab().toImage();
  const QColor background = dialog->palette().color(QPalette::Window);
  const QRect banner = dialog->GetDlgItem(IDC_BANNER)->geometry();
  EXPECT_EQ(image.pixelColor(banner.topLeft()), background);
  const QColor red = ToQColor(kBannerRed);
  ASSERT_EQ(DrawBanner(false).pixelColor(10, 8), red);
  EXPECT_EQ(
      image.pixelColor(banner.x() + 10, banner.y() + 8),
      QColor(red.red() & background.red(), red.green() & background.green(), red.blue() & background.blue()));
}

TEST(MessageBoxes, CarryTheTitleTheIconAndLineBreaks) {
  const auto box =
      BuildMessageBox(FromStringTable(StringId::SyncError), MessageIcon::Stop, QString(), nullptr);
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Tarvel"));
  EXPECT_EQ(box->icon(), QMessageBox::Critical);
  EXPECT_EQ(box->text(),
            QStringLiteral("Synchronization Error.\nPlease confirm the connection with the equipment.\n"
                           "Or, please change connected speed."));
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
  EXPECT_TRUE(box->informativeText().isEmpty());

  const auto report =
      BuildMessageBox(QStringLiteral("a\r\nb"), MessageIcon::Information, QStringLiteral("why"), nullptr);
  EXPECT_EQ(report->icon(), QMessageBox::Information);
  EXPECT_EQ(report->text(), QStringLiteral("a\nb"));
  EXPECT_EQ(report->informativeText(), QStringLiteral("why"));
  EXPECT_EQ(BuildMessageBox({}, MessageIcon::Exclamation, {}, nullptr)->icon(), QMessageBox::Warning);
}

}  // namespace
}  // namespace tarvel
