// The HEX-to-SFL command after its dialog: block texts, the order of its
// steps, and what reaches the converter.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "service/SflConversion.h"
#include "tests/converters/HexText.h"
#include "tests/service/LibraryFolders.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

TEST(SflConversionTest, BlockTexts) {
  const std::pair<const char*, unsigned> rows[] = {
      {"000", 0},     {"3FF", 0x3FF}, {"3ff", 0x3FF}, {"0ff", 0x0FF}, {"0FF", 0x0FF}, {"010", 16},
      {"01F", 31},    {"FFF", 0xFFF}, {"fFf", 0xFFF}, {"1F", 0x1F},   {"7", 7},       {"", 0},
      {".", 0},       {".5", 0},      {"1.F", 1},     {"12.", 0x12},  {"..1", 0},     {"1234", 0x123},
      {" 12", 0},     {"g12", 0},
  };
  for (const auto& [text, value] : rows) EXPECT_EQ(ParseBlockText(text), value) << '"' << text << '"';
}

TEST(SflConversionTest, TheProposedOutputName) {
  const std::pair<const char*, const char*> rows[] = {
      {"fw.hex", "fw.sfl"},   {"data", "data.sfl"}, {"a.b.hex", "a.b.sfl"}, {"FW.HEX", "FW.sfl"},
      {".hex", ""},           {"", ""},             {"/x/y.z/fw.hex", "fw.sfl"}, {"dir.d/data", "data.sfl"},
  };
  for (const auto& [file, name] : rows) EXPECT_EQ(DefaultSflName(file), name) << file;
}

struct RecordingConvUi final : SflConvUi {
  void storeBlockTexts(const std::string& start, const std::string& end) override {
    events.push_back("store " + start + " " + end);
  }
  void beginWait() override { events.push_back("wait"); }
  void endWait() override { events.push_back("done"); }
  bool replaceExisting(const std::string& path) override {
    events.push_back("replace? " + path);
    return replace;
  }
  std::vector<std::string> events;
  bool replace = true;
};

struct Shown {
  StringId id;
  MessageIcon icon;
  std::string detail;
};

struct MessagesInto final : MessageDisplay {
  explicit MessagesInto(std::vector<std::string>& events) : events(events) {}
  void showMessage(StringId id, MessageIcon icon, std::string_view detail) override {
    events.push_back("message " + std::to_string(static_cast<unsigned>(id)));
    shown.push_back({id, icon, std::string(detail)});
  }
  void showReport(const std::string&, MessageIcon) override {}
  std::vector<std::string>& events;
  std::vector<Shown> shown;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SflConversionRunTest : public ::testing::Test {
 protected:
  bool run(const SflConvTexts& texts, const ConverterSearch& search) {
    return RunSflConversion(hexPath, texts, ui, messages, search);
  }
  test::TempDir dir;
  std::string hexPath = dir.write("fw.hex", test::LinearHex({{0, test::Bytes(0x1000, 2)}}));
  RecordingConvUi ui;
  MessagesInto messages{ui.events};
};

TEST_F(SflConversionRunTest, TheTextsReachTheConverterAsTypedAndAsNumbers) {
  const fs::path decoy = dir.path() / "decoy";
  test::Place(decoy, TARVEL_DECOY_LIBRARY, kHexConverterLibrary);
  const std::string record = (dir.path() / "args.txt").string();
  struct Row {
    const char* start;
    const char* end;
    const char* numbers;
  };
  const Row rows[] = {{"000", "3FF", "0|1023"}, {"010", "01F", "16|31"}, {"0ff", "FFF", "255|4095"},
                      {"1.", "", "1|0"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.start);
    ui.events.clear();
    messages.shown.clear();
    fs::remove(record);
    const SflConvTexts texts{record, row.start, row.end, "Radio", "V 1"};
    EXPECT_TRUE(run(texts, test::Only(decoy)));
    EXPECT_EQ(Slurp(record), hexPath + "|" + row.numbers + "|Radio|V 1");
    // Stored as typed before the call; the message after the cursor is back.
    EXPECT_EQ(ui.events, (std::vector<std::string>{std::string("store ") + row.start + " " + row.end, "wait", "done",
                                                   "message 57346"}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
  }
}

TEST_F(SflConversionRunTest, AFailureStillStoresTheTextsAndSaysWhy) {
  const fs::path decoy = dir.path() / "decoy";
  test::Place(decoy, TARVEL_DECOY_LIBRARY, kHexConverterLibrary);
  struct Row {
    const char* name;
    SflConvTexts texts;
    ConverterSearch search;
    const char* detailHas;
  };
  const Row rows[] = {
      {"converter refuses", {"fw.sfl", "020", "010", "", ""}, test::RealConverters(), "lies above the last block"},
      {"empty name", {"", "000", "3FF", "", ""}, test::RealConverters(), "no output file name"},
      {"no reason given", {"fw.sfl", "000", "3FF", "fail", ""}, test::Only(decoy), ""},
      {"no library", {"fw.sfl", "000", "3FF", "", ""}, test::Only(dir.path() / "none"), "libtesmol.so not found"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ui.events.clear();
    messages.shown.clear();
    EXPECT_FALSE(run(row.texts, row.search));
    EXPECT_EQ(ui.events, (std::vector<std::string>{"store " + row.texts.startBlock + " " + row.texts.endBlock, "wait",
                                                   "done", "message 57345"}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Stop);
    EXPECT_NE(messages.shown[0].detail.find(row.detailHas), std::string::npos) << messages.shown[0].detail;
    EXPECT_FALSE(fs::exists(dir.path() / "fw.sfl"));
  }
}

// An SFL file already there is replaced only when the user says so; the
// answer No leaves it byte for byte and shows nothing.
TEST_F(SflConversionRunTest, AnExistingSflFileIsReplacedOnlyWhenAnsweredYes) {
  const std::string old = ";old header\r\n+0000 00\r\n";
  fs::create_directories(dir.path() / "out");
  struct Row {
    const char* name;
    std::string sflName;  // as typed
    fs::path existing;    // where it lands
    bool replace;
  };
  const Row rows[] = {
      {"beside the HEX file, No", "fw.sfl", dir.path() / "fw.sfl", false},
      {"in a folder of its own, No", (dir.path() / "out" / "x.sfl").string(), dir.path() / "out" / "x.sfl", false},
      {"beside the HEX file, Yes", "fw.sfl", dir.path() / "fw.sfl", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    dir.write(fs::relative(row.existing, dir.path()).string(), old);
    ui.events.clear();
    messages.shown.clear();
    ui.replace = row.replace;
    EXPECT_EQ(run({row.sflName, "000", "001", "", ""}, test::RealConverters()), row.replace);
    EXPECT_EQ(ui.events.at(1), "replace? " + row.existing.string());
    if (row.replace) {
      EXPECT_NE(Slurp(row.existing), old);
      EXPECT_EQ(ui.events.back(), "message 57346");
    } else {
      EXPECT_EQ(Slurp(row.existing), old);
      EXPECT_EQ(ui.events.size(), 2u);
      EXPECT_TRUE(messages.shown.empty());
    }
  }
  // No file there: no question.
  fs::remove(dir.path() / "fw.sfl");
  ui.events.clear();
  EXPECT_TRUE(run({"fw.sfl", "000", "001", "", ""}, test::RealConverters()));
  for (const std::string& event : ui.events) EXPECT_NE(event.rfind("replace?", 0), 0u) << event;
}

}  // namespace
}  // namespace tarvel
