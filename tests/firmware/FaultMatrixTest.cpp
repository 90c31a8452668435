// Every fault at every step of the conversation in turn: whatever goes
// wrong and wherever, a write or a read ends, says what failed once, closes
// the port and leaves the access state idle.
#include <gtest/gtest.h>

#include "firmware/WriteProcedure.h"
#include "firmware/FlashRead.h"
#include "tests/support/FakeLoader.h"
#include "tests/support/Fakes.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

enum class Fault {
  Silence,   // the radio stops answering for good
  Garbage,   // one answer is replaced by as many 0xEE bytes
  Nak,       // one answer is replaced by 0x15 bytes
  Unplug,    // the device vanishes
};

const char* Name(Fault f) {
  switch (f) {
    case Fault::Silence: return "silence";
    case Fault::Garbage: return "garbage";
    case Fault::Nak: return "NAK";
    case Fault::Unplug: return "unplug";
  }
  return "?";
}

// A loader whose answer to the step-th packet the tool sends (and, for
// silence and unplugging, every later one) is spoiled by `fault`.
struct FaultyLine {
  FaultyLine(test::FakeOpener& opener, Fault fault, int step) {
    loader.attach(*opener.line);
    auto answer = opener.line->respond;
    opener.line->respond = [this, answer, fault, step](test::FakeLine& line, std::span<const std::uint8_t> bytes) {
      const int n = writes++;
      if (n < step) {
        answer(line, bytes);
        return;
      }
      switch (fault) {
        case Fault::Silence: return;
        case Fault::Unplug: line.gone = true; return;
        case Fault::Garbage:
        case Fault::Nak: {
          if (n > step) {
            answer(line, bytes);
            return;
          }
          const std::size_t before = line.input.size();
          answer(line, bytes);
          for (std::size_t i = before; i < line.input.size(); ++i) line.input[i] = fault == Fault::Nak ? 0x15 : 0xEE;
          return;
        }
      }
    };
  }
  test::FakeLoader loader;
  int writes = 0;
};

// One conversation over a faulty line.
struct Conversation {
  Conversation(int type, Fault fault, int step) : line(opener, fault, step), ctx(opener, messages, clock, pump) {
    ctx.m_nType = type;
  }
  test::FakeOpener opener;
  FaultyLine line;
  test::RecordingMessages messages;
  test::FakeClock clock;
  NoUiPump pump;
  LoaderContext ctx;
};

constexpr int kNever = 1 << 30;

struct CountingSink final : BlockSink {
  bool load(std::string&) override { return true; }
  int addBlock(const std::string&, std::span<const std::uint8_t, kFlashBlockRecordBytes>) override { return 1; }
};

class FaultMatrixTest : public ::testing::TestWithParam<int> {};

TEST_P(FaultMatrixTest, WriteEndsCleanlyWhateverFailsWherever) {
  const int type = GetParam();
  test::TempDir dir;
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 3));
  // Steps of a clean run: sync bytes, then two packets per block.
  int cleanSteps = 0;
  {
    Conversation clean(type, Fault::Silence, kNever);
    ASSERT_TRUE(OnWrite(clean.ctx, file).succeeded);
    cleanSteps = clean.line.writes;
  }
  int runs = 0;
  for (Fault fault : {Fault::Silence, Fault::Garbage, Fault::Nak, Fault::Unplug}) {
    for (int step = 0; step <= cleanSteps; ++step) {
      SCOPED_TRACE(testing::Message() << Name(fault) << " from step " << step);
      Conversation c(type, fault, step);
      test::FakeOpener& opener = c.opener;
      test::RecordingMessages& messages = c.messages;
      LoaderContext& ctx = c.ctx;
      const WriteOutcome outcome = OnWrite(ctx, file);
      ++runs;
      EXPECT_EQ(ctx.m_nStatus, 0);
      EXPECT_EQ(opener.line->openPorts, 0);
      EXPECT_EQ(messages.progress.front().phase, SessionPhase::Started);
      EXPECT_EQ(messages.phase(SessionPhase::Ended).size(), 1u);
      if (outcome.succeeded) {
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(messages.reports.size(), 1u);
        continue;
      }
      ASSERT_EQ(messages.shown.size(), 1u);
      const StringId id = messages.shown[0].id;
      EXPECT_TRUE(id == StringId::SyncError || id == StringId::CommunicationError || id == StringId::FlashWriteFailed)
          << static_cast<int>(id);
      EXPECT_TRUE(messages.reports.empty());
      // A clean answer up to the very end means the write succeeded.
      EXPECT_LT(step, cleanSteps);
    }
  }
  EXPECT_EQ(runs, 4 * (cleanSteps + 1));
}

TEST_P(FaultMatrixTest, ReadEndsCleanlyWhateverFailsWherever) {
  const int type = GetParam();
  constexpr std::uint16_t kEndBlock = 4;
  const test::TempDir dir;
  const std::string output = (dir.path() / "dump.sfl").string();
  int cleanSteps = 0;
  {
    Conversation clean(type, Fault::Silence, kNever);
    CountingSink sink;
    ASSERT_TRUE(ReadFlash(clean.ctx, sink, output, kEndBlock).succeeded);
    cleanSteps = clean.line.writes;
  }
  for (Fault fault : {Fault::Silence, Fault::Garbage, Fault::Nak, Fault::Unplug}) {
    for (int step = 0; step <= cleanSteps; ++step) {
      SCOPED_TRACE(testing::Message() << Name(fault) << " from step " << step);
      Conversation c(type, fault, step);
      test::FakeOpener& opener = c.opener;
      test::RecordingMessages& messages = c.messages;
      LoaderContext& ctx = c.ctx;
      CountingSink sink;
      const ReadOutcome outcome = ReadFlash(ctx, sink, output, kEndBlock);
      EXPECT_EQ(ctx.m_nStatus, 0);
      EXPECT_EQ(opener.line->openPorts, 0);
      if (outcome.succeeded) {
        // Garbage in the data itself cannot be told from data: a read has no sum.
        EXPECT_TRUE(messages.shown.empty());
        continue;
      }
      ASSERT_FALSE(messages.shown.empty());
      const StringId last = messages.shown.back().id;
      EXPECT_TRUE(last == StringId::SyncError || last == StringId::ReadFailed) << static_cast<int>(last);
      EXPECT_LE(messages.shown.size(), 2u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothCables, FaultMatrixTest, ::testing::Values(kTypeQap8, kTypeQap10),
                         [](const auto& info) { return info.param == kTypeQap10 ? "Qap10" : "Qap8"; });

}  // namespace
}  // namespace tarvel
