// The whole write through the real POSIX port against the simulated radio
// on a pseudo-terminal, with and without faults.
#include <gtest/gtest.h>

#include "firmware/WriteProcedure.h"
#include "loader/Exchanges.h"
#include "loader/Sync.h"
#include "loader/Waits.h"
#include "serial/PosixSerialPort.h"
#include "sim/SimRadio.h"
#include "tests/support/Fakes.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

struct CableCase {
  int type;
  sim::Cable cable;
};
const CableCase kCables[] = {{kTypeQap8, sim::Cable::Qap8}, {kTypeQap10, sim::Cable::Qap10}};

// A radio and a context on the real port layer, with short time-outs so
// that the silent cases end quickly.
class SimSession {
 public:
  SimSession(const CableCase& cable, const sim::Faults& faults = {}) : ctx(opener, messages, clock, pump) {
    sim::Options options;
    options.cable = cable.cable;
    options.linkPath.clear();
    options.faults = faults;
    std::string error;
    radio = sim::Radio::Start(options, &error);
    EXPECT_TRUE(radio) << error;
    ctx.m_nType = cable.type;
    ctx.link.m_strCommName = radio ? radio->devicePath() : "";
    ctx.link.timeouts.readPerByte = std::chrono::milliseconds(300);
    ctx.waitForInputBound = std::chrono::milliseconds(300);
  }

  PosixPortOpener opener;
  test::RecordingMessages messages;
  SteadyClock clock;
  NoUiPump pump;
  LoaderContext ctx;
  std::unique_ptr<sim::Radio> radio;
};

TEST(WriteAgainstSimTest, SynchroniseWriteVerifyAndReadBackOneBlock) {
  for (const CableCase& cable : kCables) {
    SCOPED_TRACE(cable.type);
    SimSession s(cable);
    ASSERT_TRUE(s.radio);
    LoaderContext& ctx = s.ctx;
    ASSERT_FALSE(OpenCommPort(ctx.link));
    if (cable.type == kTypeQap10) {
      SendQap10StartPacket(ctx);
      ASSERT_TRUE(SyncLoaderFramed(ctx));
    } else {
      PulseQap8LoaderEntry(ctx);
      ASSERT_TRUE(SyncLoader(ctx));
    }
    const BlockData data = test::PatternBlock(0x123);
    EXPECT_EQ(WriteBlockExchange(ctx, BuildWritePacket(ctx, 0x0123, data)), BlockWriteResult::Written);
    ReadReply reply{};
    ASSERT_EQ(ReadBlockExchange(ctx, 0x0123, reply), BlockReadResult::Read);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), reply.begin()));
    EXPECT_EQ(s.radio->block(0x123), data);
    CloseCommPort(ctx.link);
  }
}

TEST(WriteAgainstSimTest, WholeFileBothCablesThenAgainOnTheSamePort) {
  test::TempDir dir;
  const std::string path = dir.write("fw.sfl", test::ConventionalSfl(0x40, 40));
  for (const CableCase& cable : kCables) {
    SCOPED_TRACE(cable.type);
    SimSession s(cable);
    ASSERT_TRUE(s.radio);
    for (int run = 0; run < 2; ++run) {
      const WriteOutcome outcome = OnWrite(s.ctx, path);
      ASSERT_TRUE(outcome.succeeded) << static_cast<int>(outcome.failure.message);
      EXPECT_EQ(outcome.blocksWritten, 40);
    }
    for (std::uint16_t b = 0x40; b < 0x40 + 40; ++b) EXPECT_EQ(s.radio->block(b), test::PatternBlock(b));
    std::array<std::uint8_t, 128> erased{};
    erased.fill(0xFF);
    EXPECT_EQ(s.radio->block(0x3F), erased);
    EXPECT_EQ(s.radio->stats().blocksStored, 80);
  }
}

TEST(WriteAgainstSimTest, EveryFailureOfTheWriteWithARealLine) {
  test::TempDir dir;
  const std::string good = dir.write("fw.sfl", test::ConventionalSfl(0, 6));
  std::string broken = test::ConventionalSfl(0, 6);
  broken[broken.size() - 7] = 'z';
  const std::string invalid = dir.write("bad.sfl", broken);

  struct Row {
    const char* name;
    sim::Faults faults;
    std::string file;
    bool succeeded;
    StringId message;
    int stored;  // blocks the radio holds afterwards (-1: not checked)
  };
  auto faults = [](auto change) {
    sim::Faults f;
    change(f);
    return f;
  };
  const Row rows[] = {
      {"five refusals pass", faults([](sim::Faults& f) { f.refuseBlock = 2; f.refuseWrites = 5; }), good, true,
       StringId::AppTitle, 6},
      {"six refusals fail", faults([](sim::Faults& f) { f.refuseBlock = 2; f.refuseWrites = 6; }), good, false,
       StringId::FlashWriteFailed, 2},
      {"wrong sum high byte", faults([](sim::Faults& f) { f.badVerifyBlock = 1; f.badVerifies = 6; f.badVerifyByte = 1; }),
       good, false, StringId::FlashWriteFailed, -1},
      {"wrong sum low byte, five times", faults([](sim::Faults& f) { f.badVerifyBlock = 1; f.badVerifies = 5; }), good,
       true, StringId::AppTitle, -1},
      {"silent radio", faults([](sim::Faults& f) { f.silent = true; }), good, false, StringId::SyncError, 0},
      {"late synchronisation", faults([](sim::Faults& f) { f.syncAfter = 10; }), good, true, StringId::AppTitle, 6},
      {"silent after three blocks", faults([](sim::Faults& f) { f.silentAfterBlocks = 3; }), good, false,
       StringId::CommunicationError, 3},
      {"unplugged after two blocks", faults([](sim::Faults& f) { f.hangUpAfterBlocks = 2; }), good, false,
       StringId::CommunicationError, 2},
      {"missing file", {}, (dir.path() / "missing.sfl").string(), false, StringId::FileCannotBeOpened, 0},
      {"invalid file", {}, invalid, false, StringId::InvalidSflFile, 0},
  };
  for (const CableCase& cable : kCables) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (cable.type ? " QAP-10" : " QAP-8"));
      SimSession s(cable, row.faults);
      ASSERT_TRUE(s.radio);
      const WriteOutcome outcome = OnWrite(s.ctx, row.file);
      EXPECT_EQ(outcome.succeeded, row.succeeded);
      if (!row.succeeded) {
        EXPECT_EQ(s.messages.ids(), std::vector<StringId>{row.message});
      } else {
        EXPECT_TRUE(s.messages.shown.empty());
      }
      if (row.stored >= 0) {
        EXPECT_EQ(s.radio->stats().blocksStored, row.stored);
      }
      EXPECT_EQ(s.ctx.port(), nullptr);
      EXPECT_EQ(s.ctx.m_nStatus, 0);
    }
  }
}

TEST(WriteAgainstSimTest, AfterAnUnpluggedPortTheNextWriteOnANewPortWorks) {
  test::TempDir dir;
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 6));
  for (const CableCase& cable : kCables) {
    SCOPED_TRACE(cable.type);
    sim::Faults unplug;
    unplug.hangUpAfterBlocks = 2;
    SimSession s(cable, unplug);
    ASSERT_TRUE(s.radio);
    EXPECT_EQ(OnWrite(s.ctx, file).failure.message, StringId::CommunicationError);
    EXPECT_EQ(s.ctx.port(), nullptr);

    sim::Options options;
    options.cable = cable.cable;
    options.linkPath.clear();
    std::string error;
    auto replugged = sim::Radio::Start(options, &error);
    ASSERT_TRUE(replugged) << error;
    s.ctx.link.m_strCommName = replugged->devicePath();
    s.messages.shown.clear();
    EXPECT_TRUE(OnWrite(s.ctx, file).succeeded);
    EXPECT_EQ(replugged->stats().blocksStored, 6);
  }
}

TEST(WriteAgainstSimTest, APortHeldByAnotherProgramIs105AtOnce) {
  SimSession s(kCables[0]);
  ASSERT_TRUE(s.radio);
  PosixPortOpener other;
  OpenResult held = other.open(s.radio->devicePath(), 38400, {});
  ASSERT_EQ(held.status, OpenStatus::Ok) << held.detail;
  test::TempDir dir;
  const WriteOutcome outcome = OnWrite(s.ctx, dir.write("fw.sfl", test::ConventionalSfl(0, 1)));
  EXPECT_EQ(s.messages.ids(), std::vector<StringId>{StringId::PortCannotBeHandled});
  EXPECT_EQ(outcome.failure.message, StringId::PortCannotBeHandled);
  EXPECT_EQ(s.radio->stats().syncBytes, 0);
}

TEST(WriteAgainstSimTest, MissingPortIsReportedAtOnce) {
  SimSession s(kCables[0]);
  s.ctx.link.m_strCommName = "/dev/tarvel-no-such-port";
  test::TempDir dir;
  const WriteOutcome outcome = OnWrite(s.ctx, dir.write("fw.sfl", test::ConventionalSfl(0, 1)));
  EXPECT_EQ(s.messages.ids(), std::vector<StringId>{StringId::PortCannotBeHandled});
  EXPECT_EQ(outcome.failure.message, StringId::PortCannotBeHandled);
}

}  // namespace
}  // namespace tarvel
