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
    std::string options = trust.keyFiles.empty() ? "" : " --key '" + trust.keyFiles.front() + "'";
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
}

}  // namespace
}  // namespace tarvel
