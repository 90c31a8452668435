// libtesmol.so as the program meets it: loaded from the build tree, called
// through its C entry points, its output read back by our own SFL reader.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "converters/ConverterApi.h"
#include "formats/SflFile.h"
#include "service/ConverterLibrary.h"
#include "service/SflConversion.h"
#include "tests/converters/HexText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

using test::Slurp;

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The records of an SFL file in file order, after checking it as the write
// does.
std::vector<SflRecord> Records(const std::string& path) {
  const std::string text = Slurp(path);
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  const std::optional<std::string> problem = CheckSflFile(bytes);
  EXPECT_FALSE(problem) << *problem;
  std::vector<SflRecord> records;
  SflTextReader reader(bytes);
  SflRecord record;
  while (ParseSflRecord(reader, record) == SflParse::Record) records.push_back(record);
  return records;
}

// Blocks first..last as the converter should give them: the chunks' bytes,
// 0xFF elsewhere.
std::vector<std::uint8_t> Expected(const std::map<std::uint32_t, std::vector<std::uint8_t>>& chunks, unsigned first,
                                   unsigned last) {
  std::vector<std::uint8_t> image((last - first + 1) * 128, 0xFF);
  for (const auto& [address, data] : chunks) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      const std::uint64_t at = address + i;
      if (at >= first * 128ull && at < (last + 1) * 128ull) image[at - first * 128] = data[i];
    }
  }
  return image;
}

// The image a file holds, checking that it has every block first..last once,
// in ascending order.
std::vector<std::uint8_t> Image(const std::string& path, unsigned first, unsigned last) {
  std::vector<std::uint8_t> image;
  unsigned block = first;
  for (const SflRecord& r : Records(path)) {
    EXPECT_EQ(r.block, block++);
    image.insert(image.end(), r.data.begin(), r.data.end());
  }
  EXPECT_EQ(block, last + 1);
  return image;
}

class TesmolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prc = library.function<VelmarPrcFn>("Velmar_Prc");
    lastError = library.function<VelmarLastErrorFn>("Velmar_LastError");
    ASSERT_TRUE(prc && lastError) << library.error();
  }

  // Converts `hexText` (written as fw.hex) into `name`; true on success.
  bool convert(const std::string& hexText, unsigned first, unsigned last, const std::string& name = "fw.sfl",
               const char* product = "Radio X", const char* version = "V1.2") {
    hexPath = dir.write("fw.hex", hexText);
    const int result = prc(hexPath.c_str(), name.c_str(), static_cast<unsigned short>(first),
                           static_cast<unsigned short>(last), product, version);
    reason = lastError();
    return result != 0;
  }
  std::string out() const { return (dir.path() / "fw.sfl").string(); }

  ConverterLibrary library{kHexConverterLibrary, ConverterSearch{{TARVEL_CONVERTERS_DIR}, false}};
  VelmarPrcFn prc = nullptr;
  VelmarLastErrorFn lastError = nullptr;
  test::TempDir dir;
  std::string hexPath;
  std::string reason;
};

TEST_F(TesmolTest, RoundTripWithGapsAndExtendedLinearAddresses) {
  // Blocks 000..3FF are flash 0x00000..0x1FFFF: the upper half needs an
  // extended linear address; one chunk crosses into it, one lies beyond.
  const std::map<std::uint32_t, std::vector<std::uint8_t>> chunks = {
      {0x00000, test::Bytes(0x123, 1)},  // ends inside block 2
      {0x00400, test::Bytes(0x80, 2)},   // exactly block 8
      {0x0FFF0, test::Bytes(0x40, 3)},   // crosses 0x10000
      {0x1FF80, test::Bytes(0x80, 4)},   // block 3FF, the last
      {0x20000, test::Bytes(0x80, 5)},   // block 400: outside the range
  };
  ASSERT_TRUE(convert(test::LinearHex(chunks), 0, 0x3FF)) << reason;
  EXPECT_EQ(fs::file_size(out()), kSflHeaderBytes + 1024 * kSflRecordBytes);
  EXPECT_EQ(Image(out(), 0, 0x3FF), Expected(chunks, 0, 0x3FF));

  // The header carries both texts and nothing a record reader could take.
  const std::string text = Slurp(out());
  const std::string header = text.substr(0, kSflHeaderBytes);
  EXPECT_NE(header.find("Radio X"), std::string::npos);
  EXPECT_NE(header.find("V1.2"), std::string::npos);
  EXPECT_EQ(header.find('+'), std::string::npos);
  EXPECT_EQ(text[kSflHeaderBytes], '+');
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"fw.hex", "fw.sfl"}));
}

TEST_F(TesmolTest, SizesFollowTheConventionForEveryRangeLength) {
  const std::string hex = test::LinearHex({{0, test::Bytes(0x80000, 7)}}, 32);
  for (const auto& [first, last] : std::vector<std::pair<unsigned, unsigned>>{{0, 0}, {5, 5}, {0x10, 0x1F}, {0, 0xFFF}}) {
    SCOPED_TRACE(first);
    ASSERT_TRUE(convert(hex, first, last)) << reason;
    EXPECT_EQ(fs::file_size(out()), kSflHeaderBytes + (last - first + 1) * kSflRecordBytes);
    EXPECT_EQ(Image(out(), first, last), Expected({{0, test::Bytes(0x80000, 7)}}, first, last));
  }
}

TEST_F(TesmolTest, SegmentAddressesWrapInsideTheirSegmentLinearOnesDoNot) {
  const std::vector<std::uint8_t> data = test::Bytes(16, 9);
  // Segment 0x1000 is base 0x10000: offset 0xFFF8 holds 8 bytes at 0x1FFF8,
  // the other 8 wrap to 0x10000.
  const std::string segmented = test::HexSegmentBase(0x1000) + test::HexData(0xFFF8, data) + test::HexEnd();
  ASSERT_TRUE(convert(segmented, 0x200, 0x3FF)) << reason;
  std::map<std::uint32_t, std::vector<std::uint8_t>> expected = {
      {0x1FFF8, {data.begin(), data.begin() + 8}}, {0x10000, {data.begin() + 8, data.end()}}};
  EXPECT_EQ(Image(out(), 0x200, 0x3FF), Expected(expected, 0x200, 0x3FF));

  // The same record after a linear base runs on across 0x10000.
  const std::string linear = test::HexLinearBase(0) + test::HexData(0xFFF8, data) + test::HexEnd();
  ASSERT_TRUE(convert(linear, 0x1FF, 0x200)) << reason;
  EXPECT_EQ(Image(out(), 0x1FF, 0x200), Expected({{0xFFF8, data}}, 0x1FF, 0x200));

  // A linear base after a segment base ends segment addressing.
  const std::string switched = test::HexSegmentBase(0x1000) + test::HexLinearBase(0) + test::HexData(0x0100, data) +
                               test::HexSegmentBase(0x0010) + test::HexData(0x0000, data) + test::HexEnd();
  ASSERT_TRUE(convert(switched, 0, 3)) << reason;
  EXPECT_EQ(Image(out(), 0, 3), Expected({{0x100, data}, {0x100, data}}, 0, 3));
}

TEST_F(TesmolTest, DataOutsideTheRangeIsNamedByAddress) {
  const std::vector<std::uint8_t> data = test::Bytes(16, 3);
  struct Row {
    const char* name;
    std::string hex;
    unsigned first, last;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> outside;
  };
  const Row rows[] = {
      {"below and above", test::HexData(0x70, data) + test::HexData(0xF8, data), 1, 1, {{0x70, 0x7F}, {0x100, 0x107}}},
      {"adjacent records joined, in address order", test::HexData(0x2010, data) + test::HexData(0x2000, data), 0, 1,
       {{0x2000, 0x201F}}},
      {"a wrapping segment record", test::HexSegmentBase(0x1000) + test::HexData(0xFFF8, data), 0, 0,
       {{0x10000, 0x10007}, {0x1FFF8, 0x1FFFF}}},
      {"everything inside", test::HexData(0x80, data), 1, 1, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir.write("fw.hex", row.hex + test::HexEnd());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> outside;
    for (const AddressRange& range : HexDataOutsideBlocks(path, static_cast<std::uint16_t>(row.first),
                                                          static_cast<std::uint16_t>(row.last))) {
      outside.emplace_back(range.first, range.last);
    }
    EXPECT_EQ(outside, row.outside);
  }
}

TEST_F(TesmolTest, OtherWaysOfWritingTheSameFileGiveTheSameImage) {
  const std::map<std::uint32_t, std::vector<std::uint8_t>> chunks = {{0x10, test::Bytes(0x50, 3)},
                                                                      {0x1F0, test::Bytes(0x20, 4)}};
  const std::string plain = test::LinearHex(chunks);
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  auto crlf = [](const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
  };
  const std::string records = plain.substr(0, plain.size() - test::HexEnd().size());
  const std::string variants[] = {
      lower(plain),
      crlf(plain),
      crlf(lower(plain)).substr(0, crlf(plain).size() - 2),  // no line end after the last record
      "\n  \n" + records + "\t\n" + test::HexEnd(),          // blank lines and trailing blanks
      test::HexRecord(0x03, 0, {0x12, 0x34, 0x56, 0x78}) + records + test::HexRecord(0x05, 0, {0, 0, 1, 0}) +
          test::HexEnd(),                                     // start addresses, ignored
      plain + test::HexData(0x10, test::Bytes(0x10, 99)) + "garbage\x1A",  // after the end: ignored
      records + test::HexData(0x10, {}) + test::HexEnd(),                   // an empty data record
  };
  for (std::size_t i = 0; i < std::size(variants); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(convert(variants[i], 0, 7)) << reason;
    EXPECT_EQ(Image(out(), 0, 7), Expected(chunks, 0, 7));
  }
}

TEST_F(TesmolTest, ALaterRecordOverwritesAnEarlierOne) {
  const std::string hex = test::HexData(0, {1, 2, 3, 4}) + test::HexData(2, {9}) + test::HexEnd();
  ASSERT_TRUE(convert(hex, 0, 0)) << reason;
  EXPECT_EQ(Image(out(), 0, 0), Expected({{0, {1, 2, 9, 4}}}, 0, 0));
}

TEST_F(TesmolTest, BadHexFilesAreRefusedWithTheLineAndLeaveNoFile) {
  const std::string good = test::HexData(0, test::Bytes(16, 1));
  std::string badSum = test::HexData(0x10, test::Bytes(16, 2));
  badSum[badSum.size() - 2] = badSum[badSum.size() - 2] == '0' ? '1' : '0';
  struct Row {
    const char* name;
    std::string text;
    const char* reasonHas;
  };
  const Row rows[] = {
      {"checksum", good + badSum + test::HexEnd(), "line 2: checksum mismatch"},
      {"no colon", good + "10000000" + test::HexEnd(), "must start with ':'"},
      {"odd digits", good + ":1000000\n" + test::HexEnd(), "odd number"},
      {"not hex", good + ":0G000000F0\n" + test::HexEnd(), "line 2: 'G' is not a hex digit"},
      {"too short", ":00000001\n", "line 1: record too short"},
      {"count differs", ":02000000AA54\n" + test::HexEnd(), "byte count"},
      // One byte more than its count, and a checksum over them all.
      {"count below its bytes", ":01000000AABB9A\n" + test::HexEnd(), "byte count is 1 but it holds 2"},
      {"unknown type", test::HexRecord(0x06, 0, {}) + test::HexEnd(), "record type 06"},
      {"end with data", good + test::HexRecord(0x01, 0, {0}), "end-of-file record holding 1"},
      {"short base", test::HexRecord(0x04, 0, {1}) + test::HexEnd(), "extended linear address"},
      {"short start", test::HexRecord(0x05, 0, {1, 2}) + test::HexEnd(), "start linear address"},
      {"no end record", good, "no end-of-file record"},
      {"empty file", "", "no end-of-file record"},
      {"binary", std::string(10000, '\x01'), "line too long"},
      {"nothing in range", test::HexData(0x80, test::Bytes(16, 1)) + test::HexEnd(), "no data"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_FALSE(convert(row.text, 0, 0));
    EXPECT_NE(reason.find(row.reasonHas), std::string::npos) << reason;
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"fw.hex"});
  }
}

TEST_F(TesmolTest, RefusedArgumentsLeaveNoFileAndKeepAnOldOne) {
  const std::string hex = test::LinearHex({{0, test::Bytes(0x100, 1)}});
  const std::string folderless = (dir.path() / "missing" / "x.sfl").string();
  struct Row {
    const char* name;
    std::string output;
    unsigned first, last;
  };
  const Row rows[] = {
      {"empty name", "", 0, 1},         {"first above last", "fw.sfl", 2, 1},
      {"block above FFF", "fw.sfl", 0, 0x1000}, {"both above FFF", "fw.sfl", 0x1000, 0x1001},
      {"no such folder", folderless, 0, 1},     {"folder as output", dir.path().string(), 0, 1},
      {"the HEX file itself", "fw.hex", 0, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_FALSE(convert(hex, row.first, row.last, row.output));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"fw.hex"});
    EXPECT_EQ(Slurp(hexPath), hex);
  }

  // A file of the output's name stays as it was when the conversion fails.
  dir.write("fw.sfl", "old");
  EXPECT_FALSE(convert(hex + "junk-after-end-is-fine", 3, 2));
  EXPECT_FALSE(convert(":00000001FE\n", 0, 1));
  EXPECT_EQ(Slurp(out()), "old");
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"fw.hex", "fw.sfl"}));
  // And is replaced when it succeeds.
  ASSERT_TRUE(convert(hex, 0, 1)) << reason;
  EXPECT_EQ(fs::file_size(out()), kSflHeaderBytes + 2 * kSflRecordBytes);
}

TEST_F(TesmolTest, MissingHexFileAndNullTextsFailCleanly) {
  EXPECT_EQ(prc((dir.path() / "none.hex").c_str(), "fw.sfl", 0, 1, "", ""), 0);
  EXPECT_NE(std::string(lastError()).find("cannot open"), std::string::npos);
  hexPath = dir.write("fw.hex", test::LinearHex({{0, test::Bytes(0x100, 1)}}));
  const char* h = hexPath.c_str();
  EXPECT_EQ(prc(nullptr, "fw.sfl", 0, 1, "", ""), 0);
  EXPECT_EQ(prc(h, nullptr, 0, 1, "", ""), 0);
  EXPECT_EQ(prc(h, "fw.sfl", 0, 1, nullptr, ""), 0);
  EXPECT_EQ(prc(h, "fw.sfl", 0, 1, "", nullptr), 0);
  EXPECT_EQ(prc("", "fw.sfl", 0, 1, "", ""), 0);
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"fw.hex"});
  // Empty comment texts are fine.
  EXPECT_NE(prc(h, "fw.sfl", 0, 1, "", ""), 0) << lastError();
  EXPECT_STREQ(lastError(), "");
}

TEST_F(TesmolTest, ANameWithoutAFolderGoesBesideTheHexFileAFolderIsKept) {
  const std::string hex = test::LinearHex({{0, test::Bytes(0x100, 1)}});
  ASSERT_TRUE(convert(hex, 0, 1, "beside.sfl")) << reason;
  EXPECT_TRUE(fs::exists(dir.path() / "beside.sfl"));
  EXPECT_FALSE(fs::exists(fs::current_path() / "beside.sfl"));

  test::TempDir other;
  const std::string elsewhere = (other.path() / "there.sfl").string();
  ASSERT_TRUE(convert(hex, 0, 1, elsewhere)) << reason;
  EXPECT_EQ(Listing(other.path()), std::vector<std::string>{"there.sfl"});
}

TEST_F(TesmolTest, AProductWithAPlusOrALineBreakKeepsTheHeaderClean) {
  ASSERT_TRUE(convert(test::LinearHex({{0, test::Bytes(0x80, 1)}}), 0, 0, "fw.sfl", "A+B\nC", "+1.0")) << reason;
  const std::string text = Slurp(out());
  EXPECT_EQ(text.find('+'), kSflHeaderBytes);
  EXPECT_EQ(fs::file_size(out()), kSflHeaderBytes + kSflRecordBytes);
}

TEST_F(TesmolTest, ExportsOnlyItsEntryPoints) {
  for (const char* file : {kHexConverterLibrary, kFlashConverterLibrary}) {
    const std::string command =
        std::string("nm -D --defined-only ") + (fs::path(TARVEL_CONVERTERS_DIR) / file).string() + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::vector<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
      std::istringstream fields(line);
      std::string address, kind, name;
      if (fields >> address >> kind >> name) names.push_back(name);
    }
    if (::pclose(pipe) != 0) GTEST_SKIP() << "nm is not available";
    std::sort(names.begin(), names.end());
    if (std::string(file) == kHexConverterLibrary) {
      EXPECT_EQ(names, (std::vector<std::string>{"Velmar_LastError", "Velmar_Prc", "Velmar_VerInfo"}));
    } else {
      EXPECT_EQ(names, (std::vector<std::string>{"Oxbrin_LastError", "Oxbrin_Prc", "Oxbrin_VerInfo"}));
    }
  }
}

}  // namespace
}  // namespace tarvel
