// Writing SFL text in the layout the progress range assumes: a 378-byte
// header and 263-byte records ("+BBBB " + 256 digits + LF).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "formats/FlashBlock.h"

namespace tarvel {

// Comment lines naming the product and the firmware version, padded with
// blanks to exactly kSflHeaderBytes. A '+' would start a record, so any '+'
// in the texts becomes a blank; texts too long for the header are cut.
std::string SflHeader(std::string_view product, std::string_view firmwareVersion);

// One record line of exactly kSflRecordBytes, upper-case digits.
std::string SflRecordLine(std::uint16_t block, std::span<const std::uint8_t, kBlockSize> data);

}  // namespace tarvel
