// The start both windows share: the settings file in the working
// directory, the report of one too large to use, the version record.
#include "dialog/WindowStart.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog/Globals.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

// Runs in `folder` as the working directory, then goes back.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : before_(fs::current_path()) { fs::current_path(folder); }
  ~InFolder() { fs::current_path(before_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  fs::path before_;
};

std::string Everything(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
  return text;
}

TEST(WindowStart, SettingsFileVersionRecordAndTheReportOfAFileTooLarge) {
  const std::string oversize = "[Initialize]\r\nType=1\r\n" + std::string(1024 * 1024, ';');
  const struct {
    const char* name;
    std::optional<std::string> before;  // none: no tarvel.ini
    std::vector<std::string> arguments;
    const char* argumentText;
    bool tooLarge;
  } rows[] = {
      {"no settings file", std::nullopt, {}, "", false},
      {"a settings file", "[Initialize]\r\nType=1\r\n", {"-qk"}, "-qk", false},
      {"a settings file above 1 MiB", oversize, {"-q", "x"}, "-q x", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    const std::string settingsPath = (dir.path() / "tarvel.ini").string();
    if (row.before) dir.write("tarvel.ini", *row.before);
    std::FILE* errors = std::tmpfile();
    ASSERT_NE(errors, nullptr);
    MainDialogServices services;
    {
      const InFolder in(dir.path());
      PrepareMainWindow(row.arguments, services, errors);
    }
    const std::string reported = Everything(errors);
    std::fclose(errors);

    EXPECT_EQ(g_strStartDir, dir.path().string());
    EXPECT_EQ(services.settingsPath, settingsPath);
    EXPECT_EQ(services.argumentText, row.argumentText);
    const std::string after = test::Slurp(settingsPath);
    if (row.tooLarge) {
      EXPECT_EQ(reported, "tarvel: " + settingsPath +
                              " is larger than 1048576 bytes: it is left as it is, and the settings start from "
                              "their defaults.\n");
      EXPECT_EQ(after, *row.before);
    } else {
      EXPECT_EQ(reported, "");
      EXPECT_NE(after.find("[Version]"), std::string::npos) << after;
      EXPECT_NE(after.find("Version=Tarvel 1.10"), std::string::npos) << after;
      if (row.before) {
        EXPECT_EQ(after.substr(0, row.before->size()), *row.before);
      }
    }
  }
}

}  // namespace
}  // namespace tarvel
