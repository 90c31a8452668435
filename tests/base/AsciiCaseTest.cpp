// Case in ASCII only: letters change, every other byte stays.
#include "base/AsciiCase.h"

#include <string>

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(AsciiCase, OnlyAsciiLettersChangeCase) {
  // The bytes beside the letters ('@' '[' '`' '{'), Latin-1's letters and a
  // UTF-8 sequence stay as they are.
  const std::string mixed = "AZaz09@[`{ _\xC4\xE4\xC3\x84";
  EXPECT_EQ(LowerAsciiText(mixed), "azaz09@[`{ _\xC4\xE4\xC3\x84");
  std::string upper;
  for (const char c : mixed) upper += UpperAscii(c);
  EXPECT_EQ(upper, "AZAZ09@[`{ _\xC4\xE4\xC3\x84");
  EXPECT_EQ(LowerAsciiText(""), "");
}

TEST(AsciiCase, ComparesWithoutRegardToAsciiCase) {
  const struct {
    const char* a;
    const char* b;
    bool equal;
  } rows[] = {
      {"Initialize", "INITIALIZE", true},
      {"-qK", "-qk", true},
      {"", "", true},
      {"COM5", "com5", true},
      {"COM5", "COM50", false},  // a prefix is not equal
      {"@", "`", false},         // 0x40 and 0x60: not letters
      {"[", "{", false},
      {"\xC4", "\xE4", false},   // Latin-1's A and a umlaut
      {"\xC3\x84", "\xC3\xA4", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(EqualsNoCase(row.a, row.b), row.equal) << row.a << " / " << row.b;
    EXPECT_EQ(EqualsNoCase(row.b, row.a), row.equal) << row.b << " / " << row.a;
  }
}

TEST(AsciiCase, EndsWithWithoutRegardToAsciiCase) {
  const struct {
    const char* text;
    bool ends;
  } rows[] = {
      {"fw.sfl", true}, {"FW.SFL", true}, {"fw.Sfl", true}, {".sfl", true},
      {"fw.sf", false}, {"fw.sfl.bak", false}, {"sfl", false}, {"", false}, {"fw.s\xC6l", false},
  };
  for (const auto& row : rows) EXPECT_EQ(EndsWithNoCase(row.text, ".sfl"), row.ends) << row.text;
}

}  // namespace
}  // namespace tarvel
