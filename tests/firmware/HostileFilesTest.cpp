// Files as they come on a workshop machine: very long paths, names that are
// not UTF-8, huge headers, files that change or vanish between the listing
// and the write. Each ends in a clear result, never in an overflow or a crash.
#include <gtest/gtest.h>

#include <fstream>

#include "catalog/Catalog.h"
#include "catalog/CommentBlock.h"
#include "catalog/FileList.h"
#include "formats/SflFile.h"
#include "firmware/WriteProcedure.h"
#include "tests/support/FakeLoader.h"
#include "tests/support/Fakes.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

class HostileFilesTest : public ::testing::Test {
 protected:
  HostileFilesTest() : ctx(opener, messages, clock, pump) { loader.attach(*opener.line); }
  WriteOutcome write(const std::string& path) { return OnWrite(ctx, path); }

  test::TempDir dir;
  test::FakeOpener opener;
  test::FakeLoader loader;
  test::RecordingMessages messages;
  test::FakeClock clock;
  NoUiPump pump;
  LoaderContext ctx;
};

TEST_F(HostileFilesTest, PathsLongerThanTheOldBuffersWork) {
  // Folders nested until the file's path passes each of the old limits.
  for (std::size_t limit : {127u, 128u, 254u, 256u, 1000u}) {
    SCOPED_TRACE(limit);
    std::filesystem::path folder = dir.path();
    while (folder.string().size() < limit) folder /= std::string(40, 'd');
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "firmware.sfl").string();
    std::ofstream(path, std::ios::binary) << test::ConventionalSfl(0, 2);
    loader.stored.clear();
    EXPECT_TRUE(write(path).succeeded);
    EXPECT_EQ(loader.stored.size(), 2u);
    const auto rows = ListSflFolder(folder.string());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].baseName, "firmware");
    EXPECT_TRUE(ReadCommentBoxText(path).has_value());
  }
}

TEST_F(HostileFilesTest, NamesThatAreNotUtf8AreListedAndWritten) {
  const std::string name = std::string("fw-\xFF\xFE-") + "\xC3" + ".sfl";  // invalid UTF-8 bytes
  const std::string path = dir.write(name, test::ConventionalSfl(0, 1));
  const auto rows = ListSflFolder(dir.path().string());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].fileName, name);
  const auto selection = SelectRow(dir.path().string(), rows[0]);
  EXPECT_EQ(selection.filePath, path);
  EXPECT_TRUE(write(selection.filePath).succeeded);
}

TEST_F(HostileFilesTest, AMegabyteHeaderAndSeveralMegabytesOfRecords) {
  std::string text(1 << 20, ' ');
  for (std::size_t i = 0; i < text.size(); i += 80) text[i] = '\n';
  text[0] = ';';
  std::string records;
  for (int round = 0; round < 16; ++round) records += test::ConventionalSfl(0, 1024).substr(378);
  const std::string path = dir.write("big.sfl", text + records);
  ASSERT_GT(std::filesystem::file_size(path), 5u << 20);
  const WriteOutcome outcome = write(path);
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.blocksWritten, 16 * 1024);
  // The size convention overestimates the records; the range is a 16-bit value.
  EXPECT_EQ(messages.ranges().size(), 1u);
  // The comment display reads a bounded start of the file.
  const auto comment = ReadCommentBoxText(path);
  ASSERT_TRUE(comment.has_value());
  EXPECT_LE(comment->size(), 2 * kCommentReadLimitBytes);
}

TEST_F(HostileFilesTest, AFileThatVanishesOrChangesAfterTheListing) {
  const std::string path = dir.write("fw.sfl", test::ConventionalSfl(0, 2));
  ASSERT_EQ(ListSflFolder(dir.path().string()).size(), 1u);
  std::filesystem::remove(path);
  EXPECT_EQ(write(path).failure.message, StringId::FileCannotBeOpened);
  EXPECT_TRUE(loader.stored.empty());

  // Replaced by something that is not an SFL file: refused before any block.
  dir.write("fw.sfl", "+0000 this is not hex\n");
  messages.shown.clear();
  EXPECT_EQ(write(path).failure.message, StringId::InvalidSflFile);
  EXPECT_TRUE(loader.stored.empty());

  // Replaced by a folder of the same name.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_EQ(write(path).failure.message, StringId::FileCannotBeOpened);
  EXPECT_FALSE(ReadCommentBoxText(path).has_value());
}

TEST_F(HostileFilesTest, AFolderOfTenThousandFiles) {
  for (int i = 0; i < 10000; ++i) {
    std::ofstream(dir.path() / ("f" + std::to_string(i) + (i % 2 ? ".sfl" : ".SFL")));
  }
  std::ofstream(dir.path() / "notes.txt");
  Catalog catalog(dir.path().string());
  EXPECT_TRUE(catalog.Fill());
  EXPECT_EQ(catalog.rows().size(), 10000u);
  EXPECT_TRUE(catalog.ColumnClick(0));
  EXPECT_TRUE(catalog.ColumnClick(1));
}

}  // namespace
}  // namespace tarvel
