// tarvel-cli read and write --verify against the simulated radio, through
// the real flash converter library.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "firmware/SflFile.h"
#include "sim/SimRadio.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

using test::CliRun;
using test::Slurp;

class CliReadTest : public test::CliFixture {
 protected:
  // The records of an SFL file, in file order.
  static std::vector<SflRecord> Records(const std::string& path) {
    const std::string text = Slurp(path);
    SflTextReader reader({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    std::vector<SflRecord> out;
    SflRecord r;
    while (ParseSflRecord(reader, r) == SflParse::Record) out.push_back(r);
    return out;
  }
};

TEST_F(CliReadTest, WriteThenReadBackGivesTheSameImageWithBothCables) {
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 32));
  for (const char* cable : {"qap8", "qap10"}) {
    SCOPED_TRACE(cable);
    auto r = radio(std::string(cable) == "qap10" ? sim::Cable::Qap10 : sim::Cable::Qap8);
    const CliRun write = cli("write " + file + " --port " + port() + " --cable " + cable + " --verify");
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_NE(write.out.find("Verified"), std::string::npos) << write.out;
    EXPECT_NE(write.out.find("Read back in "), std::string::npos);

    const std::string out = (dir.path() / (std::string(cable) + "-read.sfl")).string();
    const CliRun read = cli("read " + out + " --port " + port() + " --cable " + cable + " --end-block 01f");
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out.rfind("Succeeded in reading the flash. \n\n", 0), 0u) << read.out;
    const auto original = Records(file);
    const auto back = Records(out);
    ASSERT_EQ(back.size(), original.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
      EXPECT_EQ(back[i].block, original[i].block);
      EXPECT_EQ(back[i].data, original[i].data);
    }
    // What the read wrote is a file the write takes: the size convention holds.
    EXPECT_EQ(std::filesystem::file_size(out), 378u + 263u * 32);
    const CliRun again = cli("write " + out + " --port " + port() + " --cable " + cable + " --json");
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(nlohmann::json::parse(again.out)["checksum"],
              write.out.substr(write.out.find("Check SUM is ") + 13, 4));
  }
}

TEST_F(CliReadTest, VerifyCatchesABlockStoredDifferently) {
  const std::string file = dir.write("fw.sfl", test::ConventionalSfl(0, 8));
  sim::Faults faults;
  faults.corruptBlock = 5;
  auto r = radio(sim::Cable::Qap8, faults);
  const CliRun run = cli("write " + file + " --port " + port() + " --verify");
  EXPECT_EQ(run.exitCode, 10) << run.err;
  // The report's success is followed on stdout by the line that takes it back.
  EXPECT_NE(run.out.find("The flash differs from the file.", run.out.find("Succeeded in writing the flash.")),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("The flash differs from the file."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("first differing block 005"), std::string::npos) << run.err;
}

TEST_F(CliReadTest, ReadFailuresAndTheirExitCodes) {
  sim::Faults silent;
  silent.silent = true;
  sim::Faults shortReply;
  shortReply.shortReadBlock = 3;
  shortReply.shortReadBytes = 64;
  struct Row {
    const char* name;
    sim::Cable cable;
    sim::Faults faults;
    std::string args;
    int exitCode;
    std::vector<const char*> messages;  // on stderr, in this order
  };
  const std::string out = (dir.path() / "dump.sfl").string();
  const Row rows[] = {
      {"QAP-8 silent: 111 alone", sim::Cable::Qap8, silent, "--cable qap8", 4, {"Synchronization Error."}},
      {"QAP-10 silent: 111 then 114", sim::Cable::Qap10, silent, "--cable qap10", 8,
       {"Synchronization Error.", "Failed in reading the flash. "}},
      {"short reply: 107 then 114", sim::Cable::Qap8, shortReply, "", 8,
       {"Communication Error.", "Failed in reading the flash. ", "3 of 1024 blocks"}},
      {"bad end block", sim::Cable::Qap8, {}, "--end-block 1G", 2, {"--end-block"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto r = radio(row.cable, row.faults);
    const CliRun run = cli("read " + out + " --force --port " + port() + " " + row.args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    std::size_t at = 0;
    for (const char* message : row.messages) {
      at = run.err.find(message, at);
      EXPECT_NE(at, std::string::npos) << message << " in " << run.err;
    }
  }
}

}  // namespace
}  // namespace tarvel
