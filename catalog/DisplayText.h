// Bytes from files and file names made into text that any display can take.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvel {

// UTF-8 text for `bytes`: ASCII and valid UTF-8 sequences stay as they are;
// every byte that does not belong to a valid sequence is taken as Latin-1
// (so "\xE9" shows as "é"). The result is always valid UTF-8.
std::string DecodeForDisplay(std::string_view bytes);

// The valid UTF-8 sequence at `pos` (shortest form, no surrogates, at most
// U+10FFFF): its length in bytes, and its code point in `codePoint`; 0 when
// the bytes there are not one.
std::size_t DecodeUtf8(std::string_view bytes, std::size_t pos, char32_t& codePoint);

// Appends the UTF-8 form of `codePoint`.
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace tarvel
