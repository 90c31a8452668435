#include "service/Converters.h"

#include "converters/ConverterApi.h"

namespace tarvel {

static_assert(kFlashBlockRecordBytes == TARVEL_BLOCK_RECORD_BYTES);

namespace {

bool HasExport(const char* fileName, const char* exportName, const ConverterSearch& search) {
  ConverterLibrary library(fileName, search);
  return library.find(exportName) != nullptr;
}

// The version text copied out before the library goes.
std::optional<std::string> VersionText(const char* fileName, const char* exportName,
                                       const ConverterSearch& search) {
  ConverterLibrary library(fileName, search);
  const auto verInfo = library.function<VelmarVerInfoFn>(exportName);
  if (!verInfo) return std::nullopt;
  const char* text = verInfo();
  return std::string(text ? text : "");
}

}  // namespace

ConverterPresence ProbeConverters(const ConverterSearch& search) {
  ConverterPresence presence;
  presence.hexToSfl = HasExport(kHexConverterLibrary, "Velmar_Prc", search);
  presence.flashImage = HasExport(kFlashConverterLibrary, "Oxbrin_Prc", search);
  return presence;
}

ConverterVersionTexts ConverterVersions(const ConverterSearch& search) {
  return {VersionText(kHexConverterLibrary, "Velmar_VerInfo", search),
          VersionText(kFlashConverterLibrary, "Oxbrin_VerInfo", search)};
}

ConversionResult ConvertHexToSfl(const HexConversion& conversion, const ConverterSearch& search) {
  ConversionResult result;
  ConverterLibrary library(kHexConverterLibrary, search);
  const auto prc = library.function<VelmarPrcFn>("Velmar_Prc");
  if (!prc) {
    result.reason = library.error();
    return result;
  }
  result.converterFound = true;
  result.succeeded = prc(conversion.hexPath.c_str(), conversion.sflName.c_str(), conversion.firstBlock,
                         conversion.lastBlock, conversion.productName.c_str(), conversion.firmVersion.c_str()) != 0;
  if (!result.succeeded) {
    // Optional: a converter without it just gives no reason.
    if (const auto lastError = library.function<VelmarLastErrorFn>("Velmar_LastError")) {
      const char* text = lastError();
      if (text) result.reason = text;
    }
  }
  return result;
}

FlashImageConverter::FlashImageConverter(const ConverterSearch& search)
    : library_(kFlashConverterLibrary, search), prc_(library_.function<OxbrinPrcFn>("Oxbrin_Prc")) {}

FlashImageConverter::~FlashImageConverter() {
  // The library stays loaded until the program ends.
  if (prc_) library_.release();
}

int FlashImageConverter::addBlock(const std::string& outputPath,
                                  std::span<const std::uint8_t, kFlashBlockRecordBytes> record) {
  if (!prc_) return 0;
  return prc_(outputPath.c_str(), record.data());
}

}  // namespace tarvel

namespace tarvel {

std::string FlashImageConverter::lastError() {
  const auto lastError = library_.function<OxbrinLastErrorFn>("Oxbrin_LastError");
  const char* text = lastError ? lastError() : nullptr;
  return text ? text : "";
}

bool ConverterBlockSink::load(std::string& reason) {
  converter_ = std::make_unique<FlashImageConverter>(search_);
  if (converter_->available()) return true;
  reason = converter_->error();
  return false;
}

int ConverterBlockSink::addBlock(const std::string& outputPath,
                                 std::span<const std::uint8_t, kFlashBlockRecordBytes> record) {
  return converter_ ? converter_->addBlock(outputPath, record) : 0;
}

std::string ConverterBlockSink::lastError() { return converter_ ? converter_->lastError() : std::string(); }

}  // namespace tarvel
