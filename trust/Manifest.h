// The manifest of a firmware folder: SHA256SUMS in sha256sum's format, one
// digest and file name a line, so that `sha256sum -c` checks it too.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace tarvel {

inline constexpr std::string_view kManifestName = "SHA256SUMS";
inline constexpr std::string_view kSignatureName = "SHA256SUMS.minisig";

struct ParsedManifest {
  std::map<std::string, std::string> digests;  // file name -> 64 lower-case hex digits
  int skippedLines = 0;                        // neither a digest line nor blank
};

// "HEX  NAME" (text mode) and "HEX *NAME" (binary mode), with any run of
// blanks between, CR LF line ends, "./" before the name and sha256sum's
// backslash escapes. A name given twice keeps its last digest.
ParsedManifest ParseManifest(std::string_view text);

// The manifest's text for `digests` (name -> hex), sorted by name as
// sha256sum would write them one by one; names with a line break or a
// backslash are escaped as sha256sum does.
std::string FormatManifest(const std::map<std::string, std::string>& digests);

}  // namespace tarvel
