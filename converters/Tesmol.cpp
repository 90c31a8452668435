// libtesmol.so: Intel HEX to SFL.
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/FileIo.h"
#include "base/OutputFile.h"
#include "converters/ConverterApi.h"
#include "formats/IntelHex.h"
#include "converters/SflOutput.h"
#include "formats/SflFile.h"
#include "formats/SflWriter.h"

namespace {

constexpr unsigned kHighestBlock = 0xFFF;
constexpr std::size_t kBlockBytes = tarvel::kBlockSize;

// Fixed size: a thread_local with a destructor would keep the library from
// being unloaded.
thread_local char t_lastError[512];

void SetLastError(const std::string& text) {
  std::snprintf(t_lastError, sizeof t_lastError, "%s", text.c_str());
}

std::string BlockText(unsigned block) {
  char text[8];
  std::snprintf(text, sizeof text, "%03X", block);
  return text;
}

// A name without a folder goes beside the HEX file.
std::string OutputPath(const std::string& hexPath, const std::string& sflName) {
  if (tarvel::fileio::PathOf(sflName).has_parent_path()) return sflName;
  return tarvel::fileio::TextOf(tarvel::fileio::PathOf(hexPath).parent_path() / tarvel::fileio::PathOf(sflName));
}

bool Convert(const char* hexPathText, const char* sflNameText, unsigned firstBlock, unsigned lastBlock,
             const char* productName, const char* firmVersion, std::string& reason) {
  if (!hexPathText || !sflNameText || !productName || !firmVersion) {
    reason = "a text argument is missing";
    return false;
  }
  const std::string hexPath(hexPathText);
  const std::string sflName(sflNameText);
  if (hexPath.empty()) {
    reason = "no HEX file given";
    return false;
  }
  if (sflName.empty()) {
    reason = "no output file name given";
    return false;
  }
  if (firstBlock > lastBlock) {
    reason = "the first block " + BlockText(firstBlock) + " lies above the last block " + BlockText(lastBlock);
    return false;
  }
  if (lastBlock > kHighestBlock) {
    reason = "block " + BlockText(lastBlock) + " lies above the highest block FFF";
    return false;
  }
  const std::string outputPath = OutputPath(hexPath, sflName);
  // Refused before the HEX file is read: a FIFO as output would otherwise
  // only be found after the work.
  tarvel::OutputError refusal;
  if (!tarvel::CheckOutputPath(outputPath, {hexPath}, refusal)) {
    reason = std::string(tarvel::LoadString(tarvel::RefusalMessage(refusal.problem))) + " (" + refusal.text + ")";
    return false;
  }

  const std::size_t blockCount = lastBlock - firstBlock + 1;
  std::vector<std::uint8_t> image(blockCount * kBlockBytes, 0xFF);
  tarvel::IntelHexParser parser(static_cast<std::uint64_t>(firstBlock) * kBlockBytes, image);
  if (!tarvel::ReadIntelHexFile(hexPath, parser, reason)) return false;
  // An image with nothing of the file in it is almost surely a wrong range
  // or a file linked for other addresses; written, it would erase the radio.
  if (parser.bytesInWindow() == 0) {
    char range[96];
    std::snprintf(range, sizeof range, "blocks %03X to %03X (addresses 0x%05X to 0x%05X)", firstBlock, lastBlock,
                  firstBlock * 128u, (lastBlock + 1) * 128u - 1);
    reason = "no data of " + hexPath + " falls within " + range;
    return false;
  }

  std::string text = tarvel::SflHeader(productName, firmVersion);
  text.reserve(text.size() + blockCount * tarvel::kSflRecordBytes);
  for (std::size_t i = 0; i < blockCount; ++i) {
    const std::span<const std::uint8_t, kBlockBytes> data(image.data() + i * kBlockBytes, kBlockBytes);
    text += tarvel::SflRecordLine(static_cast<std::uint16_t>(firstBlock + i), data);
  }
  return tarvel::converters::ReplaceFile(outputPath, text, hexPath, reason);
}

}  // namespace

extern "C" int Velmar_Prc(const char* hexPath, const char* sflName, unsigned short firstBlock,
                          unsigned short lastBlock, const char* productName, const char* firmVersion) {
  t_lastError[0] = '\0';
  // Nothing may leave a C entry point by an exception.
  try {
    std::string reason;
    if (Convert(hexPath, sflName, firstBlock, lastBlock, productName, firmVersion, reason)) return 1;
    SetLastError(reason);
  } catch (...) {
    SetLastError("out of memory");
  }
  return 0;
}

extern "C" const char* Velmar_VerInfo(void) { return "Tesmol 1.00"; }

extern "C" const char* Velmar_LastError(void) { return t_lastError; }
