// The program's four uses of the converter libraries: the start-up probe,
// the version texts of the about box, one HEX-to-SFL conversion, and the
// flash read, after which the flash converter stays loaded. A library that
// loads but lacks the export a use needs counts as missing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <memory>
#include <string>
#include <utility>

#include "firmware/FlashRead.h"
#include "formats/FlashBlock.h"
#include "service/ConverterLibrary.h"

namespace tarvel {

struct ConverterPresence {
  bool hexToSfl = false;    // libtesmol.so with Velmar_Prc
  bool flashImage = false;  // liboxbrin.so with Oxbrin_Prc
};

// Start-up in service mode: which converters can be loaded with their
// working export. Both are unloaded again at once.
ConverterPresence ProbeConverters(const ConverterSearch& search = ProgramConverterSearch());

struct ConverterVersionTexts {
  // Nothing when the library or its version export is missing; an empty
  // text when the export gives a null pointer.
  std::optional<std::string> hexToSfl;
  std::optional<std::string> flashImage;
};

// The about box: each library loaded, its version text copied, the library
// unloaded. Read afresh at each call.
ConverterVersionTexts ConverterVersions(const ConverterSearch& search = ProgramConverterSearch());

struct HexConversion {
  std::string hexPath;
  std::string sflName;  // as typed: a name without a folder goes beside the HEX file
  std::uint16_t firstBlock = 0;
  std::uint16_t lastBlock = 0;
  std::string productName;
  std::string firmVersion;
};

struct ConversionResult {
  bool succeeded = false;
  bool converterFound = false;  // false: the library or Velmar_Prc is missing
  // On failure: why the library could not be used, or the converter's own
  // reason when it gives one (may be empty).
  std::string reason;
};

// One conversion: libtesmol.so loaded, Velmar_Prc called once, the library
// unloaded right after the call.
ConversionResult ConvertHexToSfl(const HexConversion& conversion,
                                 const ConverterSearch& search = ProgramConverterSearch());

// The flash read's converter. Loaded at the start of every read and never
// unloaded: the library stays in the process after the read is over, and
// the next read's load finds it there.
class FlashImageConverter {
 public:
  explicit FlashImageConverter(const ConverterSearch& search = ProgramConverterSearch());
  ~FlashImageConverter();
  FlashImageConverter(const FlashImageConverter&) = delete;
  FlashImageConverter& operator=(const FlashImageConverter&) = delete;

  // The library and Oxbrin_Prc were found.
  bool available() const { return prc_ != nullptr; }
  // Why not, when not available.
  const std::string& error() const { return library_.error(); }
  // Oxbrin_Prc's result: nonzero when the block was appended to the file.
  // 0 when the converter is not available.
  int addBlock(const std::string& outputPath, std::span<const std::uint8_t, kFlashBlockRecordBytes> record);
  // Why the last addBlock returned 0, from the optional Oxbrin_LastError.
  std::string lastError();

 private:
  ConverterLibrary library_;
  int (*prc_)(const char*, const unsigned char*) = nullptr;
};

// The real sink: liboxbrin.so from `search`, which stays loaded after the read.
class ConverterBlockSink final : public BlockSink {
 public:
  explicit ConverterBlockSink(ConverterSearch search = ProgramConverterSearch()) : search_(std::move(search)) {}
  bool load(std::string& reason) override;
  int addBlock(const std::string& outputPath, std::span<const std::uint8_t, kFlashBlockRecordBytes> record) override;
  std::string lastError() override;

 private:
  ConverterSearch search_;
  std::unique_ptr<FlashImageConverter> converter_;
};

}  // namespace tarvel
