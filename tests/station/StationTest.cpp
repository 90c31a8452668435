// A station of four beds against simulated radios, one of them silent: a
// round with serial numbers, its records and counters, and a restart.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/SimRadio.h"
#include "station/Station.h"
#include "tests/station/StationHarness.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

constexpr int kBlocks = 12;

struct Bench : test::SimBench {
  explicit Bench(const std::vector<bool>& silent, unsigned baud = 0, int blocks = kBlocks)
      : SimBench(silent, baud, blocks) {
    stationFile =
        dir.write("line.ini", "[Station]\nFirmware=fw.sfl\nCable=QAP-8\nBaud=115200\nVerify=1\n[Beds]\n" + beds);
  }

  std::unique_ptr<Station> open(test::FakeStationView& view) {
    StationConfig config;
    CheckedSflFile file;
    TransferFacts facts;
    const std::optional<std::string> problem = ReadStationFile(stationFile, config, file, facts);
    EXPECT_FALSE(problem) << *problem;
    return std::make_unique<Station>(config, file, facts, view);
  }

  std::string stationFile;
};

std::vector<nlohmann::json> RecordLines(const std::string& path) {
  std::vector<nlohmann::json> lines;
  std::istringstream text(test::Slurp(path));
  for (std::string line; std::getline(text, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TEST(Station, ARoundWritesEveryBedWithASerialAndRecordsEachUnit) {
  Bench bench({false, true, false, false});
  const std::string now = IsoTimeUtc(std::chrono::system_clock::now());
  // Earlier lines: one unit of this station today, one of yesterday, one of
  // another station, and the command line's.
  bench.dir.write("station-record.jsonl",
                  R"({"command":"write","result":"success","station":"line.ini","started_at":")" + now + "\"}\n" +
                      R"({"command":"write","result":"failure","station":"line.ini",)"
                      R"("started_at":"2001-01-01T00:00:00.000Z"})" "\n" +
                      R"({"command":"write","result":"failure","station":"other.ini","started_at":")" + now + "\"}\n" +
                      R"({"command":"write","result":"success","started_at":")" + now + "\"}\n");
  test::FakeStationView view;
  std::unique_ptr<Station> station = bench.open(view);
  EXPECT_EQ(station->today().passed, 1);
  EXPECT_EQ(station->today().failed, 0);

  // Bed 4 has no serial number: a round without F5 leaves it alone.
  ASSERT_FALSE(station->startRound({"SN-A", "SN-B", "SN-C", ""}, false));
  EXPECT_EQ(station->bed(3).state, BedState::Idle);
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 1; }));
  // Started alone from its panel.
  ASSERT_FALSE(station->startBed(3, ""));
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 2; }));

  struct Expected {
    BedState state;
    std::string serial;
    std::string text;  // how it starts
    bool diagnosis;
    const char* result;
  };
  const Expected expected[] = {
      {BedState::Passed, "SN-A", "Verified: the flash holds every block of the file.", false, "success"},
      {BedState::Failed, "SN-B", "Synchronization Error.", true, "failure"},
      {BedState::Passed, "SN-C", "Verified: the flash holds every block of the file.", false, "success"},
      {BedState::Passed, "", "Verified: the flash holds every block of the file.", false, "success"},
  };
  const std::vector<nlohmann::json> lines = RecordLines(station->config().record);
  ASSERT_EQ(lines.size(), 8U);
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE("bed " + std::to_string(i + 1));
    const Bed& bed = station->bed(i);
    EXPECT_EQ(bed.state, expected[i].state);
    EXPECT_EQ(bed.last.serial, expected[i].serial);
    EXPECT_EQ(bed.last.text.substr(0, expected[i].text.size()), expected[i].text);
    EXPECT_EQ(!bed.last.diagnosis.empty(), expected[i].diagnosis) << bed.last.diagnosis;
    EXPECT_EQ(bed.blocksDone.load(), expected[i].state == BedState::Passed ? kBlocks : 0);
    // The round's lines come in the order the beds ended; bed 4's is last.
    const nlohmann::json* line = nullptr;
    for (std::size_t k = 4; k < lines.size(); ++k) {
      if (lines[k].value("bed", "") == bed.name) line = &lines[k];
    }
    ASSERT_NE(line, nullptr);
    EXPECT_EQ((*line)["result"], expected[i].result);
    EXPECT_EQ(line->value("serial", ""), expected[i].serial);
    EXPECT_EQ((*line)["station"], "line.ini");
    EXPECT_EQ((*line)["tool"]["name"], "tarvel");
    EXPECT_EQ((*line)["port"], bed.port);
    EXPECT_EQ((*line)["file_sha256"], station->firmware().fileSha256);
    EXPECT_TRUE(line->contains("host") && line->contains("operator"));
    EXPECT_EQ(line->contains("diagnosis"), expected[i].diagnosis);
  }
  EXPECT_EQ(lines.back()["bed"], "Bed 4");

  EXPECT_EQ(station->session().passed, 3);
  EXPECT_EQ(station->session().failed, 1);
  EXPECT_EQ(station->today().passed, 4);
  EXPECT_EQ(station->today().failed, 1);

  // A restart: the session starts again, today is counted from the record.
  station.reset();
  test::FakeStationView again;
  station = bench.open(again);
  EXPECT_EQ(station->session().passed + station->session().failed, 0);
  EXPECT_EQ(station->today().passed, 4);
  EXPECT_EQ(station->today().failed, 1);
}

// Every failed bed says what to do, as the command line does, and records
// it; where the command line's hint asks for a setting that an operator
// cannot change at a station, the panel calls the line's technician.
TEST(Station, EachFailedBedSaysWhatToDoAndRecordsIt) {
  struct Row {
    const char* name;
    sim::Faults faults;
    const char* text;        // the panel's result line
    const char* panelHint;   // a fragment of the panel's hint
    const char* recordHint;  // a fragment of the record's hint
  };
  sim::Faults refused;
  refused.refuseBlock = 2;
  refused.refuseWrites = 6;
  sim::Faults fellSilent;
  fellSilent.silentAfterBlocks = 3;
  sim::Faults storesWrong;
  storesWrong.corruptBlock = 4;
  sim::Faults silent;
  silent.silent = true;
  const Row rows[] = {
      {"a block refused after its retries", refused, "Failed in the flash writing.", "Block 002 was refused",
       "Block 002 was refused"},
      {"the radio fell silent mid-write", fellSilent, "Communication Error.", "Blocks 000-002",
       "Blocks 000-002"},
      {"a read-back difference", storesWrong, "The flash differs from the file.", "The first differing block is 004",
       "The first differing block is 004"},
      {"a silent radio", silent, "Synchronization Error.", "call the line's technician", "tarvel-cli doctor"},
  };
  std::vector<sim::Faults> faults;
  for (const Row& row : rows) faults.push_back(row.faults);
  test::SimBench bench(faults, 0, kBlocks);
  test::SimBench::Setup setup = bench.station("line.ini", "Verify=1\n");
  test::FakeStationView view;
  Station station(setup.config, setup.firmware, setup.facts, view);
  ASSERT_FALSE(station.startRound({}, true));
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 1; }));
  const std::vector<nlohmann::json> lines = RecordLines(station.config().record);
  ASSERT_EQ(lines.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].name);
    const Bed& bed = station.bed(i);
    EXPECT_EQ(bed.state, BedState::Failed);
    EXPECT_EQ(bed.last.text, rows[i].text);
    EXPECT_NE(bed.last.hint.find(rows[i].panelHint), std::string::npos) << bed.last.hint;
    const nlohmann::json* line = nullptr;
    for (const nlohmann::json& each : lines) {
      if (each.value("bed", "") == bed.name) line = &each;
    }
    ASSERT_NE(line, nullptr);
    ASSERT_TRUE((*line)["hint"].is_string());
    EXPECT_NE(std::string((*line)["hint"]).find(rows[i].recordHint), std::string::npos) << (*line)["hint"];
    EXPECT_EQ(std::string((*line)["message"]).find('\r'), std::string::npos);
  }
}

TEST(Station, RequiredSerialsAndAChangedFirmwareStartNothing) {
  Bench bench({false, false});
  test::FakeStationView view;
  {
    std::string text = test::Slurp(bench.stationFile);
    text.insert(text.find("[Beds]"), "RequireSerial=1\n");
    bench.dir.write("line.ini", text);
  }
  std::unique_ptr<Station> station = bench.open(view);
  // Neither F5 nor Enter starts a round that would leave a radio unwritten.
  const std::string refused = "No serial number in Bed 2: this station needs one for every radio.";
  for (const bool all : {true, false}) {
    std::vector<std::size_t> marked;
    EXPECT_EQ(station->startRound({"SN-1", ""}, all, &marked), refused);
    EXPECT_EQ(marked, std::vector<std::size_t>{1});
  }
  EXPECT_EQ(station->startBed(1, ""), "Bed 2 has no serial number: this station needs one for every radio.");
  bench.dir.write("fw.sfl", test::ConventionalSfl(0, kBlocks + 1));
  const std::optional<std::string> changed = station->startRound({"SN-1", "SN-2"}, false);
  ASSERT_TRUE(changed);
  EXPECT_NE(changed->find("has changed since the station was opened"), std::string::npos) << *changed;
  EXPECT_FALSE(station->running());
}

TEST(Station, AStopEndsEveryBedAfterItsBlockSayingHowFarItGot) {
  constexpr int kLong = 400;  // about 15 s at 38400 baud: the stop comes long before
  Bench bench({false, false, false}, 38400, kLong);
  test::FakeStationView view;
  std::unique_ptr<Station> station = bench.open(view);
  ASSERT_FALSE(station->startRound({}, true));
  ASSERT_TRUE(view.runUntil([&] {
    for (std::size_t i = 0; i < station->bedCount(); ++i) {
      if (station->bed(i).blocksDone.load() < 2) return false;
    }
    return true;
  }));
  station->stop();
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 1; }));
  const std::vector<nlohmann::json> lines = RecordLines(station->config().record);
  ASSERT_EQ(lines.size(), 3U);
  for (std::size_t i = 0; i < station->bedCount(); ++i) {
    SCOPED_TRACE("bed " + std::to_string(i + 1));
    const Bed& bed = station->bed(i);
    EXPECT_EQ(bed.state, BedState::Failed);
    const int done = bed.blocksDone.load();
    EXPECT_GE(done, 2);
    EXPECT_LT(done, kLong);
    EXPECT_EQ(bed.last.text, "Stopped: " + std::to_string(done) + " of 400 blocks written.");
    // What the record says the radio holds is what the panel says.
    for (const nlohmann::json& line : lines) {
      if (line["bed"] != bed.name) continue;
      EXPECT_EQ(line["exit_code"], 130);
      EXPECT_EQ(line["blocks_done"], done);
    }
  }
  EXPECT_EQ(station->session().failed, 3);
}

}  // namespace
}  // namespace tarvel
