// The files a run writes: refused outputs stay untouched, an existing file
// changes only on commit and keeps its mode, a link keeps its place.
#include "base/OutputFile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

using test::Slurp;

unsigned ModeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Only the named files: no temporary file is left behind.
std::size_t FilesIn(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(OutputFile, ReplacesOnlyOnCommitAndRefusesWhatItMustNotTouch) {
  struct Case {
    const char* name;
    std::function<void(const test::TempDir&)> setUp;  // makes "out" (and "in")
    OutputProblem refusal;
    const char* contentAfter;  // of "out" after open, write "new", commit
    unsigned modeAfter;        // 0: not checked
  };
  const mode_t umask = ::umask(022);
  const Case cases[] = {
      {"new file", [](const test::TempDir&) {}, OutputProblem::None, "new", 0644},
      {"private file keeps its mode",
       [](const test::TempDir& d) { fs::permissions(d.write("out", "old"), fs::perms(0600)); },
       OutputProblem::None, "new", 0600},
      {"link: the target is replaced",
       [](const test::TempDir& d) {
         d.write("real", "old");
         fs::create_symlink("real", d.path() / "out");
       },
       OutputProblem::None, "new", 0},
      {"fifo", [](const test::TempDir& d) { ::mkfifo((d.path() / "out").c_str(), 0600); }, OutputProblem::NotRegular,
       nullptr, 0},
      {"folder", [](const test::TempDir& d) { fs::create_directory(d.path() / "out"); }, OutputProblem::NotRegular,
       nullptr, 0},
      {"link to a device",
       [](const test::TempDir& d) { fs::create_symlink("/dev/null", d.path() / "out"); }, OutputProblem::NotRegular,
       nullptr, 0},
      {"the input itself, through a hard link",
       [](const test::TempDir& d) { fs::create_hard_link(d.write("in", "firmware"), d.path() / "out"); },
       OutputProblem::SameAsInput, "firmware", 0},
      {"the input itself, through a symbolic link",
       [](const test::TempDir& d) {
         d.write("in", "firmware");
         fs::create_symlink("in", d.path() / "out");
       },
       OutputProblem::SameAsInput, "firmware", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    c.setUp(dir);
    const std::string out = (dir.path() / "out").string();
    const std::string in = (dir.path() / "in").string();
    const std::size_t before = FilesIn(dir.path());
    OutputFile file;
    OutputError error;
    const bool opened = file.open(out, {in}, error);
    EXPECT_EQ(error.problem, c.refusal);
    if (!opened) {
      EXPECT_NE(error.problem, OutputProblem::None);
      EXPECT_EQ(FilesIn(dir.path()), before);
      if (c.contentAfter) {
        EXPECT_EQ(Slurp(out), c.contentAfter);
      }
      continue;
    }
    ASSERT_TRUE(file.write("new", error));
    if (fs::exists(out)) {
      EXPECT_EQ(Slurp(out), "old") << "changed before the commit";
    }
    ASSERT_TRUE(file.commit(error)) << error.text;
    EXPECT_EQ(Slurp(out), c.contentAfter);
    if (c.modeAfter) {
      EXPECT_EQ(ModeOf(out), c.modeAfter);
    }
    EXPECT_EQ(FilesIn(dir.path()), std::max<std::size_t>(before, 1));
  }
  ::umask(umask);
  // Still a link, pointing where it did.
  test::TempDir dir;
  dir.write("real", "old");
  fs::create_symlink("real", dir.path() / "out");
  OutputFile file;
  OutputError error;
  ASSERT_TRUE(file.open((dir.path() / "out").string(), {}, error));
  ASSERT_TRUE(file.commit(error));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "out"));
  EXPECT_EQ(Slurp(dir.path() / "real"), "");
}

TEST(OutputFile, AnUncommittedFileLeavesTheOldOneOrIsKeptApart) {
  test::TempDir dir;
  const std::string out = dir.write("dump.SFL", "old");
  {
    OutputFile file;
    OutputError error;
    ASSERT_TRUE(file.open(out, {}, error));
    ASSERT_TRUE(file.write("half", error));
  }
  EXPECT_EQ(Slurp(out), "old");
  EXPECT_EQ(FilesIn(dir.path()), 1u);

  OutputFile file;
  OutputError error;
  ASSERT_TRUE(file.open(out, {}, error));
  ASSERT_TRUE(file.write("half", error));
  std::string kept;
  ASSERT_TRUE(file.keepAs(PartialPath(out), kept, error));
  EXPECT_EQ(kept, (dir.path() / "dump.partial.sfl").string());
  EXPECT_EQ(Slurp(kept), "half");
  EXPECT_EQ(Slurp(out), "old");
  EXPECT_EQ(PartialPath("/a/b.hex"), "/a/b.hex.partial.sfl");
  EXPECT_EQ(PartialPath("/a/b.SFL", 3), "/a/b.partial-3.sfl");
}

// A partial asked for on another file system cannot be renamed there: it is
// kept beside the target under its own name, numbered from the start.
TEST(OutputFile, APartialOnAnotherFileSystemIsKeptBesideTheTarget) {
  test::TempDir dir;
  const fs::path elsewhere = fs::path("/dev/shm") / ("tarvel-" + std::to_string(::getpid()));
  std::error_code error;
  fs::create_directory(elsewhere, error);
  struct stat here {};
  struct stat there {};
  if (error || ::stat(dir.path().c_str(), &here) != 0 || ::stat(elsewhere.c_str(), &there) != 0 ||
      here.st_dev == there.st_dev) {
    fs::remove_all(elsewhere, error);
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const std::string out = (dir.path() / "dump.sfl").string();
  for (const char* expected : {"dump.partial.sfl", "dump.partial-2.sfl"}) {
    SCOPED_TRACE(expected);
    OutputFile file;
    OutputError failure;
    ASSERT_TRUE(file.open(out, {}, failure));
    ASSERT_TRUE(file.write("half", failure));
    std::string kept;
    ASSERT_TRUE(file.keepAs(PartialPath((elsewhere / "dump.sfl").string()), kept, failure));
    EXPECT_EQ(kept, (dir.path() / expected).string());
    EXPECT_EQ(Slurp(kept), "half");
  }
  EXPECT_EQ(FilesIn(elsewhere), 0u);
  fs::remove_all(elsewhere, error);
}

TEST(OutputFile, AWriteThatFailsSaysTheSystemsReason) {
  test::TempDir dir;
  const std::string out = dir.write("out", "old");
  // A file-size limit fails the write as a full disk would, without one.
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2, 2};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const bool failed = [&out] {
      OutputFile file;
      OutputError error;
      return file.open(out, {}, error) && !file.write("too long", error) &&
             error.problem == OutputProblem::System && error.text.find("File too large") != std::string::npos;
    }();
    ::_exit(failed ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Slurp(out), "old");
}

// An O_PATH descriptor in the new file's place: fsync refuses it while
// close takes it, as a device that fails only at the flush would.
void FailTheFlush(int fd, const std::string& path) {
  const int pathOnly = ::open(path.c_str(), O_PATH);
  ASSERT_GE(pathOnly, 0);
  ASSERT_EQ(::dup2(pathOnly, fd), fd);
  ::close(pathOnly);
}

TEST(OutputFile, ACommitThatFailsLeavesTheOldFile) {
  struct Case {
    const char* name;
    std::function<void(const OutputFile&, const test::TempDir&)> sabotage;
    const char* reason;
  };
  const Case cases[] = {
      {"the flush fails", [](const OutputFile& f, const test::TempDir&) { FailTheFlush(f.fd(), f.temporaryPath()); },
       "Bad file descriptor"},
      {"the rename fails",
       [](const OutputFile&, const test::TempDir& d) {
         fs::remove(d.path() / "out");
         fs::create_directory(d.path() / "out");
       },
       "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string out = dir.write("out", "old");
    {
      OutputFile file;
      OutputError error;
      ASSERT_TRUE(file.open(out, {}, error));
      ASSERT_TRUE(file.write("new", error));
      c.sabotage(file, dir);
      EXPECT_FALSE(file.commit(error));
      EXPECT_EQ(error.problem, OutputProblem::System);
      EXPECT_EQ(error.text, out + ": " + c.reason);
    }  // a new file kept for keepAs goes with the writer
    if (fs::is_regular_file(out)) {
      EXPECT_EQ(Slurp(out), "old");
    }
    EXPECT_EQ(FilesIn(dir.path()), 1u);
  }
}

TEST(OutputFile, EveryStepOfACommitMayBeFailedInTurn) {
  constexpr int kSteps = 3;  // Sync, Close, Rename
  for (int failAt = 0; failAt <= kSteps; ++failAt) {
    SCOPED_TRACE("failing step " + std::to_string(failAt));
    test::TempDir dir;
    const std::string out = dir.write("out", "old");
    std::vector<OutputStep> seen;
    OutputFile file;
    OutputError error;
    ASSERT_TRUE(file.open(out, {}, error));
    ASSERT_TRUE(file.write("new", error));
    file.setStepCheck([&](OutputStep step) {
      seen.push_back(step);
      return static_cast<int>(step) != failAt;
    });
    const bool committed = file.commit(error);
    file.discard();
    EXPECT_EQ(committed, failAt == kSteps);
    EXPECT_EQ(Slurp(out), committed ? "new" : "old");
    if (!committed) {
      EXPECT_EQ(error.text, out + ": " + std::strerror(EIO));
    }
    EXPECT_EQ(FilesIn(dir.path()), 1u);
    // In order, and none after the one that failed.
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(std::min(failAt + 1, kSteps)));
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(seen[i]), i);
  }
}

}  // namespace
}  // namespace tarvel
