// liboxbrin.so: one call per block read, appending to the output file.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "converters/ConverterApi.h"
#include "formats/SflFile.h"
#include "service/ConverterLibrary.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

std::array<std::uint8_t, TARVEL_BLOCK_RECORD_BYTES> BlockRecord(std::uint16_t block) {
  std::array<std::uint8_t, TARVEL_BLOCK_RECORD_BYTES> record{};
  record[0] = static_cast<std::uint8_t>(block >> 8);
  record[1] = static_cast<std::uint8_t>(block);
  const auto data = test::PatternBlock(block);
  std::copy(data.begin(), data.end(), record.begin() + 2);
  return record;
}

using test::Slurp;

class OxbrinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prc = library.function<OxbrinPrcFn>("Oxbrin_Prc");
    ASSERT_TRUE(prc) << library.error();
  }
  ConverterLibrary library{kFlashConverterLibrary, ConverterSearch{{TARVEL_CONVERTERS_DIR}, false}};
  OxbrinPrcFn prc = nullptr;
  test::TempDir dir;
};

TEST_F(OxbrinTest, AppendsEachBlockAfterAHeaderWrittenOnce) {
  // The read creates the file empty before the first block.
  const std::string path = dir.write("dump.sfl", "");
  for (std::uint16_t block = 0; block <= 0x0FF; ++block) ASSERT_NE(prc(path.c_str(), BlockRecord(block).data()), 0);
  EXPECT_EQ(fs::file_size(path), kSflHeaderBytes + 0x100 * kSflRecordBytes);

  const std::string text = Slurp(path);
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  EXPECT_FALSE(CheckSflFile(bytes));
  EXPECT_NE(text.find("Flash extraction"), std::string::npos);
  EXPECT_EQ(text.find('+'), kSflHeaderBytes);
  SflTextReader reader(bytes);
  SflRecord record;
  std::uint16_t expected = 0;
  while (ParseSflRecord(reader, record) == SflParse::Record) {
    EXPECT_EQ(record.block, expected);
    EXPECT_EQ(record.data, test::PatternBlock(expected));
    ++expected;
  }
  EXPECT_EQ(expected, 0x100);
}

TEST_F(OxbrinTest, AFileWithTextGetsNoSecondHeader) {
  const std::string path = dir.write("dump.sfl", "");
  ASSERT_NE(prc(path.c_str(), BlockRecord(0).data()), 0);
  ASSERT_NE(prc(path.c_str(), BlockRecord(0xFFF).data()), 0);
  const std::string text = Slurp(path);
  EXPECT_EQ(text.size(), kSflHeaderBytes + 2 * kSflRecordBytes);
  EXPECT_EQ(text.substr(kSflHeaderBytes + kSflRecordBytes, 6), "+0FFF ");
}

TEST_F(OxbrinTest, RefusesWhatItCannotWrite) {
  const auto record = BlockRecord(0);
  EXPECT_EQ(prc((dir.path() / "missing" / "dump.sfl").c_str(), record.data()), 0);
  EXPECT_EQ(prc(dir.path().c_str(), record.data()), 0);
  EXPECT_EQ(prc("", record.data()), 0);
  EXPECT_EQ(prc(nullptr, record.data()), 0);
  EXPECT_EQ(prc((dir.path() / "dump.sfl").c_str(), nullptr), 0);
  EXPECT_FALSE(fs::exists(dir.path() / "dump.sfl"));
}

}  // namespace
}  // namespace tarvel
