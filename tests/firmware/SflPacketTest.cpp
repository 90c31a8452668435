#include "firmware/SflPacket.h"

#include <gtest/gtest.h>

#include "tests/support/Fakes.h"
#include "tests/support/SflText.h"

namespace tarvel {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(SflPacketTest, RecordBecomesFramedOrBarePacketAndSums) {
  test::FakeOpener opener;
  test::RecordingMessages messages;
  test::FakeClock clock;
  NoUiPump pump;
  LoaderContext ctx(opener, messages, clock, pump);
  const std::string text = test::SflText("", {{0x0102, test::PatternBlock(7)}});
  unsigned dataSum = 0;
  for (auto b : test::PatternBlock(7)) dataSum += b;
  for (int type : {kTypeQap8, kTypeQap10}) {
    ctx.m_nType = type;
    ctx.m_wCheckSum = 0;
    SflTextReader reader(Bytes(text));
    std::size_t length = 0;
    ASSERT_TRUE(ReadSflRecord(ctx, reader, length));
    EXPECT_EQ(length, type ? 141u : 133u);
    const std::size_t at = type ? 8 : 0;
    EXPECT_EQ(ctx.m_abPacket[at], 'W');
    EXPECT_EQ(ctx.m_abPacket[at + 1], 0x01);
    EXPECT_EQ(ctx.m_abPacket[at + 2], 0x02);
    EXPECT_EQ(ctx.m_wCheckSum, static_cast<std::uint16_t>(dataSum));
    EXPECT_FALSE(ReadSflRecord(ctx, reader, length));
  }
}

}  // namespace
}  // namespace tarvel
