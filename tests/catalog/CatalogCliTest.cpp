// `tarvel-cli list` and `tarvel-cli comment`: the formatting helpers, then
// the real program's output and exit codes.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "catalog/FileList.h"
#include "cli/Commands.h"
#include "tests/catalog/CatalogFiles.h"

namespace tarvel {
namespace {

TEST(ListCommandTest, DatesLineUpAfterTheLongestName) {
  const std::vector<CatalogRow> rows{
      {"a", "2006/06/29 10:30", "a.sfl", 0},
      {"Model.A", "2006/06/29 9:05", "Model.A.sfl", 0},
      {"\xC3\xA9t\xC3\xA9", "2006/06/30 0:00", "\xC3\xA9t\xC3\xA9.sfl", 0},  // three columns wide
  };
  EXPECT_EQ(cli::FormatListing(rows),
            "a        2006/06/29 10:30\n"
            "Model.A  2006/06/29 9:05\n"
            "\xC3\xA9t\xC3\xA9      2006/06/30 0:00\n");
  EXPECT_EQ(cli::FormatListing({}), "");
}

TEST(ListCommandTest, EveryNameStaysOnItsLine) {
  const std::vector<CatalogRow> rows{{"two\nlines\x1B[2J", "2006/06/29 9:05", "x.sfl", 0},
                                     {"caf\xE9", "2006/06/29 9:05", "caf\xE9.sfl", 0}};
  EXPECT_EQ(cli::FormatListing(rows),
            "two\xEF\xBF\xBDlines\xEF\xBF\xBD[2J  2006/06/29 9:05\n"
            "caf\xC3\xA9           2006/06/29 9:05\n");
}

TEST(TerminalSafeTextTest, LineEndsAndControls) {
  EXPECT_EQ(cli::TerminalSafeText(";a\r\n;b\rc\r\n\td"), ";a\n;b\nc\n\td");
  EXPECT_EQ(cli::TerminalSafeText("\x1B[31mred\x07\x7F"), "\xEF\xBF\xBD[31mred\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(cli::TerminalSafeText("\xC2\x9B" "31m \xC3\xA9"), "\xEF\xBF\xBD" "31m \xC3\xA9");  // C1 CSI
}

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class CatalogCliTest : public ::testing::Test {
 protected:
  // Runs tarvel-cli with `arguments` (already quoted for the shell), in
  // `workingFolder` when one is given.
  CliRun RunCli(const std::string& arguments, const std::string& workingFolder = {}) {
    const std::string out = (output.path() / "out").string();
    const std::string err = (output.path() / "err").string();
    std::string command = std::string("'") + TARVEL_CLI_PATH + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
    if (!workingFolder.empty()) command = "cd " + Quoted(workingFolder) + " && " + command;
    CliRun run;
    const int status = std::system(command.c_str());
    if (status != -1 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = test::Slurp(out);
    run.err = test::Slurp(err);
    return run;
  }
  std::string Quoted(const std::string& path) const { return "'" + path + "'"; }

  test::TempDir dir;
  test::TempDir output;
};

TEST_F(CatalogCliTest, ListSortsLikeTheHeaderClicks) {
  ASSERT_TRUE(test::SetWriteTime(dir.write("B.sfl", ""), test::ListedLocalTime(2006, 6, 29, 9, 5)));
  ASSERT_TRUE(test::SetWriteTime(dir.write("a.sfl", ""), test::ListedLocalTime(2006, 6, 29, 10, 30)));
  ASSERT_TRUE(test::SetWriteTime(dir.write("fw.SFL", ""), test::ListedLocalTime(2006, 6, 28, 23, 59)));
  dir.write("notes.txt", "");

  CliRun run = RunCli("list " + Quoted(dir.path().string()) + " --sort name");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "a   2006/06/29 10:30\n"
            "B   2006/06/29 9:05\n"
            "fw  2006/06/28 23:59\n");
  run = RunCli("list " + Quoted(dir.path().string()) + " --sort date --descending");
  EXPECT_EQ(run.out,
            "B   2006/06/29 9:05\n"
            "a   2006/06/29 10:30\n"
            "fw  2006/06/28 23:59\n");
  run = RunCli("list " + Quoted(dir.path().string()));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, cli::FormatListing(ListSflFolder(dir.path().string())));
}

TEST_F(CatalogCliTest, ListDefaultsToTheWorkingFolder) {
  ASSERT_TRUE(test::SetWriteTime(dir.write("fw.sfl", ""), test::ListedLocalTime(2006, 6, 29, 9, 5)));
  const CliRun run = RunCli("list", dir.path().string());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "fw  2006/06/29 9:05\n");
}

TEST_F(CatalogCliTest, ListRejectsBadOptions) {
  EXPECT_EQ(RunCli("list --sort size").exitCode, 2);
  EXPECT_EQ(RunCli("list --descending").exitCode, 2);
}

TEST_F(CatalogCliTest, CommentShowsTheBlock) {
  const std::string file = dir.write("fw.sfl", ";Model QX-7\r\n;Ver 1+2\r\nrev 3+0000 00\r\n");
  CliRun run = RunCli("comment " + Quoted(file));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, ";Model QX-7\n;Ver 1+2\nrev 3\n");

  run = RunCli("comment " + Quoted(dir.write("bare.sfl", "+0000")));
  EXPECT_EQ(run.out, " Not comments in this file !!\n");
}

TEST_F(CatalogCliTest, CommentOnAFileThatCannotBeOpened) {
  for (const std::string& path : {(dir.path() / "missing.sfl").string(), dir.path().string()}) {
    const CliRun run = RunCli("comment " + Quoted(path));
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "The file cannot be opened.");
  }
}

}  // namespace
}  // namespace tarvel
