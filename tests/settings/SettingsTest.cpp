#include "settings/Settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/settings/TempFolder.h"

namespace tarvel {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

TEST(Settings, AbsentFileGivesTheTableDefaults) {
  TempFolder dir;
  const Settings settings(SettingsPathFor(dir.path()));
  EXPECT_EQ(settings.type(), 0);
  EXPECT_EQ(settings.commName(), "COM1");
  EXPECT_EQ(settings.commName2(), "COM3");
  EXPECT_EQ(settings.baudRate(), 38400);
  EXPECT_EQ(settings.sflStart(), "000");
  EXPECT_EQ(settings.sflEnd(), "3FF");
  EXPECT_TRUE(dir.names().empty());
}

TEST(Settings, SettersWriteAtOnceInTheirSections) {
  TempFolder dir;
  Settings settings(SettingsPathFor(dir.path()));
  EXPECT_TRUE(settings.setType(1));
  EXPECT_TRUE(settings.setCommName("/dev/ttyUSB0"));
  EXPECT_TRUE(settings.setCommName2("/dev/ttyUSB1"));
  EXPECT_TRUE(settings.setBaudRate(-115200));
  EXPECT_TRUE(settings.setSflStart("010"));
  EXPECT_TRUE(settings.setSflEnd("7FF"));
  EXPECT_EQ(ReadBytes(settings.path()),
            "[Initialize]\nType=1\nCommName=/dev/ttyUSB0\nCommName2=/dev/ttyUSB1\n"
            "BaudRate=-115200\n\n[SFL]\nStart=010\nEnd=7FF\n");

  // A second owner of the same file sees every change without a reload.
  const Settings other(settings.path());
  EXPECT_EQ(other.type(), 1);
  EXPECT_EQ(other.commName(), "/dev/ttyUSB0");
  EXPECT_EQ(other.commName2(), "/dev/ttyUSB1");
  EXPECT_EQ(other.baudRate(), -115200);
  EXPECT_EQ(other.sflStart(), "010");
  EXPECT_EQ(other.sflEnd(), "7FF");
}

TEST(Settings, TextKeyHoldingItsOwnNameCountsAsAbsent) {
  struct Row {
    const char* file;
    const char* commName;
    const char* commName2;
    const char* sflStart;
    const char* sflEnd;
  };
  const Row rows[] = {
      {"[Initialize]\nCommName=CommName\nCommName2=CommName2\n[SFL]\nStart=Start\nEnd=End\n",
       "COM1", "COM3", "000", "3FF"},
      {"[Initialize]\nCommName=commname\nCommName2=COMMNAME2\n[SFL]\nStart=start\nEnd=END\n",
       "commname", "COMMNAME2", "start", "END"},
      {"[Initialize]\nCommName=\"CommName\"\nCommName2=CommName\n", "COM1", "CommName", "000",
       "3FF"},
      {"[Initialize]\nCommName=\nCommName2=  \n", "", "", "000", "3FF"},
  };
  for (const Row& row : rows) {
    TempFolder dir;
    const Settings settings(SettingsPathFor(dir.path()));
    WriteBytes(settings.path(), row.file);
    EXPECT_EQ(settings.commName(), row.commName) << row.file;
    EXPECT_EQ(settings.commName2(), row.commName2) << row.file;
    EXPECT_EQ(settings.sflStart(), row.sflStart) << row.file;
    EXPECT_EQ(settings.sflEnd(), row.sflEnd) << row.file;
  }
}

TEST(Settings, IntegerKeys) {
  TempFolder dir;
  const Settings settings(SettingsPathFor(dir.path()));
  WriteBytes(settings.path(), "[Initialize]\nBaudRate=fast\nType=1 (QAP-10)\n");
  EXPECT_EQ(settings.baudRate(), 0);  // present but not a number
  EXPECT_EQ(settings.type(), 1);
  WriteBytes(settings.path(), "[Initialize]\nType=-1\n");
  EXPECT_EQ(settings.baudRate(), 38400);
  EXPECT_EQ(settings.type(), -1);
}

TEST(Settings, ManifestKeysAndRule) {
  TempFolder dir;
  const Settings settings(SettingsPathFor(dir.path()));
  EXPECT_TRUE(settings.manifestKeys().empty());
  EXPECT_FALSE(settings.requireManifest());
  WriteBytes(settings.path(), "[Manifest]\nKeys= shop.pub ;/etc/tarvel/maker.pub;;keys/b.pub\nRequireManifest=1\n");
  EXPECT_EQ(settings.manifestKeys(),
            (std::vector<std::string>{dir.path() + "/shop.pub", "/etc/tarvel/maker.pub", dir.path() + "/keys/b.pub"}));
  EXPECT_TRUE(settings.requireManifest());
  WriteBytes(settings.path(), "[Manifest]\nRequireManifest=yes\n");
  EXPECT_FALSE(settings.requireManifest());  // only 1 requires it
}

TEST(Settings, VersionIsRewrittenAtEveryCall) {
  TempFolder dir;
  Settings settings(SettingsPathFor(dir.path()));
  WriteBytes(settings.path(), "[Version]\r\nVersion=Tarvel 1.00\r\n[Initialize]\r\nType=1\r\n");
  ASSERT_TRUE(settings.writeVersion());
  EXPECT_EQ(ReadBytes(settings.path()),
            "[Version]\r\nVersion=Tarvel 1.10\r\n[Initialize]\r\nType=1\r\n");

  // The same text again still replaces the file.
  struct stat first {};
  ASSERT_EQ(::stat(settings.path().c_str(), &first), 0);
  ASSERT_TRUE(settings.writeVersion());
  struct stat second {};
  ASSERT_EQ(::stat(settings.path().c_str(), &second), 0);
  EXPECT_NE(first.st_ino, second.st_ino);
  EXPECT_EQ(settings.type(), 1);
}

TEST(Settings, WritesToAReadOnlyFileFailQuietly) {
  TempFolder dir;
  Settings settings(SettingsPathFor(dir.path()));
  WriteBytes(settings.path(), "[Initialize]\nType=1\n");
  ASSERT_EQ(::chmod(settings.path().c_str(), 0444), 0);
  EXPECT_FALSE(settings.writeVersion());
  EXPECT_FALSE(settings.setType(0));
  EXPECT_EQ(settings.type(), 1);
}

TEST(Settings, PathOfTheSettingsFile) {
  EXPECT_EQ(SettingsPathFor("/home/tech/radios"), "/home/tech/radios/tarvel.ini");
  EXPECT_EQ(SettingsPathFor("/"), "/tarvel.ini");
}

TEST(Settings, StartupDirectoryChoice) {
  const std::string longest = "/" + std::string(kStartDirMaxChars - 1, 'a');
  const std::string tooLong = longest + "b";
  struct Row {
    std::optional<std::string> workingDir;
    std::optional<std::string> executable;
    std::string expected;
  };
  const Row rows[] = {
      {"/home/tech", "/usr/bin/tarvel", "/home/tech"},
      {longest, "/usr/bin/tarvel", longest},
      {tooLong, "/usr/bin/tarvel", "/usr/bin"},
      {std::nullopt, "/opt/tarvel/tarvel", "/opt/tarvel"},
      {tooLong, "/tarvel", "/"},
      {tooLong, tooLong + "/tarvel", "/"},
      {tooLong, std::nullopt, "/"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ChooseStartupDirectory(row.workingDir, row.executable), row.expected)
        << row.workingDir.value_or("(none)").size();
  }

  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  if (std::string(cwd).size() <= kStartDirMaxChars) {
    EXPECT_EQ(StartupDirectory(), cwd);
  }
}

}  // namespace
}  // namespace tarvel
