#include "service/SflConversion.h"

#include <filesystem>

#include "base/FileIo.h"
#include "formats/IntelHex.h"
#include "formats/SflFile.h"
#include "service/Converters.h"

namespace tarvel {

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::uint16_t ParseBlockText(std::string_view text) {
  unsigned value = 0;
  for (std::size_t i = 0; i < text.size() && i < 3; ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0) break;
    value = value << 4 | static_cast<unsigned>(digit);
  }
  return static_cast<std::uint16_t>(value);
}

std::string DefaultSflName(std::string_view hexFileName) {
  // The system's separators: '/' on Linux, '\\' and '/' on Windows.
  const std::string fileName = fileio::TextOf(fileio::PathOf(std::string(hexFileName)).filename());
  std::string_view name = fileName;
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return name.empty() ? std::string() : std::string(name) + ".sfl";
}

std::vector<AddressRange> HexDataOutsideBlocks(const std::string& hexPath, std::uint16_t firstBlock,
                                               std::uint16_t lastBlock) {
  if (firstBlock > lastBlock) return {};
  std::vector<std::uint8_t> window(static_cast<std::size_t>(lastBlock - firstBlock + 1) * kBlockSize);
  IntelHexParser parser(static_cast<std::uint64_t>(firstBlock) * kBlockSize, window);
  std::string reason;
  if (!ReadIntelHexFile(hexPath, parser, reason)) return {};
  return parser.rangesOutside();
}

std::string SflOutputPath(const std::string& hexPath, const std::string& sflName) {
  if (fileio::PathOf(sflName).has_parent_path()) return sflName;
  return fileio::TextOf(fileio::PathOf(hexPath).parent_path() / fileio::PathOf(sflName));
}

std::optional<std::string> ExistingSflOutput(const std::string& hexPath, const std::string& sflName) {
  if (sflName.empty()) return std::nullopt;
  std::string output = SflOutputPath(hexPath, sflName);
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(fileio::PathOf(output), error))) return std::nullopt;
  return output;
}

bool RunSflConversion(const std::string& hexPath, const SflConvTexts& texts, SflConvUi& ui,
                      MessageDisplay& messages, const ConverterSearch& search) {
  ui.storeBlockTexts(texts.startBlock, texts.endBlock);
  if (const std::optional<std::string> output = ExistingSflOutput(hexPath, texts.sflName)) {
    if (!ui.replaceExisting(*output)) return false;
  }
  HexConversion conversion;
  conversion.hexPath = hexPath;
  conversion.sflName = texts.sflName;
  conversion.firstBlock = ParseBlockText(texts.startBlock);
  conversion.lastBlock = ParseBlockText(texts.endBlock);
  conversion.productName = texts.productName;
  conversion.firmVersion = texts.firmVersion;

  ui.beginWait();
  const ConversionResult result = ConvertHexToSfl(conversion, search);
  ui.endWait();

  if (result.succeeded) {
    messages.showMessage(StringId::ConversionSucceeded, MessageIcon::Information);
  } else {
    messages.showMessage(StringId::ConversionFailed, MessageIcon::Stop, result.reason);
  }
  return result.succeeded;
}

}  // namespace tarvel
