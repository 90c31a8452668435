#include "settings/ProfileFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "base/AsciiCase.h"
#include "base/FileIo.h"
#include "base/OutputFile.h"

namespace tarvel {

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// What separates folders in a path: Windows takes either slash; elsewhere a
// backslash is part of a name.
#ifdef _WIN32
constexpr std::string_view kSeparators = "/\\";
#else
constexpr std::string_view kSeparators = "/";
#endif

#ifdef TARVEL_PROFILE_WRITE_HOOK
thread_local ProfileWriteHook t_writeHook;

bool StepAllowed(ProfileWriteStep step) { return !t_writeHook || t_writeHook(step); }
#else
constexpr bool StepAllowed(ProfileWriteStep) { return true; }
#endif

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// What the C interface would see of a caller's text.
std::string_view AsCString(std::string_view s) { return s.substr(0, s.find('\0')); }

// Line breaks become spaces rather than cutting the text: a port name with a
// stray line break stays recognisable and can never start a line of its own.
std::string OneLine(std::string_view s) {
  std::string out(AsCString(s));
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string NameOf(std::string_view s) { return std::string(Trim(OneLine(s))); }

struct Line {
  enum class Kind { Other, Section, Key };
  std::size_t start = 0;
  std::size_t contentEnd = 0;  // before "\r\n" or "\n"
  std::size_t end = 0;         // after the line end
  Kind kind = Kind::Other;
  std::string_view name;       // trimmed section or key name
  std::size_t equals = 0;      // key lines: offset of the '='
};

void Classify(std::string_view text, Line& line) {
  std::size_t from = line.start;
  if (from == 0 && text.starts_with(kUtf8Bom)) from = kUtf8Bom.size();
  const std::string_view content = text.substr(from, line.contentEnd - from);
  const std::string_view visible = Trim(content);
  if (visible.empty() || visible.front() == ';') return;
  if (visible.front() == '[') {
    const std::size_t close = visible.rfind(']');
    if (close != npos) {
      line.kind = Line::Kind::Section;
      line.name = Trim(visible.substr(1, close - 1));
      return;
    }
  }
  const std::size_t eq = content.find('=');
  if (eq == npos) return;  // a bare word is no key
  line.kind = Line::Kind::Key;
  line.name = Trim(content.substr(0, eq));
  line.equals = from + eq;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.start = pos;
    const std::size_t nl = text.find('\n', pos);
    if (nl == npos) {
      line.contentEnd = line.end = text.size();
    } else {
      line.end = nl + 1;
      line.contentEnd = (nl > pos && text[nl - 1] == '\r') ? nl - 1 : nl;
    }
    Classify(text, line);
    lines.push_back(line);
    pos = line.end;
  }
  return lines;
}

std::string_view ContentOf(std::string_view text, const Line& line) {
  return text.substr(line.start, line.contentEnd - line.start);
}

std::string_view ValueOf(std::string_view text, const Line& line) {
  return Trim(text.substr(line.equals + 1, line.contentEnd - line.equals - 1));
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Only the first section of a name counts, and within it the first key.
struct Location {
  std::size_t sectionLine = npos;
  std::size_t sectionEnd = npos;  // the next section's line, or the line count
  std::size_t keyLine = npos;
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location at;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == Line::Kind::Section && EqualsNoCase(lines[i].name, section)) {
      at.sectionLine = i;
      break;
    }
  }
  if (at.sectionLine == npos) return at;
  at.sectionEnd = lines.size();
  for (std::size_t i = at.sectionLine + 1; i < lines.size(); ++i) {
    if (lines[i].kind == Line::Kind::Section) {
      at.sectionEnd = i;
      break;
    }
    if (at.keyLine == npos && lines[i].kind == Line::Kind::Key && EqualsNoCase(lines[i].name, key)) {
      at.keyLine = i;
    }
  }
  return at;
}

enum class FileRead { Ok, Absent, Failed };

// The part of a file that is read, at most kProfileHeadBytes (a larger file
// is refused on opening), cut back to the last line end when the file was
// not read whole, so that no line is split; the rest (its tail) is kept byte
// for byte and unread.
struct FileHead {
  std::string text;
  std::uint64_t tailOffset = 0;  // where the tail starts: text.size()
  std::uint64_t fileSize = 0;
  bool hasTail() const { return tailOffset < fileSize; }
};

// Reads from the current position until `size` bytes or the end.
bool ReadFully(int fd, char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    const long long n = fileio::Read(fd, buffer + got, size - got);
    if (n == 0) break;
    if (n < 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// Opens a regular file for reading. Anything else (a folder, a device, a
// pipe) fails rather than blocks.
FileRead OpenProfileFile(const std::string& path, fileio::FileHandle& file, fileio::FileInfo& info) {
  const fileio::OpenResult opened = fileio::OpenRegularFile(path, file, info);
  if (opened == fileio::OpenResult::Failed && errno == ENOENT) return FileRead::Absent;
  // Above the cap the file is left alone, for reading and for writing.
  if (opened != fileio::OpenResult::Opened || info.size > static_cast<std::uint64_t>(kProfileHeadBytes)) {
    file.reset();
    return FileRead::Failed;
  }
  return FileRead::Ok;
}

bool ReadHead(int fd, const fileio::FileInfo& info, FileHead& head) {
  head.fileSize = info.size;
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(info.size, kProfileHeadBytes));
  head.text.resize(wanted);
  std::size_t got = 0;
  if (!ReadFully(fd, head.text.data(), wanted, got)) return false;
  head.text.resize(got);
  if (got < info.size) {
    const std::size_t nl = head.text.rfind('\n');
    head.text.resize(nl == npos ? 0 : nl + 1);
  } else {
    head.fileSize = got;  // a file that shrank meanwhile
  }
  head.tailOffset = head.text.size();
  return true;
}

FileRead ReadRegularFile(const std::string& path, FileHead& head, fileio::FileInfo& info) {
  fileio::FileHandle file;
  const FileRead opened = OpenProfileFile(path, file, info);
  if (opened != FileRead::Ok) return opened;
  return ReadHead(file.get(), info, head) ? FileRead::Ok : FileRead::Failed;
}

std::string_view LineEndOf(std::string_view text) {
  const std::size_t nl = text.find('\n');
  return (nl != npos && nl > 0 && text[nl - 1] == '\r') ? "\r\n" : "\n";
}

bool IsBlankLine(std::string_view text, const Line& line) {
  return Trim(ContentOf(text, line)).empty();
}

// A new section at the end of `text`, a blank line apart from what is there.
void AppendSection(std::string& out, std::string_view text, std::string_view eol,
                   const std::string& section, const std::string& key, const std::string& value) {
  if (!text.empty()) {
    if (text.back() != '\n') out.append(eol);
    if (!IsBlankLine(text, SplitLines(text).back())) out.append(eol);
  }
  out.append("[").append(section).append("]").append(eol);
  out.append(key).append("=").append(value).append(eol);
}

// The file's head `text` with `key` set; every other byte stays where it
// was. A file with a tail after its head gets a new section where it is read
// back: before the head's first section, so that no line changes its
// section, or at the file's start when the head has none.
std::string Updated(std::string_view text, const std::string& section, const std::string& key,
                    const std::string& value, bool hasTail) {
  const std::vector<Line> lines = SplitLines(text);
  const Location at = Find(lines, section, key);
  const std::string_view eol = LineEndOf(text);
  std::string out;
  out.reserve(text.size() + section.size() + key.size() + value.size() + 8);

  if (at.keyLine != npos) {
    // Keep the key's own spelling and spacing up to the value.
    const Line& line = lines[at.keyLine];
    std::size_t valueStart = line.equals + 1;
    while (valueStart < line.contentEnd && (text[valueStart] == ' ' || text[valueStart] == '\t')) {
      ++valueStart;
    }
    if (valueStart == line.contentEnd) valueStart = line.equals + 1;
    out.append(text.substr(0, valueStart)).append(value).append(text.substr(line.contentEnd));
    return out;
  }

  if (at.sectionLine != npos) {
    // After the section's last non-blank line, so that blank lines between
    // sections stay between them.
    std::size_t anchor = at.sectionLine;
    for (std::size_t i = at.sectionLine + 1; i < at.sectionEnd; ++i) {
      if (!IsBlankLine(text, lines[i])) anchor = i;
    }
    const Line& line = lines[anchor];
    out.append(text.substr(0, line.end));
    if (line.end == line.contentEnd) out.append(eol);  // the file's last line had no line end
    out.append(key).append("=").append(value).append(eol);
    out.append(text.substr(line.end));
    return out;
  }

  const auto firstSection = std::find_if(lines.begin(), lines.end(),
                                         [](const Line& line) { return line.kind == Line::Kind::Section; });
  if (hasTail) {
    const std::size_t at = firstSection == lines.end() ? 0 : firstSection->start;
    out.append(text.substr(0, at));
    out.append("[").append(section).append("]").append(eol);
    out.append(key).append("=").append(value).append(eol).append(eol);
    out.append(text.substr(at));
    return out;
  }
  out.append(text);
  AppendSection(out, text, eol, section, key, value);
  return out;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A settings file reached through symbolic links is replaced at the end of
// the chain, so that every link survives; a link whose target does not exist
// yet creates it. Relative targets count from their link's folder. Empty for
// a chain that does not end.
std::string WriteTarget(const std::string& path) {
  std::string target;
  return fileio::ResolveLinks(path, target) ? target : std::string();
}

// Copies the original's bytes from `offset` to its end into `out`.
bool CopyTail(int in, std::uint64_t offset, int out) {
  if (fileio::Seek(in, offset) < 0) return false;
  std::vector<char> buffer(std::size_t{64} * 1024);
  for (;;) {
    std::size_t got = 0;
    if (!ReadFully(in, buffer.data(), buffer.size(), got)) return false;
    if (got == 0) return true;
    if (!fileio::WriteAll(out, std::string_view(buffer.data(), got))) return false;
  }
}

bool ReplaceFile(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value) {
  const std::string target = WriteTarget(path);
  if (target.empty()) return false;

  if (!StepAllowed(ProfileWriteStep::ReadOriginal)) return false;
  FileHead head;
  fileio::FileInfo original;
  fileio::FileHandle originalFile;
  const FileRead read = OpenProfileFile(target, originalFile, original);
  if (read == FileRead::Failed) return false;
  const bool existed = read == FileRead::Ok;
  if (existed && !ReadHead(originalFile.get(), original, head)) return false;
  // A file without any write permission bit is read-only for everybody, the
  // administrator included, as a read-only file attribute would be.
  if (existed && !fileio::CanWrite(target)) return false;
  const std::string content = Updated(head.text, section, key, value, head.hasTail());

  // The new file takes the original's owner and mode as far as the user may
  // give them (only the administrator may hand a file to another owner);
  // a first file gets the mode the umask leaves.
  OutputFile temp;
  OutputError error;
  if (!StepAllowed(ProfileWriteStep::CreateTemp) || !temp.open(target, {}, error)) return false;

  if (!StepAllowed(ProfileWriteStep::WriteTemp)) {
    temp.write(std::string_view(content).substr(0, content.size() / 2), error);
    return false;
  }
  if (!temp.write(content, error)) return false;
  if (head.hasTail() && !CopyTail(originalFile.get(), head.tailOffset, temp.fd())) return false;
  // Windows replaces no file that is still open.
  originalFile.close();

  if (!StepAllowed(ProfileWriteStep::SetMode)) return false;
  temp.setStepCheck([](OutputStep step) {
    switch (step) {
      case OutputStep::Sync: return StepAllowed(ProfileWriteStep::SyncTemp);
      case OutputStep::Close: return StepAllowed(ProfileWriteStep::CloseTemp);
      case OutputStep::Rename: return StepAllowed(ProfileWriteStep::Rename);
    }
    return true;
  });
  if (!temp.commit(error)) return false;
  fileio::SyncFolder(DirectoryOf(target));
  return true;
}

// The leading integer as the system's string-to-integer conversion reads it:
// blanks and control characters, a sign, a lower-case base prefix ("0x",
// "0o", "0b"), then digits of that base; unsigned 32-bit arithmetic, so an
// overflow wraps instead of failing.
int ParseLeadingInt(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  unsigned base = 10;
  if (i + 1 < s.size() && s[i] == '0') {
    switch (s[i + 1]) {
      case 'x': base = 16; i += 2; break;
      case 'o': base = 8; i += 2; break;
      case 'b': base = 2; i += 2; break;
      default: break;
    }
  }
  std::uint32_t total = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'z') {
      digit = static_cast<unsigned>(c - 'a') + 10;
    } else if (c >= 'A' && c <= 'Z') {
      digit = static_cast<unsigned>(c - 'A') + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    total = total * base + digit;
  }
  if (negative) total = 0u - total;
  return static_cast<int>(total);  // modulo 2^32 since C++20
}

}  // namespace

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
  std::string_view fallback = AsCString(defaultValue);
  while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) {
    fallback.remove_suffix(1);
  }
  std::string result(fallback.substr(0, kProfileValueMaxChars));

  const std::string sectionName = NameOf(section);
  const std::string keyName = NameOf(key);
  if (keyName.empty()) return result;
  FileHead head;
  fileio::FileInfo info;
  if (ReadRegularFile(path, head, info) != FileRead::Ok) return result;
  const std::string_view text = head.text;
  const std::vector<Line> lines = SplitLines(text);
  const Location at = Find(lines, sectionName, keyName);
  if (at.keyLine == npos) return result;
  result = Unquote(ValueOf(text, lines[at.keyLine])).substr(0, kProfileValueMaxChars);
  return result;
}

int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int defaultValue) {
  const std::string value = ReadProfileString(path, section, key, "");
  if (value.empty()) return defaultValue;
  return ParseLeadingInt(value);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  const std::string sectionName = NameOf(section);
  const std::string keyName = NameOf(key);
  // Names that would read back as another line's syntax are refused.
  if (sectionName.empty() || sectionName.find(']') != std::string::npos) return false;
  if (keyName.empty() || keyName.find('=') != std::string::npos || keyName.front() == '[' ||
      keyName.front() == ';') {
    return false;
  }
  return ReplaceFile(path, sectionName, keyName, OneLine(value));
}

bool WriteProfileInt(const std::string& path, std::string_view section, std::string_view key,
                     int value) {
  return WriteProfileString(path, section, key, std::to_string(value));
}

bool ProfileFileTooLarge(const std::string& path) {
  fileio::FileInfo info;
  return fileio::StatPath(path, info) == 0 && info.regular &&
         info.size > static_cast<std::uint64_t>(kProfileHeadBytes);
}

#ifdef TARVEL_PROFILE_WRITE_HOOK
void SetProfileWriteHookForTest(ProfileWriteHook hook) { t_writeHook = std::move(hook); }
#endif

namespace {

// The value of a key line without its comment: from a ';' that follows a
// blank (past a quoted value's closing quote), then trimmed.
std::string_view WithoutComment(std::string_view raw) {
  std::size_t from = 0;
  const std::string_view trimmed = Trim(raw);
  if (!trimmed.empty() && (trimmed.front() == '"' || trimmed.front() == '\'')) {
    const std::size_t open = raw.find(trimmed.front());
    const std::size_t close = raw.find(trimmed.front(), open + 1);
    if (close != npos) from = close + 1;
  }
  for (std::size_t i = std::max<std::size_t>(from, 1); i < raw.size(); ++i) {
    if (raw[i] == ';' && (raw[i - 1] == ' ' || raw[i - 1] == '\t')) return Trim(raw.substr(0, i));
  }
  return trimmed;
}

}  // namespace

ProfileListing ListProfileLines(const std::string& path, std::vector<ProfileLine>& out) {
  out.clear();
  FileHead head;
  fileio::FileInfo info;
  switch (ReadRegularFile(path, head, info)) {
    case FileRead::Absent: return ProfileListing::Absent;
    case FileRead::Failed: return ProfileListing::Failed;
    case FileRead::Ok: break;
  }
  std::string section;
  int number = 0;
  for (const Line& line : SplitLines(head.text)) {
    ++number;
    ProfileLine entry;
    entry.number = number;
    entry.nul = ContentOf(head.text, line).find('\0') != npos;
    switch (line.kind) {
      case Line::Kind::Section:
        section = std::string(line.name);
        entry.kind = ProfileLine::Kind::Section;
        entry.key = section;
        break;
      case Line::Kind::Key:
        entry.kind = ProfileLine::Kind::Key;
        entry.key = std::string(line.name);
        entry.value = std::string(Unquote(
            WithoutComment(std::string_view(head.text).substr(line.equals + 1, line.contentEnd - line.equals - 1))));
        break;
      case Line::Kind::Other: {
        std::string_view visible = ContentOf(head.text, line);
        if (number == 1 && visible.starts_with(kUtf8Bom)) visible.remove_prefix(kUtf8Bom.size());
        visible = Trim(visible);
        if ((visible.empty() || visible.front() == ';') && !entry.nul) continue;
        entry.value = std::string(visible);
        break;
      }
    }
    entry.section = section;
    out.push_back(std::move(entry));
  }
  return ProfileListing::Ok;
}

}  // namespace tarvel
