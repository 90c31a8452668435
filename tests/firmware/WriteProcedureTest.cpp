#include "firmware/WriteProcedure.h"

#include <atomic>

#include <gtest/gtest.h>

#include "base/Report.h"
#include "tests/support/FakeLoader.h"
#include "tests/support/Fakes.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

using test::FakeLine;

class WriteProcedureTest : public ::testing::Test {
 protected:
  WriteProcedureTest() : ctx(opener, messages, clock, pump) {
    opener.line->clock = &clock;
    loader.attach(*opener.line);
  }
  FakeLine& line() { return *opener.line; }
  WriteOutcome write(const std::string& path) { return OnWrite(ctx, path); }
  std::vector<std::vector<std::uint8_t>> writePacketsSent() const {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& w : opener.line->writes) {
      if (w.size() == 133 || w.size() == 141) out.push_back(w);
    }
    return out;
  }

  test::TempDir dir;
  test::FakeOpener opener;
  test::FakeLoader loader;
  test::RecordingMessages messages;
  test::FakeClock clock;
  test::CountingPump pump;
  LoaderContext ctx;
};

TEST_F(WriteProcedureTest, WritesRecordsInFileOrderAndReports) {
  const std::vector<test::TestRecord> records{{0x0005, test::PatternBlock(5)},
                                              {0x0001, test::PatternBlock(1)},
                                              {0x0FFF, test::PatternBlock(9)}};
  const std::string path = dir.write("fw.sfl", test::SflText(";Radio\n", records));
  for (int type : {kTypeQap8, kTypeQap10}) {
    SCOPED_TRACE(type);
    ctx.m_nType = type;
    loader.stored.clear();
    messages.reports.clear();
    const WriteOutcome outcome = write(path);
    ASSERT_TRUE(outcome.succeeded) << static_cast<int>(outcome.failure.message);
    EXPECT_EQ(loader.stored, (std::vector<std::uint16_t>{0x0005, 0x0001, 0x0FFF}));
    EXPECT_EQ(loader.flash[0x0FFF], test::PatternBlock(9));
    unsigned sum = 0;
    for (const auto& r : records) {
      for (auto b : r.data) sum += b;
    }
    EXPECT_EQ(outcome.checkSum, static_cast<std::uint16_t>(sum));
    ASSERT_EQ(messages.reports.size(), 1u);
    EXPECT_EQ(messages.reports[0], FormatReport(StringId::WriteSucceeded, outcome.elapsedMs, outcome.checkSum));
    EXPECT_EQ(messages.reportIcons[0], MessageIcon::Information);
    EXPECT_TRUE(messages.shown.empty());
    // The counter counts records, not block numbers.
    const std::vector<int> sent = messages.positions();
    EXPECT_EQ(std::vector<int>(sent.end() - 3, sent.end()), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(messages.progress.back().phase, SessionPhase::Ended);
    EXPECT_EQ(ctx.m_nStatus, 0);
    EXPECT_EQ(ctx.port(), nullptr);
  }
}

TEST_F(WriteProcedureTest, FileWithoutRecordsIsRefusedAfterTheSynchronisation) {
  // Nothing written is no success: a script would log the radio as programmed.
  const std::string path = dir.write("empty.sfl", ";just a header\n");
  const WriteOutcome outcome = write(path);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.failure.message, StringId::InvalidSflFile);
  EXPECT_TRUE(writePacketsSent().empty());
  EXPECT_NE(std::find(line().writes.begin(), line().writes.end(), std::vector<std::uint8_t>{'Z'}),
            line().writes.end());
  EXPECT_TRUE(messages.reports.empty());
}

TEST_F(WriteProcedureTest, RetryBoundFiveRetriesPassSixthFailureEnds) {
  const std::string path = dir.write("fw.sfl", test::ConventionalSfl(0, 3));
  struct Row {
    bool refuse;  // refuse the write packet, or spoil the verify reply
    int failures;
    bool succeeded;
  };
  for (int type : {kTypeQap8, kTypeQap10}) {
    for (const Row row : {Row{true, 5, true}, Row{true, 6, false}, Row{false, 5, true}, Row{false, 6, false}}) {
      SCOPED_TRACE(testing::Message() << "type " << type << " refuse " << row.refuse << " failures " << row.failures);
      test::FakeLoader fresh;
      loader = fresh;
      loader.attach(line());
      (row.refuse ? loader.refuseBlock : loader.badVerifyBlock) = 1;
      (row.refuse ? loader.refuseCount : loader.badVerifyCount) = row.failures;
      line().writes.clear();
      messages.shown.clear();
      ctx.m_nType = type;
      const WriteOutcome outcome = write(path);
      EXPECT_EQ(outcome.succeeded, row.succeeded);
      const auto packets = writePacketsSent();
      // Block 0 once, then block 1 up to six times, all byte-identical.
      ASSERT_GE(packets.size(), 2u);
      const std::size_t block1 = std::count(packets.begin(), packets.end(), packets[1]);
      EXPECT_EQ(block1, 6u);
      EXPECT_EQ(packets[1].size(), type ? 141u : 133u);
      if (type) {
        EXPECT_EQ(packets[1][6], 0x85);
      }
      if (row.succeeded) {
        EXPECT_EQ(outcome.retries, 5);
        EXPECT_EQ(packets.size(), 1u + 6u + 1u);
      } else {
        EXPECT_EQ(messages.ids(), std::vector<StringId>{StringId::FlashWriteFailed});
        EXPECT_EQ(outcome.failure.message, StringId::FlashWriteFailed);
        EXPECT_EQ(packets.size(), 1u + 6u);  // the rest is not written
      }
    }
  }
}

TEST_F(WriteProcedureTest, FailuresShowTheirMessageAndRestoreState) {
  const std::string good = dir.write("fw.sfl", test::ConventionalSfl(0, 2));
  std::string broken = test::ConventionalSfl(0, 2);
  broken[broken.size() - 5] = 'Q';
  const std::string invalid = dir.write("bad.sfl", broken);
  const std::string folder = (dir.path() / "old.sfl").string();
  std::filesystem::create_directory(folder);
  const std::string five = dir.write("five.sfl", test::ConventionalSfl(0, 5));
  std::atomic<bool> stop{false};
  ctx.stopRequest = &stop;
  // The stop comes once the radio has taken the third block.
  const auto stopAfterThirdBlock = [&] {
    auto answer = line().respond;
    line().respond = [&, answer](FakeLine& l, std::span<const std::uint8_t> bytes) {
      answer(l, bytes);
      if (loader.stored.size() == 3) stop = true;
    };
  };

  struct Row {
    const char* name;
    std::function<void()> arrange;
    std::string path;
    StringId message;
    bool synced;
  };
  const Row rows[] = {
      {"port missing", [&] { opener.failWith = OpenStatus::CannotOpen; }, good, StringId::PortCannotBeHandled, false},
      {"rate refused", [&] { opener.failWith = OpenStatus::CannotConfigure; }, good, StringId::PortInitFailed, false},
      {"silent radio", [&] { loader.silent = true; }, good, StringId::SyncError, false},
      {"file missing", [] {}, (dir.path() / "gone.sfl").string(), StringId::FileCannotBeOpened, true},
      {"a folder named .sfl", [] {}, folder, StringId::FileCannotBeOpened, true},
      {"invalid file", [] {}, invalid, StringId::InvalidSflFile, true},
      {"radio falls silent", [&] { loader.silentAfterPackets = 1; }, good, StringId::CommunicationError, true},
      {"stopped after three blocks", stopAfterThirdBlock, five, StringId::Stopped, true},
  };
  for (int type : {kTypeQap8, kTypeQap10}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (type ? " QAP-10" : " QAP-8"));
      opener.failWith = OpenStatus::Ok;
      test::FakeLoader fresh;
      loader = fresh;
      loader.attach(line());
      line().writes.clear();
      line().events.clear();
      line().input.clear();
      messages.shown.clear();
      messages.details.clear();
      messages.reports.clear();
      messages.statuses.clear();
      stop = false;
      ctx.m_nType = type;
      row.arrange();
      int statusWhileShown = -1;
      messages.onShow = [&](StringId) { statusWhileShown = ctx.m_nStatus; };

      const WriteOutcome outcome = write(row.path);
      EXPECT_FALSE(outcome.succeeded);
      EXPECT_EQ(messages.ids(), std::vector<StringId>{row.message});
      EXPECT_EQ(outcome.failure.message, row.message);
      EXPECT_TRUE(messages.reports.empty());
      EXPECT_EQ(statusWhileShown, row.message == StringId::SyncError ? 2 : 1);
      EXPECT_EQ(ctx.m_nStatus, 0);
      EXPECT_EQ(messages.statuses.back(), 0);
      EXPECT_EQ(ctx.port(), nullptr);
      EXPECT_EQ(line().openPorts, 0);
      EXPECT_LE(line().maxOpenPorts, 1);
      if (row.message == StringId::InvalidSflFile) {
        EXPECT_TRUE(loader.stored.empty());
      }
      if (row.message == StringId::Stopped) {
        EXPECT_EQ(outcome.blocksWritten, 3);
        EXPECT_EQ(messages.details[0],
                  "Blocks 000-002 of the new firmware are written; write it again before switching the radio off.");
      }
      if (row.synced) {
        // The lines are set at the end of the branch, then the port closes.
        const std::vector<std::string> tail(line().events.end() - 3, line().events.end());
        const std::string level = type ? " 1" : " 0";
        EXPECT_EQ(tail[0].substr(tail[0].find(' ') + 1), "DTR" + level);
        EXPECT_EQ(tail[1].substr(tail[1].find(' ') + 1), "RTS" + level);
        EXPECT_EQ(tail[2].substr(tail[2].find(' ') + 1), "close");
      }
    }
  }
}

TEST_F(WriteProcedureTest, RefusedWhileAnAccessRuns) {
  const std::string path = dir.write("fw.sfl", test::ConventionalSfl(0, 1));
  ctx.m_nStatus = 1;
  const WriteOutcome outcome = write(path);
  EXPECT_FALSE(outcome.ran);
  EXPECT_EQ(opener.opens, 0);
  EXPECT_TRUE(messages.progress.empty());
}

TEST_F(WriteProcedureTest, RtsPulseOpensThreeTimesBeforeTheStartPacket) {
  const std::string path = dir.write("fw.sfl", test::ConventionalSfl(0, 1));
  ctx.m_nType = kTypeQap10;
  ctx.m_bRtsPulse = true;
  ASSERT_TRUE(write(path).succeeded);
  EXPECT_EQ(opener.opens, 3);
  EXPECT_LE(line().maxOpenPorts, 1);
  EXPECT_EQ(line().writes.at(0).at(0), 0x51);  // the start packet goes out on the third open
}

TEST_F(WriteProcedureTest, ProgressRangeAndCounterFormat) {
  const std::string path = dir.write("fw.sfl", test::ConventionalSfl(0, 300));
  ASSERT_TRUE(write(path).succeeded);
  EXPECT_EQ(messages.ranges(), std::vector<int>{299});
  EXPECT_EQ(FormatBlockCounter(255), "0FF");
  EXPECT_EQ(FormatBlockCounter(256), "100");
  EXPECT_EQ(messages.positions()[299], 299);
  EXPECT_EQ(FormatBlockCounter(0x1234), "1234");
}

TEST(ReportTest, ElapsedAndSumFormatting) {
  EXPECT_EQ(FormatElapsed(125430), "2 min 5 sec 430 ms");
  EXPECT_EQ(FormatElapsed(3723456), "2 min 3 sec 456 ms");  // whole hours dropped
  EXPECT_EQ(FormatElapsed(0), "0 min 0 sec 0 ms");
  EXPECT_EQ(FormatHex4(0xFF), "00FF");
  EXPECT_EQ(FormatReport(StringId::WriteSucceeded, 125430, 0xBEEF),
            "Succeeded in writing the flash.\n\n2 min 5 sec 430 ms\n\nCheck SUM is BEEF");
}

}  // namespace
}  // namespace tarvel
