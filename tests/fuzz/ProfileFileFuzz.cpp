// The settings-file layer on any file content: reads of a few keys, then a
// write, checked against what ProfileFile.h promises: the value reads back
// as written (CR and LF as spaces, blanks around it and a pair of matching
// quotes dropped, cut to kProfileValueMaxChars), every other line keeps its
// bytes, every other key its value, and a refused write changes nothing.
//
// The write may also be made to fail at one of its steps (the test seam of
// ProfileFile.h, in builds with TARVEL_TEST_SEAMS): then it returns false
// and the file is as it was.
//
// Input: one byte choosing the failing step (its value modulo 16 below
// kProfileWriteStepCount; none otherwise), section, key and value as
// FuzzedDataProvider strings (each ended by a backslash and another
// character; a doubled backslash is one), then the file's content. An empty
// content means no file at all.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/ProfileFile.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using namespace tarvel;
using tarvel::fuzz::Expect;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trimmed(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// A caller's text as the file layer takes it: a C string on one line.
std::string OneLine(std::string_view s) {
  std::string out(s.substr(0, s.find('\0')));
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string Name(std::string_view s) { return Trimmed(OneLine(s)); }

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string ExpectedValue(std::string_view value) {
  std::string v = Trimmed(OneLine(value));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v.substr(0, kProfileValueMaxChars);
}

// Lines with their line ends.
std::vector<std::string_view> RawLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t lf = text.find('\n', pos);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return lines;
}

std::string_view LineEnd(std::string_view line) {
  if (line.ends_with("\r\n")) return line.substr(line.size() - 2);
  if (line.ends_with("\n")) return line.substr(line.size() - 1);
  return {};
}

// Two versions of a key line: the same bytes up to and with the '=', the
// same line end.
bool SameKeyLine(std::string_view a, std::string_view b) {
  const std::size_t eq = a.find('=');
  return eq != std::string_view::npos && b.size() > eq && a.substr(0, eq + 1) == b.substr(0, eq + 1) &&
         LineEnd(a) == LineEnd(b);
}

// The new file is the old one with at most one key line's value changed
// and only these lines added: blank lines, "[section]" and "key=value"; the
// old last line may gain a line end.
void CheckOtherLinesKept(std::string_view before, std::string_view after, const std::string& section,
                         const std::string& key, const std::string& value) {
  const std::vector<std::string_view> oldLines = RawLines(before);
  const std::vector<std::string_view> newLines = RawLines(after);
  auto added = [&](std::string_view line) {
    const std::string_view end = LineEnd(line);
    if (end.empty()) return false;
    const std::string_view content = line.substr(0, line.size() - end.size());
    return content.empty() || content == "[" + section + "]" || content == key + "=" + value;
  };
  std::size_t i = 0;
  bool changed = false;
  for (std::string_view line : newLines) {
    const bool lastOld = i + 1 == oldLines.size() && LineEnd(oldLines[i]).empty();
    if (i < oldLines.size() && line == oldLines[i]) {
      ++i;
    } else if (lastOld && line.starts_with(oldLines[i]) &&
               (line.substr(oldLines[i].size()) == "\n" || line.substr(oldLines[i].size()) == "\r\n")) {
      ++i;
    } else if (!changed && i < oldLines.size() && SameKeyLine(oldLines[i], line)) {
      changed = true;
      ++i;
    } else if (!added(line)) {
      if (const char* dump = std::getenv("TARVEL_FUZZ_DUMP")) {
        tarvel::fuzz::WriteWholeFile(std::string(dump) + ".before", before);
        tarvel::fuzz::WriteWholeFile(std::string(dump) + ".after", after);
      }
      tarvel::fuzz::Fail("a line changed or appeared that the write does not explain");
    }
  }
  Expect(i == oldLines.size(), "a line of the file was lost");
}

// Sections and keys of the file, roughly as a reader would see them, so
// that the checks look at keys the input really holds.
std::vector<std::pair<std::string, std::string>> KeysOf(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> keys;
  std::string section;
  for (std::string_view line : RawLines(text)) {
    const std::string visible = Trimmed(line);
    if (visible.starts_with('[') && visible.find(']') != std::string::npos) {
      section = visible.substr(1, visible.rfind(']') - 1);
    } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
      keys.emplace_back(section, std::string(line.substr(0, eq)));
      if (keys.size() == 12) break;
    }
  }
  keys.emplace_back("Initialize", "CommName");
  keys.emplace_back("initialize", "TYPE");
  return keys;
}

// The leading integer as ProfileFile.h describes it; blanks taken as any
// character up to the space, as the system's conversion skips them.
int LeadingInt(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  const bool negative = i < s.size() && s[i] == '-';
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  std::uint32_t base = 10;
  if (s.substr(i).starts_with("0x")) base = 16;
  if (s.substr(i).starts_with("0o")) base = 8;
  if (s.substr(i).starts_with("0b")) base = 2;
  if (base != 10) i += 2;
  std::uint32_t total = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    std::uint32_t digit = 99;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') digit = static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') digit = static_cast<std::uint32_t>(c - 'A' + 10);
    if (digit >= base) break;
    total = total * base + digit;
  }
  return static_cast<int>(negative ? 0u - total : total);
}

tarvel::fuzz::ScratchFolder& Scratch() {
  static tarvel::fuzz::ScratchFolder folder;
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::vector<std::uint8_t> selector = input.ConsumeBytes<std::uint8_t>(1);
  [[maybe_unused]] const int failingStep = selector.empty() ? -1 : selector[0] % 16;  // unused without the hook
  const std::string section = input.ConsumeRandomLengthString(300);
  const std::string key = input.ConsumeRandomLengthString(300);
  const std::string value = input.ConsumeRandomLengthString(6000);
  const std::string content = input.ConsumeRemainingBytesAsString();

  const tarvel::fuzz::ScratchFolder& scratch = Scratch();
  const std::string path = scratch.file("settings.ini");
  ::unlink(path.c_str());
  if (!content.empty()) Expect(tarvel::fuzz::WriteWholeFile(path, content), "cannot write the settings file");

  const auto keys = KeysOf(content);
  std::vector<std::string> valuesBefore;
  std::vector<int> numbersBefore;
  for (const auto& [s, k] : keys) {
    valuesBefore.push_back(ReadProfileString(path, s, k, "\x01none"));
    numbersBefore.push_back(ReadProfileInt(path, s, k, -7));
  }
  const std::string valueBefore = ReadProfileString(path, section, key, "\x01none");

  const std::string sectionName = Name(section);
  const std::string keyName = Name(key);
  const bool namesValid = !sectionName.empty() && sectionName.find(']') == std::string::npos && !keyName.empty() &&
                          keyName.find('=') == std::string::npos && keyName.front() != '[' && keyName.front() != ';';
#ifdef TARVEL_PROFILE_WRITE_HOOK
  const bool injected = failingStep < kProfileWriteStepCount;
  if (injected) {
    SetProfileWriteHookForTest([failingStep](ProfileWriteStep step) { return static_cast<int>(step) != failingStep; });
  }
#else
  const bool injected = false;  // a build without the write hook: every step runs
#endif
  const bool written = WriteProfileString(path, section, key, value);
#ifdef TARVEL_PROFILE_WRITE_HOOK
  if (injected) SetProfileWriteHookForTest({});
#endif
  Expect(written == (namesValid && !injected),
         written ? "a write with refused names or a failing step succeeded" : "a valid write failed");

  std::string after;
  const bool exists = tarvel::fuzz::ReadWholeFile(path, after);
  const std::vector<std::string> entries = scratch.Entries();
  Expect(entries.size() == (exists ? 1u : 0u), "a temporary file was left behind");
  if (!written) {
    Expect(exists == !content.empty() && after == content, "a refused or failed write changed the file");
    Expect(ReadProfileString(path, section, key, "\x01none") == valueBefore, "a refused write changed a value");
    return 0;
  }
  Expect(exists, "the write left no file");

  const std::string readBack = ReadProfileString(path, section, key, "\x01none");
  Expect(readBack == ExpectedValue(value), "the value does not read back as written");
  Expect(ReadProfileInt(path, section, key, -7) == (readBack.empty() ? -7 : LeadingInt(readBack)),
         "the number read differs from the value's leading integer");
  CheckOtherLinesKept(content, after, sectionName, keyName, OneLine(value));

  const std::string writtenAt = Lower(sectionName) + '\0' + Lower(keyName);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto& [s, k] = keys[i];
    if (Lower(Name(s)) + '\0' + Lower(Name(k)) == writtenAt) continue;
    Expect(ReadProfileString(path, s, k, "\x01none") == valuesBefore[i], "another key's value changed");
    Expect(ReadProfileInt(path, s, k, -7) == numbersBefore[i], "another key's number changed");
  }

  // A number written reads back the same, whatever the value before it.
  const int number = static_cast<int>(std::hash<std::string>{}(value));
  Expect(WriteProfileInt(path, section, key, number), "a valid number write failed");
  Expect(ReadProfileInt(path, section, key, -7) == number, "a written number does not read back");
  return 0;
}
