// What a station gives a line's dashboard: its metrics on /metrics,
// scraped over HTTP during and after a round and held against the record,
// and its event stream (round, every bed's events, counters).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "station/Station.h"
#include "station/StationMetrics.h"
#include "tests/station/StationHarness.h"

namespace tarvel {
namespace {

using nlohmann::json;

struct Reply {
  int status = 0;
  std::string body;
};

// A plain HTTP/1.0 GET on the loopback address, as a scraper sends it.
Reply Get(unsigned port, const std::string& path) {
  Reply reply;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return reply;
  }
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  EXPECT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  std::smatch status;
  if (std::regex_search(text, status, std::regex(R"(^HTTP/1\.[01] (\d{3}))"))) reply.status = std::stoi(status[1]);
  const std::size_t body = text.find("\r\n\r\n");
  if (body != std::string::npos) reply.body = text.substr(body + 4);
  return reply;
}

// "name{labels} value" lines of the text format: value by name and labels,
// the labels in alphabetical order (the format leaves their order open).
std::map<std::string, double> Samples(const std::string& text) {
  std::map<std::string, double> samples;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.rfind(' ');
    std::string name = line.substr(0, space);
    const std::size_t open = name.find('{');
    if (open != std::string::npos) {
      std::vector<std::string> labels;
      const std::regex label(R"(\w+="[^"]*")");
      const std::string inside = name.substr(open + 1, name.size() - open - 2);
      for (auto it = std::sregex_iterator(inside.begin(), inside.end(), label); it != std::sregex_iterator(); ++it) {
        labels.push_back(it->str());
      }
      std::sort(labels.begin(), labels.end());
      name = name.substr(0, open + 1);
      for (std::size_t i = 0; i < labels.size(); ++i) name += (i ? "," : "") + labels[i];
      name += "}";
    }
    samples[name] = std::stod(line.substr(space + 1));
  }
  return samples;
}

std::vector<json> JsonLines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

TEST(StationMetrics, AnAddressIsTheLoopbackUnlessAnotherIsGiven) {
  const struct {
    const char* given;
    const char* bound;  // empty: refused
  } rows[] = {
      {"127.0.0.1:9464", "127.0.0.1:9464"}, {"9464", "127.0.0.1:9464"},     {":9464", "127.0.0.1:9464"},
      {"localhost:9464", "127.0.0.1:9464"}, {"0.0.0.0:9464", "0.0.0.0:9464"}, {"[::1]:9464", "[::1]:9464"},
      {"10.1.2.3:80", "10.1.2.3:80"},      {"9464x", ""},                    {"127.0.0.1:65536", ""},
      {"host.example:9464", ""},           {"1.2.3:9464", ""},               {"256.1.1.1:1", ""},
      {"", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.given);
    const std::optional<std::string> bound = MetricsBindAddress(row.given);
    EXPECT_EQ(bound.value_or(""), row.bound);
  }
}

// Three beds: one passes, one's loader is silent, one refuses a block six
// times.
TEST(StationMetrics, CountersEqualTheRecordAfterARound) {
  if (!StationMetrics::Built()) GTEST_SKIP() << "this build serves no metrics";
  sim::Faults refused;
  refused.refuseBlock = 2;
  refused.refuseWrites = 6;
  sim::Faults silent;
  silent.silent = true;
  test::SimBench bench({{}, silent, refused}, 0, 12);
  test::SimBench::Setup setup = bench.station("line.ini", "Events=events.jsonl\nMetrics=127.0.0.1:0\n");
  ASSERT_TRUE(setup.config.metricsServer);
  const unsigned port = setup.config.metricsServer->port();
  ASSERT_NE(port, 0u);
  test::FakeStationView view;
  Station station(setup.config, setup.firmware, setup.facts, view);

  ASSERT_FALSE(station.startRound({"SN1", "SN2", "SN3"}, false));
  // During the round (which ends on this thread): every bed is running.
  const Reply during = Get(port, "/metrics");
  EXPECT_EQ(during.status, 200);
  std::map<std::string, double> samples = Samples(during.body);
  for (const char* bed : {"Bed 1", "Bed 2", "Bed 3"}) {
    const std::string labels = std::string("bed=\"") + bed + "\",state=\"running\",station=\"line.ini\"";
    EXPECT_EQ(samples["tarvel_bed_state{" + labels + "}"], 1) << during.body;
  }
  ASSERT_TRUE(view.runUntil([&] { return view.roundsEnded == 1; }));
  station.recordsWaiting(5);

  const std::vector<json> record = JsonLines(test::Slurp(station.config().record));
  ASSERT_EQ(record.size(), 3u);
  samples = Samples(Get(port, "/metrics").body);
  // The record's units by result, and its retries and digest.
  double passed = 0;
  double failed = 0;
  double retries = 0;
  double written = 0;
  for (const json& line : record) {
    (line["exit_code"] == 0 ? passed : failed) += 1;
    retries += line["retries"].get<double>();
    written += line["blocks_done"].get<int>() > 0 ? 1 : 0;
    EXPECT_EQ(line["file_sha256"], setup.facts.fileSha256);
  }
  double metricPassed = 0;
  double metricFailed = 0;
  for (const auto& [name, value] : samples) {
    if (!name.starts_with("tarvel_units_total{")) continue;
    (name.find("result=\"passed\"") != std::string::npos ? metricPassed : metricFailed) += value;
  }
  EXPECT_EQ(metricPassed, passed);
  EXPECT_EQ(metricFailed, failed);
  EXPECT_EQ(passed, 1);
  EXPECT_EQ(samples[R"(tarvel_units_total{kind="loader-silent",result="failed",station="line.ini"})"], 1);
  EXPECT_EQ(samples[R"(tarvel_units_total{kind="block-refused",result="failed",station="line.ini"})"], 1);
  EXPECT_EQ(samples[R"(tarvel_retries_total{station="line.ini"})"], retries);
  EXPECT_EQ(retries, 5);
  EXPECT_EQ(samples[R"(tarvel_write_seconds_count{station="line.ini"})"], written);
  EXPECT_EQ(samples[R"(tarvel_records_waiting{station="line.ini"})"], 5);
  EXPECT_EQ(samples[R"(tarvel_firmware_info{file="fw.sfl",sha256=")" + setup.facts.fileSha256 +
                    R"(",station="line.ini"})"],
            1);
  EXPECT_EQ(samples[R"(tarvel_bed_state{bed="Bed 2",state="failed",station="line.ini"})"], 1);
  EXPECT_EQ(samples[R"(tarvel_bed_state{bed="Bed 2",state="running",station="line.ini"})"], 0);
  // Nothing but /metrics.
  EXPECT_EQ(Get(port, "/").status, 404);
  EXPECT_EQ(Get(port, "/metrics/../etc/passwd").status / 100, 4);

  // The event stream: the round, each bed's begin ... end with its record
  // line, and the counters after each unit.
  setup.config.eventStream->close();
  const std::vector<json> events = JsonLines(test::Slurp((bench.dir.path() / "events.jsonl").string()));
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0]["event"], "hello");
  EXPECT_EQ(events[0]["tool"]["name"], "tarvel");
  EXPECT_EQ(events[1]["event"], "round");
  EXPECT_EQ(events[1]["round"], 1);
  EXPECT_EQ(events[1]["beds"].size(), 3u);
  std::size_t ends = 0;
  json counters;
  for (const json& event : events) {
    if (event["event"] == "counters") counters = event;
    if (event["event"] != "end") continue;
    ++ends;
    bool matched = false;
    for (const json& line : record) matched = matched || line == event["outcome"];
    EXPECT_TRUE(matched) << event;
  }
  EXPECT_EQ(ends, 3u);
  EXPECT_EQ(counters["session"]["passed"], 1);
  EXPECT_EQ(counters["session"]["failed"], 2);
  EXPECT_EQ(counters["session"]["total"], 3);
}

TEST(StationMetrics, APortTakenOrAnAddressNotTakenKeepsTheStationShut) {
  if (!StationMetrics::Built()) GTEST_SKIP() << "this build serves no metrics";
  test::SimBench bench({false});
  test::SimBench::Setup first = bench.station("line.ini", "Metrics=127.0.0.1:0\n");
  ASSERT_TRUE(first.config.metricsServer);
  const std::string taken = "127.0.0.1:" + std::to_string(first.config.metricsServer->port());
  const std::string path = bench.dir.write("second.ini", "[Station]\nFirmware=fw.sfl\nMetrics=" + taken +
                                                             "\n[Beds]\n" + bench.beds);
  StationConfig config;
  CheckedSflFile firmware;
  TransferFacts facts;
  const std::optional<std::string> problem = ReadStationFile(path, config, firmware, facts);
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find("second.ini, line 3: the metrics cannot be served on " + taken), std::string::npos)
      << *problem;
  const std::string wrong = bench.dir.write("wrong.ini", "[Station]\nFirmware=fw.sfl\nMetrics=example.org:80\n"
                                                         "[Beds]\n" + bench.beds);
  const std::optional<std::string> refused = ReadStationFile(wrong, config, firmware, facts);
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->find("line 3: Metrics=example.org:80 is not a value"), std::string::npos) << *refused;
  // Events appended to the firmware would spoil it.
  const std::string intoFirmware =
      bench.dir.write("events.ini", "[Station]\nFirmware=fw.sfl\nEvents=fw.sfl\n[Beds]\n" + bench.beds);
  const std::string before = test::Slurp((bench.dir.path() / "fw.sfl").string());
  const std::optional<std::string> spoiling = ReadStationFile(intoFirmware, config, firmware, facts);
  ASSERT_TRUE(spoiling);
  EXPECT_NE(spoiling->find("line 3: the event stream cannot be written"), std::string::npos) << *spoiling;
  EXPECT_EQ(test::Slurp((bench.dir.path() / "fw.sfl").string()), before);
}

}  // namespace
}  // namespace tarvel
