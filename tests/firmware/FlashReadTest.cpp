#include "firmware/FlashRead.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include <unistd.h>

#include <gtest/gtest.h>

#include "base/Report.h"
#include "firmware/ReadBack.h"
#include "tests/support/FakeLoader.h"
#include "tests/support/Fakes.h"
#include "tests/support/CliRunner.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

struct FakeSink final : BlockSink {
  bool load(std::string& reason) override {
    ++loads;
    if (!loadable) reason = "liboxbrin.so: not found";
    return loadable;
  }
  int addBlock(const std::string& path, std::span<const std::uint8_t, kFlashBlockRecordBytes> record) override {
    if (refuseAt == static_cast<int>(records.size())) return 0;
    records.emplace_back(record.begin(), record.end());
    std::ofstream(path, std::ios::app) << "+block\n";
    if (stop && static_cast<int>(records.size()) == stopAfter) stop->store(true);
    if (afterBlock) afterBlock(static_cast<int>(records.size()));
    return 1;
  }
  std::atomic<bool>* stop = nullptr;
  int stopAfter = -1;
  std::function<void(int blocks)> afterBlock;  // what another program does meanwhile
  bool loadable = true;
  int refuseAt = -1;
  int loads = 0;
  std::vector<std::vector<std::uint8_t>> records;
};

class FlashReadTest : public ::testing::Test {
 protected:
  FlashReadTest() : ctx(opener, messages, clock, pump) {
    opener.line->clock = &clock;
    loader.attach(*opener.line);
  }
  ReadOutcome read(std::uint16_t endBlock, bool replace = false) {
    return ReadFlash(ctx, sink, output(), endBlock, replace);
  }
  std::string output() const { return (dir.path() / "out.sfl").string(); }

  test::FakeOpener opener;
  test::FakeLoader loader;
  test::RecordingMessages messages;
  test::FakeClock clock;
  test::CountingPump pump;
  FakeSink sink;
  LoaderContext ctx;
  test::TempDir dir;
};

TEST_F(FlashReadTest, ReadsBlocksZeroToEndIntoTheConverter) {
  loader.flash[1] = test::PatternBlock(1);
  for (int type : {kTypeQap8, kTypeQap10}) {
    SCOPED_TRACE(type);
    ctx.m_nType = type;
    sink.records.clear();
    messages.reports.clear();
    const ReadOutcome outcome = read(2);
    ASSERT_TRUE(outcome.succeeded);
    ASSERT_EQ(sink.records.size(), 3u);
    EXPECT_EQ(sink.records[1][0], 0x00);
    EXPECT_EQ(sink.records[1][1], 0x01);
    EXPECT_TRUE(std::equal(sink.records[1].begin() + 2, sink.records[1].end(), test::PatternBlock(1).begin()));
    unsigned sum = 2 * 128 * 0xFF;
    for (auto b : test::PatternBlock(1)) sum += b;
    EXPECT_EQ(outcome.readSum, static_cast<std::uint16_t>(sum));
    ASSERT_EQ(messages.reports.size(), 1u);
    EXPECT_EQ(messages.reports[0], FormatReport(StringId::ReadSucceeded, outcome.elapsedMs, outcome.readSum));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ctx.m_nStatus, 0);
    EXPECT_EQ(ctx.port(), nullptr);
    ASSERT_FALSE(messages.progress.empty());
    EXPECT_EQ(messages.progress.back().phase, SessionPhase::Ended);
  }
}

TEST_F(FlashReadTest, EndBlockRangesAndProgressSteps) {
  struct Row {
    std::uint16_t end;
    std::size_t requests;
  };
  for (const Row row : {Row{0x000, 1}, Row{0x3FF, 1024}, Row{0xFFF, 4096}}) {
    SCOPED_TRACE(row.end);
    loader.readRequests.clear();
    messages.progress.clear();
    ASSERT_TRUE(read(row.end).succeeded);
    ASSERT_EQ(loader.readRequests.size(), row.requests);
    EXPECT_EQ(loader.readRequests.back(), row.end);
    // Each block done but the last, which the end reports, of all asked for.
    const std::vector<Progress> steps = messages.phase(SessionPhase::Reading);
    ASSERT_EQ(steps.size(), row.requests - 1);
    for (std::size_t i = 0; i < steps.size(); ++i) {
      EXPECT_EQ(steps[i].block, static_cast<int>(i) + 1);
      EXPECT_EQ(steps[i].blocks, static_cast<int>(row.requests));
    }
    EXPECT_EQ(messages.phase(SessionPhase::Started).at(0).blocks, static_cast<int>(row.requests));
  }
  // The last request of FFF carries the block bytes 0x0F 0xFF.
  ASSERT_FALSE(opener.line->writes.empty());
  const auto& last = opener.line->writes.back();
  ASSERT_GT(last.size(), 18u);
  EXPECT_EQ(last[17], 0x0F);
  EXPECT_EQ(last[18], 0xFF);
}

TEST_F(FlashReadTest, FailuresShowTheirMessagesInOrder) {
  struct Row {
    const char* name;
    int type;
    std::function<void()> arrange;
    std::vector<StringId> messages;
    std::size_t requests;
  };
  const std::vector<StringId> commThenFailed{StringId::CommunicationError, StringId::ReadFailed};
  const Row rows[] = {
      {"port missing", kTypeQap8, [&] { opener.failWith = OpenStatus::CannotOpen; }, {StringId::PortCannotBeHandled}, 0},
      {"QAP-8 silent", kTypeQap8, [&] { loader.silent = true; }, {StringId::SyncError}, 0},
      {"QAP-10 silent", kTypeQap10, [&] { loader.silent = true; }, {StringId::SyncError, StringId::ReadFailed}, 0},
      {"converter missing", kTypeQap8, [&] { sink.loadable = false; }, commThenFailed, 0},
      {"converter missing QAP-10", kTypeQap10, [&] { sink.loadable = false; }, commThenFailed, 0},
      {"converter refuses block 0", kTypeQap8, [&] { sink.refuseAt = 0; }, {StringId::ReadFailed}, 1},
      {"short reply", kTypeQap8, [&] { loader.shortReadOf = 3; }, commThenFailed, 4},
      {"radio falls silent", kTypeQap10, [&] { loader.silentAtReadOf = 5; }, commThenFailed, 6},
      {"replies out of step", kTypeQap8, [&] { loader.strayByteAtReadOf = 2; }, commThenFailed, 3},
      {"out of step at the last block", kTypeQap8, [&] { loader.strayByteAtReadOf = 0x3FF; }, commThenFailed, 1024},
      // No next request would find a byte that comes after the last reply.
      {"a late byte after the last block", kTypeQap8, [&] { loader.lateByteAfterReadOf = 0x3FF; }, commThenFailed,
       1024},
      {"a late byte after the last block QAP-10", kTypeQap10, [&] { loader.lateByteAfterReadOf = 0x3FF; },
       commThenFailed, 1024},
      {"stopped", kTypeQap10, [&] { sink.stopAfter = 7; }, {StringId::ReadFailed}, 7},
  };
  std::atomic<bool> stop{false};
  ctx.stopRequest = &stop;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::FakeLoader fresh;
    loader = fresh;
    loader.attach(*opener.line);
    opener.line->input.clear();
    opener.line->arriving.clear();
    opener.failWith = OpenStatus::Ok;
    sink = FakeSink{};
    sink.stop = &stop;
    stop = false;
    std::filesystem::remove(dir.path() / "out.partial.sfl");
    dir.write("out.sfl", "the old dump");
    messages.shown.clear();
    messages.reports.clear();
    ctx.m_nType = row.type;
    row.arrange();
    const ReadOutcome outcome = read(0x3FF);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(messages.ids(), row.messages);
    EXPECT_EQ(loader.readRequests.size(), row.requests);
    EXPECT_TRUE(messages.reports.empty());
    EXPECT_EQ(ctx.m_nStatus, 0);
    EXPECT_EQ(ctx.port(), nullptr);
    EXPECT_EQ(opener.line->openPorts, 0);
    ASSERT_FALSE(messages.progress.empty());
    EXPECT_EQ(messages.progress.back().phase, SessionPhase::Ended);
    // The old dump stays; what was read is kept apart, and the last message says so.
    EXPECT_EQ(test::Slurp(output()), "the old dump");
    EXPECT_EQ(outcome.stopped, std::string(row.name) == "stopped");
    const bool kept = !sink.records.empty() && sink.refuseAt != 0;
    EXPECT_EQ(outcome.keptPath.empty(), !kept);
    EXPECT_EQ(std::filesystem::exists(dir.path() / "out.partial.sfl"), kept);
    if (kept) {
      EXPECT_EQ(test::Slurp(outcome.keptPath).size(), sink.records.size() * 7);
      ASSERT_FALSE(messages.details.empty());
      EXPECT_NE(messages.details.back().find("kept in " + outcome.keptPath), std::string::npos);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), kept ? 2 : 1);
  }
}

// The last step cannot replace what appeared meanwhile nor lose the blocks,
// and a partial never replaces an earlier one.
TEST_F(FlashReadTest, TheBlocksReadAreKeptWhateverHappensToTheNames) {
  namespace fs = std::filesystem;
  const fs::path out = dir.path() / "out.sfl";
  struct Row {
    const char* name;
    bool replace;
    std::function<void()> before;          // at the start
    std::function<void()> atLastBlock;     // during the read
    int refuseAt;                          // the converter stops there; -1: a whole read
    const char* kept;                      // where the blocks go; "" none, "*": a hidden name beside out.sfl
    const char* outAfter;                  // out.sfl's content; nullptr: not a file
    std::vector<std::string> inDetail;
  };
  const auto writeOut = [&] { dir.write("out.sfl", "another read"); };
  const auto folderOut = [&] { fs::create_directory(out); };
  const Row rows[] = {
      {"another read's file appears", false, {}, writeOut, -1, "out.partial.sfl", "another read",
       {"out.sfl appeared during the read", "All 10 blocks read are kept in"}},
      {"--force replaces it", true, {}, writeOut, -1, "", nullptr, {}},
      {"a folder appears", false, {}, folderOut, -1, "out.partial.sfl", nullptr, {"All 10 blocks read are kept in"}},
      {"a folder appears, --force", true, {}, folderOut, -1, "out.partial.sfl", nullptr, {"Is a directory"}},
      {"an earlier, larger partial", false, [&] { dir.write("out.partial.sfl", std::string(300, 'x')); }, {}, 3,
       "out.partial-2.sfl", nullptr, {"The 3 of 10 blocks read are kept in", "holds an earlier read"}},
      {"two earlier partials", false,
       [&] {
         dir.write("out.partial.sfl", "1");
         dir.write("out.partial-2.sfl", "2");
       },
       writeOut, -1, "out.partial-3.sfl", "another read", {"holds an earlier read"}},
      {"the folder turns read-only", false, {}, [&] { fs::permissions(dir.path(), fs::perms(0555)); }, -1, "*",
       nullptr, {"Permission denied", "are kept in " + (dir.path() / ".out.sfl.").string()}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (std::string(row.kept) == "*" && ::geteuid() == 0) continue;  // root writes in any folder
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
    sink = FakeSink{};
    sink.refuseAt = row.refuseAt;
    sink.afterBlock = [&row](int blocks) {
      if (blocks == 10 && row.atLastBlock) row.atLastBlock();
    };
    messages.shown.clear();
    messages.details.clear();
    if (row.before) row.before();
    const ReadOutcome outcome = read(9, row.replace);
    fs::permissions(dir.path(), fs::perms::owner_all);
    const std::string blocks = std::string(sink.records.size() * 7, '\0');
    if (*row.kept == '\0') {
      EXPECT_TRUE(outcome.succeeded);
      EXPECT_EQ(test::Slurp(out.string()).size(), blocks.size());
      continue;
    }
    EXPECT_FALSE(outcome.succeeded);
    ASSERT_FALSE(messages.ids().empty());
    EXPECT_EQ(messages.ids().back(), StringId::ReadFailed);
    if (std::string(row.kept) == "*") {
      EXPECT_EQ(fs::path(outcome.keptPath).parent_path(), dir.path());
      EXPECT_EQ(fs::path(outcome.keptPath).filename().string().rfind(".out.sfl.", 0), 0u);
    } else {
      EXPECT_EQ(outcome.keptPath, (dir.path() / row.kept).string());
    }
    EXPECT_EQ(test::Slurp(outcome.keptPath).size(), blocks.size());
    if (row.outAfter) {
      EXPECT_EQ(test::Slurp(out.string()), row.outAfter);
    }
    if (row.before) {
      EXPECT_EQ(fs::file_size(dir.path() / "out.partial.sfl"), row.refuseAt < 0 ? 1u : 300u);
    }
    if (!row.inDetail.empty()) {
      ASSERT_FALSE(messages.details.empty());
    }
    for (const std::string& part : row.inDetail) {
      EXPECT_NE(messages.details.back().find(part), std::string::npos) << part;
    }
    // Nothing else left: the dump, its partials and what appeared.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "out.sfl" || name.find("partial") != std::string::npos || entry.path() == outcome.keptPath)
          << name;
    }
  }
}

// A dump that its folder refuses is found before the radio is woken: 114,
// with why, and that the radio was not touched.
TEST_F(FlashReadTest, AFolderThatCannotBeWrittenLeavesTheRadioAlone) {
  namespace fs = std::filesystem;
  const struct {
    const char* name;
    const char* folder;  // under the test's folder
    std::function<void(const fs::path&)> make;
    const char* reason;
  } rows[] = {
      {"a read-only folder", "locked",
       [](const fs::path& folder) {
         fs::create_directory(folder);
         fs::permissions(folder, fs::perms(0555));
       },
       "Permission denied"},
      {"a file where the folder should be", "plain", [&](const fs::path&) { dir.write("plain", "x"); },
       "Not a directory"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path folder = dir.path() / row.folder;
    row.make(folder);
    if (fs::is_directory(folder) && ::access(folder.c_str(), W_OK) == 0) {  // root writes anywhere
      fs::permissions(folder, fs::perms::owner_all);
      continue;
    }
    messages.shown.clear();
    messages.details.clear();
    const ReadOutcome outcome = ReadFlash(ctx, sink, (folder / "out.sfl").string(), 0x3FF, false);
    if (fs::is_directory(folder)) fs::permissions(folder, fs::perms::owner_all);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(messages.ids(), std::vector<StringId>{StringId::ReadFailed});
    ASSERT_EQ(messages.details.size(), 1u);
    const std::string& detail = messages.details[0];
    for (const std::string& part :
         {"The folder " + folder.string() + " cannot be written", std::string(row.reason),
          std::string("The radio was not touched.")}) {
      EXPECT_NE(detail.find(part), std::string::npos) << part << "\n" << detail;
    }
    EXPECT_EQ(opener.opens, 0);
    EXPECT_TRUE(loader.readRequests.empty());
    EXPECT_EQ(sink.loads, 0);
  }
}

TEST_F(FlashReadTest, Qap10LinesAroundTheRead) {
  ctx.m_nType = kTypeQap10;
  ASSERT_TRUE(read(0).succeeded);
  std::vector<std::string> events;
  for (const auto& e : opener.line->events) events.push_back(e.substr(e.find(' ') + 1));
  // RTS raised before the close, then a fresh open for a 2 ms RTS pulse.
  const std::vector<std::string> tail(events.end() - 6, events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"RTS 1", "close", "open", "RTS 1", "RTS 0", "close"}));
}

// The verify after a write names the lowest block that differs, whichever
// it meets first and however many differ; a block written twice is
// compared with what was written last.
TEST_F(FlashReadTest, ReadBackComparesWhatTheWriteLeft) {
  struct Row {
    const char* name;
    std::string file;
    std::map<std::uint16_t, std::array<std::uint8_t, 128>> flash;
    int compared;
    int differences;
    std::optional<std::uint16_t> first;
  };
  std::map<std::uint16_t, std::array<std::uint8_t, 128>> spoiled;
  for (std::uint16_t b = 0; b < 8; ++b) spoiled[b] = test::PatternBlock(b);
  spoiled[6][0] ^= 0xFF;
  spoiled[3][127] ^= 0x01;
  const Row rows[] = {
      {"two differ", test::ConventionalSfl(0, 8), spoiled, 8, 2, 3},
      {"block 005 twice, the radio holds the second",
       test::SflText(";Radio\n",
                     {{5, test::PatternBlock(5, 1)}, {6, test::PatternBlock(6)}, {5, test::PatternBlock(5, 2)}}),
       {{5, test::PatternBlock(5, 2)}, {6, test::PatternBlock(6)}},
       2,
       0,
       std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CheckedSflFile file;
    ASSERT_FALSE(LoadCheckedSflFile(dir.write("fw.sfl", row.file), file));
    loader.flash = row.flash;
    const ReadBackOutcome outcome = ReadBackAndCompare(ctx, file);
    ASSERT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.blocksCompared, row.compared);
    EXPECT_EQ(outcome.differences, row.differences);
    EXPECT_EQ(outcome.firstDifference, row.first);
  }
}

}  // namespace
}  // namespace tarvel
