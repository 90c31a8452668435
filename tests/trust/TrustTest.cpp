// The manifest, minisign's format and the check before a write.
#include "trust/FileTrust.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "base/Sha256.h"
#include "tests/support/TempDir.h"
#include "tests/trust/TrustCases.h"

namespace tarvel {
namespace {

TEST(TrustTest, EveryManifestStateBeforeAWriteAndInTheList) {
  for (const test::TrustCase& row : test::TrustCases()) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    const TrustOptions options = test::MakeTrustFolder(row, dir.path());
    const std::string path = (dir.path() / "radio.sfl").string();
    const std::string bytes = test::ReadAll(path);
    const WriteTrust check =
        CheckBeforeWrite(path, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, options);
    EXPECT_EQ(check.file.state, row.state);
    EXPECT_EQ(check.verdict, row.verdict);
    EXPECT_EQ(check.signedBy, row.signedBy);
    EXPECT_EQ(check.detail.empty(), row.verdict == WriteVerdict::Go);
    if (row.state == ManifestState::Differs) {
      // The file, both digests in short form and the manifest.
      EXPECT_NE(check.detail.find("radio.sfl"), std::string::npos) << check.detail;
      EXPECT_NE(check.detail.find(check.file.sha256.substr(0, 12)), std::string::npos) << check.detail;
      EXPECT_NE(check.detail.find(check.file.listedSha256.substr(0, 12)), std::string::npos) << check.detail;
      EXPECT_NE(check.detail.find("SHA256SUMS"), std::string::npos) << check.detail;
    }
    // The list's way: the folder's manifest once, the digest from the cache.
    DigestCache cache;
    const FolderManifest manifest = LoadFolderManifest(dir.path().string(), options);
    const FileTrust listed = CheckAgainstManifest(manifest, "radio.sfl", cache.digest(path).value_or(""));
    EXPECT_EQ(listed.state, row.state);
    EXPECT_EQ(manifest.signedBy, row.signedBy);
    const std::string status = TrustStatusLine(manifest, listed);
    if (row.state == ManifestState::Matches && *row.signedBy != '\0') {
      EXPECT_EQ(status, std::string("Checked against SHA256SUMS (signed by ") + row.signedBy + ")");
    }
    // A folder without a manifest says nothing, as before.
    EXPECT_EQ(status.empty(), row.manifest == nullptr);
    if (row.problem != nullptr) {
      EXPECT_NE(manifest.problem.find(row.problem), std::string::npos) << manifest.problem;
    } else {
      EXPECT_EQ(manifest.problem, "");
    }
    // A file that could not be read is no match, and no damage either.
    EXPECT_EQ(CheckAgainstManifest(manifest, "radio.sfl", "").state, ManifestState::Absent);
  }
}

// A cached digest is given only for the same version of the file: an edit
// that keeps the size and sets the modification time back, or another file
// put in its place, is read again.
TEST(TrustTest, TheDigestCacheReadsAFileAgainOnceItChanged) {
  namespace fs = std::filesystem;
  const std::string original = test::ReadAll(test::kExampleSfl);
  std::string altered = original;
  altered.replace(altered.find("DEMO"), 4, "DEMX");
  const auto sha256 = [](const std::string& bytes) {
    Sha256 digest;
    digest.add({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    return digest.hex();
  };
  const struct {
    const char* name;
    std::function<void(const fs::path&)> change;
    const std::string& after;
  } rows[] = {
      {"untouched", [](const fs::path&) {}, original},
      {"a letter changed in place, the modification time set back",
       [&](const fs::path& path) {
         std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(static_cast<std::streamoff>(original.find("DEMO") + 3));
         file.put('X');
       },
       altered},
      {"another file of the same size and time put in its place",
       [&](const fs::path& path) {
         const fs::path other = path.string() + ".new";
         test::WriteAll(other, altered);
         fs::last_write_time(other, fs::last_write_time(path));
         fs::rename(other, path);
       },
       altered},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    const fs::path path = dir.path() / "radio.sfl";
    test::WriteAll(path, original);
    DigestCache cache;
    ASSERT_EQ(cache.digest(path.string()), test::kExampleSha256);
    fileio::FileStamp before;
    ASSERT_EQ(fileio::StampPath(path.string(), before), 0);
    const fs::file_time_type modified = fs::last_write_time(path);
    row.change(path);
    fs::last_write_time(path, modified);
    if (&row.after != &original) {
      // A file system that stamps changes with a coarse clock may give this
      // change the time of the first writing; a user's edit comes later.
      fileio::FileStamp now;
      while (fileio::StampPath(path.string(), now) == 0 && now.changed == before.changed) {
        fs::permissions(path, fs::status(path).permissions());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    fileio::FileStamp after;
    ASSERT_EQ(fileio::StampPath(path.string(), after), 0);
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(after.modified, before.modified);
    EXPECT_EQ(cache.digest(path.string()), sha256(row.after));
  }
}

TEST(TrustTest, ManifestLines) {
  const std::string a(64, 'a');
  const std::string b(64, 'b');
  const struct {
    std::string text;
    std::map<std::string, std::string> digests;
    int skipped;
  } rows[] = {
      {a + "  x.sfl\n" + b + " *y.sfl\n", {{"x.sfl", a}, {"y.sfl", b}}, 0},
      {a + "\t\tname with  spaces.sfl\r\n\n   \n", {{"name with  spaces.sfl", a}}, 0},
      {"\\" + a + "  back\\\\slash\\nline.sfl\n", {{"back\\slash\nline.sfl", a}}, 0},
      {a + "x.sfl\n" + a.substr(1) + "  short.sfl\n" + a + "  \n# comment\n\\" + a + "  bad\\q\n", {}, 5},
      {a + "  twice.sfl\n" + b + "  twice.sfl", {{"twice.sfl", b}}, 0},  // the last wins; no final LF
      // Upper-case digits are kept in lower case; a digit that is not hex spoils the line.
      {std::string(64, 'A') + "  up.sfl\n" + a.substr(1) + "g  g.sfl\n", {{"up.sfl", a}}, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    const ParsedManifest parsed = ParseManifest(row.text);
    EXPECT_EQ(parsed.digests, row.digests);
    EXPECT_EQ(parsed.skippedLines, row.skipped);
  }
  EXPECT_EQ(FormatManifest({{"b.sfl", b}, {"a\\b\nc.sfl", a}, {"A.sfl", a}}),
            a + "  A.sfl\n\\" + a + "  a\\\\b\\nc.sfl\n" + b + "  b.sfl\n");  // byte order
}

TEST(TrustTest, MinisignKeysAndBase64) {
  const auto key = ParseMinisignKey(test::ReadAll(test::kTrustFixtures / "trusted.pub"));
  ASSERT_TRUE(key);
  EXPECT_EQ(KeyIdText(key->id), test::kTrustedKeyId);
  EXPECT_FALSE(ParseMinisignKey(test::ReadAll(test::kTrustFixtures / "SHA256SUMS.minisig")));
  EXPECT_FALSE(ParseMinisignKey(""));
  EXPECT_EQ(DecodeBase64("TWFu"), (std::vector<std::uint8_t>{'M', 'a', 'n'}));
  EXPECT_EQ(DecodeBase64("TWE="), (std::vector<std::uint8_t>{'M', 'a'}));
  EXPECT_EQ(DecodeBase64("TQ=="), (std::vector<std::uint8_t>{'M'}));
  for (const char* bad : {"TWF", "T=Fu", "TQ==TWFu", "TW-u", "T==="}) EXPECT_FALSE(DecodeBase64(bad)) << bad;

  // A signature file cut short, or of another algorithm, is no signature.
  const std::string good = test::ReadAll(test::kTrustFixtures / "SHA256SUMS.minisig");
  const std::string manifest = test::ReadAll(test::kTrustFixtures / "SHA256SUMS");
  const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(manifest.data()), manifest.size()};
  EXPECT_EQ(VerifyMinisign(bytes, good, {*key}).state, SignatureState::Good);
  EXPECT_EQ(VerifyMinisign(bytes, good.substr(0, good.rfind("trusted")), {*key}).state, SignatureState::Malformed);
  std::string tampered = good;
  tampered.insert(tampered.find("timestamp"), "x");  // the trusted comment is signed too
  EXPECT_EQ(VerifyMinisign(bytes, tampered, {*key}).state, SignatureState::Bad);
}

TEST(TrustTest, Sha256OfAFile) {
  EXPECT_EQ(FileSha256(test::kExampleSfl.string()), test::kExampleSha256);
  EXPECT_FALSE(FileSha256((test::kTrustFixtures / "missing").string()));
}

}  // namespace
}  // namespace tarvel
