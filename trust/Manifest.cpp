#include "trust/Manifest.h"

#include "base/AsciiCase.h"
#include "base/Sha256.h"

namespace tarvel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// sha256sum writes "\\" and "\n" in a name, and marks such a line with a
// leading backslash. False for an escape it never writes.
bool Unescape(std::string_view name, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '\\') {
      out += name[i];
      continue;
    }
    if (++i == name.size()) return false;
    if (name[i] == '\\') {
      out += '\\';
    } else if (name[i] == 'n') {
      out += '\n';
    } else {
      return false;
    }
  }
  return true;
}

bool ParseLine(std::string_view line, std::string& digest, std::string& name) {
  const bool escaped = !line.empty() && line.front() == '\\';
  if (escaped) line.remove_prefix(1);
  std::size_t end = 0;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  if (!IsHexDigest(line.substr(0, end))) return false;
  digest = LowerAsciiText(line.substr(0, end));
  std::size_t start = end;
  while (start < line.size() && IsBlank(line[start])) ++start;
  if (start == end) return false;  // the digest must be followed by a blank
  if (start < line.size() && line[start] == '*') ++start;
  std::string_view raw = line.substr(start);
  if (raw.starts_with("./")) raw.remove_prefix(2);
  if (raw.empty()) return false;
  if (!escaped) {
    name = std::string(raw);
    return true;
  }
  return Unescape(raw, name);
}

}  // namespace

ParsedManifest ParseManifest(std::string_view text) {
  ParsedManifest manifest;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    bool blank = true;
    for (const char c : line) blank = blank && IsBlank(c);
    if (blank) continue;
    std::string digest;
    std::string name;
    if (ParseLine(line, digest, name)) {
      manifest.digests[name] = digest;
    } else {
      ++manifest.skippedLines;
    }
  }
  return manifest;
}

std::string FormatManifest(const std::map<std::string, std::string>& digests) {
  std::string out;
  for (const auto& [name, digest] : digests) {
    std::string written;
    bool escaped = false;
    for (const char c : name) {
      if (c == '\\' || c == '\n') {
        escaped = true;
        written += c == '\\' ? "\\\\" : "\\n";
      } else {
        written += c;
      }
    }
    if (escaped) out += '\\';
    out += digest;
    out += "  ";
    out += written;
    out += '\n';
  }
  return out;
}

}  // namespace tarvel
