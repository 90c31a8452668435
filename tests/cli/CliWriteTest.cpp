// tarvel-cli as a production line runs it: the real binary against the
// simulated radio, judged by its exit code, stdout and stderr.
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sim/SimRadio.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

using test::CliRun;
using test::Slurp;

class CliWriteTest : public test::CliFixture {
 protected:
  std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 8));
  std::string fifo = MakeFifo(dir.path() / "pipe.sfl");

  static std::string MakeFifo(const std::filesystem::path& path) {
    ::mkfifo(path.c_str(), 0600);
    return path.string();
  }
};

TEST_F(CliWriteTest, WritesWithBothCablesAndReports) {
  for (const char* cable : {"qap8", "qap10"}) {
    SCOPED_TRACE(cable);
    auto r = radio(std::string(cable) == "qap10" ? sim::Cable::Qap10 : sim::Cable::Qap8);
    const CliRun run = cli("write " + file + " --port " + port() + " --cable " + cable + " --baud 115200");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Succeeded in writing the flash.\n\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Check SUM is "), std::string::npos);
    EXPECT_EQ(run.err, "");  // not a terminal: no progress line
    EXPECT_EQ(r->stats().blocksStored, 8);
  }
}

TEST_F(CliWriteTest, RetriesInJsonAndTrace) {
  auto r = radio(sim::Cable::Qap8, [] {
    sim::Faults f;
    f.refuseBlock = 3;
    f.refuseWrites = 2;
    return f;
  }());
  const auto trace = dir.path() / "trace.txt";
  const CliRun run = cli("write " + file + " --port " + port() + " --json --trace " + trace.string());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const auto object = nlohmann::json::parse(run.out);
  EXPECT_EQ(object["blocks_done"], 8);
  EXPECT_EQ(object["retries"], 2);
  const std::string log = Slurp(trace);
  EXPECT_NE(log.find("> 57 00 00"), std::string::npos) << log.substr(0, 400);
  EXPECT_NE(log.find("< 05"), std::string::npos);
}

TEST_F(CliWriteTest, EachFailureHasItsExitCodeAndMessage) {
  std::string broken = test::ConventionalSfl(0, 2);
  broken[400] = '#';
  const std::string invalid = dir.write("bad.sfl", broken);
  sim::Faults silent;
  silent.silent = true;
  sim::Faults refusing;
  refusing.refuseBlock = 1;
  refusing.refuseWrites = 6;
  struct Row {
    const char* name;
    sim::Faults faults;
    std::string args;
    int exitCode;
    const char* message;
  };
  const Row rows[] = {
      {"usage: rate not offered", {}, "write " + file + " --port " + port() + " --cable qap10 --baud 9600", 2, "9600"},
      {"usage: no port", {}, "write " + file, 2, "--port"},
      {"missing port", {}, "write " + file + " --port " + (dir.path() / "nothing").string(), 3,
       "The COMM Port cannot be handled."},
      {"silent radio", silent, "write " + file + " --port " + port(), 4, "Synchronization Error.\nPlease confirm"},
      {"invalid file", {}, "write " + invalid + " --port " + port(), 5, "The file is not a valid SFL file."},
      {"missing file", {}, "write " + (dir.path() / "none.sfl").string() + " --port " + port(), 5,
       "The file cannot be opened."},
      {"block refused six times", refusing, "write " + file + " --port " + port(), 7,
       "Failed in the flash writing."},
      // Refused before the radio is woken; a FIFO is refused at once, not waited on.
      {"nothing to write", {}, "write " + dir.write("readme.sfl", "Read me first.\n") + " --port " + port(), 5,
       "no flash record"},
      {"a record after 0x1A", {}, "write " + dir.write("joined.sfl", test::ConventionalSfl(0, 1) + "\x1A" +
                                                        test::ConventionalSfl(1, 1)) + " --port " + port(), 5,
       "0x1A"},
      {"a FIFO", {}, "write " + fifo + " --port " + port(), 5, "not a regular file"},
      {"the trace over the firmware", {}, "write " + file + " --trace " + file + " --port " + port(), 2,
       "the file to write and --trace name the same file"},
  };
  const std::string before = Slurp(file);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto r = radio(sim::Cable::Qap8, row.faults);
    const CliRun run = cli(row.args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    if (row.exitCode == 5 || row.exitCode == 2) {
      EXPECT_EQ(r->stats().syncBytes, 0);
    }
  }
  EXPECT_EQ(Slurp(file), before);
}

TEST_F(CliWriteTest, PermissionDeniedSaysHowToGetAccess) {
  // Root opens anything: run the command as the unprivileged "nobody".
  if (OtherBuild() || ::getuid() != 0 || std::system("command -v setpriv >/dev/null") != 0) {
    GTEST_SKIP() << "needs root and setpriv to run as another user";
  }
  const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups " + std::string(TARVEL_CLI);
  std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
  if (test::RunCommand(dir, asNobody + " --version").exitCode != 0) {
    GTEST_SKIP() << "the build tree is not reachable for another user";
  }
  // A terminal's device node (the numbers of /dev/ptmx), as a serial
  // port's node is: of the group dialout where the system has it.
  const std::string device = (dir.path() / "ttyUSB9").string();
  if (::mknod(device.c_str(), S_IFCHR | 0660, makedev(5, 2)) != 0) GTEST_SKIP() << "mknod is not allowed here";
  const group* dialout = ::getgrnam("dialout");
  if (dialout != nullptr) {
    ASSERT_EQ(::chown(device.c_str(), 0, dialout->gr_gid), 0);
  }
  const CliRun run = test::RunCommand(dir, asNobody + " sync --port " + device);
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_NE(run.err.find("The COMM Port cannot be handled."), std::string::npos) << run.err;
  // The group named, and the one form of advice, with the user it runs as.
  EXPECT_NE(run.err.find(dialout != nullptr ? "hint: Add your user to the group 'dialout' (sudo adduser nobody dialout)"
                                            : "sudo adduser"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("usermod"), std::string::npos) << run.err;
}

TEST_F(CliWriteTest, HelpListsTheExitCodes) {
  const CliRun run = cli("--help");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("7  a flash block could not be written"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace tarvel
