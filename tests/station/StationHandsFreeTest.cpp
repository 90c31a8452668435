// Beds that start by themselves, against simulated radios: in insert mode
// each bed's port is a link that the test makes and removes in a folder of
// its own, in answer mode the radio itself comes and goes. A unit is
// written once, and again only after it has gone and come back.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
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

namespace fs = std::filesystem;
constexpr int kBlocks = 6;

std::vector<nlohmann::json> RecordLines(const std::string& path) {
  std::vector<nlohmann::json> lines;
  if (!fs::exists(path)) return lines;
  std::istringstream text(test::Slurp(path));
  for (std::string line; std::getline(text, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

std::map<std::string, int> UnitsPerBed(const std::string& record) {
  std::map<std::string, int> units;
  for (const nlohmann::json& line : RecordLines(record)) ++units[line["bed"].get<std::string>()];
  return units;
}

// Every radio on a pseudo-terminal of its own, and a station file whose
// beds start by themselves on `ports`.
struct HandsFreeBench {
  HandsFreeBench(std::size_t beds, const std::string& keys, bool linked) {
    fs::create_directory(dir.path() / "ports");
    std::string lines;
    for (std::size_t i = 0; i < beds; ++i) {
      ports.push_back((dir.path() / "ports" / ("bed" + std::to_string(i + 1))).string());
      lines += "Bed " + std::to_string(i + 1) + "=" + ports.back() + "\n";
      if (!linked) start(i);
    }
    dir.write("fw.sfl", test::ConventionalSfl(0, kBlocks));
    stationFile = dir.write("hands.ini", "[Station]\nFirmware=fw.sfl\n" + keys + "[Beds]\n" + lines);
  }

  // A radio whose link is the bed's port (answer mode), or one without a
  // link for the test to make (insert mode).
  void start(std::size_t bed, bool linkIsThePort = false) {
    sim::Options options;
    options.linkPath = linkIsThePort ? ports[bed] : std::string();
    std::string error;
    if (radios.size() <= bed) radios.resize(bed + 1);
    radios[bed] = sim::Radio::Start(options, &error);
    ASSERT_TRUE(radios[bed]) << error;
  }
  void plug(std::size_t bed) { fs::create_symlink(radios[bed]->devicePath(), ports[bed]); }
  void unplug(std::size_t bed) { fs::remove(ports[bed]); }

  std::unique_ptr<Station> open(test::FakeStationView& view, UnitWatchMaker maker = {}) {
    StationConfig config;
    CheckedSflFile file;
    TransferFacts facts;
    const std::optional<std::string> problem = ReadStationFile(stationFile, config, file, facts);
    EXPECT_FALSE(problem) << *problem;
    auto station = std::make_unique<Station>(config, file, facts, view, std::move(maker));
    station->watchBeds();
    return station;
  }

  test::TempDir dir;
  std::vector<std::string> ports;
  std::vector<std::unique_ptr<sim::Radio>> radios;
  std::string stationFile;
};

int Units(const Station& station) { return station.session().passed + station.session().failed; }

TEST(StationHandsFree, InsertModeWritesEachUnitOnceWhenItsPortAppears) {
  HandsFreeBench bench(4, "Start=insert\n", false);
  test::FakeStationView view;
  // No port exists yet: the station opens all the same.
  std::unique_ptr<Station> station = bench.open(view);
  for (std::size_t i = 0; i < 4; ++i) bench.plug(i);
  ASSERT_TRUE(view.runUntil([&] { return station->session().passed == 4 && !station->running(); }));
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(station->bed(i).name);
    EXPECT_EQ(station->bed(i).state, BedState::Passed);
    // The unit stays: its bed asks for it to go, and starts no more.
    EXPECT_EQ(station->bed(i).unit.phase, UnitPhase::Remove);
    EXPECT_FALSE(ReadyToStart(StartMode::Insert, station->bed(i).unit));
  }

  // The first bed's next unit: unplugged, plugged again.
  bench.unplug(0);
  ASSERT_TRUE(view.runUntil([&] { return station->bed(0).unit.phase == UnitPhase::Waiting; }));
  bench.plug(0);
  ASSERT_TRUE(view.runUntil([&] { return station->session().passed == 5 && !station->running(); }));

  // Bed 1's radio twice, every other once, though their links stayed.
  EXPECT_EQ(bench.radios[0]->stats().writePackets, 2 * kBlocks);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(bench.radios[i]->stats().writePackets, kBlocks);
  EXPECT_EQ(UnitsPerBed(station->config().record),
            (std::map<std::string, int>{{"Bed 1", 2}, {"Bed 2", 1}, {"Bed 3", 1}, {"Bed 4", 1}}));
  EXPECT_EQ(RecordLines(station->config().record).size(), 5U);
  EXPECT_EQ(station->session().failed, 0);
}

// Counts the polls answered on the watches' threads.
struct CountedPolls {
  std::atomic<int> answered{0};
  std::atomic<int> silent{0};
  UnitWatchMaker maker() {
    return [this](std::size_t, const UnitWatchJob& job, std::function<void(UnitSignal)> signal) {
      return WatchForUnit(job, [this, signal](UnitSignal heard) {
        ++(heard == UnitSignal::Answered ? answered : silent);
        signal(heard);
      });
    };
  }
};

TEST(StationHandsFree, AnswerModeWritesARadioStartedLaterOnceUntilItStopsAndStartsAgain) {
  HandsFreeBench bench(1, "Start=answer\nPoll=1\n", true);
  test::FakeStationView view;
  CountedPolls polls;
  std::unique_ptr<Station> station = bench.open(view, polls.maker());
  // The station polls a bed with no radio: neither a failure nor a record.
  ASSERT_TRUE(view.runUntil([&] { return polls.silent.load() >= 2; }));
  EXPECT_EQ(Units(*station), 0);
  EXPECT_TRUE(RecordLines(station->config().record).empty());

  bench.start(0, true);
  ASSERT_TRUE(view.runUntil([&] { return station->session().passed == 1 && !station->running(); }));
  // It stays up and answers: the bed waits for it to go.
  const int answered = polls.answered.load();
  ASSERT_TRUE(view.runUntil([&] { return polls.answered.load() >= answered + 2; }));
  EXPECT_EQ(station->bed(0).unit.phase, UnitPhase::Remove);
  EXPECT_EQ(bench.radios[0]->stats().writePackets, kBlocks);
  EXPECT_EQ(Units(*station), 1);

  // Stopped: two silent polls and the bed waits; started again: written.
  bench.radios[0].reset();
  ASSERT_TRUE(view.runUntil([&] { return station->bed(0).unit.phase == UnitPhase::Waiting; }));
  bench.start(0, true);
  ASSERT_TRUE(view.runUntil([&] { return station->session().passed == 2 && !station->running(); }));
  EXPECT_EQ(bench.radios[0]->stats().writePackets, kBlocks);
  EXPECT_EQ(RecordLines(station->config().record).size(), 2U);
  EXPECT_EQ(station->session().failed, 0);
}

TEST(StationHandsFree, APausedStationStartsNothingUntilItResumes) {
  HandsFreeBench bench(2, "Start=insert\n", false);
  test::FakeStationView view;
  std::unique_ptr<Station> station = bench.open(view);
  station->setPaused(true);
  EXPECT_EQ(station->startRound({"", ""}, true), "The station is paused: F8 resumes it.");
  EXPECT_EQ(station->startBed(0, ""), "The station is paused: F8 resumes it.");
  bench.plug(0);
  bench.plug(1);
  ASSERT_TRUE(view.runUntil([&] { return station->bed(0).unit.present && station->bed(1).unit.present; }));
  EXPECT_FALSE(station->running());
  EXPECT_EQ(bench.radios[0]->stats().syncBytes, 0);
  station->setPaused(false);
  ASSERT_TRUE(view.runUntil([&] { return station->session().passed == 2 && !station->running(); }));
}

}  // namespace
}  // namespace tarvel
