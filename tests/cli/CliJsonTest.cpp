// tarvel-cli for scripts: every command and outcome as one JSON object that
// a strict parser takes, the record file that several runs share, and the
// conventions of the command line.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "base/Sha256.h"
#include "cli/ProgressLine.h"
#include "sim/SimRadio.h"
#include "tests/cli/CliFixture.h"
#include "tests/converters/HexText.h"
#include "tests/support/SflText.h"

namespace tarvel {
namespace {

using nlohmann::json;
using test::CliRun;

class CliJsonTest : public test::CliFixture {
 protected:
  // stdout must be exactly one line holding one object.
  static json Parse(const CliRun& run) {
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
    return json::parse(run.out);
  }
  // What coreutils says, so the program's own digest is not its own judge.
  std::string Sha256Sum(const std::string& path) {
    return test::RunCommand(dir, "sha256sum '" + path + "'").out.substr(0, 64);
  }
  std::string path(const std::string& name) const { return (dir.path() / name).string(); }
};

TEST_F(CliJsonTest, EveryCommandAndOutcomeGivesOneObject) {
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 8));
  std::filesystem::create_directory(dir.path() / "hex");
  std::filesystem::create_directory(dir.path() / "latin1");
  dir.write("hex/fw.hex", test::HexData(0x0000, test::Bytes(16, 1)) + test::HexLinearBase(0x0002) +
                              test::HexData(0x0010, test::Bytes(16, 2)) + test::HexEnd());
  dir.write("latin1/caf\xE9.sfl", "");
  const std::string dump = path("dump.sfl");
  sim::Faults corrupt, refusing, silent, shortReply, silentAfter3, hangUpAfter3;
  silentAfter3.silentAfterBlocks = 3;
  hangUpAfter3.hangUpAfterBlocks = 3;
  dir.write("fw.hex", test::HexData(0x0000, test::Bytes(16, 1)) + test::HexEnd());
  corrupt.corruptBlock = 5;
  refusing.refuseBlock = 1;
  refusing.refuseWrites = 6;
  silent.silent = true;
  shortReply.shortReadBlock = 3;
  shortReply.shortReadBytes = 64;
  // A time stamp beyond the clock's nanoseconds (2262).
  std::filesystem::create_directory(dir.path() / "future");
  const std::string future = dir.write("future/fw.sfl", "");
  const timespec times[2] = {{13569465600, 0}, {13569465600, 0}};  // 2400-01-01
  ::utimensat(AT_FDCWD, future.c_str(), times, 0);
  const std::string p = " -p " + port() + " --json";
  const std::string inDir = "cd '" + dir.path().string() + "' && " + Program() + " ";
  const std::string inDirWith = "cd '" + dir.path().string() + "' && ";
  struct Row {
    const char* name;
    sim::Cable cable;
    sim::Faults faults;
    std::string commandLine;  // run through the shell
    int exitCode;
    const char* command;
    std::function<void(const json&)> check;
    bool garble = false;     // the radio answers at another speed
    bool posixOnly = false;  // a device, a hang-up or a path that only POSIX has
  };
  const Row rows[] = {
      {"write", sim::Cable::Qap8, {}, "write " + file + p, 0, "write",
       [&](const json& o) {
         EXPECT_EQ(o["message"], "Succeeded in writing the flash.");
         EXPECT_EQ(o["blocks_total"], 8);
         EXPECT_EQ(o["blocks_done"], 8);
         EXPECT_EQ(o["retries"], 0);
         EXPECT_EQ(o["file_sha256"], Sha256Sum(file));
         EXPECT_TRUE(o["first_failed_block"].is_null());
         EXPECT_EQ(o["port"], port());
         // The device behind the name: a pseudo-terminal here, the COM name itself on Windows.
         EXPECT_TRUE(o["device"].get<std::string>().starts_with(OtherBuild() ? port() : "/dev/pts/")) << o["device"];
         EXPECT_TRUE(o["usb"].is_null());
         EXPECT_EQ(o["cable"], "qap8");
         EXPECT_EQ(o["baud"], 38400);
         EXPECT_TRUE(o["hint"].is_null());
         EXPECT_FALSE(o.contains("verify_ms"));
         EXPECT_FALSE(o.contains("serial"));
       }},
      {"write with the radio's serial number", sim::Cable::Qap8, {}, "write " + file + p + " --serial 'SN 0042'", 0,
       "write", [](const json& o) { EXPECT_EQ(o["serial"], "SN 0042"); }},
      {"verify differs", sim::Cable::Qap8, corrupt, "write " + file + p + " --verify", 10, "write",
       [](const json& o) {
         EXPECT_EQ(o["message"], "The flash differs from the file.");
         EXPECT_EQ(o["verify_first_difference"], "005");
         EXPECT_TRUE(o["verify_ms"].is_number());
         EXPECT_NE(o["hint"].get<std::string>().find("005"), std::string::npos);
       }},
      {"block refused", sim::Cable::Qap8, refusing, "write " + file + p, 7, "write",
       [](const json& o) {
         EXPECT_EQ(o["first_failed_block"], "001");
         EXPECT_EQ(o["blocks_done"], 1);
         EXPECT_EQ(o["retries"], 5);
         EXPECT_NE(o["hint"].get<std::string>().find("Block 001"), std::string::npos);
       }},
      {"silent radio", sim::Cable::Qap8, silent, "write " + file + p, 4, "write",
       [](const json& o) {
         EXPECT_EQ(o["message"],
                   "Synchronization Error.\nPlease confirm the connection with the equipment.\n"
                   "Or, please change connected speed.");
         EXPECT_NE(o["hint"].get<std::string>().find("tarvel-cli doctor -p"), std::string::npos);
         EXPECT_EQ(o["diagnosis"][0]["id"], "loader-silent");
       }},
      {"missing device", sim::Cable::Qap8, {}, "write " + file + " -p " + path("ttyNone") + " --json", 3, "write",
       [&](const json& o) {
         EXPECT_EQ(o["diagnosis"][0]["id"], "port-missing");
         EXPECT_EQ(o["diagnosis"][0]["text"], path("ttyNone") + " does not exist.");
         EXPECT_EQ(o["hint"], o["diagnosis"][0]["hint"]);
       }},
      // A newcomer's mistakes: each message points the right way.
      {"the wrong speed: the write's hint is the doctor's", sim::Cable::Qap8, {}, "write " + file + p, 4, "write",
       [](const json& o) {
         EXPECT_EQ(o["diagnosis"][0]["id"], "garbled");
         EXPECT_NE(o["hint"].get<std::string>().find("Check the speed (--baud 38400"), std::string::npos) << o["hint"];
       },
       true},
      {"/dev/null as the port", sim::Cable::Qap8, {}, "write " + file + " -p /dev/null --json", 3, "write",
       [](const json& o) {
         EXPECT_EQ(o["message"], "The COMM Port cannot be handled.");
         EXPECT_EQ(o["detail"], "/dev/null: not a serial device");
         EXPECT_EQ(o["diagnosis"][0]["id"], "port-failed");
         EXPECT_EQ(o["hint"], "/dev/null is not a serial port; `tarvel-cli ports` lists them.");
       },
       false,
       true},
      {"an Intel-HEX file given to write", sim::Cable::Qap8, {}, "write " + path("fw.hex") + p, 5, "write",
       [&](const json& o) {
         EXPECT_EQ(o["message"], "The file is not a valid SFL file.");
         EXPECT_NE(o["hint"].get<std::string>().find("is an Intel-HEX file, not an SFL file: convert it first "
                                                     "(tarvel-cli convert " + path("fw.hex") + " -o " +
                                                     path("fw.sfl") + ")"),
                   std::string::npos)
             << o["hint"];
       }},
      {"a radio silent after 3 blocks", sim::Cable::Qap8, silentAfter3, "write " + file + p, 6, "write",
       [](const json& o) {
         EXPECT_EQ(o["message"], "Communication Error.");
         EXPECT_EQ(o["first_failed_block"], "003");
         EXPECT_EQ(o["detail"], "No reply to block 003: the line was lost (the adapter unplugged, or the radio "
                                "powered off).");
         EXPECT_EQ(o["hint"].get<std::string>().rfind("Blocks 000-002 of the new firmware are written", 0), 0u)
             << o["hint"];
       }},
      {"a hang-up mid-write", sim::Cable::Qap8, hangUpAfter3, "write " + file + p, 6, "write",
       [](const json& o) {
         EXPECT_EQ(o["message"], "Communication Error.");
         EXPECT_NE(o["detail"].get<std::string>().find("the line was lost (the adapter unplugged"), std::string::npos)
             << o["detail"];
         EXPECT_EQ(o["hint"].get<std::string>().rfind("Blocks 000-002 of the new firmware are written", 0), 0u)
             << o["hint"];
       },
       false,
       true},
      {"read into a folder that does not exist", sim::Cable::Qap8, silent,
       "read " + path("none/dump.sfl") + " --end-block 00F" + p, 2, "read",
       [&](const json& o) {
         EXPECT_EQ(o["message"], "Failed in reading the flash. ");
         EXPECT_EQ(o["detail"], "The folder " + path("none") + " does not exist. The radio was not touched.");
         EXPECT_EQ(o["blocks_done"], 0);
       },
       false,
       true},
      {"non-UTF-8 file name", sim::Cable::Qap8, {}, "write '" + path("fw\xFF.sfl") + "'" + p, 5, "write",
       [&](const json& o) { EXPECT_EQ(o["file"], path("fw\xEF\xBF\xBD.sfl")); }},
      {"usage error", sim::Cable::Qap8, {}, "write " + file + p + " -c qap10 -b 9600", 2, "write",
       [](const json& o) {
         EXPECT_NE(o["message"].get<std::string>().find("9600"), std::string::npos);
         EXPECT_EQ(o["hint"], "'tarvel-cli write --help' lists the options.");
       }},
      {"read", sim::Cable::Qap8, {}, "read " + dump + " --end-block 00F" + p, 0, "read",
       [&](const json& o) {
         EXPECT_EQ(o["blocks_total"], 16);
         EXPECT_EQ(o["blocks_done"], 16);
         EXPECT_EQ(o["file"], dump);
         EXPECT_EQ(o["file_sha256"], Sha256Sum(dump));
       }},
      {"read over a file", sim::Cable::Qap8, {}, "read " + dump + p, 2, "read",
       [](const json& o) { EXPECT_NE(o["message"].get<std::string>().find("--force"), std::string::npos); }},
      {"read cut short", sim::Cable::Qap8, shortReply, "read -o " + dump + " --force --end-block 00F" + p, 8,
       "read",
       [&](const json& o) {
         EXPECT_EQ(o["first_failed_block"], "003");
         EXPECT_TRUE(o["file_sha256"].is_null());
         EXPECT_EQ(o["partial_file"], path("dump.partial.sfl"));
         EXPECT_EQ(o["hint"].get<std::string>().rfind(path("dump.partial.sfl") + " holds 3 of the 16 blocks", 0), 0u)
             << o["hint"];
       }},
      {"sync", sim::Cable::Qap10, {}, "sync -c QAP-10" + p, 0, "sync",
       [](const json& o) { EXPECT_EQ(o["cable"], "qap10"); }},
      {"trace not writable", sim::Cable::Qap8, {}, "sync --trace " + path("no/trace.txt") + p, 2, "sync",
       [&](const json& o) {
         EXPECT_EQ(o["message"], "The --trace file cannot be created.");
         EXPECT_EQ(o["detail"], path("no/trace.txt") + ": No such file or directory");
       }},
      {"doctor with a trace", sim::Cable::Qap8, {}, "doctor --trace " + path("doctor.log") + p, 0, "doctor",
       [&](const json& o) {
         EXPECT_EQ(o["diagnosis"].back()["id"], "loader-answered");
         // Every conversation of the walk: the open, the sync, the block read.
         const std::string trace = test::Slurp(path("doctor.log"));
         EXPECT_NE(trace.find("open"), std::string::npos) << trace.substr(0, 400);
         EXPECT_GT(trace.size(), 200u);
       }},
      {"record not writable", sim::Cable::Qap8, {}, "sync --record " + dir.path().string() + p, 2, "sync",
       [](const json& o) { EXPECT_EQ(o["message"], "The record file cannot be written."); }},
      {"convert", sim::Cable::Qap8, {}, inDir + "convert hex/fw.hex -o out.sfl --end 3ff --json", 0, "convert",
       [&](const json& o) {
         // The absolute path as the system writes it (Z:\\tmp\\... under wine).
         const std::string output = OtherBuild() ? o["output"].get<std::string>() : path("out.sfl");
         EXPECT_TRUE(output.ends_with("out.sfl")) << output;
         EXPECT_EQ(o["output"], output);
         EXPECT_EQ(o["message"], "Succeeded in the conversion of the file. " + output);
         EXPECT_EQ(o["dropped"], json::parse(R"([{"first": 131088, "last": 131103}])"));
         EXPECT_TRUE(std::filesystem::exists(path("out.sfl")));
       }},
      {"convert over a file", sim::Cable::Qap8, {}, inDir + "convert hex/fw.hex -o out.sfl --json", 2, "convert",
       nullptr},
      {"list", sim::Cable::Qap8, {}, "list " + path("latin1") + " --json", 0, "list",
       [](const json& o) {
         ASSERT_EQ(o["rows"].size(), 1u);
         EXPECT_EQ(o["rows"][0]["file"], "caf\xEF\xBF\xBD.sfl");
         EXPECT_EQ(o["rows"][0]["size"], 0);
       }},
      {"list of a missing folder", sim::Cable::Qap8, {}, "list " + path("none") + " --json", 5, "list", nullptr},
      {"comment", sim::Cable::Qap8, {}, "comment " + file + " --json", 0, "comment",
       [](const json& o) { EXPECT_TRUE(o["comment"].is_string()); }},
      {"ports", sim::Cable::Qap8, {}, "ports --json", 0, "ports",
       [](const json& o) { EXPECT_TRUE(o["ports"].is_array()); }},
      {"list of a file from 2400", sim::Cable::Qap8, {}, "list " + path("future") + " --json", 0, "list",
       [](const json& o) {
         ASSERT_EQ(o["rows"].size(), 1u);
         // Wine hands a Windows program a time past 2106 as 1970.
         if (!OtherBuild()) {
           EXPECT_EQ(o["rows"][0]["date_iso"], "2400-01-01T00:00:00.000Z");
         }
       }},
      // --json anywhere: every outcome is one object.
      {"--json before the command", sim::Cable::Qap8, {}, "--json sync -p " + port(), 2, "sync", nullptr},
      {"unknown command", sim::Cable::Qap8, {}, "frobnicate --json", 2, "frobnicate",
       [](const json& o) { EXPECT_EQ(o["message"], "unknown command 'frobnicate'"); }},
      {"help", sim::Cable::Qap8, {}, "sync --help --json", 0, "sync",
       [](const json& o) { EXPECT_NE(o["message"].get<std::string>().find("--port"), std::string::npos); }},
      // A name the system cannot take: a failure of its own, not an
      // exception, found before the radio is woken as a usage error.
      {"read into a name too long", sim::Cable::Qap8, {}, "read " + path(std::string(300, 'n') + ".sfl") + p, 2,
       "read",
       [](const json& o) {
         EXPECT_NE(o["detail"].get<std::string>().find("The radio was not touched."), std::string::npos) << o["detail"];
       }},
      // The command line wins over the environment; a value used must be valid.
      {"bad environment overridden", sim::Cable::Qap8, {},
       inDirWith + "TARVEL_BAUD=abc TARVEL_CABLE=qap9 " + Program() + " sync -b 38400 -c qap8" + p, 0, "sync",
       nullptr},
      {"bad environment used", sim::Cable::Qap8, {}, inDirWith + "TARVEL_CABLE=qap9 " + Program() + " sync" + p, 2,
       "sync", [](const json& o) { EXPECT_EQ(o["message"], "TARVEL_CABLE=qap9 is not a value of --cable"); }},
      // No -p: the only USB serial adapter, said; none or several, listed; never for a line.
      {"the only USB adapter", sim::Cable::Qap8, {},
       inDirWith + "TARVEL_TEST_PORT_LIST='!/dev/ttyS0," + port() + "' " + Program() + " write " + file + " --json", 0,
       "write", [&](const json& o) { EXPECT_EQ(o["port"], port()); }},
      {"no serial port at all", sim::Cable::Qap8, {}, inDirWith + "TARVEL_TEST_PORT_LIST= " + Program() + " sync --json",
       2, "sync",
       [](const json& o) {
         EXPECT_EQ(o["message"], "no port given (-p PORT), and this machine has no serial port: connect the cable");
       }},
      {"two USB adapters", sim::Cable::Qap8, {},
       inDirWith + "TARVEL_TEST_PORT_LIST=/dev/ttyUSB0,/dev/ttyUSB1 " + Program() + " read dump2.sfl --json", 2, "read",
       [](const json& o) {
         EXPECT_EQ(o["message"], "no port given: -p PORT names the cable's port, one of this machine's serial ports: "
                                 "/dev/ttyUSB0, /dev/ttyUSB1");
       }},
      {"a line of radios never guesses", sim::Cable::Qap8, {},
       inDirWith + "TARVEL_TEST_PORT_LIST=" + port() + " " + Program() + " sync --repeat --json </dev/null", 2, "sync",
       [](const json& o) {
         EXPECT_EQ(o["message"], "no port given: -p PORT (once per radio) or --ports-file FILE; a line of radios "
                                 "never picks its ports");
       }},
      // A diagnosis is no unit written: its record line says what it is.
      {"doctor", sim::Cable::Qap8, {}, "doctor" + p, 0, "doctor",
       [](const json& o) { EXPECT_EQ(o["job"], "diagnosis"); }},
      // --help shows the values in force, and where they come from.
      {"help with the environment's values", sim::Cable::Qap8, {},
       inDirWith + "TARVEL_BAUD=115200 TARVEL_CABLE=qap10 " + Program() + " write --help --json", 0, "write",
       [](const json& o) {
         const std::string help = o["message"];
         EXPECT_NE(help.find("115200 from TARVEL_BAUD"), std::string::npos) << help;
         EXPECT_NE(help.find("qap10 from TARVEL_CABLE"), std::string::npos) << help;
         EXPECT_EQ(help.find("=38400"), std::string::npos) << help;
       }},
  };
  const std::regex utcTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // The machine's ports stand in for a test build's own only.
    if (OtherBuild() && row.commandLine.find("TARVEL_TEST_PORT_LIST") != std::string::npos) continue;
    if (row.posixOnly && OtherBuild()) continue;
    auto r = radio(row.cable, row.faults, row.garble);
    const std::string commandLine =
        row.commandLine.rfind("cd ", 0) == 0 ? row.commandLine : Program() + " " + row.commandLine;
    const CliRun run = shell(commandLine);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    json o;
    ASSERT_NO_THROW(o = Parse(run)) << run.out;
    EXPECT_EQ(o["schema"], 1);
    EXPECT_EQ(o["tool"]["name"], "tarvel-cli");
    EXPECT_TRUE(o["tool"]["version"].is_string());
    EXPECT_EQ(o["command"], row.command);
    EXPECT_EQ(o["result"], row.exitCode == 0 ? "success" : "failure");
    EXPECT_EQ(o["exit_code"], row.exitCode);
    EXPECT_TRUE(o["message"].is_string());
    EXPECT_TRUE(o["hint"].is_null() || o["hint"].is_string());
    EXPECT_TRUE(std::regex_match(o["started_at"].get<std::string>(), utcTime)) << o["started_at"];
    EXPECT_TRUE(o["elapsed_ms"].is_number_unsigned());
    if (row.check) row.check(o);
    if (!o["hint"].is_null()) {
      EXPECT_NE(run.err.find("hint: " + o["hint"].get<std::string>()), std::string::npos);
    }
  }
}

TEST_F(CliJsonTest, TwoRunsSharingARecordFileGiveTwoCompleteLines) {
  if (OtherBuild()) GTEST_SKIP() << "one port only is mapped for another build";
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 32));
  auto first = radio(sim::Cable::Qap8);
  sim::Options options;
  options.linkPath = path("radio2");
  std::string error;
  auto second = sim::Radio::Start(options, &error);
  ASSERT_TRUE(second) << error;
  const std::string record = path("record.jsonl");
  const std::string cli = TARVEL_CLI;
  // One through the option, one through the environment, side by side.
  const CliRun run = test::RunCommand(
      dir, "( " + cli + " write -q " + file + " -p " + port() + " --record " + record + " & TARVEL_RECORD=" + record +
               " " + cli + " write -q " + file + " -p " + path("radio2") + " & wait )");
  EXPECT_EQ(run.err, "");
  std::istringstream lines(test::Slurp(record));
  std::vector<std::string> ports;
  for (std::string line; std::getline(lines, line);) {
    json o;
    ASSERT_NO_THROW(o = json::parse(line)) << line;
    EXPECT_EQ(o["exit_code"], 0);
    EXPECT_EQ(o["blocks_done"], 32);
    EXPECT_FALSE(o["host"].get<std::string>().empty());
    ports.push_back(o["port"]);
  }
  std::sort(ports.begin(), ports.end());
  EXPECT_EQ(ports, (std::vector<std::string>{port(), path("radio2")}));
}

TEST_F(CliJsonTest, Conventions) {
  auto r = radio(sim::Cable::Qap10);
  const std::string cli = Program();
  struct Row {
    const char* name;
    std::string commandLine;
    int exitCode;
    std::string err;  // the start of stderr
  };
  const Row rows[] = {
      {"environment defaults", "TARVEL_PORT=" + port() + " TARVEL_CABLE=qap-10 TARVEL_BAUD=115200 " + cli + " sync",
       0, ""},
      {"the command line wins", "TARVEL_PORT=/dev/null TARVEL_BAUD=7 " + cli + " sync -q -p " + port() +
                                    " -c qap10 -b 38400", 0, ""},
      {"cable spelled as in the window", cli + " sync --port " + port() + " --cable QAP-10", 0, ""},
      // The program's own words, naming what is taken.
      {"unknown cable", cli + " sync --port " + port() + " --cable qap9", 2,
       "--cable: qap9 is not a cable: qap8 or qap10 (also QAP-8, QAP-10)\n"
       "hint: 'tarvel-cli sync --help' lists the options.\n"},
      {"a speed that is no number", cli + " sync -p " + port() + " -b 56k", 2,
       "--baud: 56k is not a speed: 9600 14400 19200 38400 56000 115200 with QAP-8; 38400 115200 with QAP-10\n"},
      {"a port option without its device", cli + " sync -p", 2, "--port needs a value: DEVICE, Serial device"},
      {"no port", "TARVEL_PORT= TARVEL_TEST_PORT_LIST= " + cli + " read out.sfl", 2, "no port given"},
      {"an unknown option close to one", cli + " sync -p " + port() + " --bad 9600", 2,
       "unknown option --bad; did you mean --baud?\n"},
      {"a value that --result does not take", cli + " history --result ok", 2,
       "--result: ok is not one of passed, failed\n"},
      {"unknown command", cli + " frobnicate", 2, "tarvel-cli: unknown command 'frobnicate'\nUsage:"},
      {"a close miss of a command", cli + " wirte fw.sfl", 2,
       "tarvel-cli: unknown command 'wirte'; did you mean 'write'?\nUsage:"},
      {"options before the command", cli + " -p " + port() + " sync", 2,
       "tarvel-cli: options come after the command: tarvel-cli sync -p " + port() + "\n"},
      {"the trace's folder missing", cli + " sync -p " + port() + " --trace /nonexist/t.log", 2,
       "The --trace file cannot be created.\n  /nonexist/t.log: No such file or directory\n"},
      {"no command", cli, 2, "Usage: tarvel-cli COMMAND [OPTIONS]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CliRun run = shell(row.commandLine);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_EQ(run.err.rfind(row.err, 0), 0u) << run.err;
    if (row.exitCode != 0) {
      EXPECT_EQ(run.out, "");
    }
  }
  EXPECT_EQ(cli::FitToColumns("Writing block 012  50%", 12), "Writing blo");
  EXPECT_EQ(cli::FitToColumns("abc", 6), "abc  ");
  EXPECT_EQ(shell(cli + " -V").out.rfind("Tarvel 1.10\n", 0), 0u);
}

// The doctor and a write, one after the other on a radio at another speed,
// find the same: the second conversation meets the loader the first left.
TEST_F(CliJsonTest, TheDoctorAndTheWriteAgreeOnTheSameRadio) {
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 8));
  auto r = radio(sim::Cable::Qap8, {}, true);
  std::vector<json> objects;
  for (const std::string& command : std::vector<std::string>{"doctor", "write " + file, "doctor"}) {
    SCOPED_TRACE(command);
    const CliRun run = cli(command + " -p " + port() + " --json");
    EXPECT_EQ(run.exitCode, 4) << run.err;
    json o;
    ASSERT_NO_THROW(o = Parse(run)) << run.out;
    EXPECT_EQ(o["diagnosis"].back()["id"], "garbled");
    objects.push_back(o);
  }
  EXPECT_EQ(objects[1]["hint"], objects[0]["hint"]);
  EXPECT_EQ(objects[2]["hint"], objects[0]["hint"]);
}

TEST(Sha256Test, PublishedDigests) {
  Sha256 empty;
  EXPECT_EQ(empty.hex(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const std::string abc = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // two blocks padded
  Sha256 digest;
  digest.add({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()});
  EXPECT_EQ(digest.hex(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

}  // namespace
}  // namespace tarvel
