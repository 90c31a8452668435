#include "formats/SflFile.h"

#include <gtest/gtest.h>

#include "tests/support/SflText.h"

namespace tarvel {
namespace {

using test::TestRecord;

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::vector<SflRecord> ParseAll(const std::string& text) {
  SflTextReader reader(Bytes(text));
  std::vector<SflRecord> out;
  SflRecord r;
  while (ParseSflRecord(reader, r) == SflParse::Record) out.push_back(r);
  return out;
}

TEST(SflFileTest, CaseAndLineEndsReadAlike) {
  const std::vector<TestRecord> records{{0x00A0, test::PatternBlock(1)}, {0x0003, test::PatternBlock(2)}};
  const auto lf = ParseAll(test::SflText(";hdr\n", records, "\n"));
  const auto crlf = ParseAll(test::SflText(";hdr\r\n", records, "\r\n"));
  const auto lower = ParseAll(test::SflText(";hdr\n", records, "\n", true));
  ASSERT_EQ(lf.size(), 2u);
  for (const auto* other : {&crlf, &lower}) {
    ASSERT_EQ(other->size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ((*other)[i].block, lf[i].block);
      EXPECT_EQ((*other)[i].data, lf[i].data);
    }
  }
  EXPECT_EQ(lf[0].block, 0x00A0);
  EXPECT_EQ(lf[0].data, test::PatternBlock(1));
}

TEST(SflFileTest, TrailingTextIgnoredAndEndOfDataByteEnds) {
  std::string text = test::SflText("", {{1, test::PatternBlock(1)}}, " 1234 checksum\n");
  text += '\x1A';
  // Padding after the end byte is read as before.
  EXPECT_FALSE(CheckSflFile(Bytes(text + std::string(100, '\x1A') + std::string(20, '\0'))).has_value());
  text += test::SflText("", {{2, test::PatternBlock(2)}});
  EXPECT_EQ(ParseAll(text).size(), 1u);
  // A record after it would be dropped unwritten: the file is refused.
  const auto problem = CheckSflFile(Bytes(text));
  ASSERT_TRUE(problem.has_value());
  EXPECT_NE(problem->find("0x1A"), std::string::npos) << *problem;
}

TEST(SflFileTest, WholeFileCheckRefusesBrokenRecords) {
  const std::string good = test::SflText(";Ver 1\n", {{1, test::PatternBlock(1)}, {2, test::PatternBlock(2)}});
  EXPECT_FALSE(CheckSflFile(Bytes(good)).has_value());

  struct Row {
    const char* name;
    std::string text;
    const char* where = "line";
  };
  std::string badDigit = good;
  badDigit[badDigit.size() - 10] = 'G';
  std::string badBlock = good;
  badBlock[badBlock.find('+') + 2] = 'x';
  const Row rows[] = {
      {"non-hex data digit in the last record", badDigit},
      {"non-hex block digit", badBlock},
      {"cut short in the data", good.substr(0, good.size() - 20)},
      {"cut short in the block number", good + "+00"},
      {"ends at the separator", good + "+0003"},
      {"a '+' in the header", ";Ver 1+2\n" + good},
      {"a line break among the digits", good.substr(0, 50) + "\n" + good.substr(50)},
      // Nothing to write is no success to report.
      {"empty", "", "no flash record"},
      {"a header alone", ";only a header\n", "no flash record"},
      {"a text file named .sfl", "# Read me\n\nSee the manual.\n", "no flash record"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto problem = CheckSflFile(Bytes(row.text));
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find(row.where), std::string::npos) << *problem;
  }
}

TEST(SflFileTest, ProgressRangeFollowsTheSizeConvention) {
  EXPECT_EQ(SflProgressHighest(378 + 263 * 1024), 1023);
  EXPECT_EQ(SflProgressHighest(378 + 263), 0);
  EXPECT_EQ(SflProgressHighest(378 + 262), 0);  // not even one record by the convention
  EXPECT_EQ(SflProgressHighest(100), 0);
  EXPECT_EQ(SflProgressHighest(0), 0);
  EXPECT_EQ(test::ConventionalSfl(0, 5).size(), 378u + 263u * 5);
}

}  // namespace
}  // namespace tarvel
