#include "serial/CommPort.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Fakes.h"

namespace tarvel {
namespace {

using Events = std::vector<std::string>;

class CommPortTest : public ::testing::Test {
 protected:
  CommPortTest() {
    link.m_strCommName = "/dev/ttyUSB3";
    link.m_nBaudRate = 56000;
  }
  const Events& events() const { return opener.line->events; }

  test::FakeOpener opener;
  CommLink link{opener};
};

TEST_F(CommPortTest, EveryOpenClosesTheOldPortFirst) {
  ASSERT_FALSE(OpenCommPort(link));
  ASSERT_FALSE(OpenCommPort(link));
  EXPECT_EQ(events(), (Events{"open", "close", "open"}));
  EXPECT_EQ(opener.line->maxOpenPorts, 1);
  EXPECT_EQ(opener.lastName, "/dev/ttyUSB3");
  EXPECT_EQ(opener.lastBaud, 56000u);
  CloseCommPort(link);
  EXPECT_EQ(link.hComm, nullptr);
  EXPECT_EQ(opener.line->openPorts, 0);
}

TEST_F(CommPortTest, LineSwitchesReopenAndDriveOnlyTheirOwnLine) {
  EXPECT_FALSE(OnCheck5V(link, true));
  EXPECT_NE(link.hComm, nullptr);
  EXPECT_EQ(events(), (Events{"open", "DTR 1"}));

  // The reopened port keeps DTR alone: only RTS is raised.
  opener.line->events.clear();
  OnCheckMD(link, true);
  EXPECT_NE(link.hComm, nullptr);
  EXPECT_EQ(events(), (Events{"close", "open", "RTS 1"}));

  // Unchecking either switch closes the port, even with the other checked.
  opener.line->events.clear();
  OnCheckMD(link, false);
  EXPECT_EQ(link.hComm, nullptr);
  EXPECT_EQ(events(), (Events{"close", "open", "RTS 0", "close"}));

  opener.line->events.clear();
  OnCheck5V(link, false);
  EXPECT_EQ(link.hComm, nullptr);
  EXPECT_EQ(events(), (Events{"open", "DTR 0", "close"}));

  EXPECT_EQ(opener.line->maxOpenPorts, 1);
}

struct FailureCase {
  OpenStatus failure;
  StringId message;
};

TEST_F(CommPortTest, FailedOpensSayWhyAndLeaveNoPort) {
  for (const FailureCase c : {FailureCase{OpenStatus::CannotOpen, StringId::PortCannotBeHandled},
                              FailureCase{OpenStatus::CannotConfigure, StringId::PortInitFailed}}) {
    SCOPED_TRACE(static_cast<unsigned>(c.message));
    test::FakeOpener failing;
    failing.failWith = c.failure;
    CommLink failingLink{failing};

    const std::optional<Failure> failure = OpenCommPort(failingLink);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, c.message);
    EXPECT_EQ(failure->kind, c.failure == OpenStatus::CannotOpen ? FailureKind::Port : FailureKind::Configuration);
    CloseCommPort(failingLink);

    // Through a switch: the same failure, and nothing left open.
    const std::optional<Failure> switched = OnCheck5V(failingLink, true);
    ASSERT_TRUE(switched);
    EXPECT_EQ(switched->message, c.message);
    EXPECT_EQ(failingLink.hComm, nullptr);
    EXPECT_EQ(failing.line->openPorts, 0);
    EXPECT_EQ(failing.line->maxOpenPorts, c.failure == OpenStatus::CannotConfigure ? 1 : 0);
  }
}

}  // namespace
}  // namespace tarvel
