#include "loader/CableFacts.h"

#include <gtest/gtest.h>

#include <vector>

#include "loader/LoaderContext.h"

namespace tarvel {
namespace {

TEST(CableFactsTest, NamesTheCommandLineTakes) {
  struct Row {
    const char* text;
    std::optional<Cable> cable;
  };
  const Row rows[] = {
      {"qap8", Cable::Qap8},     {"qap-8", Cable::Qap8},   {"QAP-8", Cable::Qap8},  {"Qap8", Cable::Qap8},
      {"qap10", Cable::Qap10},   {"QAP-10", Cable::Qap10}, {"qAp-10", Cable::Qap10}, {"QAP10", Cable::Qap10},
      {"qap9", std::nullopt},    {"", std::nullopt},       {" qap8", std::nullopt}, {"qap8 ", std::nullopt},
      {"qap 8", std::nullopt},   {"qap_10", std::nullopt}, {"qap-8-", std::nullopt}, {"8", std::nullopt},
      {"qap108", std::nullopt},  {"QAP-1", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(CableNamed(row.text), row.cable);
  }
}

TEST(CableFactsTest, FactsOfEachCable) {
  struct Row {
    Cable cable;
    int type;
    const char* name;
    const char* label;
    std::vector<unsigned> speeds;
    const char* speedList;
    bool framed;
    bool lineSwitches;
    long pacingMs;
    bool linesHighAfter;
  };
  const Row rows[] = {
      {Cable::Qap8, 0, "qap8", "QAP-8", {9600, 14400, 19200, 38400, 56000, 115200},
       "9600, 14400, 19200, 38400, 56000 or 115200", false, true, 1, false},
      {Cable::Qap10, 1, "qap10", "QAP-10", {38400, 115200}, "38400 or 115200", true, false, 10, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const CableFacts& facts = FactsOf(row.cable);
    EXPECT_EQ(facts.cable, row.cable);
    EXPECT_EQ(facts.type, row.type);
    EXPECT_EQ(facts.name, row.name);
    EXPECT_EQ(facts.label, row.label);
    EXPECT_EQ(std::vector<unsigned>(facts.speeds.begin(), facts.speeds.end()), row.speeds);
    EXPECT_EQ(SpeedList(row.cable), row.speedList);
    EXPECT_EQ(facts.framed, row.framed);
    EXPECT_EQ(facts.lineSwitches, row.lineSwitches);
    EXPECT_EQ(facts.syncPacing.count(), row.pacingMs);
    EXPECT_EQ(facts.linesHighAfter, row.linesHighAfter);
    EXPECT_EQ(CableOfType(row.type), row.cable);
    EXPECT_EQ(CableNamed(row.name), row.cable);
    EXPECT_EQ(CableNamed(row.label), row.cable);
    for (unsigned speed : row.speeds) EXPECT_TRUE(SpeedOffered(row.cable, speed)) << speed;
    for (unsigned speed : {0u, 300u, 57600u, 230400u}) EXPECT_FALSE(SpeedOffered(row.cable, speed)) << speed;
  }
  EXPECT_FALSE(SpeedOffered(Cable::Qap10, 9600));
}

// The integers that the settings and the window keep: only 1 is QAP-10, and
// a status of no known value reads as idle.
TEST(CableFactsTest, IntegerFieldsConvertAtTheirEdge) {
  for (int type : {-1, 0, 2, 7}) EXPECT_EQ(CableOfType(type), Cable::Qap8) << type;
  EXPECT_EQ(CableOfType(1), Cable::Qap10);
  const std::pair<int, AccessStatus> statuses[] = {{0, AccessStatus::Idle},
                                                   {1, AccessStatus::Accessing},
                                                   {2, AccessStatus::SyncFailed},
                                                   {3, AccessStatus::Idle},
                                                   {-1, AccessStatus::Idle}};
  for (const auto& [code, status] : statuses) {
    EXPECT_EQ(StatusOf(code), status) << code;
    if (code >= 0 && code <= 2) {
      EXPECT_EQ(StatusCode(status), code);
    }
  }
}

}  // namespace
}  // namespace tarvel
