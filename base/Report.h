// The success report of a write or a read: the string-table text, the
// elapsed time without hours, and the 16-bit sum in four hex digits.
#pragma once

#include <cstdint>
#include <string>

#include "base/Strings.h"

namespace tarvel {

// "%d min %d sec %d ms"; whole hours are dropped, as the report always did.
std::string FormatElapsed(std::uint32_t elapsedMs);

// The text of `title`, two line feeds, the elapsed time, two line feeds,
// "Check SUM is " and the sum as "%04X".
std::string FormatReport(StringId title, std::uint32_t elapsedMs, std::uint16_t sum);

std::string FormatHex4(std::uint16_t value);

}  // namespace tarvel
