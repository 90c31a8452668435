// tarvel-cli as a production line runs it: the real binary against the
// simulated radio, judged by its exit code, stdout and stderr.
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <regex>

#include <nlohmann/json.hpp>

#include "cli/RadioOptions.h"
#include "cli/RadioRun.h"
#include "firmware/WriteProcedure.h"
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
  // A hundred blocks: a plain line at each tenth is one every ten blocks.
  const std::string hundred = dir.write("hundred.sfl", test::ConventionalSfl(0, 100));
  for (const char* cable : {"qap8", "qap10"}) {
    SCOPED_TRACE(cable);
    auto r = radio(std::string(cable) == "qap10" ? sim::Cable::Qap10 : sim::Cable::Qap8);
    const CliRun run = cli("write " + hundred + " --port " + port() + " --cable " + cable + " --baud 115200");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Succeeded in writing the flash.\n\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Check SUM is "), std::string::npos);
    // The report stays as it is; one line after it sums the run up.
    const std::regex summary("\n" + port() + ": " + hundred +
                             ": wrote 12800 bytes \\(100 blocks, 0 retries\\) in [0-9]+\\.[0-9] s, "
                             "[0-9.]+ k?B/s, [0-9]+ % of the line\n$");
    EXPECT_TRUE(std::regex_search(run.out, summary)) << run.out;
    // Not a terminal: plain lines for a log, each state and every tenth.
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << run.err;
    std::vector<std::string> expected{"waking the loader on " + port(), "synchronised with the loader",
                                      "writing 100 blocks"};
    for (int tenth = 1; tenth < 10; ++tenth) {
      expected.push_back("Writing block " + FormatBlockCounter(10 * tenth) + "   " + std::to_string(10 * tenth) + "%");
    }
    expected.push_back("Writing block 063  100%");
    expected.push_back("the port is closed");
    std::size_t at = 0;
    for (const std::string& line : expected) {
      at = run.err.find(line, at);
      EXPECT_NE(at, std::string::npos) << line << " in\n" << run.err;
    }
    const auto lines = std::count(run.err.begin(), run.err.end(), '\n');
    EXPECT_EQ(lines, 3 + 10 + 1) << run.err;
    EXPECT_EQ(r->stats().blocksStored, 100);
    // -q silences them.
    const CliRun quiet = cli("write " + hundred + " -q --port " + port() + " --cable " + cable);
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
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
  const CliRun run = cli("write " + file + " --port " + port() + " --json -v --trace " + trace.string());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const auto object = nlohmann::json::parse(run.out);
  EXPECT_EQ(object["blocks_done"], 8);
  EXPECT_EQ(object["retries"], 2);
  // -v: the loader's answer and each retry with its cause, trace or not.
  EXPECT_TRUE(std::regex_search(run.err, std::regex("synchronised: the loader answered 00 after [0-9]+ wake-ups "
                                                    "and 'Z' after [0-9]+ letters \\([0-9]+ ms\\)")))
      << run.err;
  for (const char* retry : {"block 003 sent again (retry 1 of 5): the loader answered ",
                            "block 003 sent again (retry 2 of 5): the loader answered "}) {
    EXPECT_NE(run.err.find(retry), std::string::npos) << retry << " in " << run.err;
  }
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
      {"usage: no port", {}, "write " + file, 2, "no port given"},
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

// --wait: the write starts once the port is there, or once the loader
// answers; the link to the radio is made by the shell a moment after the
// command starts. Whichever comes first, the radio is written once.
TEST_F(CliWriteTest, WaitsForThePortOrTheLoader) {
  if (OtherBuild()) GTEST_SKIP() << "the links are made by a POSIX shell";
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 8));
  struct Case {
    const char* wait;
    const char* says;  // on stderr, before the write
  };
  const Case cases[] = {{"--wait", "tarvel-cli: waiting for " }, {"--wait answer", "tarvel-cli: waiting for the loader on "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wait);
    sim::Options options;
    options.linkPath.clear();
    std::string error;
    auto r = sim::Radio::Start(options, &error);
    ASSERT_TRUE(r) << error;
    const std::string link = (dir.path() / "later").string();
    const CliRun run = shell("(sleep 1; ln -s " + r->devicePath() + " " + link + ") & " + Program() + " write " + file +
                             " -p " + link + " " + c.wait + " --timeout 120");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.rfind(std::string(c.says), 0), 0U) << run.err;
    EXPECT_EQ(r->stats().writePackets, 8);
    std::filesystem::remove(link);
  }
  struct TimedOut {
    const char* wait;
    int exitCode;
  };
  for (const TimedOut& c : {TimedOut{"--wait", 3}, TimedOut{"--wait answer", 4}}) {
    const CliRun run = cli("write " + file + " -p " + (dir.path() / "none").string() + " " + c.wait +
                           " --timeout 0.2 --json");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_NE(run.out.find(R"("message":"No radio came within 0.2 s.")"), std::string::npos) << run.out;
  }
  const CliRun alone = cli("write " + file + " -p " + port() + " --timeout 5");
  EXPECT_EQ(alone.exitCode, 2);
  EXPECT_NE(alone.err.find("--timeout bounds --wait"), std::string::npos) << alone.err;
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
  for (const char* code : {"  7  a flash block could not be written", "129  stopped by SIGHUP",
                           "130  stopped by Ctrl-C", "143  stopped by SIGTERM"}) {
    EXPECT_NE(run.out.find(code), std::string::npos) << code << " in " << run.out;
  }
}

TEST_F(CliWriteTest, TheOnlySerialPortIsTakenAndSaid) {
  if (OtherBuild()) GTEST_SKIP() << "the machine's own ports stand in for a test build's only";
  auto r = radio(sim::Cable::Qap8);
  const CliRun run = shell("TARVEL_TEST_PORT_LIST='!/dev/ttyS0," + port() + "' " + Program() + " sync");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.rfind("using " + port() + ", the only serial port\n", 0), 0u) << run.err;
}

TEST(CliPorts, OnlyTheOneUsbAdapterIsTaken) {
  const auto usb = [](const char* device) {
    PortInfo port;
    port.device = device;
    port.vendorId = "0403";
    return port;
  };
  const auto board = [](const char* device) {
    PortInfo port;
    port.device = device;
    return port;
  };
  struct Row {
    const char* name;
    std::vector<PortInfo> ports;
    const char* port;   // taken; null: refused
    const char* error;  // the refusal
  };
  const Row rows[] = {
      {"one adapter", {usb("/dev/ttyUSB0")}, "/dev/ttyUSB0", nullptr},
      {"one adapter beside the board's ports", {board("/dev/ttyS0"), usb("/dev/ttyACM0")}, "/dev/ttyACM0", nullptr},
      {"none", {}, nullptr, "no port given (-p PORT), and this machine has no serial port: connect the cable"},
      {"the board's port only", {board("/dev/ttyS0")}, nullptr,
       "no port given: -p PORT names the cable's port, one of this machine's serial ports: /dev/ttyS0"},
      {"two adapters", {usb("/dev/ttyUSB0"), board("/dev/ttyS0"), usb("/dev/ttyUSB1")}, nullptr,
       "no port given: -p PORT names the cable's port, one of this machine's serial ports: /dev/ttyUSB0, /dev/ttyS0, "
       "/dev/ttyUSB1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.port) {
      EXPECT_EQ(cli::OnlyUsbPort(row.ports), row.port);
      continue;
    }
    try {
      cli::OnlyUsbPort(row.ports);
      ADD_FAILURE() << "taken";
    } catch (const CLI::ValidationError& e) {
      EXPECT_NE(std::string(e.what()).find(row.error), std::string::npos) << e.what();
    }
  }
}

TEST(CliSummary, RateAgainstTheLinesBound) {
  // A write's block: 133 bytes of packet, the acknowledgement, 3 of verify
  // command and 3 of reply; 8 more of header for each framed packet. A
  // read's: a request of 19 bytes and a reply of 130. 11 bits a byte.
  EXPECT_NEAR(cli::LineBoundBytesPerSecond(Cable::Qap8, 115200, JobKind::Write), 128.0 * 115200 / (11 * 140), 0.01);
  EXPECT_NEAR(cli::LineBoundBytesPerSecond(Cable::Qap10, 115200, JobKind::Write), 128.0 * 115200 / (11 * 156), 0.01);
  EXPECT_NEAR(cli::LineBoundBytesPerSecond(Cable::Qap8, 38400, JobKind::Read), 128.0 * 38400 / (11 * 149), 0.01);
  RunResult result;
  result.radio.emplace();
  result.radio->port = "/dev/ttyUSB0";
  result.radio->cable = "qap8";
  result.radio->baud = 115200;
  TransferFacts& transfer = result.transfer.emplace();
  transfer.file = "fw.sfl";
  transfer.blocksDone = 1024;
  transfer.retries = 2;
  transfer.transferMs = 14200;
  // 131072 bytes in 14.2 s: 9230 B/s of the 9575 the line carries.
  EXPECT_EQ(cli::TransferSummary(result, JobKind::Write),
            "/dev/ttyUSB0: fw.sfl: wrote 131072 bytes (1024 blocks, 2 retries) in 14.2 s, 9.2 kB/s, 96 % of the line");
  transfer.transferMs = 50000;
  result.radio->baud = 38400;
  // 2621 B/s of the 2999 a read at 38400 can carry.
  EXPECT_EQ(cli::TransferSummary(result, JobKind::Read),
            "/dev/ttyUSB0: fw.sfl: read 131072 bytes (1024 blocks) in 50.0 s, 2.6 kB/s, 87 % of the line");
}

}  // namespace
}  // namespace tarvel
