// Several radios written side by side: the engine in this process (so that
// the sanitizers watch its threads) and the real binary, each against a
// line of simulated radios.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "run/ExitCodes.h"
#include "cli/GangWrite.h"
#include "cli/RadioLines.h"
#include "cli/RadioRun.h"
#include "sim/SimRadio.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel::cli {
namespace {

constexpr int kBlocks = 16;

// Radios at dir/r0, dir/r1, ... paced at `baud` (0: unpaced).
struct Line {
  Line(const test::TempDir& dir, const std::vector<sim::Faults>& faults, unsigned baud = 0) {
    for (std::size_t i = 0; i < faults.size(); ++i) {
      sim::Options options;
      options.linkPath = (dir.path() / ("r" + std::to_string(i))).string();
      options.faults = faults[i];
      options.baud = baud;
      std::string error;
      radios.push_back(sim::Radio::Start(options, &error));
      EXPECT_TRUE(radios.back()) << error;
      ports.push_back(options.linkPath);
      args += " -p " + options.linkPath;
    }
  }
  std::vector<std::unique_ptr<sim::Radio>> radios;
  std::vector<std::string> ports;
  std::string args;  // " -p r0 -p r1 ..."
};

// `text` matched as it stands inside a regular expression.
std::string Escaped(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

sim::Faults Refusing(int writes) {
  sim::Faults f;
  f.refuseBlock = 3;
  f.refuseWrites = writes;
  return f;
}

sim::Faults Silent() {
  sim::Faults f;
  f.silent = true;
  return f;
}

sim::Faults Corrupting() {
  sim::Faults f;
  f.corruptBlock = 5;
  return f;
}

TEST(GangWrite, ARadioThatFailsLeavesTheOthersToFinishAndVerify) {
  test::TempDir dir;
  Line line(dir, {{}, Silent(), Refusing(6), Refusing(2), Corrupting()});
  GangJob job;
  job.command = "write";
  job.radio.baud = 115200;
  CheckedSflFile file;
  std::optional<SflFileProblem> warning;
  ASSERT_FALSE(LoadFileToWrite(dir.write("fw.sfl", test::ConventionalSfl(0, kBlocks)), true, {}, file, job.transfer,
                               warning));
  job.file = &file;
  std::vector<RadioProgress> progress(line.ports.size());
  std::vector<RunResult> results(line.ports.size());
  WriteRadios(line.ports, job, progress, results);

  struct Expected {
    int exitCode;
    int blocksDone;
    int retries;
    const char* message;
  };
  const Expected expected[] = {{kExitOk, kBlocks, 0, "Succeeded in writing the flash."},
                               {kExitSync, 0, 0, "Synchronization Error."},
                               {kExitFlashWrite, 3, 5, "Failed in the flash writing."},
                               {kExitOk, kBlocks, 2, "Succeeded in writing the flash."},
                               {kExitVerify, kBlocks, 0, "The flash differs from the file."}};
  for (std::size_t i = 0; i < results.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(results[i].radio->port, line.ports[i]);
    EXPECT_EQ(results[i].exitCode, expected[i].exitCode) << results[i].message;
    EXPECT_EQ(results[i].transfer->blocksDone, expected[i].blocksDone);
    EXPECT_EQ(results[i].transfer->retries, expected[i].retries);
    EXPECT_EQ(results[i].message.rfind(expected[i].message, 0), 0u) << results[i].message;
    EXPECT_EQ(progress[i].phase.load(), RadioProgress::kDone);
  }
  EXPECT_EQ(results[4].transfer->verifyFirstDifference, 5);
  EXPECT_EQ(GangExitCode(results), kExitSync);
  // The read-back's own progress reached the live lines: every block compared.
  for (std::size_t radio : {0u, 3u, 4u}) {
    EXPECT_EQ(progress[radio].verifyTotal.load(), kBlocks) << radio;
    EXPECT_EQ(progress[radio].verifyDone.load(), kBlocks) << radio;
  }
  EXPECT_EQ(progress[1].verifyTotal.load(), 0);
  for (std::size_t radio : {0u, 3u}) {
    for (std::uint16_t block = 0; block < kBlocks; ++block) {
      EXPECT_EQ(line.radios[radio]->block(block), test::PatternBlock(block)) << radio << " block " << block;
    }
  }
}

TEST(GangWrite, LiveLinesShowTheRateAndTheReadBack) {
  struct Row {
    const char* name;
    int phase;
    int done, total;
    std::uint32_t writingMs;
    int verified, verifyTotal;
    const char* line;
  };
  const Row rows[] = {
      {"connecting", RadioProgress::kConnecting, 0, 16, 0, 0, 0, "p  connecting"},
      // 8 blocks of 128 bytes in one second.
      {"writing", RadioProgress::kWriting, 8, 16, 1000, 0, 0, "p  block 008   50%  1.0 kB/s  writing"},
      {"the read-back begins", RadioProgress::kVerifying, 16, 16, 2000, 0, 0, "p  block 00F  100%  verifying"},
      {"the read-back under way", RadioProgress::kVerifying, 16, 16, 2000, 4, 16, "p  block 4 of 16   25%  verifying"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RadioProgress progress;
    progress.phase = row.phase;
    progress.blocksDone = row.done;
    progress.blocksTotal = row.total;
    progress.writingMs = row.writingMs;
    progress.verifyDone = row.verified;
    progress.verifyTotal = row.verifyTotal;
    EXPECT_EQ(RadioLineText("p", progress, nullptr), row.line);
  }
}

TEST(GangWrite, TheSamePortNamedTwice) {
  test::TempDir dir;
  const std::string device = dir.write("ttyUSB0", "");
  std::filesystem::create_symlink(device, dir.path() / "link");
  const std::string link = (dir.path() / "link").string();
  const std::string dotted = (dir.path() / "." / "ttyUSB0").string();
  const std::string missing = (dir.path() / "gone").string();
  EXPECT_EQ(RepeatedPort({device, missing}), std::nullopt);
  EXPECT_EQ(RepeatedPort({device, link}), link);
  EXPECT_EQ(RepeatedPort({missing, dotted, device}), device);
  EXPECT_EQ(RepeatedPort({missing, missing}), missing);
}

// The real binary.
class GangCliTest : public test::CliFixture {
 protected:
  void SetUp() override {
    if (OtherBuild()) GTEST_SKIP() << "one port only is mapped for another build";
  }
  std::string r(int i) const { return (dir.path() / ("r" + std::to_string(i))).string(); }
  std::vector<nlohmann::json> recordLines() const {
    std::vector<nlohmann::json> lines;
    std::istringstream in(test::Slurp(record));
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }

  std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, kBlocks));
  std::string record = (dir.path() / "record.jsonl").string();
  std::string fifo = [this] {
    const std::string path = (dir.path() / "fifo.txt").string();
    ::mkfifo(path.c_str(), 0600);
    return path;
  }();
  std::string sparse = [this] {
    const std::string path = dir.write("sparse.txt", "");
    std::filesystem::resize_file(path, 3u << 20);
    return path;
  }();
};

TEST_F(GangCliTest, TableJsonRecordAndExitCode) {
  Line line(dir, {{}, Refusing(12), {}});  // six refusals for each of the two runs
  const test::CliRun text = cli("write " + file + line.args + " --baud 115200 --verify");
  EXPECT_EQ(text.exitCode, kExitFlashWrite) << text.err;
  const std::string pad(r(0).size() - 4, ' ');
  // Each radio's rate beside its time.
  const std::string rows[] = {
      "Port" + pad + "  Blocks  Retries  Time   Rate +Checksum  Verified  Result\n",
      Escaped(r(0)) + "  16/16   0        [0-9]+\\.[0-9] s +[0-9.]+ k?B/s +[0-9A-F]{4}      yes       "
                      "Succeeded in writing the flash\\.\n",
      Escaped(r(1)) + "  3/16    5        [0-9]+\\.[0-9] s +[0-9.]+ k?B/s +-         -         "
                      "Failed in the flash writing\\.\n",
      Escaped(r(2)) + "  16/16   0        ",
      "1 of 3 radios failed\\.\n",
  };
  for (const std::string& row : rows) {
    EXPECT_TRUE(std::regex_search(text.out, std::regex(row))) << row << "\n" << text.out;
  }
  EXPECT_NE(text.err.find(r(1) + ": hint: Block 003 was refused six times"), std::string::npos) << text.err;

  const test::CliRun json = cli("write " + file + line.args + " --baud 115200 --json --record " + record);
  EXPECT_EQ(json.exitCode, kExitFlashWrite) << json.err;
  const auto object = nlohmann::json::parse(json.out);
  EXPECT_EQ(object["command"], "write");
  EXPECT_EQ(object["result"], "failure");
  EXPECT_EQ(object["exit_code"], kExitFlashWrite);
  EXPECT_EQ(object["message"], "1 of 3 radios failed.");
  ASSERT_EQ(object["radios"].size(), 3u);
  const std::vector<nlohmann::json> lines = recordLines();
  ASSERT_EQ(lines.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto& radio = object["radios"][i];
    EXPECT_EQ(radio["port"], r(i));
    EXPECT_EQ(radio["exit_code"], i == 1 ? kExitFlashWrite : 0);
    EXPECT_EQ(radio["blocks_done"], i == 1 ? 3 : kBlocks);
    EXPECT_EQ(radio["first_failed_block"], i == 1 ? nlohmann::json("003") : nlohmann::json(nullptr));
    EXPECT_EQ(radio["file_sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(lines[i]["port"], r(i));
    EXPECT_FALSE(lines[i]["host"].is_null());
    EXPECT_FALSE(lines[i].contains("radios"));
  }
  for (int radio : {0, 2}) EXPECT_EQ(line.radios[radio]->block(kBlocks - 1), test::PatternBlock(kBlocks - 1));
}

TEST_F(GangCliTest, PortsFileSyncAndUsageErrors) {
  Line line(dir, {{}, Silent()});
  // Written by an editor that starts UTF-8 with a byte order mark.
  const std::string list =
      dir.write("ports.txt", "\xEF\xBB\xBF" + r(0) + "\n# the fixture\n\n  " + r(1) + "  # the second\n");
  const test::CliRun sync = cli("sync --ports-file " + list);
  EXPECT_EQ(sync.exitCode, kExitSync) << sync.err;
  EXPECT_EQ(sync.out.find("Port" + std::string(r(0).size() - 4, ' ') + "  Time   Result\n"), 0u) << sync.out;
  EXPECT_NE(sync.out.find("  Synchronized with the boot loader.\n" + r(1) + "  "), std::string::npos) << sync.out;
  EXPECT_NE(sync.out.find("  Synchronization Error. Please confirm"), std::string::npos) << sync.out;

  struct Usage {
    std::string args;
    const char* says;
  };
  const Usage usages[] = {
      {"write " + file + " -p " + r(0) + " -p " + (dir.path() / "." / "r0").string(), "is named twice"},
      {"write " + file + " --ports-file " + (dir.path() / "none").string(), "cannot be read"},
      {"read out.sfl -p " + r(0) + " -p " + r(1), "--port"},
      {"sync", "no port given"},
      {"sync --ports-file " + dir.write("many.txt", [] {
         std::string names;
         for (int i = 0; i < 300; ++i) names += "/dev/ttyUSB" + std::to_string(i) + "\n";
         return names;
       }()),
       "at most 256 ports"},
      // A ports file is never waited for nor read without end.
      {"sync --ports-file " + fifo, "not a regular file"},
      {"sync --ports-file /dev/zero", "not a regular file"},
      {"sync --ports-file " + sparse, "larger than 1048576 bytes"},
      {"sync --ports-file " + dir.write("long.txt", r(0) + "\n" + std::string(5000, 'x')), "line 2: longer than"},
      // The system would open the name cut at the NUL, under another name.
      {"sync --ports-file " + dir.write("nul.txt", "# list\n" + r(0) + std::string(1, '\0') + "x\n"),
       "line 2: a NUL byte"},
  };
  for (const Usage& usage : usages) {
    SCOPED_TRACE(usage.args.substr(0, 80));
    const test::CliRun run = cli(usage.args);
    EXPECT_EQ(run.exitCode, kExitUsage);
    EXPECT_NE(run.err.find(usage.says), std::string::npos) << run.err;
  }
  EXPECT_EQ(line.radios[0]->stats().writePackets, 0);
}

TEST_F(GangCliTest, CtrlCStopsEveryRadioAndReleasesItsPort) {
  // At 9600 baud the 16 blocks take about 3 s: the stop comes in the middle.
  Line line(dir, {{}, {}, {}}, 9600);
  const test::CliRun run = test::RunCommand(dir, "(" + std::string(TARVEL_CLI) + " write " + file + line.args +
                                                     " --baud 9600 & pid=$!; sleep 1.2; kill -INT $pid; wait $pid)");
  EXPECT_EQ(run.exitCode, 130) << run.err;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const int stored = line.radios[i]->stats().blocksStored;
    EXPECT_LT(stored, kBlocks);
    EXPECT_NE(run.out.find(r(i) + "  " + std::to_string(stored) + "/16"), std::string::npos) << run.out;
    if (stored > 0) {
      EXPECT_NE(run.err.find(r(i) + ": Blocks 000-"), std::string::npos) << run.err;
    }
  }
  std::size_t stoppedRows = 0;
  for (std::size_t at = 0; (at = run.out.find("  Stopped before the end.\n", at)) != std::string::npos; ++at) {
    ++stoppedRows;
  }
  EXPECT_EQ(stoppedRows, 3u) << run.out;
  // Every port was closed and released: each opens again at once.
  const test::CliRun again = cli("sync" + line.args + " --baud 9600");
  EXPECT_EQ(again.exitCode, 0) << again.err << again.out;
}

TEST_F(GangCliTest, RepeatWritesRoundAfterRound) {
  // A line of one radio repeats as well as a line of two.
  for (const std::size_t radios : {2u, 1u}) {
    SCOPED_TRACE(radios);
    std::filesystem::remove(record);
    Line line(dir, std::vector<sim::Faults>(radios));
    const test::CliRun run =
        cli("write " + file + line.args + " --repeat --record " + record + " < " + dir.write("answers", "\nq\n"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("Round  Port"), 0u) << run.out;
    EXPECT_NE(run.out.find("2      " + r(static_cast<int>(radios) - 1) + "  16/16"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("3      "), std::string::npos) << run.out;
    for (const auto& radio : line.radios) EXPECT_EQ(radio->stats().blocksStored, 2 * kBlocks);
    const std::vector<nlohmann::json> lines = recordLines();
    ASSERT_EQ(lines.size(), 2 * radios);
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i]["round"], 1 + i / radios) << i;
  }
}

// A stop ends the rounds with its own exit code, whatever an earlier round
// ended with: the first round here fails a radio (exit 7).
TEST_F(GangCliTest, AStopEndsRepeatWithItsExitCode) {
  Line line(dir, {Refusing(6), {}}, 9600);
  const std::string lines = dir.write("answers", std::string(20, '\n'));
  // The second round starts once the first has written its table; at 9600
  // baud its 16 blocks take about 3 s, and the stop comes in their middle.
  const std::string rounds = (dir.path() / "rounds.txt").string();
  const test::CliRun run = test::RunCommand(
      dir, "(" + std::string(TARVEL_CLI) + " write " + file + line.args + " --baud 9600 --repeat < " + lines + " > " +
               rounds + " & pid=$!; for n in $(seq 600); do grep -q '^1  ' " + rounds +
               " && break; sleep 0.1; done; sleep 1; kill -TERM $pid; wait $pid)");
  EXPECT_EQ(run.exitCode, 143) << run.err;
  const std::string out = test::Slurp(rounds);
  EXPECT_NE(out.find("2      " + r(1) + "  "), std::string::npos) << out;
  EXPECT_NE(out.find("Stopped before the end."), std::string::npos) << out;
  EXPECT_EQ(out.find("3      "), std::string::npos) << out;
  EXPECT_LT(line.radios[1]->stats().blocksStored, 2 * kBlocks);
}

TEST_F(GangCliTest, AskSerialReadsEachRoundsSerialsFromTheTerminalNotStdin) {
  Line line(dir, {{}, {}});
  // script gives the command a terminal of its own, where what is piped into
  // script is typed; the command's stdin holds other lines.
  const std::string command = Program() + " write " + file + line.args + " --repeat --ask-serial --record " + record +
                              " < " + dir.write("stdin", "\nq\n");
  const test::CliRun run = shell("printf 'SN-1\\nSN-2\\nSN-3\\n SN-4 \\nq\\n' | script -qec '" + command + "' /dev/null");
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Serial number of the radio on " + r(1) + ": "), std::string::npos) << run.out;
  const std::vector<nlohmann::json> lines = recordLines();
  ASSERT_EQ(lines.size(), 4u) << run.out;
  const char* serials[] = {"SN-1", "SN-2", "SN-3", "SN-4"};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i]["serial"], serials[i]) << i;
    EXPECT_EQ(lines[i]["port"], r(static_cast<int>(i % 2))) << i;
  }

  // No terminal at all: refused before any radio wakes.
  const test::CliRun none =
      shell("setsid -w " + Program() + " write " + file + line.args + " --ask-serial --json < /dev/null");
  EXPECT_EQ(none.exitCode, kExitUsage);
  EXPECT_NE(none.out.find("--ask-serial reads the serial numbers from a terminal"), std::string::npos) << none.out;
  for (const auto& radio : line.radios) EXPECT_EQ(radio->stats().blocksStored, 2 * kBlocks);
}

// Each way the prompts end: Ctrl-C stops (130); q and the end of input
// end as q does; --json always gives one object, saying which radios were
// written and which were asked for or not. Enter alone asks again.
TEST_F(GangCliTest, AskSerialPromptsThatEndEarly) {
  struct Row {
    const char* name;
    std::string typing;  // shell commands whose output is typed at the terminal
    int exitCode;
    std::vector<std::string> asked;  // the serials typed in the round that ended
    bool written;                    // the round went ahead: both radios written
  };
  // Waits until the session shows a prompt for radio `i`: a Ctrl-C typed
  // earlier would find no prompt to end.
  const std::string session = (dir.path() / "session").string();
  const auto promptFor = [&](int i) {
    return "for n in $(seq 600); do grep -q 'radio on " + r(i) + ": ' " + session + " && break; sleep 0.1; done; ";
  };
  const Row rows[] = {
      {"q at the first prompt", "printf 'q\\n'", 0, {}, false},
      {"end of input at the first prompt", "true", 0, {}, false},
      {"end of input at the second prompt", "printf 'SN-1\\n'; " + promptFor(1), 0, {"SN-1"}, false},
      {"Ctrl-C at the first prompt", promptFor(0) + "printf '\\003'", 130, {}, false},
      {"Ctrl-C at the second prompt", "printf 'SN-1\\n'; " + promptFor(1) + "printf '\\003'", 130,
       {"SN-1"}, false},
      {"Enter alone asks again", "printf '\\nSN-1\\n  \\nSN-2\\n'", 0, {}, true},
  };
  Line line(dir, {{}, {}});
  int written = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(session);
    const std::string command = Program() + " write " + file + line.args + " --ask-serial --json";
    const test::CliRun run = shell("(" + row.typing + ") | script -qefc '" + command + "' " + session);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.out;
    std::vector<nlohmann::json> objects;
    std::istringstream out(run.out);
    for (std::string text; std::getline(out, text);) {
      if (text.starts_with("{\"schema\"")) objects.push_back(nlohmann::json::parse(text));
    }
    ASSERT_EQ(objects.size(), 1u) << run.out;
    const nlohmann::json& object = objects[0];
    EXPECT_EQ(object["exit_code"], row.exitCode);
    if (row.written) {
      written += 1;
      ASSERT_EQ(object["radios"].size(), 2u);
      EXPECT_EQ(object["radios"][0]["serial"], "SN-1");
      EXPECT_EQ(object["radios"][1]["serial"], "SN-2");
      EXPECT_NE(run.out.find("A serial number is needed for this radio."), std::string::npos) << run.out;
    } else {
      EXPECT_EQ(object["message"], "Ended before round 1: no radio of that round was written.");
      EXPECT_EQ(object["written"], nlohmann::json::array());
      ASSERT_EQ(object["asked"].size(), row.asked.size());
      for (std::size_t i = 0; i < row.asked.size(); ++i) {
        EXPECT_EQ(object["asked"][i]["port"], r(static_cast<int>(i)));
        EXPECT_EQ(object["asked"][i]["serial"], row.asked[i]);
      }
      std::vector<std::string> notAsked;
      for (std::size_t i = row.asked.size(); i < 2; ++i) notAsked.push_back(r(static_cast<int>(i)));
      EXPECT_EQ(object["not_asked"], nlohmann::json(notAsked));
    }
    for (const auto& radio : line.radios) EXPECT_EQ(radio->stats().blocksStored, written * kBlocks);
  }
}

TEST_F(GangCliTest, AFailedRoundKeepsItsExitCodeThroughAGoodOne) {
  // The second radio refuses block 3 six times: the first round fails it,
  // the second writes it.
  Line line(dir, {{}, Refusing(6)});
  const test::CliRun run = cli("write " + file + line.args + " --repeat < " + dir.write("answers", "\nq\n"));
  EXPECT_EQ(run.exitCode, kExitFlashWrite) << run.err;
  EXPECT_NE(run.out.find("2      " + r(1) + "  16/16"), std::string::npos) << run.out;
  EXPECT_EQ(line.radios[1]->stats().blocksStored, 3 + kBlocks);
}

// Closed standard streams and a reader that has gone (`| head -1`) cost
// no radio its write and no record its line: the record holds JSON only.
TEST_F(GangCliTest, ClosedStreamsAndAGoneReaderLoseNoRadioAndNoRecordLine) {
  const struct {
    const char* name;
    const char* redirect;  // "gone": stdout and stderr on a pipe without reader
    bool twoRadios;        // the second one silent
    int exitCode;
  } rows[] = {
      {"stdout closed", ">&-", false, kExitOk},
      {"stdout closed, a line of radios", ">&-", true, kExitSync},
      {"stderr closed, a line of radios", "2>&-", true, kExitSync},
      {"stdin closed", "<&-", false, kExitOk},
      {"all three closed", "<&- >&- 2>&-", true, kExitSync},
      {"reader gone", "gone", false, kExitOk},
      {"reader gone, a line of radios", "gone", true, kExitSync},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(record);
    Line line(dir, row.twoRadios ? std::vector<sim::Faults>{{}, Silent()} : std::vector<sim::Faults>{{}});
    const std::string commandLine = Program() + " write " + file + line.args + " --json --record " + record;
    const int exitCode = std::string(row.redirect) == "gone"
                             ? test::RunWithGoneReader(commandLine)
                             : shell("(" + commandLine + " " + row.redirect + ")").exitCode;
    EXPECT_EQ(exitCode, row.exitCode);
    std::istringstream in(test::Slurp(record));
    std::size_t lines = 0;
    for (std::string text; std::getline(in, text); ++lines) {
      EXPECT_TRUE(nlohmann::json::accept(text)) << text;
    }
    EXPECT_EQ(lines, line.radios.size());
    EXPECT_EQ(line.radios[0]->stats().blocksStored, kBlocks);
    EXPECT_EQ(line.radios[0]->block(kBlocks - 1), test::PatternBlock(kBlocks - 1));
  }
}

// The trace, the record, the output and the file to write are four files:
// a clash, by name or through a link, is refused before any radio wakes.
TEST_F(GangCliTest, FilesInTwoRolesAreRefusedBeforeTheRadioWakes) {
  Line line(dir, {{}, {}});
  std::string earlier;
  for (int i = 0; i < 50; ++i) earlier += "{\"line\":" + std::to_string(i) + "}\n";
  const std::string dump = (dir.path() / "dump.sfl").string();
  const std::string link = (dir.path() / "link.sfl").string();
  std::filesystem::create_symlink(file, link);
  const std::string sameRecord = (dir.path() / "." / "record.jsonl").string();
  const struct {
    const char* name;
    std::string commandLine;  // after the program
  } rows[] = {
      {"--trace names the record", "write " + file + " -p " + r(0) + " --record " + record + " --trace " + sameRecord},
      {"TARVEL_RECORD names the trace", "write " + file + " -p " + r(0) + " --trace " + record},
      {"--record names the file to write", "write " + file + " -p " + r(0) + " --record " + file},
      {"--record through a link to the file to write", "write " + file + " -p " + r(0) + " --record " + link},
      {"--record names the dump", "read " + record + " --force -p " + r(0) + " --record " + record},
      {"--trace names a new dump", "read " + dump + " -p " + r(0) + " --trace " + dump},
      {"a radio's trace names the record",
       "write " + file + line.args + " --trace " + (dir.path() / "t").string() + " --record " +
           (dir.path() / "t-1").string()},
      {"sync's trace names the record", "sync -p " + r(0) + " --trace " + record + " --record " + sameRecord},
  };
  const std::string sfl = test::Slurp(file);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    dir.write("record.jsonl", earlier);
    const std::string env = std::string(row.name).starts_with("TARVEL_RECORD") ? "TARVEL_RECORD=" + record + " " : "";
    const test::CliRun run = shell(env + Program() + " " + row.commandLine + " --json");
    EXPECT_EQ(run.exitCode, kExitUsage) << run.err;
    EXPECT_NE(run.err.find("name the same file"), std::string::npos) << run.err;
    EXPECT_TRUE(nlohmann::json::accept(run.out)) << run.out;
    EXPECT_EQ(test::Slurp(record), earlier);
    EXPECT_EQ(test::Slurp(file), sfl);
    EXPECT_FALSE(std::filesystem::exists(dump));
    for (const auto& radio : line.radios) EXPECT_EQ(radio->stats().syncBytes, 0);
  }
}

}  // namespace
}  // namespace tarvel::cli
