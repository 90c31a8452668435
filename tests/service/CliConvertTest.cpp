// `tarvel-cli convert` and `--version` as a script runs them, and the
// program's search for its converters: found from the build tree, never
// taken from the working directory, even when LD_LIBRARY_PATH names it.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "formats/SflFile.h"
#include "service/ConverterLibrary.h"
#include "tests/converters/HexText.h"
#include "tests/service/LibraryFolders.h"
#include "tests/support/CliRunner.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

using test::CliRun;
using test::Slurp;

class CliConvertTest : public ::testing::Test {
 protected:
  // Runs `program args` in `cwd` with `environment` (shell assignments).
  CliRun run(const std::string& args, const fs::path& cwd, const std::string& program = TARVEL_CLI,
             const std::string& environment = "") {
    return test::RunCommand(dir, "cd '" + cwd.string() + "' && " + environment + " '" + program + "' " + args);
  }

  test::TempDir dir;
  std::string hex = dir.write("fw.hex", test::LinearHex({{0, test::Bytes(0x20000, 3)}}));
};

TEST_F(CliConvertTest, DefaultsGiveBlocks000To3FFBesideTheHexFile) {
  test::TempDir elsewhere;
  const CliRun r = run("convert '" + hex + "'", elsewhere.path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Succeeded in the conversion of the file. " + (dir.path() / "fw.sfl").string() + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(fs::file_size(dir.path() / "fw.sfl"), kSflHeaderBytes + 1024 * kSflRecordBytes);
  EXPECT_TRUE(fs::is_empty(elsewhere.path()));
}

TEST_F(CliConvertTest, OptionsGiveTheRangeNameAndComment) {
  const CliRun r = run("convert fw.hex --output part.sfl --start 010 --end 01f --product 'Radio X' --firm-version 2.1",
                       dir.path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string text = Slurp(dir.path() / "part.sfl");
  EXPECT_EQ(text.size(), kSflHeaderBytes + 16 * kSflRecordBytes);
  EXPECT_NE(text.find("Radio X"), std::string::npos);
  EXPECT_NE(text.find("2.1"), std::string::npos);
  EXPECT_EQ(text.substr(kSflHeaderBytes, 6), "+0010 ");
}

TEST_F(CliConvertTest, FailuresExitWithNineAndSayWhy) {
  dir.write("bad.hex", ":01000000AA00\n:00000001FF\n");
  CliRun r = run("convert bad.hex", dir.path());
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Failed in the conversion of the file. \n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("line 1: checksum mismatch"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.path() / "bad.sfl"));

  r = run("convert fw.hex --start 400 --end 3FF", dir.path());
  EXPECT_EQ(r.exitCode, 9);
  r = run("convert missing.hex", dir.path());
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
  // A block option that is not one to three hex digits is a usage error.
  for (const char* bad : {"--start 0x1", "--end 1000", "--start ''", "--end 1.F"}) {
    r = run(std::string("convert fw.hex ") + bad, dir.path());
    EXPECT_EQ(r.exitCode, 2) << bad;
  }
}

TEST_F(CliConvertTest, WhatIsNoRegularFileIsRefusedUntouched) {
  const fs::path fifo = dir.path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::permissions(dir.write("old.sfl", "old"), fs::perms(0600));
  struct Row {
    std::string args;
    int exitCode;
    const char* message;
  };
  const Row rows[] = {
      {"--output " + fifo.string(), 2, "The output exists and is not a regular file"},
      {"--output /dev/null", 2, "The output exists and is not a regular file"},
      {"--output fw.hex", 2, "The output is the input file itself"},
      {"--output old.sfl --end 001 --force", 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    const CliRun r = run("convert " + hex + " " + row.args, dir.path());
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(fs::status(dir.path() / "old.sfl").permissions(), fs::perms(0600));  // replaced, mode kept
  EXPECT_EQ(fs::file_size(dir.path() / "old.sfl"), 378u + 263u * 2);
  // A FIFO as the input is refused at once instead of waited on.
  const CliRun r = run("20 " TARVEL_CLI " convert " + fifo.string() + " --output x.sfl", dir.path(), "timeout");
  EXPECT_EQ(r.exitCode, 9) << r.err;
  EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
}

TEST_F(CliConvertTest, VersionListsTheProgramAndBothConverters) {
  const CliRun r = run("--version", dir.path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Tarvel 1.10\nlibtesmol.so: Tesmol 1.00\nliboxbrin.so: Oxbrin 1.00\n");
}

// A copy of tarvel-cli in a folder of its own has no converters of its own
// and none in ../converters or ../lib/tarvel. Stand-ins planted in its
// working directory must not be loaded, not even opened, whether
// LD_LIBRARY_PATH names that directory relatively, by an empty entry or by
// its full path.
TEST_F(CliConvertTest, ConvertersPlantedInTheWorkingDirectoryAreNeverLoaded) {
  const fs::path bin = dir.path() / "bin", work = dir.path() / "work";
  const std::string program = test::Place(bin, TARVEL_CLI, "tarvel-cli");
  fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
  test::Place(work, TARVEL_DECOY_LIBRARY, kHexConverterLibrary);
  test::Place(work, TARVEL_DECOY_LIBRARY, kFlashConverterLibrary);
  test::Place(work, hex, "fw.hex");
  const fs::path mark = dir.path() / "decoy-ran";
  const std::string markEnv = "TARVEL_DECOY_MARK='" + mark.string() + "'";

  for (const std::string& path : {std::string("."), std::string(":"), std::string("./"), work.string(),
                                  std::string("../work"), std::string("/nonexistent:.")}) {
    SCOPED_TRACE(path);
    const std::string environment = markEnv + " LD_LIBRARY_PATH='" + path + "'";
    CliRun r = run("--version", work, program, environment);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Tarvel 1.10\nlibtesmol.so: not found\nliboxbrin.so: not found\n");
    r = run("convert fw.hex", work, program, environment);
    EXPECT_EQ(r.exitCode, 9);
    EXPECT_NE(r.err.find("Failed in the conversion of the file. "), std::string::npos);
    EXPECT_NE(r.err.find("libtesmol.so not found"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lies in the working directory"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(mark));
    EXPECT_FALSE(fs::exists(work / "fw.sfl"));
  }

  // Without LD_LIBRARY_PATH the loader never looks there.
  CliRun r = run("convert fw.hex", work, program, markEnv);
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_NE(r.err.find("libtesmol.so not found"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(mark));

  // The same stand-in in the program's own folder is loaded: the refusals
  // above are about where the file lies, not about the file.
  test::Place(bin, TARVEL_DECOY_LIBRARY, kHexConverterLibrary);
  r = run("--version", work, program, markEnv + " LD_LIBRARY_PATH=.");
  EXPECT_EQ(r.out, "Tarvel 1.10\nlibtesmol.so: Decoy 9.99\nliboxbrin.so: not found\n");
  EXPECT_TRUE(fs::exists(mark));
  // With the real converter installed beside it, the program's own wins.
  test::Place(bin, test::RealLibrary(kHexConverterLibrary), kHexConverterLibrary);
  test::Place(dir.path() / "lib" / "tarvel", test::RealLibrary(kFlashConverterLibrary), kFlashConverterLibrary);
  r = run("convert fw.hex --end 001", work, program, "LD_LIBRARY_PATH=.");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(fs::file_size(work / "fw.sfl"), kSflHeaderBytes + 2 * kSflRecordBytes);
  r = run("--version", work, program, "LD_LIBRARY_PATH=.");
  EXPECT_EQ(r.out, "Tarvel 1.10\nlibtesmol.so: Tesmol 1.00\nliboxbrin.so: Oxbrin 1.00\n");
}

}  // namespace
}  // namespace tarvel
