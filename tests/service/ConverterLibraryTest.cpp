// Finding, loading and unloading a converter library, and refusing one
// planted in the working directory.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "converters/ConverterApi.h"
#include "service/ConverterLibrary.h"
#include "tests/service/LibraryFolders.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

std::string VersionOf(ConverterLibrary& library) {
  const auto verInfo = library.function<VelmarVerInfoFn>("Velmar_VerInfo");
  return verInfo ? verInfo() : "(none)";
}

TEST(ConverterLibraryTest, TheFirstFolderHoldingALoadableFileWins) {
  test::TempDir dir;
  const fs::path empty = dir.path() / "empty", decoy = dir.path() / "decoy", garbage = dir.path() / "garbage";
  fs::create_directories(empty);
  test::Place(decoy, TARVEL_DECOY_LIBRARY, kHexConverterLibrary);
  fs::create_directories(garbage);
  std::ofstream(garbage / kHexConverterLibrary) << "not a library";

  struct Row {
    std::vector<std::string> folders;
    std::string loadedFrom;
    std::string version;
  };
  const Row rows[] = {
      {{empty.string(), decoy.string(), TARVEL_CONVERTERS_DIR}, decoy.string(), "Decoy 9.99"},
      {{empty.string(), TARVEL_CONVERTERS_DIR, decoy.string()}, TARVEL_CONVERTERS_DIR, "Tesmol 1.00"},
      // A file that is no library is passed over.
      {{garbage.string(), TARVEL_CONVERTERS_DIR}, TARVEL_CONVERTERS_DIR, "Tesmol 1.00"},
  };
  for (const Row& row : rows) {
    ConverterLibrary library(kHexConverterLibrary, ConverterSearch{row.folders, false});
    ASSERT_TRUE(library.loaded()) << library.error();
    EXPECT_EQ(fs::path(library.path()), fs::path(row.loadedFrom) / kHexConverterLibrary);
    EXPECT_EQ(VersionOf(library), row.version);
  }
}

TEST(ConverterLibraryTest, AMissingLibraryOrExportIsReportedAsMissing) {
  test::TempDir dir;
  ConverterLibrary none(kHexConverterLibrary, test::Only(dir.path()));
  EXPECT_FALSE(none.loaded());
  EXPECT_EQ(none.find("Velmar_Prc"), nullptr);
  EXPECT_NE(none.error().find("libtesmol.so not found in " + dir.path().string()), std::string::npos) << none.error();

  std::ofstream(dir.path() / kHexConverterLibrary) << "not a library";
  ConverterLibrary broken(kHexConverterLibrary, test::Only(dir.path()));
  EXPECT_FALSE(broken.loaded());
  // The loader's own words say what is wrong with the file.
  EXPECT_NE(broken.error().find(dir.path().string() + "/libtesmol.so:"), std::string::npos) << broken.error();

  test::Place(dir.path(), TARVEL_DECOY_LIBRARY, kFlashConverterLibrary);
  ConverterLibrary decoy(kFlashConverterLibrary, test::Only(dir.path()));
  ASSERT_TRUE(decoy.loaded()) << decoy.error();
  EXPECT_NE(decoy.find("Oxbrin_VerInfo"), nullptr);
  EXPECT_EQ(decoy.find("Oxbrin_Prc"), nullptr);
  EXPECT_NE(decoy.error().find("lacks Oxbrin_Prc"), std::string::npos) << decoy.error();
}

TEST(ConverterLibraryTest, UnloadedWhenTheObjectGoesUnlessReleased) {
  test::TempDir dir;
  const std::string copy = test::Place(dir.path(), test::RealLibrary(kHexConverterLibrary), kHexConverterLibrary);
  {
    ConverterLibrary library(kHexConverterLibrary, test::Only(dir.path()));
    ASSERT_TRUE(library.loaded());
    EXPECT_TRUE(test::IsLoaded(copy));
    ConverterLibrary moved(std::move(library));
    EXPECT_FALSE(library.loaded());  // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_TRUE(test::IsLoaded(copy));
  }
  EXPECT_FALSE(test::IsLoaded(copy));
  {
    ConverterLibrary library(kHexConverterLibrary, test::Only(dir.path()));
    library.release();
    EXPECT_FALSE(library.loaded());
  }
  EXPECT_TRUE(test::IsLoaded(copy));
}

TEST(ConverterLibraryTest, WhatCountsAsTheWorkingDirectory) {
  test::TempDir dir;
  const fs::path cwd = dir.path() / "work", program = dir.path() / "bin", other = dir.path() / "lib";
  for (const fs::path& p : {cwd, program, other}) fs::create_directories(p);
  fs::create_directory_symlink(cwd, dir.path() / "link");
  struct Row {
    std::string folder;
    std::string programFolder;
    bool reached;
  };
  const Row rows[] = {
      {"", program.string(), true},       // an empty LD_LIBRARY_PATH entry
      {".", program.string(), true},      // "."
      {"lib", program.string(), true},    // any folder named relative to it
      {"./../lib", program.string(), true},
      {cwd.string(), program.string(), true},
      {(dir.path() / "link").string(), program.string(), true},
      {(cwd / ".").string(), program.string(), true},
      {other.string(), program.string(), false},
      {(dir.path() / "missing").string(), program.string(), false},
      {cwd.string(), cwd.string(), false},  // the program's own folder is trusted
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    EXPECT_EQ(ReachedThroughWorkingDirectory(row.folder, cwd.string(), row.programFolder), row.reached);
  }
}

// In this process the loader's path is fixed at start, so here the planted
// file can only be met as the working directory's own; the run with
// LD_LIBRARY_PATH naming it is in CliConvertTest.
TEST(ConverterLibraryTest, AFilePlantedInTheWorkingDirectoryIsNotLoaded) {
  test::TempDir dir;
  const fs::path cwd = dir.path() / "work";
  test::Place(cwd, TARVEL_DECOY_LIBRARY, kHexConverterLibrary);
  std::ofstream(cwd / kFlashConverterLibrary) << "not a library";
  const fs::path mark = dir.path() / "decoy-ran";
  ::setenv("TARVEL_DECOY_MARK", mark.c_str(), 1);
  {
    test::WorkingDirectory inside(cwd);
    for (const ConverterSearch& search : {ConverterSearch{{}, true}, ProgramConverterSearch()}) {
      for (const char* name : {kHexConverterLibrary, kFlashConverterLibrary}) {
        ConverterLibrary library(name, search);
        if (library.loaded()) {
          EXPECT_NE(fs::path(library.path()).parent_path(), cwd) << library.path();
        }
      }
    }
    ConverterLibrary real(kHexConverterLibrary, ConverterSearch{{TARVEL_CONVERTERS_DIR}, true});
    ASSERT_TRUE(real.loaded()) << real.error();
    EXPECT_EQ(VersionOf(real), "Tesmol 1.00");
  }
  ::unsetenv("TARVEL_DECOY_MARK");
  EXPECT_FALSE(fs::exists(mark));
}

}  // namespace
}  // namespace tarvel
