#include "settings/ProfileFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/settings/TempFolder.h"

namespace tarvel {
namespace {

using test::ModeOf;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

#ifdef TARVEL_PROFILE_WRITE_HOOK
// Clears the write hook however the test ends.
struct ScopedWriteHook {
  explicit ScopedWriteHook(ProfileWriteHook hook) { SetProfileWriteHookForTest(std::move(hook)); }
  ~ScopedWriteHook() { SetProfileWriteHookForTest({}); }
};
#endif

TEST(ProfileFile, AbsentFileGivesDefaultsAndIsNotCreatedByReads) {
  TempFolder dir;
  const std::string path = dir.file("absent.ini");
  EXPECT_EQ(ReadProfileString(path, "Initialize", "CommName", "COM1"), "COM1");
  EXPECT_EQ(ReadProfileString(path, "Initialize", "CommName", "COM1  "), "COM1");
  EXPECT_EQ(ReadProfileInt(path, "Initialize", "BaudRate", 38400), 38400);
  EXPECT_TRUE(dir.names().empty());
}

TEST(ProfileFile, ReadsMatchAsWindowsDoes) {
  TempFolder dir;
  const std::string path = dir.file("read.ini");
  WriteBytes(path,
             "; comment first\r\n"
             "\r\n"
             "[Initialize]\r\n"
             "  type = 1 \r\n"
             "CommName = \"COM7\"\r\n"
             "Single='x y'\r\n"
             "Half=\"abc\r\n"
             "Empty=\r\n"
             "Bare\r\n"
             ";Hidden=1\r\n"
             "Dup=first\r\n"
             "Dup=second\r\n"
             "Inner=a=b\r\n"
             "[ sfl ] trailing\r\n"
             "Start=010\r\n"
             "[Initialize]\r\n"
             "Later=1");
  struct Row {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Row rows[] = {
      {"INITIALIZE", "TYPE", "1"},
      {"Initialize", "CommName", "COM7"},
      {"Initialize", "Single", "x y"},
      {"Initialize", "Half", "\"abc"},
      {"Initialize", "Empty", ""},
      {"Initialize", "Bare", "dflt"},
      {"Initialize", "Hidden", "dflt"},
      {"Initialize", "Dup", "first"},
      {"Initialize", "Inner", "a=b"},
      {" SFL ", " start ", "010"},
      {"Initialize", "Later", "dflt"},  // only the first section of a name counts
      {"Initialize", "Start", "dflt"},
      {"Other", "Type", "dflt"},
      {"Initialize", "", "dflt"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ReadProfileString(path, row.section, row.key, "dflt"), row.expected)
        << row.section << "/" << row.key;
  }
}

TEST(ProfileFile, IntegersAsWindowsReadThem) {
  TempFolder dir;
  const std::string path = dir.file("int.ini");
  struct Row {
    const char* stored;  // nullptr: no key
    int expected;
  };
  const Row rows[] = {
      {nullptr, 77},
      {"", 77},
      {"\"\"", 77},
      {"12", 12},
      {"  12abc", 12},
      {"abc", 0},
      {"-5", -5},
      {"+7", 7},
      {"- 5", 0},
      {"\"42\"", 42},
      {"0x1F", 31},
      {"0x1fz", 31},
      {"0X1F", 0},  // the base prefix is lower case only
      {"0b101", 5},
      {"0o17", 15},
      {"-2147483648", INT_MIN},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MIN},
      {"4294967295", -1},
      {"4294967296", 0},
      {"99999999999", 1215752191},
      {"99999999999999999999999999999999999999", -1},
  };
  for (const Row& row : rows) {
    WriteBytes(path, row.stored ? std::string("[S]\nN=") + row.stored + "\n" : "[S]\n");
    EXPECT_EQ(ReadProfileInt(path, "S", "N", 77), row.expected)
        << (row.stored ? row.stored : "(absent)");
  }
}

TEST(ProfileFile, WriteKeepsEveryOtherByte) {
  TempFolder dir;
  const std::string path = dir.file("keep.ini");
  const std::string before =
      "; Tarvel settings\r\n"
      "\r\n"
      "[Version]\r\n"
      "Version=Tarvel 1.00\r\n"
      "\r\n"
      "[Initialize]\r\n"
      "; the QAP-8 port\r\n"
      "Type = 0\r\n"
      "Unknown=keep me   \r\n"
      "CommName=COM2\r\n"
      "\r\n"
      "[Extra]\r\n"
      "Type=9\r\n"
      "\t\r\n";
  WriteBytes(path, before);
  ASSERT_TRUE(WriteProfileString(path, "initialize", "TYPE", "1"));

  std::string expected = before;
  expected.replace(expected.find("Type = 0"), 8, "Type = 1");
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_EQ(ReadProfileInt(path, "Extra", "Type", -1), 9);
}

TEST(ProfileFile, WritePlacesNewLines) {
  struct Row {
    const char* name;
    std::string before;  // empty: no file
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  };
  const std::vector<Row> rows = {
      {"new file", "", "S", "K", "v", "[S]\nK=v\n"},
      {"empty file", "", "S", "K", "v", "[S]\nK=v\n"},
      {"replace keeps spacing", "[S]\nK =  old  \n", "S", "k", "new", "[S]\nK =  new\n"},
      {"replace empty value", "[S]\nK=   \r\n", "S", "K", "v", "[S]\nK=v\r\n"},
      {"replace quoted", "[S]\nK=\"a b\"\n", "S", "K", "c", "[S]\nK=c\n"},
      {"append after last line of section",
       "[A]\nX=1\n\n[B]\nY=2\n", "A", "K", "v", "[A]\nX=1\nK=v\n\n[B]\nY=2\n"},
      {"append to crlf section",
       "[A]\r\nX=1\r\n\r\n[B]\r\n", "a", "K", "v", "[A]\r\nX=1\r\nK=v\r\n\r\n[B]\r\n"},
      {"append to empty section", "[A]\n\n[B]\n", "A", "K", "v", "[A]\nK=v\n\n[B]\n"},
      {"append to last line without end", "[A]\nX=1", "A", "K", "v", "[A]\nX=1\nK=v\n"},
      {"header without end", "[A]", "A", "K", "v", "[A]\nK=v\n"},
      {"new section in lf file", "[A]\nX=1\n", "B", "K", "v", "[A]\nX=1\n\n[B]\nK=v\n"},
      {"new section in crlf file", "[A]\r\nX=1\r\n", "B", "K", "v",
       "[A]\r\nX=1\r\n\r\n[B]\r\nK=v\r\n"},
      {"new section after blank line", "[A]\nX=1\n\n", "B", "K", "v", "[A]\nX=1\n\n[B]\nK=v\n"},
      {"new section after missing end", "X=1", "B", "K", "v", "X=1\n\n[B]\nK=v\n"},
      {"byte order mark kept", "\xEF\xBB\xBF[A]\nK=1\n", "A", "K", "2",
       "\xEF\xBB\xBF[A]\nK=2\n"},
      {"names trimmed", "", " A ", " K ", " v ", "[A]\nK= v \n"},
  };
  for (const Row& row : rows) {
    TempFolder dir;
    const std::string path = dir.file("place.ini");
    if (!row.before.empty() || std::string(row.name) == "empty file") WriteBytes(path, row.before);
    EXPECT_TRUE(WriteProfileString(path, row.section, row.key, row.value)) << row.name;
    EXPECT_EQ(ReadBytes(path), row.after) << row.name;
  }
}

TEST(ProfileFile, LineBreaksCannotInjectLines) {
  TempFolder dir;
  const std::string path = dir.file("inject.ini");
  ASSERT_TRUE(WriteProfileString(path, "Initialize", "CommName", "COM1\r\nType=1\n[SFL]\nEnd=000"));
  EXPECT_EQ(ReadBytes(path), "[Initialize]\nCommName=COM1  Type=1 [SFL] End=000\n");
  EXPECT_EQ(ReadProfileInt(path, "Initialize", "Type", 5), 5);
  EXPECT_EQ(ReadProfileString(path, "SFL", "End", "3FF"), "3FF");

  ASSERT_TRUE(WriteProfileString(path, "Initialize", "Comm\nName", "x"));
  EXPECT_EQ(ReadProfileString(path, "Initialize", "Comm Name", ""), "x");

  // Everything from a NUL on is out of sight, as for a C string.
  ASSERT_TRUE(WriteProfileString(path, "Initialize", "Nul", std::string("a\0b=1", 5)));
  EXPECT_EQ(ReadProfileString(path, "Initialize", "Nul", ""), "a");
}

TEST(ProfileFile, NamesThatWouldBreakTheFileAreRefused) {
  TempFolder dir;
  const std::string path = dir.file("refuse.ini");
  const std::string before = "[Initialize]\nType=0\n";
  WriteBytes(path, before);
  struct Row {
    const char* section;
    const char* key;
  };
  const Row rows[] = {
      {"Initialize", "Type=1"}, {"Initialize", "[SFL"}, {"Initialize", ";Type"},
      {"Initialize", ""},       {"Initialize", " \n "}, {"SFL]", "End"},
      {"", "Type"},             {"  ", "Type"},
  };
  for (const Row& row : rows) {
    EXPECT_FALSE(WriteProfileString(path, row.section, row.key, "1"))
        << row.section << "/" << row.key;
  }
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(dir.names(), std::set<std::string>{"refuse.ini"});
}

TEST(ProfileFile, LongValuesAreCutOnRead) {
  TempFolder dir;
  const std::string path = dir.file("long.ini");
  std::string value;
  for (int i = 0; value.size() < 5000; ++i) value += static_cast<char>('a' + i % 26);
  ASSERT_TRUE(WriteProfileString(path, "S", "K", value));
  EXPECT_NE(ReadBytes(path).find(value), std::string::npos);  // stored whole
  EXPECT_EQ(ReadProfileString(path, "S", "K", ""), value.substr(0, kProfileValueMaxChars));
  ASSERT_TRUE(WriteProfileString(path, "S", "K", value.substr(0, kProfileValueMaxChars)));
  EXPECT_EQ(ReadProfileString(path, "S", "K", ""), value.substr(0, kProfileValueMaxChars));
  EXPECT_EQ(ReadProfileString(path, "S", "Absent", value), value.substr(0, kProfileValueMaxChars));
}

TEST(ProfileFile, ReadOnlyFileIsLeftAloneAndStillRead) {
  TempFolder dir;
  const std::string path = dir.file("ro.ini");
  const std::string before = "[Initialize]\nType=1\n";
  WriteBytes(path, before);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);

  EXPECT_FALSE(WriteProfileString(path, "Initialize", "Type", "0"));
  EXPECT_FALSE(WriteProfileString(path, "New", "Key", "0"));
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(ModeOf(path), 0444u);
  EXPECT_EQ(ReadProfileInt(path, "Initialize", "Type", 0), 1);
  EXPECT_EQ(dir.names(), std::set<std::string>{"ro.ini"});
}

TEST(ProfileFile, ReadOnlyFolderIsLeftAloneAndStillRead) {
  TempFolder dir;
  const std::string path = dir.file("in-ro-dir.ini");
  const std::string before = "[Initialize]\nType=1\n";
  WriteBytes(path, before);
  // The file itself is writable: the write fails for want of room for the
  // temporary file beside it.
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);

  const bool asExpected = test::RunUnprivileged([&] {
    return !WriteProfileString(path, "Initialize", "Type", "0") &&
           !WriteProfileString(dir.file("new.ini"), "S", "K", "v") &&
           ReadProfileInt(path, "Initialize", "Type", 0) == 1;
  });
  EXPECT_TRUE(asExpected);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(dir.names(), std::set<std::string>{"in-ro-dir.ini"});
}

// The failures of a write's steps need the write hook, which only a build
// with TARVEL_TEST_SEAMS has.
#ifdef TARVEL_PROFILE_WRITE_HOOK
TEST(ProfileFile, FailureAtAnyStepKeepsThePreviousFile) {
  const std::string before = "; keep\r\n[Initialize]\r\nType=0\r\n";
  for (int failAt = 0; failAt <= kProfileWriteStepCount; ++failAt) {
    TempFolder dir;
    const std::string path = dir.file("steps.ini");
    WriteBytes(path, before);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    std::vector<ProfileWriteStep> seen;
    bool ok = false;
    {
      ScopedWriteHook hook([&](ProfileWriteStep step) {
        seen.push_back(step);
        return static_cast<int>(step) != failAt;
      });
      ok = WriteProfileString(path, "Initialize", "Type", "1");
    }
    const bool shouldSucceed = failAt == kProfileWriteStepCount;
    EXPECT_EQ(ok, shouldSucceed) << "step " << failAt;
    EXPECT_EQ(ReadBytes(path), shouldSucceed ? "; keep\r\n[Initialize]\r\nType=1\r\n" : before)
        << "step " << failAt;
    EXPECT_EQ(ModeOf(path), 0640u) << "step " << failAt;
    EXPECT_EQ(dir.names(), std::set<std::string>{"steps.ini"}) << "step " << failAt;
    // Steps run in order, and none after the one that failed.
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(std::min(failAt + 1, kProfileWriteStepCount)));
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(seen[i]), i);
  }
}

// Puts an O_PATH descriptor in the place of this process's open ".part"
// file in `folder`: fsync refuses it while close takes it, as a device
// that fails only at the flush would. False when no such file is open.
bool FailTheFlushOfTheTempFileIn(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), error);
    if (error || target.extension() != ".part" || !std::filesystem::equivalent(target.parent_path(), folder, error)) {
      continue;
    }
    const int pathOnly = ::open(target.c_str(), O_PATH);
    const int fd = std::stoi(entry.path().filename().string());
    const bool swapped = pathOnly >= 0 && ::dup2(pathOnly, fd) == fd;
    if (pathOnly >= 0) ::close(pathOnly);
    return swapped;
  }
  return false;
}

TEST(ProfileFile, AFlushThatFailsKeepsThePreviousFile) {
  const std::string before = "; keep\r\n[Initialize]\r\nType=0\r\n";
  TempFolder dir;
  const std::string path = dir.file("flush.ini");
  WriteBytes(path, before);
  bool swapped = false;
  bool ok = true;
  {
    ScopedWriteHook hook([&](ProfileWriteStep step) {
      if (step == ProfileWriteStep::SyncTemp) swapped = FailTheFlushOfTheTempFileIn(dir.path());
      return true;
    });
    ok = WriteProfileString(path, "Initialize", "Type", "1");
  }
  ASSERT_TRUE(swapped);
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(dir.names(), std::set<std::string>{"flush.ini"});
}
#endif

TEST(ProfileFile, WriteThroughSymbolicLinkKeepsTheLink) {
  TempFolder dir;
  const std::string target = dir.file("real.ini");
  const std::string link = dir.file("link.ini");
  WriteBytes(target, "[S]\nK=1\n");
  ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);

  ASSERT_TRUE(WriteProfileString(link, "S", "K", "2"));
  struct stat info {};
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadBytes(target), "[S]\nK=2\n");
}

TEST(ProfileFile, LinkChainsAreWrittenAtTheirEnd) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link, its target
    bool written;
  } rows[] = {
      {"dangling: the write creates the target", {{"tarvel.ini", "real.ini"}}, true},
      {"a chain with a folder hop", {{"tarvel.ini", "sub/mid.ini"}, {"sub/mid.ini", "../real.ini"}}, true},
      {"a loop: nothing is written", {{"tarvel.ini", "b.ini"}, {"b.ini", "tarvel.ini"}}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempFolder dir;
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
    for (const auto& [link, target] : row.links) ASSERT_EQ(::symlink(target.c_str(), dir.file(link).c_str()), 0);

    EXPECT_EQ(WriteProfileString(dir.file("tarvel.ini"), "S", "K", "v"), row.written);
    for (const auto& [link, target] : row.links) {
      struct stat info {};
      ASSERT_EQ(::lstat(dir.file(link).c_str(), &info), 0);
      EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
    }
    if (row.written) {
      EXPECT_EQ(ReadBytes(dir.file("real.ini")), "[S]\nK=v\n");
      EXPECT_EQ(ReadProfileString(dir.file("tarvel.ini"), "S", "K", "d"), "v");
    }
    EXPECT_EQ(dir.names().count("real.ini"), row.written ? 1u : 0u);
  }
}

// Above 1 MiB a settings file is left alone: a huge or sparse file is not
// copied at every start. Reads give their defaults and writes fail.
TEST(ProfileFile, AFileAboveTheCapIsLeftAloneAndGivesDefaults) {
  const std::string head = "[A]\nK=1\n";
  const std::string comment = ";" + std::string(62, 'c') + "\n";
  std::string atCap = head;
  while (atCap.size() + comment.size() <= 1024 * 1024) atCap += comment;
  atCap += std::string(1024 * 1024 - atCap.size() - 1, ';') + "\n";
  const struct {
    const char* name;
    std::string content;
    std::uint64_t sparseSize;  // grown to this size with a hole
    bool tooLarge;
  } rows[] = {
      {"exactly 1 MiB", atCap, 0, false},
      {"one byte more", atCap + ";", 0, true},
      {"sparse 2 GiB", head, 2ULL << 30, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempFolder dir;
    const std::string path = dir.file("tarvel.ini");
    WriteBytes(path, row.content);
    if (row.sparseSize != 0) std::filesystem::resize_file(path, row.sparseSize);
    EXPECT_EQ(ProfileFileTooLarge(path), row.tooLarge);
    EXPECT_EQ(ReadProfileString(path, "A", "K", "d"), row.tooLarge ? "d" : "1");
    EXPECT_EQ(WriteProfileString(path, "A", "K", "2"), !row.tooLarge);
    EXPECT_EQ(ReadProfileString(path, "A", "K", "d"), row.tooLarge ? "d" : "2");
    EXPECT_EQ(std::filesystem::file_size(path), row.sparseSize != 0 ? row.sparseSize : row.content.size());
    if (row.tooLarge && row.sparseSize == 0) EXPECT_EQ(ReadBytes(path), row.content);
  }
}

TEST(ProfileFile, FolderInPlaceOfFileGivesDefaultsAndRefusesWrites) {
  TempFolder dir;
  const std::string path = dir.file("tarvel.ini");
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
  EXPECT_EQ(ReadProfileString(path, "S", "K", "d"), "d");
  EXPECT_FALSE(WriteProfileString(path, "S", "K", "v"));
}

}  // namespace
}  // namespace tarvel
