// `tarvel-cli convert FILE.hex`: the window's HEX-to-SFL command with its
// panel's texts given as options, through the same converter library.
#include <cctype>
#include <memory>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalMessages.h"
#include "service/Converters.h"
#include "service/SflConversion.h"

namespace tarvel::cli {

namespace {

// The command line has no settings file to keep START and END in, and no
// cursor to change.
class TerminalConvUi final : public SflConvUi {
 public:
  void storeBlockTexts(const std::string&, const std::string&) override {}
};

// Unlike the window's fields, an option is checked: a script's typo should
// not become block 0.
std::string CheckBlockText(const std::string& text) {
  if (text.empty() || text.size() > 3) return "a block is one to three hex digits, 000 to FFF";
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return "a block is one to three hex digits, 000 to FFF";
  }
  return {};
}

std::string VersionLine(const char* library, const std::optional<std::string>& version) {
  return std::string(library) + ": " + (version ? *version : "not found");
}

}  // namespace

std::string ProgramAndConverterVersions() {
  const ConverterVersionTexts versions = ConverterVersions();
  return std::string(LoadString(StringId::Version)) + "\n" + VersionLine(kHexConverterLibrary, versions.hexToSfl) +
         "\n" + VersionLine(kFlashConverterLibrary, versions.flashImage);
}

void AddConvertCommand(CLI::App& app, int& exitCode) {
  struct Options {
    std::string hexPath;
    SflConvTexts texts{"", "000", "3FF", "", ""};
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand("convert", "Convert an Intel-HEX file into an SFL file");
  command->add_option("file", options->hexPath, "The Intel-HEX file")->required();
  command->add_option("--output", options->texts.sflName,
                      "The SFL file; a name without a folder goes beside the HEX file (default: its name with .sfl)");
  command->add_option("--start", options->texts.startBlock, "First block, three hex digits")
      ->check(CheckBlockText)
      ->default_str("000");
  command->add_option("--end", options->texts.endBlock, "Last block, three hex digits")
      ->check(CheckBlockText)
      ->default_str("3FF");
  command->add_option("--product", options->texts.productName, "Product name for the file's comment");
  command->add_option("--firm-version", options->texts.firmVersion, "Firmware version for the file's comment");
  command->callback([options, command, &exitCode] {
    if (command->count("--output") == 0) options->texts.sflName = DefaultSflName(options->hexPath);
    TerminalConvUi ui;
    TerminalMessages messages;
    exitCode = RunSflConversion(options->hexPath, options->texts, ui, messages) ? kExitOk : kExitConversion;
  });
}

}  // namespace tarvel::cli
