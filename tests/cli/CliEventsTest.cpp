// --events: the stream a program reads while the radios are written, from
// the real binary against simulated radios. The sequence of every job and
// outcome, a line of radios, a stream beside --json on stdout, and the
// sample that docs/events.md shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "run/ExitCodes.h"
#include "sim/SimRadio.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel::cli {
namespace {

using nlohmann::json;

constexpr int kBlocks = 8;

std::vector<json> Lines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(json::accept(line)) << line;
    if (json::accept(line)) lines.push_back(json::parse(line));
  }
  return lines;
}

// The events one after another as "name" or "state:NAME"; progress events
// are folded into one "progress" per run of them.
std::string Shape(const std::vector<json>& events) {
  std::string shape;
  std::string last;
  for (const json& event : events) {
    if (!event.contains("event")) continue;
    std::string word = event["event"];
    if (word == "state") word += ":" + event["state"].get<std::string>();
    if (word == "retry") word += ":" + event["reason"].get<std::string>();
    if (word == "progress" && last == "progress") continue;
    shape += (shape.empty() ? "" : " ") + word;
    last = word;
  }
  return shape;
}

// Every event has the schema and a time with milliseconds; a radio's
// progress never goes back and reaches its end's blocks.
void CheckRadioEvents(const std::vector<json>& events, const std::string& port) {
  const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  std::map<std::string, int> done;  // per state
  for (const json& event : events) {
    EXPECT_EQ(event["schema"], 1) << event;
    EXPECT_TRUE(std::regex_match(event["time"].get<std::string>(), time)) << event;
    if (event["event"] == "hello") continue;
    if (event.value("port", "") != port) continue;
    if (event["event"] == "progress") {
      const std::string state = event["state"];
      const int block = event["block"];
      EXPECT_GT(block, done.count(state) ? done[state] : -1) << event;
      EXPECT_EQ(event["bytes"], block * 128);
      done[state] = block;
    }
    if (event["event"] == "end" && event["outcome"].contains("blocks_done")) {
      const std::string state = event["outcome"]["command"] == "read" ? "reading" : "writing";
      EXPECT_EQ(done.count(state) ? done[state] : 0, event["outcome"]["blocks_done"]) << event;
    }
  }
}

class CliEventsTest : public test::CliFixture {
 protected:
  void SetUp() override {
    if (OtherBuild()) GTEST_SKIP() << "the event stream is checked on this build";
  }
  std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, kBlocks));
};

sim::Faults Refusing(int block, int writes) {
  sim::Faults f;
  f.refuseBlock = block;
  f.refuseWrites = writes;
  return f;
}
sim::Faults Silent() {
  sim::Faults f;
  f.silent = true;
  return f;
}
sim::Faults SilentAfter(int blocks) {
  sim::Faults f;
  f.silentAfterBlocks = blocks;
  return f;
}

TEST_F(CliEventsTest, EveryJobAndOutcomeHasItsSequence) {
  const std::string written = "hello begin state:waking state:synchronised state:writing progress";
  const struct {
    const char* name;
    sim::Faults faults;
    std::string args;  // after the command, before the port
    int exitCode;
    std::string shape;
  } rows[] = {
      {"a write", {}, "write " + file, kExitOk, written + " end"},
      {"a write and its read-back", {}, "write " + file + " --verify", kExitOk,
       written + " state:verifying progress end"},
      {"a block sent again", Refusing(2, 1), "write " + file, kExitOk,
       written + " retry:refused progress end"},
      {"a block refused six times", Refusing(2, 6), "write " + file, kExitFlashWrite,
       written + " retry:refused retry:refused retry:refused retry:refused retry:refused end"},
      {"the line lost mid-write", SilentAfter(3), "write " + file, kExitCommunication, written + " end"},
      {"a silent loader", Silent(), "write " + file, kExitSync, "hello begin state:waking end"},
      {"a file refused", {}, "write " + dir.write("bad.sfl", "no records\n"), kExitFile, "hello begin end"},
      {"a read", {}, "read " + (dir.path() / "dump.sfl").string() + " --end-block 007", kExitOk,
       "hello begin state:waking state:synchronised state:reading progress end"},
      {"a sync", {}, "sync", kExitOk, "hello begin state:waking state:synchronised end"},
      {"a sync to a silent loader", Silent(), "sync", kExitSync, "hello begin state:waking end"},
      {"the doctor", {}, "doctor", kExitOk, "hello begin end"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(dir.path() / "dump.sfl");
    const auto sim = radio(sim::Cable::Qap8, row.faults);
    const std::string events = (dir.path() / "events.jsonl").string();
    std::filesystem::remove(events);
    const test::CliRun run = cli(row.args + " -p " + port() + " --events " + events + " --json");
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    const std::vector<json> stream = Lines(test::Slurp(events));
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(Shape(stream), row.shape);
    CheckRadioEvents(stream, port());
    EXPECT_EQ(stream.front()["command"], json::parse(run.out)["command"]);
    // The end is the object --json prints.
    EXPECT_EQ(stream.back()["outcome"], json::parse(run.out));
    EXPECT_EQ(stream.back()["dropped"], 0);
  }
}

// Four radios, one silent and one that goes quiet mid-write, on one
// stdout with --json: every line parses, each radio's progress counts up
// to its end, and the ends are the objects of --json.
TEST_F(CliEventsTest, ALineOfRadiosOnOneStdout) {
  std::vector<std::unique_ptr<sim::Radio>> radios;
  std::vector<std::string> ports;
  std::string args;
  const std::vector<sim::Faults> faults = {{}, Silent(), SilentAfter(3), {}};
  for (std::size_t i = 0; i < faults.size(); ++i) {
    sim::Options options;
    options.linkPath = (dir.path() / ("r" + std::to_string(i))).string();
    options.faults = faults[i];
    std::string error;
    radios.push_back(sim::Radio::Start(options, &error));
    ASSERT_TRUE(radios.back()) << error;
    ports.push_back(options.linkPath);
    args += " -p " + options.linkPath;
  }
  const test::CliRun run = cli("write " + file + args + " --verify --events - --json");
  EXPECT_EQ(run.exitCode, kExitSync) << run.err;
  const std::vector<json> lines = Lines(run.out);
  ASSERT_GE(lines.size(), 3u);
  // The stream, then the object as its last line.
  const json object = lines.back();
  EXPECT_FALSE(object.contains("event"));
  ASSERT_EQ(object["radios"].size(), 4u);
  const std::vector<json> events(lines.begin(), lines.end() - 1);
  EXPECT_EQ(events.front()["event"], "hello");
  EXPECT_EQ(events.back()["event"], "end");
  EXPECT_FALSE(events.back().contains("port"));
  EXPECT_EQ(events.back()["outcome"], object);
  for (std::size_t i = 0; i < ports.size(); ++i) {
    SCOPED_TRACE(ports[i]);
    std::vector<json> own;
    for (const json& event : events) {
      if (event.value("port", "") == ports[i]) own.push_back(event);
    }
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.front()["event"], "begin");
    EXPECT_EQ(own.front()["blocks"], kBlocks);
    EXPECT_EQ(own.back()["event"], "end");
    EXPECT_EQ(own.back()["outcome"], object["radios"][i]);
    CheckRadioEvents(own, ports[i]);
  }
  const json& silent = object["radios"][1];
  EXPECT_EQ(silent["diagnosis"][0]["id"], "loader-silent");
  EXPECT_EQ(object["radios"][2]["blocks_done"], 3);
  EXPECT_EQ(object["radios"][3]["blocks_done"], kBlocks);
  // Nothing but JSON on stdout: the table went with the text.
  EXPECT_EQ(run.out.find("Port "), std::string::npos);
}

TEST_F(CliEventsTest, AnEventsFileInAnotherRoleOrUnwritableIsRefusedBeforeTheRadioWakes) {
  const auto sim = radio(sim::Cable::Qap8);
  const test::CliRun clash = cli("write " + file + " -p " + port() + " --events " + file);
  EXPECT_EQ(clash.exitCode, kExitUsage);
  EXPECT_NE(clash.err.find("--events"), std::string::npos) << clash.err;
  const test::CliRun folder = cli("write " + file + " -p " + port() + " --events " + dir.path().string());
  EXPECT_EQ(folder.exitCode, kExitUsage);
  EXPECT_NE(folder.err.find("The event stream cannot be written."), std::string::npos) << folder.err;
  EXPECT_EQ(sim->stats().syncBytes, 0);
  EXPECT_EQ(test::Slurp(file), test::ConventionalSfl(0, kBlocks));
}

// A reader that has gone costs the radio nothing: the write ends whole.
TEST_F(CliEventsTest, AGoneReaderLosesTheStreamNotTheRadio) {
  const auto sim = radio(sim::Cable::Qap8);
  const std::string record = (dir.path() / "record.jsonl").string();
  const int exitCode = test::RunWithGoneReader(Program() + " write " + file + " -p " + port() +
                                               " --events - --json --record " + record);
  EXPECT_EQ(exitCode, kExitOk);
  EXPECT_EQ(sim->stats().blocksStored, kBlocks);
  EXPECT_EQ(Lines(test::Slurp(record)).size(), 1u);
}

// What docs/events.md shows is what the program prints, times, ports and
// the version aside.
TEST_F(CliEventsTest, TheDocumentsSampleIsWhatTheProgramPrints) {
  std::ifstream doc(TARVEL_SOURCE_DIR "/docs/events.md");
  ASSERT_TRUE(doc) << "docs/events.md";
  std::string command;
  std::vector<json> sample;
  bool inside = false;
  for (std::string line; std::getline(doc, line);) {
    if (line.starts_with("$ tarvel-cli ")) command = line.substr(2);
    if (line == "```jsonl") {
      inside = sample.empty();
      continue;
    }
    if (line == "```") inside = false;
    if (inside) sample.push_back(json::parse(line));
  }
  ASSERT_FALSE(command.empty()) << "the sample's command line";
  ASSERT_FALSE(sample.empty());

  // The sample's radio: the third block is refused once.
  const auto sim = radio(sim::Cable::Qap8, Refusing(2, 1));
  dir.write("app-2.4.sfl", test::ConventionalSfl(0, 4));
  command = std::regex_replace(command, std::regex("/dev/ttyUSB0"), port());
  const test::CliRun run = shell("cd " + dir.path().string() + " && " +
                                 std::regex_replace(command, std::regex("^tarvel-cli"), Program()));
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;
  // Times, durations, the port, the device and the version vary.
  const auto normal = [this](json event) {
    for (const char* key : {"time", "started_at"}) {
      if (event.contains(key)) event[key] = "T";
    }
    if (event.contains("outcome")) {
      json& outcome = event["outcome"];
      for (const char* key : {"started_at", "elapsed_ms", "verify_ms"}) {
        if (outcome.contains(key)) outcome[key] = 0;
      }
      outcome["tool"]["version"] = "V";
      outcome["device"] = "D";
      outcome["port"] = "P";
      outcome["usb"] = "U";  // a USB adapter's facts, none on the simulated line
    }
    if (event.contains("tool")) event["tool"]["version"] = "V";
    if (event.contains("elapsed_ms")) event["elapsed_ms"] = 0;
    if (event.contains("port")) event["port"] = "P";
    return event;
  };
  const std::vector<json> printed = Lines(run.out);
  ASSERT_EQ(printed.size(), sample.size()) << run.out;
  for (std::size_t i = 0; i < sample.size(); ++i) {
    EXPECT_EQ(normal(printed[i]), normal(sample[i])) << "line " << i + 1;
  }
}

}  // namespace
}  // namespace tarvel::cli
