// One table over a firmware folder's manifest states, shared by the trust
// layer's tests, the command line's and the window's: each row builds a
// folder holding radio.sfl (the example file) and says what the check
// before a write, `list --json` and the window's WRITE make of it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "trust/FileTrust.h"

namespace tarvel::test {

inline const std::filesystem::path kTrustFixtures = TARVEL_TRUST_FIXTURES;
inline const std::filesystem::path kExampleSfl = TARVEL_EXAMPLE_SFL;
// sha256sum examples/demo.sfl
inline constexpr const char* kExampleSha256 = "55dd5b09efe0dd6890fe75c5f665925f64f2ed7d4d64dfaba987c200c5e587c0";
// minisign's id of tests/trust/fixtures/trusted.pub
inline constexpr const char* kTrustedKeyId = "CF6DC024E2E1FB7F";

struct TrustCase {
  const char* name;
  const char* manifest;   // SHA256SUMS's text; nullptr: none; "@signed": the fixture signed by trusted.pub
  const char* signature;  // the fixture copied as SHA256SUMS.minisig; "@damaged": the good one with a byte changed
  bool trustKey;          // trusted.pub configured
  bool required;          // RequireManifest / --require-manifest
  bool alterFile;         // radio.sfl changed after it was listed
  ManifestState state;
  WriteVerdict verdict;
  const char* signedBy;   // the key of a good signature: in list --json and the write's facts
  const char* problem;    // why the manifest does not count (a fragment), or nullptr
  bool strangerKeyFirst;  // another key is trusted too, listed before trusted.pub
};

inline std::vector<TrustCase> TrustCases() {
  static const std::string listed = std::string(kExampleSha256) + "  radio.sfl\n";
  static const std::string other = std::string(64, '0') + "  radio.sfl\n";
  static const std::string elsewhere = std::string(kExampleSha256) + "  other.sfl\n";
  static const std::string spaced = std::string(kExampleSha256) + " \t  radio.sfl\r\n";
  static const std::string binary = "not a digest line\n" + std::string(kExampleSha256) + " *radio.sfl\n";
  static const std::string upperDotted =
      "55DD5B09EFE0DD6890FE75C5F665925F64F2ED7D4D64DFABA987C200C5E587C0  ./radio.sfl\n";
  using S = ManifestState;
  using V = WriteVerdict;
  return {
      {"Matches", listed.c_str(), nullptr, false, false, false, S::Matches, V::Go, "", nullptr, false},
      {"Differs", other.c_str(), nullptr, false, false, false, S::Differs, V::Refuse, "", nullptr, false},
      {"NotListed", elsewhere.c_str(), nullptr, false, false, false, S::NotListed, V::Warn, "", nullptr, false},
      {"NotListedRequired", elsewhere.c_str(), nullptr, false, true, false, S::NotListed, V::Refuse, "", nullptr, false},
      {"NoManifest", nullptr, nullptr, false, false, false, S::Absent, V::Go, "", nullptr, false},
      {"NoManifestRequired", nullptr, nullptr, false, true, false, S::Absent, V::Refuse, "", nullptr, false},
      {"GoodSignature", "@signed", "SHA256SUMS.minisig", true, true, false, S::Matches, V::Go, kTrustedKeyId, nullptr, false},
      {"GoodLegacySignature", "@signed", "legacy.minisig", true, false, false, S::Matches, V::Go, kTrustedKeyId, nullptr, false},
      {"SignedFileAltered", "@signed", "SHA256SUMS.minisig", true, false, true, S::Differs, V::Refuse,
       kTrustedKeyId, nullptr, false},
      {"BadSignature", "@signed", "@damaged", true, false, false, S::Absent, V::Warn, "", "does not match", false},
      {"BadSignatureRequired", "@signed", "@damaged", true, true, false, S::Absent, V::Refuse, "", "does not match", false},
      {"MissingSignature", "@signed", nullptr, true, false, false, S::Absent, V::Warn, "", "is not signed", false},
      {"UnknownKey", "@signed", "stranger.minisig", true, false, false, S::Absent, V::Warn, "", "which is not among the trusted keys", false},
      {"SignatureOverAnotherManifest", "@signed", "another-manifest.minisig", true, false, false, S::Absent,
       V::Warn, "", "does not match", false},
      {"UnsignedWithoutKeys", "@signed", nullptr, false, false, false, S::Matches, V::Go, "", nullptr, false},
      {"OddSpacingCrLf", spaced.c_str(), nullptr, false, false, false, S::Matches, V::Go, "", nullptr, false},
      {"BinaryMarkerAfterBadLine", binary.c_str(), nullptr, false, false, false, S::Matches, V::Go, "", nullptr, false},
      {"UpperCaseDotSlash", upperDotted.c_str(), nullptr, false, false, false, S::Matches, V::Go, "", nullptr, false},
      {"SecondTrustedKey", "@signed", "SHA256SUMS.minisig", true, true, false, S::Matches, V::Go, kTrustedKeyId,
       nullptr, true},
      {"UnknownAlgorithm", "@signed", "@unknown-algorithm", true, false, false, S::Absent, V::Warn, "",
       "is not a minisign signature", false},
      {"ManifestAFolder", "@folder", nullptr, false, false, false, S::Absent, V::Warn, "", "cannot be read", false},
      {"ManifestAFolderRequired", "@folder", nullptr, false, true, false, S::Absent, V::Refuse, "", "cannot be read",
       false},
  };
}

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Fills `folder` for the row; returns the options the row configures.
inline TrustOptions MakeTrustFolder(const TrustCase& row, const std::filesystem::path& folder) {
  std::string sfl = ReadAll(kExampleSfl);
  if (row.alterFile) sfl.replace(sfl.find("DEMO"), 4, "DEMX");
  WriteAll(folder / "radio.sfl", sfl);
  if (row.manifest != nullptr && std::string(row.manifest) == "@folder") {
    std::filesystem::create_directory(folder / "SHA256SUMS");
  } else if (row.manifest != nullptr) {
    const std::string manifest = std::string(row.manifest) == "@signed" ? ReadAll(kTrustFixtures / "SHA256SUMS")
                                                                        : std::string(row.manifest);
    WriteAll(folder / "SHA256SUMS", manifest);
  }
  if (row.signature != nullptr) {
    std::string signature;
    if (std::string(row.signature) == "@damaged") {
      signature = ReadAll(kTrustFixtures / "SHA256SUMS.minisig");
      // A letter of the signature itself, on the second line.
      const std::size_t at = signature.find('\n') + 40;
      signature[at] = signature[at] == 'A' ? 'B' : 'A';
    } else if (std::string(row.signature) == "@unknown-algorithm") {
      // The good one with "Xx" for its algorithm ("Ed" or "ED"): the first
      // two bytes of the second line's base64 are in its first four letters.
      signature = ReadAll(kTrustFixtures / "SHA256SUMS.minisig");
      const std::size_t at = signature.find('\n') + 1;
      std::vector<std::uint8_t> head = DecodeBase64(signature.substr(at, 4)).value_or(std::vector<std::uint8_t>(3));
      head[0] = 'X';
      head[1] = 'x';
      const unsigned bits = (unsigned{head[0]} << 16) | (unsigned{head[1]} << 8) | head[2];
      static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
      for (int i = 0; i < 4; ++i) signature[at + static_cast<std::size_t>(i)] = kAlphabet[(bits >> (18 - 6 * i)) & 63];
    } else {
      signature = ReadAll(kTrustFixtures / row.signature);
    }
    WriteAll(folder / "SHA256SUMS.minisig", signature);
  }
  TrustOptions options;
  if (row.strangerKeyFirst) options.keyFiles.push_back((kTrustFixtures / "stranger.pub").string());
  if (row.trustKey) options.keyFiles.push_back((kTrustFixtures / "trusted.pub").string());
  options.requireManifest = row.required;
  return options;
}

}  // namespace tarvel::test
