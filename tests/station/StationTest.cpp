// A station of four beds against simulated radios, one of them silent: a
// round with serial numbers, its records and counters, and a restart.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/FileIo.h"
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
    // Each from its own source: the machine's name, the login's.
    EXPECT_EQ((*line)["host"], fileio::HostName());
    EXPECT_EQ((*line)["operator"], fileio::LoginName());
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
    const char* firstFailed; // the record's first_failed_block; nullptr: null
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
       "Block 002 was refused", "002"},
      {"the radio fell silent mid-write", fellSilent, "Communication Error.", "Blocks 000-002",
       "Blocks 000-002", "003"},
      {"a read-back difference", storesWrong, "The flash differs from the file.", "The first differing block is 004",
       "The first differing block is 004", nullptr},
      {"a silent radio", silent, "Synchronization Error.", "call the line's technician", "tarvel-cli doctor",
       nullptr},
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
    EXPECT_EQ((*line)["first_failed_block"],
              rows[i].firstFailed ? nlohmann::json(rows[i].firstFailed) : nlohmann::json(nullptr));
  }
}

// The check before each round reads the manifest again as the station file
// says: with its keys, and required.
TEST(Station, TheCheckBeforeEachRoundHonoursKeysAndARequiredManifest) {
  const std::filesystem::path fixtures = TARVEL_TRUST_FIXTURES;
  struct Row {
    const char* name;
    const char* keys;           // the [Station] lines besides Firmware=
    const char* signature;      // the fixture that becomes SHA256SUMS.minisig, or nullptr
    std::string manifestAfter;  // SHA256SUMS once the station is open
    const char* signatureAfter; // SHA256SUMS.minisig once the station is open, or nullptr
  };
  const std::string listed = test::Slurp(fixtures / "SHA256SUMS");
  const Row rows[] = {
      {"required: the manifest no longer lists the firmware", "RequireManifest=1\n", nullptr,
       std::string(64, 'a') + "  other.sfl\n", nullptr},
      {"keys: the manifest now signed by a stranger", "RequireManifest=1\nKeys=trusted.pub\n", "SHA256SUMS.minisig",
       listed, "stranger.minisig"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::SimBench bench(std::vector<bool>{false}, 0, kBlocks);
    const std::filesystem::path dir = bench.dir.path();
    std::filesystem::copy_file(TARVEL_EXAMPLE_SFL, dir / "radio.sfl");
    std::filesystem::copy_file(fixtures / "trusted.pub", dir / "trusted.pub");
    bench.dir.write("SHA256SUMS", listed);
    if (row.signature) std::filesystem::copy_file(fixtures / row.signature, dir / "SHA256SUMS.minisig");
    const std::string path =
        bench.dir.write("s.ini", "[Station]\nFirmware=radio.sfl\n" + std::string(row.keys) + "[Beds]\n" + bench.beds);
    StationConfig config;
    CheckedSflFile file;
    TransferFacts facts;
    const std::optional<std::string> problem = ReadStationFile(path, config, file, facts);
    ASSERT_FALSE(problem) << *problem;
    test::FakeStationView view;
    Station station(config, file, facts, view);
    bench.dir.write("SHA256SUMS", row.manifestAfter);
    if (row.signatureAfter) {
      std::filesystem::copy_file(fixtures / row.signatureAfter, dir / "SHA256SUMS.minisig",
                                 std::filesystem::copy_options::overwrite_existing);
    }
    const std::optional<std::string> refused = station.startRound({"SN-1"}, false);
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->empty());
    EXPECT_FALSE(station.running());
    EXPECT_EQ(bench.radios[0]->stats().syncBytes, 0);
  }
}

// The record is opened by its name for every unit, as the command line
// opens it: a line never goes into a file removed or moved away meanwhile.
TEST(Station, ARecordRemovedOrMovedGetsTheNextLineUnderItsName) {
  Bench bench({false});
  test::FakeStationView view;
  std::unique_ptr<Station> station = bench.open(view);
  const std::string record = station->config().record;
  const std::string moved = (bench.dir.path() / "moved.jsonl").string();
  ASSERT_FALSE(station->startRound({"SN-1"}, false));
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 1; }));
  std::filesystem::rename(record, moved);
  ASSERT_FALSE(station->startRound({"SN-2"}, false));
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 2; }));
  std::filesystem::remove(record);
  ASSERT_FALSE(station->startRound({"SN-3"}, false));
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 3; }));

  const std::vector<nlohmann::json> kept = RecordLines(moved);
  ASSERT_EQ(kept.size(), 1U);
  EXPECT_EQ(kept[0]["serial"], "SN-1");
  const std::vector<nlohmann::json> lines = RecordLines(record);
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0]["serial"], "SN-3");
  EXPECT_TRUE(station->bed(0).last.diagnosis.empty()) << station->bed(0).last.diagnosis;
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
  constexpr std::size_t kRunning = 3;  // the fourth bed has no unit
  Bench bench({false, false, false, false}, 38400, kLong);
  test::FakeStationView view;
  std::unique_ptr<Station> station = bench.open(view);
  ASSERT_FALSE(station->startRound({"SN-1", "SN-2", "SN-3", ""}, false));
  ASSERT_TRUE(view.runUntil([&] {
    for (std::size_t i = 0; i < kRunning; ++i) {
      if (station->bed(i).blocksDone.load() < 2) return false;
    }
    return true;
  }));
  // Enter in the last field during the round: a running bed never gets a
  // second writer on its port.
  EXPECT_EQ(station->startRound({"SN-5", "SN-6", "SN-7", ""}, false), std::string());
  station->stop();
  // F5 or a panel's Start during the stop start nothing, and the stop holds.
  EXPECT_EQ(station->startRound({}, true), std::string());
  EXPECT_EQ(station->startBed(3, "SN-4"), std::string());
  EXPECT_EQ(station->bed(3).state, BedState::Idle);
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 1; }));
  const std::vector<nlohmann::json> lines = RecordLines(station->config().record);
  ASSERT_EQ(lines.size(), kRunning);
  for (std::size_t i = 0; i < kRunning; ++i) {
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
