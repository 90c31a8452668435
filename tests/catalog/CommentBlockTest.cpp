#include "catalog/CommentBlock.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "catalog/DisplayText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

using namespace std::string_literals;

const std::string kRecord = "+0000 " + std::string(256, '0') + "\n";

TEST(CommentBlockTest, BoxTextForFileContents) {
  const std::string none(kNoCommentsText);
  const struct {
    std::string file;
    std::string shown;
  } cases[] = {
      {kRecord, none},
      {"", none},
      {";Model QX-7\n;Ver 1.10\n", ";Model QX-7\r\n;Ver 1.10\r\n"},
      {";Model QX-7\n;Ver 1.10\n" + kRecord, ";Model QX-7\r\n;Ver 1.10\r\n"},
      {"Ver 1+2\n" + kRecord, "Ver 1"},
      {";Ver 1+2\n" + kRecord, ";Ver 1+2\r\n"},
      {"Model X ;note+1\nnext+2\n", "Model X ;note+1\r\nnext"},  // the flag ends with its line
      {"\n\n;a\n" + kRecord, "\r\n\r\n;a\r\n"},
      {";a\r\n;b\r\n" + kRecord, ";a\r\n;b\r\n"},  // CR LF read as LF
      {";a\rb\n" + kRecord, ";a\rb\r\n"},         // a lone CR stays
      {";a\n\x1A;b\n" + kRecord, ";a\r\n"},        // 0x1A ends the data
      {"\x1A;a\n", none},
      {";a\0b\n"s + kRecord, ";a"},                // the box ends at a NUL
      {"\0;a\n"s + kRecord, ""},                   // a non-empty block that shows nothing
      {";caf\xE9\n", ";caf\xC3\xA9\r\n"},          // not UTF-8: Latin-1
      {";caf\xC3\xA9 \xE2\x82\xAC\n", ";caf\xC3\xA9 \xE2\x82\xAC\r\n"},
      {";\xE2\x82\n", ";\xC3\xA2\xC2\x82\r\n"},    // a sequence cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CommentBoxText(BuildCommentBlock(c.file)), c.shown) << testing::PrintToString(c.file);
  }
}

TEST(DisplayTextTest, AnyBytesGiveValidUtf8) {
  const struct {
    std::string bytes;
    std::string shown;
  } cases[] = {
      {"plain ASCII ~\t", "plain ASCII ~\t"},
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                          // overlong '/'
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},              // a surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},  // beyond U+10FFFF
      {"\xF0\x9F\x93\xBB", "\xF0\x9F\x93\xBB"},                  // U+1F4FB
      {"\xFF", "\xC3\xBF"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeForDisplay(c.bytes), c.shown) << testing::PrintToString(c.bytes);

  // Every single byte and every pair: the result decodes as UTF-8 throughout.
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; second += 15) {
      const std::string shown = DecodeForDisplay(std::string{static_cast<char>(first), static_cast<char>(second)});
      for (std::size_t pos = 0; pos < shown.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(shown, pos, c);
        ASSERT_GT(length, 0u) << first << " " << second;
        pos += length;
      }
    }
  }
}

TEST(ReadCommentTest, ReadsTheFile) {
  test::TempDir dir;
  const std::string path = dir.write("fw.sfl", ";Model QX-7\r\n;Ver 1.10\r\n" + kRecord);
  EXPECT_EQ(ReadCommentBoxText(path), ";Model QX-7\r\n;Ver 1.10\r\n");
}

TEST(ReadCommentTest, WhatCannotBeOpenedGivesNothing) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.path() / "old.sfl");
  const std::string fifo = (dir.path() / "pipe.sfl").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {(dir.path() / "missing.sfl").string(), (dir.path() / "old.sfl").string(), fifo,
                                  std::string("/dev/zero")}) {
    std::string reason;
    EXPECT_FALSE(ReadCommentBoxText(path, &reason)) << path;
    EXPECT_FALSE(reason.empty()) << path;
  }
}

TEST(ReadCommentTest, HugeHeaderIsCutAtTheReadLimit) {
  test::TempDir dir;
  std::string lines;
  while (lines.size() < (1u << 20)) lines += ";0123456789abcdef\n";
  const std::string path = dir.write("big.sfl", lines + kRecord);
  const std::optional<std::string> shown = ReadCommentBoxText(path);
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, CommentBoxText(BuildCommentBlock(lines.substr(0, kCommentReadLimitBytes))));
}

}  // namespace
}  // namespace tarvel
