// Case in ASCII only: 'A'..'Z' and 'a'..'z' change, every other byte (a
// UTF-8 sequence's too) stays as it is, and no locale takes part. Names in
// files and on the command line (settings keys, cable names, extensions,
// vendor ids, digests) compare this way on every system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvel {

constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string LowerAsciiText(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

// Equal texts without regard to ASCII case.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// `text` ends with `tail` without regard to ASCII case.
constexpr bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

}  // namespace tarvel
