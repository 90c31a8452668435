// A converted file is a file the write takes: HEX to SFL through
// libtesmol.so, then written into the simulated radio over a pseudo-terminal
// with the real port layer.
#include <gtest/gtest.h>

#include "firmware/WriteProcedure.h"
#include "serial/PosixSerialPort.h"
#include "service/Converters.h"
#include "sim/SimRadio.h"
#include "tests/converters/HexText.h"
#include "tests/support/Fakes.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

TEST(ConvertAndWriteTest, TheConvertedFileIsWrittenBlockForBlock) {
  test::TempDir dir;
  // Blocks 0x10..0x2F, with a gap (blocks 0x18..0x1B) left to 0xFF.
  const std::vector<std::uint8_t> low = test::Bytes(0x400, 5);
  const std::vector<std::uint8_t> high = test::Bytes(0xA00, 6);
  const std::string hex = dir.write("fw.hex", test::LinearHex({{0x800, low}, {0xE00, high}}));

  HexConversion conversion;
  conversion.hexPath = hex;
  conversion.sflName = "fw.sfl";
  conversion.firstBlock = 0x10;
  conversion.lastBlock = 0x2F;
  conversion.productName = "Radio";
  conversion.firmVersion = "2.0";
  const ConversionResult result = ConvertHexToSfl(conversion, ConverterSearch{{TARVEL_CONVERTERS_DIR}, false});
  ASSERT_TRUE(result.succeeded) << result.reason;

  for (sim::Cable cable : {sim::Cable::Qap8, sim::Cable::Qap10}) {
    SCOPED_TRACE(static_cast<int>(cable));
    sim::Options options;
    options.cable = cable;
    options.linkPath.clear();
    std::string error;
    const auto radio = sim::Radio::Start(options, &error);
    ASSERT_TRUE(radio) << error;
    PosixPortOpener opener;
    test::RecordingMessages messages;
    SteadyClock clock;
    NoUiPump pump;
    LoaderContext ctx(opener, messages, clock, pump);
    ctx.setCable(cable);
    ctx.link.m_strCommName = radio->devicePath();

    const WriteOutcome outcome = OnWrite(ctx, (dir.path() / "fw.sfl").string());
    ASSERT_TRUE(outcome.succeeded) << static_cast<int>(outcome.failure.message);
    EXPECT_EQ(outcome.blocksWritten, 0x20);
    // The size convention holds exactly: the range ends at the last block.
    EXPECT_EQ(messages.ranges(), std::vector<int>{0x1F});

    std::array<std::uint8_t, 128> erased{};
    erased.fill(0xFF);
    for (std::size_t block = 0x10; block <= 0x2F; ++block) {
      std::array<std::uint8_t, 128> expected = erased;
      for (std::size_t i = 0; i < 128; ++i) {
        const std::size_t at = block * 128 + i;
        if (at >= 0x800 && at < 0xC00) expected[i] = low[at - 0x800];
        if (at >= 0xE00 && at < 0x1800) expected[i] = high[at - 0xE00];
      }
      EXPECT_EQ(radio->block(block), expected) << block;
    }
    EXPECT_EQ(radio->stats().blocksStored, 0x20);
  }
}

}  // namespace
}  // namespace tarvel
