// The file toolkit: handles that close themselves, the regular-file opener
// and its capped read, and WriteAll.
#include "base/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

bool IsOpenDescriptor(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(FileTools, HandlesCloseOnEveryPathOutAndMoveTheirDescriptor) {
  test::TempDir dir;
  const std::string path = dir.write("f", "x");
  int fd = -1;
  {
    fileio::FileHandle outer;
    {
      fileio::FileHandle inner(fileio::Open(path, fileio::OpenFor::Read));
      fd = inner.get();
      ASSERT_TRUE(IsOpenDescriptor(fd));
      outer = std::move(inner);
      EXPECT_FALSE(inner.isOpen());
    }
    EXPECT_TRUE(IsOpenDescriptor(fd)) << "the moved-from handle closed it";
    EXPECT_EQ(outer.get(), fd);
  }
  EXPECT_FALSE(IsOpenDescriptor(fd));

  fileio::FileHandle closed(fileio::Open(path, fileio::OpenFor::Read));
  fd = closed.get();
  EXPECT_EQ(closed.close(), 0);
  EXPECT_FALSE(IsOpenDescriptor(fd));
  EXPECT_EQ(closed.close(), 0) << "closing twice closes nothing";
}

TEST(FileTools, OnlyRegularFilesOpenAndTheReadKeepsItsCap) {
  test::TempDir dir;
  const std::string tenBytes = dir.write("ten", "0123456789");
  fs::create_directory(dir.path() / "folder");
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::size_t cap;
    fileio::OpenResult opened;
    bool read;
    const char* reason;  // of the read that fails
  };
  const Case cases[] = {
      {tenBytes, 10, fileio::OpenResult::Opened, true, ""},
      {tenBytes, 9, fileio::OpenResult::Opened, false, "larger than 9 bytes"},
      {(dir.path() / "missing").string(), 10, fileio::OpenResult::Failed, false, "No such file or directory"},
      {(dir.path() / "folder").string(), 10, fileio::OpenResult::NotRegular, false, "not a regular file"},
      // Without a writer: refused at once instead of waiting for one.
      {fifo, 10, fileio::OpenResult::NotRegular, false, "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " cap " + std::to_string(c.cap));
    fileio::FileHandle file;
    fileio::FileInfo info;
    EXPECT_EQ(fileio::OpenRegularFile(c.path, file, info), c.opened);
    EXPECT_EQ(file.isOpen(), c.opened == fileio::OpenResult::Opened);
    std::string text = "stale";
    std::string reason;
    EXPECT_EQ(fileio::ReadRegularFile(c.path, c.cap, text, reason), c.read);
    EXPECT_EQ(text, c.read ? "0123456789" : "");
    if (!c.read) {
      EXPECT_EQ(reason, c.reason);
    }
  }
}

TEST(FileTools, WriteAllWritesEveryByteOrSaysWhyNot) {
  test::TempDir dir;
  const std::string path = (dir.path() / "big").string();
  // More than a pipe or a single write takes at once.
  std::string bytes(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  {
    fileio::FileHandle file(fileio::Open(path, fileio::OpenFor::Truncate));
    ASSERT_TRUE(fileio::WriteAll(file.get(), bytes));
    EXPECT_EQ(file.close(), 0);
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream back;
  back << in.rdbuf();
  EXPECT_TRUE(back.str() == bytes);

  const fileio::FileHandle readOnly(fileio::Open(path, fileio::OpenFor::Read));
  errno = 0;
  EXPECT_FALSE(fileio::WriteAll(readOnly.get(), "x"));
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace tarvel
