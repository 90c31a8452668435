// The station file: what it holds, and every way it is refused, each
// naming the file and the line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "base/AsciiCase.h"
#include "station/StationFile.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

using namespace std::string_literals;

TEST(StationFile, ReadsTheSettingsAndTheBedsInOrder) {
  test::TempDir dir;
  dir.write("fw.sfl", test::ConventionalSfl(0, 4));
  std::filesystem::create_directory(dir.path() / "logs");
  const std::string digest = "55DD5B09EFE0DD6890FE75C5F665925F64F2ED7D4D64DFABA987C200C5E587C0";
  std::filesystem::copy_file(TARVEL_EXAMPLE_SFL, dir.path() / "demo.sfl");
  const std::string path = dir.write("s.ini",
                                     "\xEF\xBB\xBF; written by the line supervisor\n[station]\n cable = qap-10 \n"
                                     "Baud=115200   ; the fastest\nVerify=1\nRequireSerial=1\n"
                                     "Record=\"logs/r.jsonl\"\t; quoted\nFirmware=demo.sfl\nSHA256=" + digest +
                                         "\nKeys=keys/a.pub;b.pub ;two\n"
                                     "[Beds]\nZ bed=/dev/ttyUSB9\n;Bed 3=/dev/ttyUSB3\nA bed=/dev/ttyUSB1\n");
  StationConfig config;
  CheckedSflFile file;
  TransferFacts facts;
  const std::optional<std::string> problem = ReadStationFile(path, config, file, facts);
  ASSERT_FALSE(problem) << *problem;
  EXPECT_EQ(config.name, "s.ini");
  EXPECT_EQ(config.cable, Cable::Qap10);
  EXPECT_EQ(config.baud, 115200U);
  EXPECT_TRUE(config.verify);
  EXPECT_TRUE(config.requireSerial);
  EXPECT_EQ(config.record, (dir.path() / "logs" / "r.jsonl").string());
  EXPECT_EQ(config.firmware, (dir.path() / "demo.sfl").string());
  EXPECT_EQ(config.sha256, LowerAsciiText(digest));
  // Beside the station file, whatever the working folder.
  EXPECT_EQ(config.trust.keyFiles,
            (std::vector<std::string>{(dir.path() / "keys" / "a.pub").string(), (dir.path() / "b.pub").string()}));
  ASSERT_EQ(config.beds.size(), 2U);
  EXPECT_EQ(config.beds[0].name, "Z bed");
  EXPECT_EQ(config.beds[1].port, "/dev/ttyUSB1");
  EXPECT_EQ(facts.fileSha256, LowerAsciiText(digest));
}

// Each bed starts as the station does, unless a section of its own, before
// or after [Beds], says otherwise.
TEST(StationFile, HowEachBedStarts) {
  test::TempDir dir;
  dir.write("fw.sfl", test::ConventionalSfl(0, 4));
  const std::string path = dir.write("s.ini",
                                     "[Station]\nFirmware=fw.sfl\nStart=insert   ; the adapters are plugged\n"
                                     "[bed 3]\nStart=LINE\nStartLine=dcd\n"
                                     "[Beds]\nBed 1=/dev/ttyUSB1\nBed 2=/dev/ttyUSB2\nBed 3=/dev/ttyUSB3\n"
                                     "[Bed 2]\nStart=answer\nPoll=5\n");
  StationConfig config;
  CheckedSflFile file;
  TransferFacts facts;
  const std::optional<std::string> problem = ReadStationFile(path, config, file, facts);
  ASSERT_FALSE(problem) << *problem;
  ASSERT_EQ(config.beds.size(), 3U);
  struct Expected {
    StartMode mode;
    std::chrono::milliseconds poll;
    StartLine line;
  };
  const Expected expected[] = {{StartMode::Insert, std::chrono::seconds(2), StartLine::Cts},
                               {StartMode::Answer, std::chrono::seconds(5), StartLine::Cts},
                               {StartMode::Line, std::chrono::seconds(2), StartLine::Dcd}};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(config.beds[i].name);
    EXPECT_EQ(config.beds[i].start.mode, expected[i].mode);
    EXPECT_EQ(config.beds[i].start.poll, expected[i].poll);
    EXPECT_EQ(config.beds[i].start.line, expected[i].line);
  }
}

// The README's example station file, as it stands, with the files it names.
TEST(StationFile, TheReadmesExampleOpens) {
  const std::string readme = test::Slurp(TARVEL_README);
  const std::size_t start = readme.find("```\n[Station]\n");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = readme.find("```", start + 3);
  ASSERT_NE(end, std::string::npos);
  test::TempDir dir;
  std::filesystem::create_directory(dir.path() / "2.4");
  std::filesystem::copy_file(TARVEL_EXAMPLE_SFL, dir.path() / "2.4" / "radio.sfl");
  const std::filesystem::path fixtures = TARVEL_TRUST_FIXTURES;
  std::filesystem::copy_file(fixtures / "SHA256SUMS", dir.path() / "2.4" / "SHA256SUMS");
  std::filesystem::copy_file(fixtures / "SHA256SUMS.minisig", dir.path() / "2.4" / "SHA256SUMS.minisig");
  std::filesystem::copy_file(fixtures / "stranger.pub", dir.path() / "maker.pub");
  std::filesystem::copy_file(fixtures / "trusted.pub", dir.path() / "shop.pub");
  const std::string path = dir.write("line-3.ini", readme.substr(start + 4, end - start - 4));
  StationConfig config;
  CheckedSflFile file;
  TransferFacts facts;
  const std::optional<std::string> problem = ReadStationFile(path, config, file, facts);
  ASSERT_FALSE(problem) << *problem;
  EXPECT_EQ(config.firmware, (dir.path() / "2.4" / "radio.sfl").string());
  EXPECT_EQ(config.sha256, facts.fileSha256);
  EXPECT_EQ(config.cable, Cable::Qap8);
  EXPECT_EQ(config.baud, 115200U);
  EXPECT_TRUE(config.verify);
  EXPECT_EQ(config.record, (dir.path() / "line-3.jsonl").string());
  EXPECT_TRUE(config.requireSerial);
  EXPECT_EQ(config.serialMax, 64U);
  EXPECT_EQ(config.serialPattern, "TV24-[0-9]{6}");
  EXPECT_TRUE(config.trust.requireManifest);
  EXPECT_EQ(config.trust.keyFiles.size(), 2U);
  EXPECT_NE(config.trustLine.find("signed by"), std::string::npos) << config.trustLine;
  ASSERT_EQ(config.beds.size(), 2U);
  EXPECT_EQ(config.beds[1].port, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.2:1.0-port0");
}

TEST(StationFile, TakesTheFirmwaresDigestInEitherCase) {
  test::TempDir dir;
  std::filesystem::copy_file(TARVEL_EXAMPLE_SFL, dir.path() / "fw.sfl");
  const std::string lower = "55dd5b09efe0dd6890fe75c5f665925f64f2ed7d4d64dfaba987c200c5e587c0";
  for (const std::string& given : {lower, std::string("55DD5B09EFE0DD6890FE75C5F665925F64F2ED7D4D64DFABA987C200C5E587C0"),
                                   std::string("55dD5b09EFE0dd6890fe75c5f665925f64f2ed7d4d64dfaba987c200c5e587C0")}) {
    SCOPED_TRACE(given);
    const std::string path = dir.write("s.ini", "[Station]\nFirmware=fw.sfl\nSha256=" + given + "\n[Beds]\nA=/dev/ttyUSB0\n");
    StationConfig config;
    CheckedSflFile file;
    TransferFacts facts;
    const std::optional<std::string> problem = ReadStationFile(path, config, file, facts);
    ASSERT_FALSE(problem) << *problem;
    EXPECT_EQ(config.sha256, lower);
  }
}

TEST(StationFile, RefusesWhatItCannotUseNamingTheFileAndLine) {
  test::TempDir dir;
  const std::string firmware = test::ConventionalSfl(0, 4);
  dir.write("fw.sfl", firmware);
  dir.write("bad.sfl", "S0 not a record\n+zz\n");
  dir.write("p1", "");
  std::filesystem::create_symlink(dir.path() / "p1", dir.path() / "p1-link");
  std::filesystem::create_symlink(dir.path() / "fw.sfl", dir.path() / "fw-link");
  // m/: a manifest that lists another digest; n/: no manifest at all.
  std::filesystem::create_directory(dir.path() / "m");
  std::filesystem::create_directory(dir.path() / "n");
  dir.write("m/fw.sfl", firmware);
  dir.write("m/SHA256SUMS", std::string(64, 'a') + "  fw.sfl\n");
  dir.write("n/fw.sfl", firmware);
  const std::string head = "[Station]\nFirmware=fw.sfl\n[Beds]\n";
  const std::string bed = "A=/dev/ttyUSB0\n";
  struct Case {
    const char* name;
    std::string text;  // empty: no file at all
    std::string says;  // after the file's path
  };
  const Case cases[] = {
      {"absent", "", " cannot be read: no such file"},
      {"broken line", head + bed + "garbage\n", ", line 5: 'garbage' is neither"},
      {"key before a section", "Firmware=fw.sfl\n" + head + bed, ", line 1: 'Firmware=fw.sfl' is neither"},
      {"unknown section", head + bed + "[Extra]\n", ", line 5: a station file has no section [Extra]"},
      {"unknown key", "[Station]\nFirmware=fw.sfl\nSpeed=9600\n[Beds]\n" + bed, ", line 3: [Station] has no key Speed"},
      {"unknown cable", "[Station]\nFirmware=fw.sfl\nCable=QAP-9\n[Beds]\n" + bed,
       ", line 3: Cable=QAP-9 is not a value the station takes (QAP-8 or QAP-10)."},
      {"speed the cable lacks", "[Station]\nFirmware=fw.sfl\nCable=QAP-10\nBaud=9600\n[Beds]\n" + bed,
       ", line 4: Baud=9600 is not a value the station takes (38400 or 115200 with QAP-10)."},
      {"speed not a number", "[Station]\nFirmware=fw.sfl\nBaud=fast\n[Beds]\n" + bed, ", line 3: Baud=fast is not"},
      {"verify not a flag", "[Station]\nFirmware=fw.sfl\nVerify=yes\n[Beds]\n" + bed,
       ", line 3: Verify=yes is not a value the station takes (0 or 1)."},
      {"digest not hex", "[Station]\nFirmware=fw.sfl\nSha256=abc\n[Beds]\n" + bed, ", line 3: Sha256=abc is not"},
      {"digest of 64 with a letter past F", "[Station]\nFirmware=fw.sfl\nSha256=" + std::string(63, '0') + "g\n[Beds]\n" + bed,
       ", line 3: Sha256=" + std::string(63, '0') + "g is not"},
      {"no firmware", "[Station]\nVerify=1\n[Beds]\n" + bed, ": [Station] has no Firmware= line."},
      {"no beds", head, ": [Beds] names no bed"},
      {"bed twice", head + bed + "a=/dev/ttyUSB1\n", ", line 5: the bed 'a' is named twice."},
      {"port twice", head + bed + "B=/dev/ttyUSB0\n", ", line 5: the port /dev/ttyUSB0 is already the port of 'A'."},
      {"port twice through a link",
       head + "A=" + (dir.path() / "p1").string() + "\nB=" + (dir.path() / "p1-link").string() + "\n",
       ", line 5: the port " + (dir.path() / "p1-link").string() + " is already the port of 'A'."},
      {"firmware absent", "[Station]\nFirmware=none.sfl\n[Beds]\n" + bed, ", line 2: the firmware "},
      {"firmware not SFL", "[Station]\nFirmware=bad.sfl\n[Beds]\n" + bed, ", line 2: the firmware "},
      {"record a folder", "[Station]\nFirmware=fw.sfl\nRecord=.\n[Beds]\n" + bed,
       ", line 3: The record file cannot be written."},
      {"digest differs", "[Station]\nFirmware=fw.sfl\nSha256=" + std::string(64, '0') + "\n[Beds]\n" + bed,
       ", line 3: the firmware "},
      {"firmware differs from its manifest", "[Station]\nFirmware=m/fw.sfl\n[Beds]\n" + bed,
       ", line 2: the firmware " + (dir.path() / "m" / "fw.sfl").string() + " cannot be written: The file differs"},
      {"manifest required, none there", "[Station]\nFirmware=n/fw.sfl\nRequireManifest=1\n[Beds]\n" + bed,
       "a manifest is required"},
      // A record line would land in a file of another role.
      {"record is the firmware", "[Station]\nFirmware=fw.sfl\nRecord=fw.sfl\n[Beds]\n" + bed,
       ", line 3: Firmware= and Record= name the same file"},
      {"record is a link to the firmware", "[Station]\nFirmware=fw.sfl\nRecord=fw-link\n[Beds]\n" + bed,
       ", line 3: Firmware= and Record= name the same file"},
      {"record is the station file", "[Station]\nRecord=./station.ini\nFirmware=fw.sfl\n[Beds]\n" + bed,
       ", line 2: the station file and Record= name the same file"},
      {"record is the manifest", "[Station]\nFirmware=m/fw.sfl\nRecord=m/SHA256SUMS\n[Beds]\n" + bed,
       ", line 3: the manifest and Record= name the same file"},
      {"record is a key", "[Station]\nFirmware=fw.sfl\nKeys=k.pub\nRecord=k.pub\n[Beds]\n" + bed,
       ", line 4: Keys= and Record= name the same file"},
      {"a key is the manifest", "[Station]\nFirmware=n/fw.sfl\nKeys=n/SHA256SUMS\n[Beds]\n" + bed,
       ", line 3: the manifest and Keys= name the same file"},
      {"unknown start", "[Station]\nFirmware=fw.sfl\nStart=auto\n[Beds]\n" + bed,
       ", line 3: Start=auto is not a value the station takes (keys, insert, answer or line)."},
      {"poll of no seconds", "[Station]\nFirmware=fw.sfl\nPoll=0\n[Beds]\n" + bed,
       ", line 3: Poll=0 is not a value the station takes (1 to 3600 seconds)."},
      {"unknown line", head + bed + "[A]\nStartLine=ri\n", ", line 6: StartLine=ri is not"},
      {"a bed's section names no bed", head + bed + "[B]\nStart=insert\n",
       ", line 5: a station file has no section [B]"},
      {"a bed's section takes no station key", head + bed + "[A]\nVerify=1\n",
       ", line 6: a bed's section has no key Verify (Start, Poll, StartLine)."},
      {"a bed's key twice", head + bed + "[A]\nStart=insert\nstart=line\n",
       ", line 7: start= is given twice; line 6 gives it first."},
      // The settings layer takes the first, a reader's eye the last: neither.
      {"key twice", "[Station]\nFirmware=fw.sfl\nVerify=1\nfirmware=bad.sfl\n[Beds]\n" + bed,
       ", line 4: firmware= is given twice; line 2 gives it first."},
      {"section twice", head + bed + "[station]\nVerify=1\n",
       ", line 5: the section [station] is given twice; line 1 gives it first."},
      {"NUL in a path", "[Station]\nFirmware=fw.sfl"s + '\0' + "../../other.sfl\n[Beds]\n" + bed,
       ", line 2: a NUL byte has no place in a station file."},
      {"NUL in a port", head + "A=/dev/ttyUSB0"s + '\0' + "junk\n", ", line 4: a NUL byte"},
      {"NUL in a comment", "; by "s + '\0' + "\n" + head + bed, ", line 1: a NUL byte"},
      {"33 beds", head + [] {
         std::string beds;
         for (int i = 0; i < 33; ++i) beds += "B" + std::to_string(i) + "=/dev/ttyUSB" + std::to_string(i) + "\n";
         return beds;
       }(),
       ", line 36: a station has at most 32 beds."},
      {"require-manifest not a flag", "[Station]\nFirmware=fw.sfl\nRequireManifest=yes\n[Beds]\n" + bed,
       ", line 3: RequireManifest=yes is not"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = (dir.path() / "station.ini").string();
    std::filesystem::remove(path);
    if (!c.text.empty()) dir.write("station.ini", c.text);
    StationConfig config;
    CheckedSflFile file;
    TransferFacts facts;
    const std::optional<std::string> problem = ReadStationFile(path, config, file, facts);
    ASSERT_TRUE(problem);
    const std::size_t at = problem->find(path);
    ASSERT_NE(at, std::string::npos) << *problem;
    EXPECT_NE(problem->find(c.says, at + path.size()), std::string::npos) << *problem;
  }
  EXPECT_EQ(test::Slurp((dir.path() / "fw.sfl").string()), firmware);
}

}  // namespace
}  // namespace tarvel
