// A digest's text form.
#include "base/Sha256.h"

#include <string>

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(Sha256, DigestTextIsSixtyFourHexDigitsOfEitherCase) {
  const std::string digest = "55dd5b09efe0dd6890fe75c5f665925f64f2ed7d4d64dfaba987c200c5e587c0";
  const struct {
    std::string text;
    bool digest;
  } rows[] = {
      {digest, true},
      {"55DD5B09EFE0DD6890FE75C5F665925F64F2ED7D4D64DFABA987C200C5E587C0", true},
      {std::string(64, '0'), true},
      {std::string(32, 'F') + std::string(32, 'a'), true},
      {digest.substr(1), false},         // 63
      {digest + "0", false},             // 65
      {"", false},
      {digest.substr(1) + "g", false},
      {digest.substr(1) + "G", false},
      {digest.substr(1) + " ", false},
      {digest.substr(1) + "x", false},
      {std::string(63, 'a') + '\0', false},
      {digest.substr(1) + "\xB9", false},  // superscript one in Latin-1
  };
  for (const auto& row : rows) EXPECT_EQ(IsHexDigest(row.text), row.digest) << row.text;
}

}  // namespace
}  // namespace tarvel
