// `tarvel-cli convert FILE.hex`: the window's HEX-to-SFL command with its
// panel's texts given as options, through the same converter library.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "base/OutputFile.h"
#include "base/FileIo.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "run/ExitCodes.h"
#include "cli/TerminalMessages.h"
#include "firmware/WriteProcedure.h"
#include "service/Converters.h"
#include "service/SflConversion.h"

namespace tarvel::cli {

namespace {

namespace fs = std::filesystem;

// Ranges named in the warning; the JSON object has them all.
constexpr std::size_t kRangesNamed = 8;

struct ConvertOptions {
  std::string hexPath;
  std::string output;
  std::string startBlock = "000";
  std::string endBlock = "3FF";
  std::string productName;
  std::string firmVersion;
  bool force = false;
  bool json = false;
};

// Unlike the window's fields, an option is checked: a script's typo should
// not become block 0.
std::string CheckBlockText(const std::string& text) {
  if (text.empty() || text.size() > 3) return std::string(LoadString(StringId::InvalidBlockText));
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::string(LoadString(StringId::InvalidBlockText));
  }
  return {};
}

std::string VersionLine(const char* library, const std::optional<std::string>& version) {
  return std::string(library) + ": " + (version ? *version : "not found");
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%05llX", static_cast<unsigned long long>(value));
  return text;
}

// A relative --output is taken from the working folder, as with every other
// command; without --output the SFL file goes beside the HEX file.
std::string OutputPath(const ConvertOptions& options) {
  if (options.output.empty()) {
    // No name left (".hex"): the converter refuses the empty name.
    const std::string name = DefaultSflName(options.hexPath);
    return name.empty() ? name : fileio::TextOf(fileio::PathOf(options.hexPath).parent_path() / fileio::PathOf(name));
  }
  std::error_code error;
  const fs::path absolute = fs::absolute(fileio::PathOf(options.output), error);
  return error ? options.output : fileio::TextOf(absolute);
}

void WarnAboutDroppedData(const std::vector<AddressRange>& dropped, const ConvertOptions& options, Json& fields) {
  Json ranges = Json::array();
  std::string named;
  for (std::size_t i = 0; i < dropped.size(); ++i) {
    ranges.push_back({{"first", dropped[i].first}, {"last", dropped[i].last}});
    if (i < kRangesNamed) named += (i ? ", " : "") + Hex(dropped[i].first) + "-" + Hex(dropped[i].last);
  }
  if (dropped.size() > kRangesNamed) named += " and " + std::to_string(dropped.size() - kRangesNamed) + " more";
  fields["dropped"] = ranges;
  if (dropped.empty()) return;
  // Cutting a range can be intended: a warning, not a failure.
  const std::string warning =
      FormatString(StringId::DataOutsideDropped, {FormatBlockCounter(ParseBlockText(options.startBlock)),
                                                  FormatBlockCounter(ParseBlockText(options.endBlock)), named});
  std::fprintf(stderr, "%s\n", warning.c_str());
}

int RunConvert(const ConvertOptions& options) {
  CommandRun run("convert", {options.json, {}});
  RunResult& result = run.result();
  HexConversion conversion;
  conversion.hexPath = options.hexPath;
  conversion.sflName = OutputPath(options);
  conversion.firstBlock = ParseBlockText(options.startBlock);
  conversion.lastBlock = ParseBlockText(options.endBlock);
  conversion.productName = options.productName;
  conversion.firmVersion = options.firmVersion;
  Json& fields = result.fields;
  fields["file"] = options.hexPath;
  fields["output"] = conversion.sflName;
  fields["start_block"] = FormatBlockCounter(conversion.firstBlock);
  fields["end_block"] = FormatBlockCounter(conversion.lastBlock);
  // A FIFO or a device as the output, or the HEX file itself, is a usage
  // error; the converter would refuse it too, but only as a failed conversion.
  OutputError refusal;
  if (!conversion.sflName.empty() && !CheckOutputPath(conversion.sflName, {options.hexPath}, refusal)) {
    run.fail(kExitUsage, std::string(LoadString(RefusalMessage(refusal.problem))), refusal.text);
    return run.finish();
  }
  std::error_code error;
  if (!options.force && fs::exists(fs::symlink_status(fileio::PathOf(conversion.sflName), error))) {
    run.fail(kExitUsage, FormatString(StringId::OutputExists, {conversion.sflName}));
    return run.finish();
  }

  const ConversionResult converted = ConvertHexToSfl(conversion);
  TerminalMessages messages(!options.json);
  if (!converted.succeeded) {
    messages.showMessage(StringId::ConversionFailed, MessageIcon::Stop, converted.reason);
    result.exitCode = kExitConversion;
    result.message = TerminalText(LoadString(StringId::ConversionFailed));
    result.detail = converted.reason;
    return run.finish();
  }
  WarnAboutDroppedData(HexDataOutsideBlocks(options.hexPath, conversion.firstBlock, conversion.lastBlock), options,
                       fields);
  // The message ends in a blank: the output's name completes the line.
  result.message = TerminalText(LoadString(StringId::ConversionSucceeded)) + conversion.sflName;
  if (!options.json) std::printf("%s\n", result.message.c_str());
  return run.finish();
}

}  // namespace

std::string ProgramAndConverterVersions() {
  const ConverterVersionTexts versions = ConverterVersions();
  return std::string(LoadString(StringId::Version)) + "\n" + VersionLine(kHexConverterLibrary, versions.hexToSfl) +
         "\n" + VersionLine(kFlashConverterLibrary, versions.flashImage);
}

void AddConvertCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* command = app.add_subcommand("convert", "Convert an Intel-HEX file into an SFL file");
  command->add_option("file", options->hexPath, "The Intel-HEX file")->required();
  command->add_option("-o,--output", options->output,
                      "The SFL file, from the working folder (default: beside the HEX file, its name with .sfl)");
  command->add_flag("--force", options->force, "Replace the output file when it exists");
  command->add_option("--start-block,--start", options->startBlock, "First block, three hex digits")
      ->check(CheckBlockText)
      ->default_str("000");
  command->add_option("--end-block,--end", options->endBlock, "Last block, three hex digits")
      ->check(CheckBlockText)
      ->default_str("3FF");
  command->add_option("--product", options->productName, "Product name for the file's comment");
  command->add_option("--firm-version", options->firmVersion, "Firmware version for the file's comment");
  AddJsonFlag(*command, options->json);
  command->callback([options, &exitCode] { exitCode = RunConvert(*options); });
}

}  // namespace tarvel::cli
