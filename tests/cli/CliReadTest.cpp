// tarvel-cli read and write --verify against the simulated radio, through
// the real flash converter library.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "formats/SflFile.h"
#include "sim/SimRadio.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

using test::CliRun;
using test::Slurp;

class CliReadTest : public test::CliFixture {
 protected:
  // The records of an SFL file, in file order.
  static std::vector<SflRecord> Records(const std::string& path) {
    const std::string text = Slurp(path);
    SflTextReader reader({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    std::vector<SflRecord> out;
    SflRecord r;
    while (ParseSflRecord(reader, r) == SflParse::Record) out.push_back(r);
    return out;
  }
};

TEST_F(CliReadTest, WriteThenReadBackGivesTheSameImageWithBothCables) {
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 32));
  for (const char* cable : {"qap8", "qap10"}) {
    SCOPED_TRACE(cable);
    auto r = radio(std::string(cable) == "qap10" ? sim::Cable::Qap10 : sim::Cable::Qap8);
    const CliRun write = cli("write " + file + " --port " + port() + " --cable " + cable + " --verify");
    ASSERT_EQ(write.exitCode, 0) << write.err;
    // The report, its summary, then the read-back's verdict.
    std::size_t at = 0;
    for (const std::string& line : {std::string("Succeeded in writing the flash."),
                                     port() + ": " + file + ": wrote 4096 bytes (32 blocks, 0 retries) in ",
                                     std::string("Verified"), std::string("Read back in ")}) {
      at = write.out.find(line, at);
      EXPECT_NE(at, std::string::npos) << line << " in\n" << write.out;
    }
    // The read-back has a progress of its own, and its own state line.
    at = 0;
    for (const char* line : {"Writing block 01F  100%", "reading the written blocks back",
                             "Verifying block 16 of 32   50%", "Verifying block 32 of 32  100%"}) {
      at = write.err.find(line, at);
      EXPECT_NE(at, std::string::npos) << line << " in\n" << write.err;
    }

    const std::string out = (dir.path() / (std::string(cable) + "-read.sfl")).string();
    const CliRun read = cli("read " + out + " --port " + port() + " --cable " + cable + " --end-block 01f");
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out.rfind("Succeeded in reading the flash. \n\n", 0), 0u) << read.out;
    EXPECT_NE(read.out.find(port() + ": " + out + ": read 4096 bytes (32 blocks) in "), std::string::npos) << read.out;
    // The last block read is the end block, not the one after it.
    EXPECT_NE(read.err.find("Reading block 01F  100%"), std::string::npos) << read.err;
    EXPECT_EQ(read.err.find("Reading block 020"), std::string::npos) << read.err;
    const auto original = Records(file);
    const auto back = Records(out);
    ASSERT_EQ(back.size(), original.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
      EXPECT_EQ(back[i].block, original[i].block);
      EXPECT_EQ(back[i].data, original[i].data);
    }
    // What the read wrote is a file the write takes: the size convention holds.
    EXPECT_EQ(std::filesystem::file_size(out), 378u + 263u * 32);
    const CliRun again = cli("write " + out + " --port " + port() + " --cable " + cable + " --json");
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(nlohmann::json::parse(again.out)["checksum"],
              write.out.substr(write.out.find("Check SUM is ") + 13, 4));
  }
}

TEST_F(CliReadTest, VerifyCatchesABlockStoredDifferently) {
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 8));
  sim::Faults faults;
  faults.corruptBlock = 5;
  auto r = radio(sim::Cable::Qap8, faults);
  const CliRun run = cli("write " + file + " --port " + port() + " --verify");
  EXPECT_EQ(run.exitCode, 10) << run.err;
  // No success said and then taken back: the difference alone, said once.
  EXPECT_EQ(run.out, "");
  const std::size_t first = run.err.find("The flash differs from the file.");
  EXPECT_NE(first, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("The flash differs from the file.", first + 1), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Succeeded"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("first differing block 005"), std::string::npos) << run.err;
}

TEST_F(CliReadTest, ReadFailuresAndTheirExitCodes) {
  sim::Faults silent;
  silent.silent = true;
  sim::Faults shortReply;
  shortReply.shortReadBlock = 3;
  shortReply.shortReadBytes = 64;
  struct Row {
    const char* name;
    sim::Cable cable;
    sim::Faults faults;
    std::string args;
    int exitCode;
    std::vector<std::string> messages;  // on stderr, in this order
  };
  const std::string out = (dir.path() / "dump.sfl").string();
  const std::string partial = (dir.path() / "dump.partial.sfl").string();
  const Row rows[] = {
      {"QAP-8 silent: 111 alone", sim::Cable::Qap8, silent, "--cable qap8", 4, {"Synchronization Error."}},
      {"QAP-10 silent: 111 then 114", sim::Cable::Qap10, silent, "--cable qap10", 4,
       {"Synchronization Error.", "Failed in reading the flash. "}},
      {"short reply: 107 then 114", sim::Cable::Qap8, shortReply, "", 8,
       {"Communication Error.", "Failed in reading the flash. ", "3 of 1024 blocks"}},
      {"bad end block", sim::Cable::Qap8, {}, "--end-block 1G", 2, {"--end-block"}},
      {"the trace over the dump", sim::Cable::Qap8, {}, "--trace " + out, 2, {"the output file and --trace name the same file"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // The only copy of a radio's old firmware is what a failed read must not cost.
    dir.write("dump.sfl", "the previous dump");
    std::filesystem::remove(partial);
    auto r = radio(row.cable, row.faults);
    const CliRun run = cli("read " + out + " --force --port " + port() + " " + row.args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    std::size_t at = 0;
    for (const std::string& message : row.messages) {
      at = run.err.find(message, at);
      EXPECT_NE(at, std::string::npos) << message << " in " << run.err;
    }
    EXPECT_EQ(Slurp(out), "the previous dump");
    EXPECT_EQ(Records(partial).size(), row.faults.shortReadBlock >= 0 ? 3u : 0u);
  }
}

// Starts `tarvel-cli args` with its output in files; returns its process id.
pid_t Spawn(const test::TempDir& dir, const std::string& args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const std::string command = "exec " + std::string(TARVEL_CLI) + " " + args + " >" +
                                (dir.path() / "out.txt").string() + " 2>" + (dir.path() / "err.txt").string();
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

// Whether the hidden file that a read fills holds `records` blocks.
bool ReadUnderWay(const std::filesystem::path& dir, std::uintmax_t records) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(".dump.sfl.", 0) == 0 && entry.file_size() >= 378 + 263 * records) return true;
  }
  return false;
}

TEST_F(CliReadTest, SignalsStopTheReadReleaseThePortAndKeepWhatWasRead) {
  if (OtherBuild()) GTEST_SKIP() << "POSIX signals; the console's Ctrl-C has no counterpart under wine here";
  struct Row {
    const char* name;
    sim::Faults faults;
    std::vector<int> signals;
    int exitCode;
    const char* message;
  };
  // Silent at block 3: the second Ctrl-C surely comes while the first waits.
  sim::Faults silentAt3;
  silentAt3.silentReadBlock = 3;
  const Row rows[] = {
      {"SIGTERM: stops after the block in progress", {}, {SIGTERM}, 143, "Stopped."},
      {"SIGHUP: a closed terminal stops it as well", {}, {SIGHUP}, 129, "Stopped."},
      {"two Ctrl-C: ends at once", silentAt3, {SIGINT, SIGINT}, 130, "Ended at once; the port was released."},
  };
  const std::string out = dir.write("dump.sfl", "the previous dump");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Options options;
    options.linkPath = port();
    options.baud = 9600;  // 1024 blocks take minutes: the signal comes mid-way
    options.faults = row.faults;
    std::string error;
    auto r = sim::Radio::Start(options, &error);
    ASSERT_TRUE(r) << error;
    const pid_t pid = Spawn(dir, "read " + out + " --force --port " + port() + " --baud 9600");
    const bool silent = row.faults.silentReadBlock >= 0;
    for (int i = 0; i < 400 && !ReadUnderWay(dir.path(), silent ? 3 : 1); ++i) ::usleep(50'000);
    if (silent) ::usleep(500'000);  // well into the wait for block 3
    for (int number : row.signals) {
      ::kill(pid, number);
      ::usleep(300'000);  // two signals at once would be delivered as one
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), row.exitCode);
    const std::string err = Slurp(dir.path() / "err.txt");
    EXPECT_NE(err.find(row.message), std::string::npos) << err;
    EXPECT_EQ(Slurp(out), "the previous dump");
    // The port is free again for the next run (once the radio has sent the
    // rest of a reply cut short).
    ::usleep(400'000);
    const CliRun sync = cli("sync --port " + port() + " --baud 9600");
    EXPECT_EQ(sync.exitCode, 0) << sync.err;
  }
  EXPECT_GE(Records((dir.path() / "dump.partial.sfl").string()).size(), 1u);
}

}  // namespace
}  // namespace tarvel
