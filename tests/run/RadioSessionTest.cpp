// One radio's session against the simulated radio: every kind of failure of
// a write, a read and a sync, each checked in the outcome, in the exit code
// and in the record line made from it, as every front end gets them.
#include "run/RadioSession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "run/RadioResult.h"
#include "run/RunResult.h"
#include "sim/SimRadio.h"
#include "tests/support/Fakes.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

// The flash converter's part: one line per block into the file it is given.
struct LineSink final : BlockSink {
  bool load(std::string&) override { return true; }
  int addBlock(const std::string& path, std::span<const std::uint8_t, kFlashBlockRecordBytes>) override {
    std::ofstream(path, std::ios::app) << "+block\n";
    return 1;
  }
};

enum class Job { Write, WriteFile, Read, Sync };

struct Row {
  const char* name;
  Job job;
  sim::Cable cable;
  std::function<void(sim::Options&)> radio;  // the radio's faults
  std::function<void(RadioJob&, const test::TempDir&)> arrange;
  FailureKind kind;
  StringId message;  // the failure's last message; AppTitle: none
  int exitCode;
  const char* recordMessage;
  const char* hint;        // a fragment of the hint; empty: no hint
  const char* diagnosis;   // the first finding's id; empty: none
  Json firstFailedBlock;   // the record's "first_failed_block"
};

const Row kRows[] = {
    {"a write that succeeds, verified", Job::Write, sim::Cable::Qap8, {},
     [](RadioJob& job, const test::TempDir&) { job.verify = true; }, FailureKind::None, StringId::AppTitle, 0,
     "Succeeded in writing the flash.", "", "", nullptr},
    {"a port that does not exist", Job::Write, sim::Cable::Qap8, {},
     [](RadioJob& job, const test::TempDir& dir) { job.port = (dir.path() / "ttyUSB9").string(); },
     FailureKind::Port, StringId::PortCannotBeHandled, 3, "The COMM Port cannot be handled.", "", "port-missing",
     nullptr},
    {"a silent loader", Job::Write, sim::Cable::Qap10, [](sim::Options& o) { o.faults.silent = true; }, {},
     FailureKind::LoaderSilent, StringId::SyncError, 4, "Synchronization Error.\nPlease confirm", "",
     "loader-silent", nullptr},
    {"a block refused six times", Job::Write, sim::Cable::Qap8,
     [](sim::Options& o) {
       o.faults.refuseBlock = 1;
       o.faults.refuseWrites = 6;
     },
     {}, FailureKind::BlockRefused, StringId::FlashWriteFailed, 7, "Failed in the flash writing.", "001", "", "001"},
    {"the line lost after two blocks", Job::Write, sim::Cable::Qap10,
     [](sim::Options& o) { o.faults.silentAfterBlocks = 2; }, {}, FailureKind::LineLost,
     StringId::CommunicationError, 6, "Communication Error.", "000-001", "", "002"},
    {"a radio that stores a block wrong", Job::Write, sim::Cable::Qap8,
     [](sim::Options& o) { o.faults.corruptBlock = 2; },
     [](RadioJob& job, const test::TempDir&) { job.verify = true; }, FailureKind::None, StringId::AppTitle, 10,
     "The flash differs from the file.", "002", "", nullptr},
    {"a stop before the first block", Job::Write, sim::Cable::Qap8, {},
     [](RadioJob& job, const test::TempDir&) {
       static std::atomic<bool> stop{true};
       job.stop = &stop;
     },
     FailureKind::Stopped, StringId::Stopped, 130, "Stopped before the end.", "", "", nullptr},
    {"a file that went missing", Job::WriteFile, sim::Cable::Qap8, {}, {}, FailureKind::File,
     StringId::FileCannotBeOpened, 5, "The file cannot be opened.", "", "", nullptr},
    {"a trace over the file to write", Job::Write, sim::Cable::Qap8, {},
     [](RadioJob& job, const test::TempDir& dir) {
       job.trace = (dir.path() / "fw.sfl").string();
       job.otherFile = job.trace;
     },
     FailureKind::Usage, StringId::OutputIsInput, 2, "", "", "", nullptr},
    {"a read that succeeds", Job::Read, sim::Cable::Qap10, {}, {}, FailureKind::None, StringId::AppTitle, 0,
     "Succeeded in reading the flash.", "", "", nullptr},
    {"a reply cut short", Job::Read, sim::Cable::Qap8,
     [](sim::Options& o) {
       o.faults.shortReadBlock = 3;
       o.faults.shortReadBytes = 64;
     },
     {}, FailureKind::LineLost, StringId::ReadFailed, 8, "Failed in reading the flash.", "3 of the 16", "", "003"},
    {"a silent loader on a read, QAP-10", Job::Read, sim::Cable::Qap10,
     [](sim::Options& o) { o.faults.silent = true; }, {}, FailureKind::LoaderSilent, StringId::ReadFailed, 4,
     "Failed in reading the flash.", "", "loader-silent", nullptr},
    {"an output that is a folder", Job::Read, sim::Cable::Qap8, {},
     [](RadioJob& job, const test::TempDir&) { job.otherFile = "folder"; }, FailureKind::OutputRefused,
     StringId::OutputNotRegular, 2, "", "", "", nullptr},
    {"a sync that succeeds", Job::Sync, sim::Cable::Qap10, {}, {}, FailureKind::None, StringId::AppTitle, 0,
     "Synchronized with the boot loader.", "", "", nullptr},
    {"a line at the wrong speed", Job::Sync, sim::Cable::Qap8, [](sim::Options& o) { o.garble = true; }, {},
     FailureKind::LoaderSilent, StringId::SyncError, 4, "Synchronization Error.", "", "garbled", nullptr},
};

TEST(RadioSession, EveryFailureKindInTheOutcomeTheExitCodeAndTheRecord) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    const test::TempDir dir;
    sim::Options options;
    options.cable = row.cable;
    options.linkPath.clear();
    if (row.radio) row.radio(options);
    std::string error;
    const std::unique_ptr<sim::Radio> radio = sim::Radio::Start(options, &error);
    ASSERT_TRUE(radio) << error;

    RadioJob job;
    job.port = radio->devicePath();
    job.cable = row.cable == sim::Cable::Qap10 ? Cable::Qap10 : Cable::Qap8;
    job.baud = 38400;
    const std::string path = dir.write("fw.sfl", test::ConventionalSfl(0, 4));
    if (row.arrange) row.arrange(job, dir);
    CheckedSflFile file;
    ASSERT_FALSE(LoadCheckedSflFile(path, file));

    test::RecordingMessages observer;
    RunResult result;
    result.command = row.job == Job::Read ? "read" : row.job == Job::Sync ? "sync" : "write";
    result.transfer.emplace();
    RadioOutcome outcome;
    switch (row.job) {
      case Job::Write: outcome = WriteFirmware(job, file, observer); break;
      case Job::WriteFile: outcome = WriteFirmwareFile(job, (dir.path() / "gone.sfl").string(), observer); break;
      case Job::Read: {
        LineSink sink;
        std::string output = (dir.path() / "dump.sfl").string();
        if (job.otherFile == "folder") {
          std::filesystem::create_directory(output);
          job.otherFile.clear();
        }
        result.transfer->file = output;
        result.transfer->blocksTotal = 16;
        outcome = ReadFirmware(job, sink, output, 0x00F, false, observer);
        break;
      }
      case Job::Sync:
        result.transfer.reset();
        outcome = SyncRadio(job, observer);
        break;
    }
    DescribeOutcome(outcome, result);

    EXPECT_EQ(outcome.failure.kind, row.kind);
    if (row.message != StringId::AppTitle) {
      ASSERT_FALSE(observer.failures.empty());
      EXPECT_EQ(observer.failures.back().message, row.message);
      EXPECT_EQ(outcome.failure.message, row.message);
    } else {
      EXPECT_TRUE(observer.failures.empty());
    }
    EXPECT_EQ(result.exitCode, row.exitCode);
    // The record's line is the object the command line prints.
    const Json record = Json::parse(JsonLine(ResultJson(result)));
    EXPECT_EQ(record["exit_code"], row.exitCode);
    const std::string message = record["message"];
    EXPECT_EQ(message.rfind(row.recordMessage, 0), 0u) << message;
    EXPECT_EQ(message.find('\r'), std::string::npos);
    const std::string hint = record["hint"].is_null() ? std::string() : std::string(record["hint"]);
    if (*row.hint != '\0') EXPECT_NE(hint.find(row.hint), std::string::npos) << hint;
    if (*row.diagnosis != '\0') {
      ASSERT_TRUE(record.contains("diagnosis"));
      EXPECT_EQ(record["diagnosis"][0]["id"], row.diagnosis);
      EXPECT_EQ(hint, record["diagnosis"][0]["hint"]);
      // The window's box says the cause under its text.
      EXPECT_FALSE(observer.failures.front().finding.empty() && std::string(row.diagnosis) != "port-failed");
    } else {
      EXPECT_FALSE(record.contains("diagnosis"));
    }
    if (row.job == Job::Write || row.job == Job::Read) {
      EXPECT_EQ(record["first_failed_block"], row.firstFailedBlock);
    }
    if (row.kind == FailureKind::None && row.exitCode == 0) {
      EXPECT_EQ(observer.reports.size(), row.job == Job::Sync ? 0u : 1u);
      if (row.job == Job::Write) EXPECT_EQ(radio->block(3), test::PatternBlock(3));
    }
  }
}

}  // namespace
}  // namespace tarvel
