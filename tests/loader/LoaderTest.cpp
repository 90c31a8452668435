#include <gtest/gtest.h>

#include <cctype>
#include <numeric>

#include "loader/Conversation.h"
#include "loader/Exchanges.h"
#include "loader/Packets.h"
#include "loader/Sync.h"
#include "tests/support/FakeLoader.h"
#include "tests/support/Fakes.h"

namespace tarvel {
namespace {

using test::FakeLine;

class LoaderTest : public ::testing::Test {
 protected:
  LoaderTest() : ctx(opener, messages, clock, pump) {
    opener.line->clock = &clock;
  }
  void open(int type) {
    ctx.m_nType = type;
    ASSERT_FALSE(OpenCommPort(ctx.link));
  }
  FakeLine& line() { return *opener.line; }

  test::FakeOpener opener;
  test::RecordingMessages messages;
  test::FakeClock clock;
  test::CountingPump pump;
  LoaderContext ctx;
};

BlockData Ramp() {
  BlockData data{};
  std::iota(data.begin(), data.end(), std::uint8_t{0x80});
  return data;
}

TEST(BlockSumTest, AddsBlockNumberBytesAndDataModulo65536) {
  BlockData ff{};
  ff.fill(0xFF);
  EXPECT_EQ(BlockSum(0x0FFF, ff), static_cast<std::uint16_t>(0x0F + 0xFF + 128 * 0xFF));
  BlockData zero{};
  EXPECT_EQ(BlockSum(0x0102, zero), 3);
}

TEST_F(LoaderTest, SilentQap8LoaderGets26ZerosThenFails) {
  open(kTypeQap8);
  EXPECT_FALSE(SyncLoader(ctx));
  ASSERT_EQ(line().writes.size(), 26u);
  for (const auto& w : line().writes) EXPECT_EQ(w, std::vector<std::uint8_t>{0x00});
  EXPECT_EQ(clock.pauses, std::vector<std::uint32_t>(26, 1));
}

TEST_F(LoaderTest, Qap8EchoAtOnceStartsPhaseTwoAfterOneByte) {
  open(kTypeQap8);
  line().respond = [](FakeLine& l, std::span<const std::uint8_t> b) {
    if (b[0] == 0x00) l.reply({0x00});
    if (b[0] == 'Z') l.reply({'Z'});
  };
  EXPECT_TRUE(SyncLoader(ctx));
  EXPECT_EQ(line().allWritten(), (std::vector<std::uint8_t>{0x00, 'Z'}));
}

TEST_F(LoaderTest, Qap8WrongLetterSendsZAgainAndSilenceEndsAfter129) {
  open(kTypeQap8);
  int letters = 0;
  line().respond = [&](FakeLine& l, std::span<const std::uint8_t> b) {
    if (b[0] == 0x00) l.reply({0x00});
    if (b[0] == 'Z' && ++letters == 1) l.reply({0x33});
  };
  EXPECT_FALSE(SyncLoader(ctx));
  EXPECT_EQ(letters, 129);
}

TEST_F(LoaderTest, Qap8ZeroPhaseIgnoresOtherBytes) {
  open(kTypeQap8);
  int zeros = 0;
  line().respond = [&](FakeLine& l, std::span<const std::uint8_t> b) {
    if (b[0] == 0x00) l.reply({++zeros < 3 ? std::uint8_t{0x7F} : std::uint8_t{0x00}});
    if (b[0] == 'Z') l.reply({'Z'});
  };
  EXPECT_TRUE(SyncLoader(ctx));
  EXPECT_EQ(zeros, 3);
}

TEST_F(LoaderTest, Qap10HandshakeFramesAndCounters) {
  open(kTypeQap10);
  int wakeUps = 0;
  line().respond = [&](FakeLine& l, std::span<const std::uint8_t> b) {
    if (b.size() == 18 && ++wakeUps == 2) l.reply({0x00});
  };
  // Nothing answers the letter: two wake-ups, the letter once before the
  // loop and 51 times in it (the 51st exceeds the 50 looks).
  EXPECT_FALSE(SyncLoaderFramed(ctx));
  ASSERT_EQ(line().writes.size(), 2u + 1u + 51u);
  const std::vector<std::uint8_t> wake{0x50, 0xAF, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(line().writes[0], wake);
  const std::vector<std::uint8_t> letter{0x50, 0xAF, 0, 0, 0, 0, 1, 0, 0x5A};
  EXPECT_EQ(line().writes[2], letter);
  EXPECT_EQ(line().writes.back(), letter);
}

TEST_F(LoaderTest, Qap10SilentWakeUpEndsAfter26Frames) {
  open(kTypeQap10);
  EXPECT_FALSE(SyncLoaderFramed(ctx));
  EXPECT_EQ(line().writes.size(), 26u);
  EXPECT_EQ(clock.pauses, std::vector<std::uint32_t>(26, 10));
}

TEST_F(LoaderTest, Qap10LetterPhaseLooksOnceAndOnlyZPasses) {
  struct Row {
    std::uint8_t answer;
    bool synced;
  };
  for (const Row& row : {Row{0x5A, true}, Row{0x00, false}, Row{0x33, false}}) {
    SCOPED_TRACE(static_cast<int>(row.answer));
    line().writes.clear();
    line().input.clear();
    open(kTypeQap10);
    line().respond = [&](FakeLine& l, std::span<const std::uint8_t> b) {
      if (b.size() == 18) l.reply({0x00});
      if (b.size() == 9) l.reply({row.answer});
    };
    EXPECT_EQ(SyncLoaderFramed(ctx), row.synced);
    // One wake-up, then the letter twice before the one look.
    EXPECT_EQ(line().writes.size(), 3u);
  }
}

// A radio behind an adapter that holds its replies: the first three
// wake-up frames are answered together, after the third. The two zeros
// more are passed over on the way to the letter's answer, but not a third.
TEST_F(LoaderTest, Qap10LateZerosOfEarlierWakeUpsArePassedOver) {
  for (const std::vector<std::uint8_t>& letterAnswer :
       {std::vector<std::uint8_t>{0x5A}, std::vector<std::uint8_t>{0x00, 0x5A}}) {
    line().writes.clear();
    line().input.clear();
    open(kTypeQap10);
    int wakeUps = 0;
    line().respond = [&](FakeLine& l, std::span<const std::uint8_t> b) {
      if (b.size() == 18 && ++wakeUps == 3) l.reply({0x00, 0x00, 0x00});
      if (b.size() == 9) l.reply(letterAnswer);
    };
    EXPECT_EQ(SyncLoaderFramed(ctx), letterAnswer.size() == 1) << letterAnswer.size();
  }
}

TEST_F(LoaderTest, Qap10NonZeroWakeUpAnswerSendsWakeUpAgain) {
  open(kTypeQap10);
  int wakeUps = 0;
  line().respond = [&](FakeLine& l, std::span<const std::uint8_t> b) {
    if (b.size() == 18) l.reply({++wakeUps < 3 ? std::uint8_t{0x41} : std::uint8_t{0x00}});
    if (b.size() == 9) l.reply({0x5A});
  };
  EXPECT_TRUE(SyncLoaderFramed(ctx));
  EXPECT_EQ(wakeUps, 3);
}

TEST_F(LoaderTest, FramedLengthsOfEveryPacket) {
  ctx.m_nType = kTypeQap10;
  const BlockData data = Ramp();
  struct Row {
    std::size_t total;
    std::uint8_t lengthByte;
  };
  const std::size_t write = BuildWritePacket(ctx, 0x0123, data);
  EXPECT_EQ(write, 141u);
  EXPECT_EQ(ctx.m_abPacket[6], 0x85);
  EXPECT_EQ(ctx.m_abPacket[8], 'W');
  EXPECT_EQ(BuildVerifyCommand(ctx), 11u);
  EXPECT_EQ(ctx.m_abPacket[6], 3);
  EXPECT_EQ(BuildLetterFrame(ctx), 9u);
  EXPECT_EQ(ctx.m_abPacket[6], 1);
  EXPECT_EQ(BuildWakeUpFrame(ctx), 18u);
  EXPECT_EQ(ctx.m_abPacket[6], 1);
  EXPECT_EQ(BuildReadRequest(ctx, 0x0FFF), 27u);
  EXPECT_EQ(ctx.m_abPacket[6], 0x13);
  EXPECT_EQ(std::string(ctx.m_abPacket.begin() + 9, ctx.m_abPacket.begin() + 25), "KORVA-B5813-2004");
  EXPECT_EQ(ctx.m_abPacket[25], 0x0F);
  EXPECT_EQ(ctx.m_abPacket[26], 0xFF);

  ctx.m_nType = kTypeQap8;
  EXPECT_EQ(BuildWritePacket(ctx, 0x0123, data), 133u);
  EXPECT_EQ(BuildReadRequest(ctx, 1), 19u);
  EXPECT_EQ(BuildVerifyCommand(ctx), 3u);
}

TEST_F(LoaderTest, WritePacketLayoutAndVerifyBuiltOverItsStart) {
  for (int type : {kTypeQap8, kTypeQap10}) {
    SCOPED_TRACE(type);
    ctx.m_nType = type;
    const BlockData data = Ramp();
    const std::size_t length = BuildWritePacket(ctx, 0x0A0B, data);
    const std::size_t at = PacketOffset(ctx);
    EXPECT_EQ(ctx.m_abPacket[at + 1], 0x0A);
    EXPECT_EQ(ctx.m_abPacket[at + 2], 0x0B);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), ctx.m_abPacket.begin() + at + 3));
    const std::uint16_t sum = BlockSum(0x0A0B, data);
    EXPECT_EQ(WritePacketSum(ctx), sum);
    const auto before = ctx.m_abPacket;
    const auto head = SaveWritePacketHead(ctx);

    BuildVerifyCommand(ctx);
    EXPECT_EQ(ctx.m_abPacket[at], 0xAA);
    EXPECT_EQ(ctx.m_abPacket[at + 1], 0x55);
    EXPECT_EQ(ctx.m_abPacket[at + 2], 0xA0);
    // The data and sum behind the verify command are untouched.
    EXPECT_TRUE(std::equal(before.begin() + at + 3, before.begin() + at + 133, ctx.m_abPacket.begin() + at + 3));

    EXPECT_EQ(RestoreWritePacket(ctx, head), length);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + length, ctx.m_abPacket.begin()));
  }
}

TEST_F(LoaderTest, WriteExchangeOutcomes) {
  const BlockData data = Ramp();
  const std::uint16_t sum = BlockSum(0x0001, data);
  const std::uint8_t hi = sum >> 8, lo = sum & 0xFF;
  BlockData data0 = data;
  data0[0] = static_cast<std::uint8_t>(data0[0] - lo);
  const std::uint16_t sum0 = BlockSum(0x0001, data0);
  ASSERT_EQ(sum0 & 0xFF, 0);
  const std::uint8_t hi0 = sum0 >> 8;
  struct Row {
    const char* name;
    std::vector<std::uint8_t> ack;
    std::vector<std::uint8_t> verify;
    BlockWriteResult result;
    std::size_t writes;  // packets sent
  };
  const Row rows[] = {
      {"written", {0x05}, {0x05, hi, lo}, BlockWriteResult::Written, 2},
      {"refused: no verify follows", {0x15}, {}, BlockWriteResult::AttemptFailed, 1},
      {"no acknowledgement", {}, {}, BlockWriteResult::NoReply, 1},
      {"no verify reply", {0x05}, {}, BlockWriteResult::NoReply, 2},
      {"short verify reply", {0x05}, {0x05, hi}, BlockWriteResult::AttemptFailed, 2},
      {"verify not acknowledged", {0x05}, {0x06, hi, lo}, BlockWriteResult::AttemptFailed, 2},
      {"high byte differs", {0x05}, {0x05, static_cast<std::uint8_t>(hi ^ 1), lo}, BlockWriteResult::AttemptFailed, 2},
      {"low byte differs", {0x05}, {0x05, hi, static_cast<std::uint8_t>(lo ^ 0x80)}, BlockWriteResult::AttemptFailed, 2},
      // A missing third byte is no 00: the block below sums to xx00.
      {"two-byte reply, sum ending in 00", {0x05}, {0x05, hi0}, BlockWriteResult::AttemptFailed, 2},
  };
  for (int type : {kTypeQap8, kTypeQap10}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (type ? " framed" : " bare"));
      open(type);
      line().writes.clear();
      line().input.clear();
      line().respond = [&](FakeLine& l, std::span<const std::uint8_t> b) {
        l.reply(b.size() > 20 ? std::span<const std::uint8_t>(row.ack) : std::span<const std::uint8_t>(row.verify));
      };
      const int pumpRuns = pump.runs;
      const bool zeroSum = row.verify.size() == 2 && row.verify[1] == hi0;
      const std::size_t length = BuildWritePacket(ctx, 0x0001, zeroSum ? data0 : data);
      EXPECT_EQ(WriteBlockExchange(ctx, length), row.result);
      ASSERT_EQ(line().writes.size(), row.writes);
      // The window gets its turn before each reply: the verify's too.
      EXPECT_EQ(pump.runs - pumpRuns, static_cast<int>(row.writes));
      EXPECT_EQ(line().writes[0].size(), type ? 141u : 133u);
      if (row.writes == 2) {
        EXPECT_EQ(line().writes[1].size(), type ? 11u : 3u);
      }
    }
  }
}

TEST_F(LoaderTest, ReadExchangeNeedsTheWholeReply) {
  open(kTypeQap8);
  std::vector<std::uint8_t> answer(130, 0x42);
  line().respond = [&](FakeLine& l, std::span<const std::uint8_t>) { l.reply(answer); };
  ReadReply reply{};
  EXPECT_EQ(ReadBlockExchange(ctx, 7, reply), BlockReadResult::Read);
  EXPECT_EQ(reply[0], 0x42);
  EXPECT_EQ(line().writes[0].size(), 19u);
  answer.resize(129);
  EXPECT_EQ(ReadBlockExchange(ctx, 7, reply), BlockReadResult::NoReply);
  answer.clear();
  EXPECT_EQ(ReadBlockExchange(ctx, 7, reply), BlockReadResult::NoReply);
  EXPECT_EQ(pump.runs, 3);
  // One byte too many: this reply and every later one are shifted.
  answer.assign(131, 0x42);
  std::size_t stray = 0;
  EXPECT_EQ(ReadBlockExchange(ctx, 7, reply, &stray), BlockReadResult::OutOfStep);
  EXPECT_EQ(stray, 1u);
  // The leftover is found before the next request, which is not sent.
  const std::size_t sent = line().writes.size();
  EXPECT_EQ(ReadBlockExchange(ctx, 8, reply, &stray), BlockReadResult::OutOfStep);
  EXPECT_EQ(line().writes.size(), sent);
}

TEST_F(LoaderTest, Qap8LoaderEntryPulsesRts) {
  open(kTypeQap8);
  line().events.clear();
  PulseQap8LoaderEntry(ctx);
  EXPECT_EQ(line().events, (std::vector<std::string>{"1000 DTR 1", "1000 RTS 1", "1040 RTS 0", "1045 RTS 1"}));
  EXPECT_EQ(clock.now, 1145u);
}

TEST_F(LoaderTest, Qap10StartPacketThen200ms) {
  open(kTypeQap10);
  SendQap10StartPacket(ctx);
  EXPECT_EQ(line().writes.at(0), (std::vector<std::uint8_t>{0x51, 0xAE, 0x01, 0, 0, 0, 0, 0}));
  EXPECT_EQ(clock.pauses, std::vector<std::uint32_t>{200});
}

// The conversation closes with its cable's levels whether the loader
// answered or not: a write's (and a connection check's) lines down on a
// QAP-8 cable and up on a QAP-10 one; a flash read on QAP-10 raises RTS
// alone, closes, and pulses RTS once more on a port opened again unless the
// start pulse was asked for.
TEST_F(LoaderTest, TheConversationClosesWithItsCablesLevels) {
  using Tail = std::vector<std::string>;
  struct Row {
    const char* name;
    int type;
    bool answers;
    ConversationShape shape;
    bool rtsPulse;
    Tail tail;
    int opens;
  };
  const Tail down{"DTR 0", "RTS 0", "close"};
  const Tail up{"DTR 1", "RTS 1", "close"};
  const Tail readPulse{"RTS 1", "close", "open", "RTS 1", "RTS 0", "close"};
  const Row rows[] = {
      {"write QAP-8", kTypeQap8, true, kWriteConversation, false, down, 1},
      {"write QAP-8 silent", kTypeQap8, false, kWriteConversation, false, down, 1},
      {"write QAP-10", kTypeQap10, true, kWriteConversation, false, up, 1},
      {"write QAP-10 silent", kTypeQap10, false, kWriteConversation, false, up, 1},
      {"write QAP-10 with the start pulse", kTypeQap10, true, kWriteConversation, true, up, 3},
      {"read QAP-8", kTypeQap8, true, kReadConversation, false, down, 1},
      {"read QAP-10", kTypeQap10, true, kReadConversation, false, readPulse, 2},
      {"read QAP-10 silent", kTypeQap10, false, kReadConversation, false, readPulse, 2},
      {"read QAP-10 with the start pulse", kTypeQap10, true, kReadConversation, true, {"open", "RTS 1", "close"}, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::FakeLoader loader;
    loader.silent = !row.answers;
    loader.attach(line());
    line().events.clear();
    messages.shown.clear();
    messages.statuses.clear();
    ctx.m_nType = row.type;
    ctx.m_bRtsPulse = row.rtsPulse;
    bool bodyRan = false;
    const std::optional<Failure> failure = RunConversation(ctx, row.shape, [&] {
      bodyRan = true;
      return std::optional<Failure>();
    });
    EXPECT_EQ(bodyRan, row.answers);
    EXPECT_EQ(failure.has_value(), !row.answers);
    if (failure) {
      EXPECT_EQ(failure->kind, FailureKind::LoaderSilent);
      EXPECT_EQ(messages.ids(), std::vector<StringId>{StringId::SyncError});
      EXPECT_EQ(messages.statuses, std::vector<int>{StatusCode(AccessStatus::SyncFailed)});
    }
    // With a clock, each event carries its time first.
    Tail events;
    for (const std::string& event : line().events) {
      events.push_back(std::isdigit(static_cast<unsigned char>(event[0])) ? event.substr(event.find(' ') + 1) : event);
    }
    EXPECT_EQ(Tail(events.end() - static_cast<long>(row.tail.size()), events.end()), row.tail);
    EXPECT_EQ(std::count(events.begin(), events.end(), "open"), row.opens);
    EXPECT_EQ(line().openPorts, 0);
  }
}

TEST_F(LoaderTest, NoOpenPortReadsNothing) {
  ctx.m_nType = kTypeQap8;
  EXPECT_FALSE(SyncLoader(ctx));
  ReadReply reply{};
  EXPECT_EQ(ReadBlockExchange(ctx, 0, reply), BlockReadResult::NoReply);
}

}  // namespace
}  // namespace tarvel
