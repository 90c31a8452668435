// The folder manifest from the command line: write refuses or warns before
// any radio is woken, list --json shows each row's state, and manifest
// makes a SHA256SUMS that sha256sum accepts.
#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "tests/cli/CliFixture.h"
#include "tests/trust/TrustCases.h"

namespace tarvel {
namespace {

using json = nlohmann::json;

class CliTrustTest : public test::CliFixture {};

TEST_F(CliTrustTest, EveryManifestStateInWriteAndList) {
  for (const test::TrustCase& row : test::TrustCases()) {
    SCOPED_TRACE(row.name);
    const std::filesystem::path folder = dir.path() / row.name;
    std::filesystem::create_directory(folder);
    const TrustOptions trust = test::MakeTrustFolder(row, folder);
    std::string options;
    for (const std::string& key : trust.keyFiles) options += " --key '" + key + "'";
    const std::string quoted = "'" + folder.string() + "'";

    const test::CliRun list = cli("list " + quoted + options + " --json");
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const json listed = json::parse(list.out)["rows"][0];
    EXPECT_EQ(listed["manifest"], ManifestStateName(row.state));
    EXPECT_EQ(listed["sha256"].get<std::string>() == test::kExampleSha256, !row.alterFile);
    EXPECT_EQ(listed["signed_by"], *row.signedBy != '\0' ? json(row.signedBy) : json(nullptr));

    const test::CliRun comment = cli("comment '" + (folder / "radio.sfl").string() + "'" + options + " --json");
    ASSERT_EQ(comment.exitCode, 0) << comment.err;
    EXPECT_EQ(json::parse(comment.out)["manifest"], ManifestStateName(row.state));
    EXPECT_EQ(json::parse(comment.out).contains("manifest_status"), row.manifest != nullptr);

    // No radio answers on the port: a file that passes the check fails
    // only at the port (exit 3), one refused never gets there (exit 5).
    if (row.required) options += " --require-manifest";
    const test::CliRun write = cli("write '" + (folder / "radio.sfl").string() + "' -p '" + port() + "'" + options +
                                   " --json");
    EXPECT_EQ(write.exitCode, row.verdict == WriteVerdict::Refuse ? 5 : 3) << write.out << write.err;
    const json written = json::parse(write.out);
    EXPECT_EQ(written["manifest"], ManifestStateName(row.state));
    EXPECT_EQ(written["signed_by"], *row.signedBy != '\0' ? json(row.signedBy) : json(nullptr));
    EXPECT_EQ(write.err.find("manifest") != std::string::npos, row.verdict != WriteVerdict::Go) << write.err;
    if (row.verdict == WriteVerdict::Refuse) {
      // A line of radios is refused the same way, before any is touched.
      const test::CliRun gang = cli("write '" + (folder / "radio.sfl").string() + "' -p '" + port() + "' -p '" +
                                    port() + "2'" + options);
      EXPECT_EQ(gang.exitCode, 5) << gang.err;
    }
  }
}

// A file larger than any SFL file is not read for its digest (a sparse
// one of 4 GB took 40 s), and its state says why.
TEST_F(CliTrustTest, ListMakesNoDigestOfAFileTooLargeToWrite) {
  const std::filesystem::path folder = dir.path() / "fw";
  std::filesystem::create_directory(folder);
  test::WriteAll(folder / "radio.sfl", test::ReadAll(test::kExampleSfl));
  test::WriteAll(folder / "SHA256SUMS", std::string(test::kExampleSha256) + "  radio.sfl\n");
  test::WriteAll(folder / "huge.sfl", "");
  std::filesystem::resize_file(folder / "huge.sfl", std::uintmax_t{4} << 30);
  const std::string quoted = "'" + folder.string() + "'";

  const test::CliRun list = cli("list " + quoted + " --json");
  ASSERT_EQ(list.exitCode, 0) << list.err;
  json rows = json::parse(list.out)["rows"];
  ASSERT_EQ(rows.size(), 2u);
  if (rows[0]["file"] != "huge.sfl") std::swap(rows[0], rows[1]);
  EXPECT_EQ(rows[0]["file"], "huge.sfl");
  EXPECT_EQ(rows[0]["manifest"], "too_large");
  EXPECT_EQ(rows[0]["sha256"], nullptr);
  EXPECT_EQ(rows[1]["manifest"], "matches");
  EXPECT_NE(list.err.find("huge.sfl: too large for an SFL file"), std::string::npos) << list.err;

  const test::CliRun text = cli("list " + quoted);
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("too large\n"), std::string::npos) << text.out;
}

TEST_F(CliTrustTest, ManifestCommandWritesWhatSha256sumChecks) {
  const std::filesystem::path folder = dir.path() / "fw";
  std::filesystem::create_directory(folder);
  test::WriteAll(folder / "radio one.sfl", test::ReadAll(test::kExampleSfl));
  test::WriteAll(folder / "B.SFL", ";b\n");
  test::WriteAll(folder / "notes.txt", "not firmware");
  const std::string quoted = "'" + folder.string() + "'";

  const test::CliRun made = cli("manifest " + quoted);
  ASSERT_EQ(made.exitCode, 0) << made.err;
  EXPECT_NE(made.out.find("2 files"), std::string::npos) << made.out;
  EXPECT_EQ(test::ReadAll(folder / "SHA256SUMS"),
            // sha256sum of ";b\n", then the example's.
            "9a3481d425632d62001f14df67d61bbf93413d04faba18978f425a7f72359e42  B.SFL\n" +
                std::string(test::kExampleSha256) + "  radio one.sfl\n");
  EXPECT_EQ(shell("cd " + quoted + " && sha256sum -c --quiet SHA256SUMS").exitCode, 0);
  EXPECT_EQ(cli("manifest " + quoted).exitCode, 2);  // not replaced without --force
  EXPECT_EQ(cli("manifest " + quoted + " --force").exitCode, 0);
  EXPECT_EQ(cli("manifest '" + (dir.path() / "missing").string() + "'").exitCode, 5);

  // A manifest that is a link: within the folder it is written where it
  // leads; out of the folder, never.
  const struct {
    const char* name;
    std::filesystem::path target;
    int exitCode;
  } links[] = {
      {"within the folder", folder / "sums.txt", 0},
      {"out of the folder", dir.path() / "outside.txt", 2},
      {"into a folder below", folder / "sub" / "sums.txt", 2},
  };
  // Wine hands a Windows program a POSIX link as the file it leads to: the
  // link's case is for the build whose links the program sees.
  if (OtherBuild()) return;
  std::filesystem::create_directory(folder / "sub");
  for (const auto& link : links) {
    SCOPED_TRACE(link.name);
    test::WriteAll(link.target, "kept\n");
    std::filesystem::remove(folder / "SHA256SUMS");
    std::filesystem::create_symlink(link.target, folder / "SHA256SUMS");
    const test::CliRun run = cli("manifest " + quoted + " --force");
    EXPECT_EQ(run.exitCode, link.exitCode) << run.err;
    EXPECT_EQ(test::ReadAll(link.target) == "kept\n", link.exitCode != 0);
    if (link.exitCode != 0) EXPECT_NE(run.err.find("leads out of"), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace tarvel
