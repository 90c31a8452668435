// The record file's lines stay whole: a fragment left by a full disk or a
// hand edit gets its line end before the next line, and a line that does
// not fit says that the record is incomplete.
#include "run/RecordFile.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include "tests/support/CliRunner.h"
#include "tests/support/TempDir.h"

namespace tarvel::cli {
namespace {

TEST(RecordFile, EveryLineStartsOnALineOfItsOwn) {
  struct Row {
    const char* name;
    const char* before;  // nullptr: no file
    const char* after;   // once "{}" is appended
  };
  const Row rows[] = {
      {"new file", nullptr, "{}\n"},
      {"empty file", "", "{}\n"},
      {"whole lines", "{\"a\":1}\n", "{\"a\":1}\n{}\n"},
      {"a cut line", "{\"a\":", "{\"a\":\n{}\n"},
      {"a hand edit without its end", "{\"a\":1}\n# note", "{\"a\":1}\n# note\n{}\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    const std::string path = row.before ? dir.write("r.jsonl", row.before) : (dir.path() / "r.jsonl").string();
    RecordFile record;
    std::string reason;
    ASSERT_TRUE(record.open(path, reason)) << reason;
    ASSERT_TRUE(record.append("{}", reason)) << reason;
    EXPECT_EQ(test::Slurp(path), row.after);
  }
}

TEST(RecordFile, ALineThatDoesNotFitSaysTheRecordIsIncomplete) {
  test::TempDir dir;
  const std::string path = dir.write("r.jsonl", "{\"a\":1}\n");
  // A file-size limit fails the write as a full disk would: room for 4
  // bytes of the line only, then none at all.
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{12, 12};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    RecordFile record;
    std::string cut, missing;
    const bool ok = record.open(path, cut) && !record.append("{\"b\":2}", cut) && !record.append("{}", missing) &&
                    cut.find("the record is incomplete") != std::string::npos &&
                    missing.find("the record is incomplete") != std::string::npos;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(test::Slurp(path), "{\"a\":1}\n{\"b\"");
}

}  // namespace
}  // namespace tarvel::cli
