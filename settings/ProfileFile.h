// A small initialisation-file layer: "[Section]" lines, then "Key=Value"
// lines. Sections and keys match without regard to ASCII case, whitespace
// around names and values is ignored, a value in matching single or double
// quotes loses its quotes, and lines whose first visible character is ';'
// are comments. There is no cache: every read reads the file, and every
// write replaces the file at once and atomically, keeping every other line
// byte for byte.
//
// A file larger than kProfileHeadBytes is not read and never written:
// reads give their defaults and writes fail, so that a huge (or sparse)
// file is not copied at every write. A file reached through symbolic links is
// written at the end of the chain, which the first write creates; the links
// stay.
//
// Names and values are taken as C strings: anything from a NUL byte on is
// ignored. A CR or LF inside a section, key or value is written (and looked
// up) as a space, so that no caller's text can start a line of its own.
#pragma once

// windows.h names WriteProfileStringW WriteProfileString; the names here are
// this layer's own.
#ifdef WriteProfileString
#undef WriteProfileString
#endif

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvel {

// Text values are read into a 4096-byte buffer with its terminator: longer
// values are cut to this many characters.
inline constexpr std::size_t kProfileValueMaxChars = 4095;

// The largest settings file that is read or written: 1 MiB.
inline constexpr long kProfileHeadBytes = 1024L * 1024L;

// Whether the file at `path` (through links) is a regular file larger than
// kProfileHeadBytes, which this layer leaves alone.
bool ProfileFileTooLarge(const std::string& path);

// The value of `key` in `section` of the file at `path`, without its quotes,
// cut to kProfileValueMaxChars. An absent file, section or key, or a key
// line without '=', gives `defaultValue` without its trailing blanks.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue);

// The leading integer of the value: optional blanks, an optional sign, then
// decimal digits, or "0x" and hexadecimal digits ("0o" octal and "0b" binary
// likewise; lower-case prefixes only), up to the first other character
// ("12abc" gives 12, "abc" gives 0). An absent key or an empty
// value gives `defaultValue`. Values beyond 32 bits wrap modulo 2^32.
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int defaultValue);

// Sets `key` in `section` to `value`: in place when the key is there (its
// first occurrence in the first such section), otherwise at the end of the
// section, or in a new section at the end of the file, which is created when
// absent. New lines follow the file's own line ends (LF for a new file).
// Returns false, leaving the file as it was, when the file cannot be read
// or replaced (read-only file or folder, full disk, ...), and when the
// section is empty or holds ']', or the key is empty, holds '=' or starts
// with '[' or ';'.
bool WriteProfileString(const std::string& path, std::string_view section,
                        std::string_view key, std::string_view value);

// Writes `value` as signed decimal text.
bool WriteProfileInt(const std::string& path, std::string_view section, std::string_view key,
                     int value);

// Every line of a file that means something, for a reader that must name
// the line it refuses (a key line's section is the one above it; empty
// before the first). A value ends where a comment starts: a ';' after a
// blank, outside the value's quotes ("Keys=a.pub;b.pub  ; two keys").
struct ProfileLine {
  enum class Kind { Section, Key, Broken };  // Broken: neither, nor a comment
  Kind kind = Kind::Broken;
  int number = 0;  // from 1
  std::string section;
  std::string key;    // trimmed; a Section line's name
  std::string value;  // trimmed, without its comment and quotes; a Broken line's text
  // The line holds a NUL byte; listed even when it is a comment, since a
  // name cut at the NUL would open another file.
  bool nul = false;
};
enum class ProfileListing { Ok, Absent, Failed };  // Failed: not a regular file, too large, unreadable
ProfileListing ListProfileLines(const std::string& path, std::vector<ProfileLine>& lines);

// The same operations on one fixed file.
class ProfileFile {
 public:
  explicit ProfileFile(std::string path) : m_strPath(std::move(path)) {}

  const std::string& path() const { return m_strPath; }

  std::string readString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const {
    return ReadProfileString(m_strPath, section, key, defaultValue);
  }
  int readInt(std::string_view section, std::string_view key, int defaultValue) const {
    return ReadProfileInt(m_strPath, section, key, defaultValue);
  }
  bool writeString(std::string_view section, std::string_view key, std::string_view value) const {
    return WriteProfileString(m_strPath, section, key, value);
  }
  bool writeInt(std::string_view section, std::string_view key, int value) const {
    return WriteProfileInt(m_strPath, section, key, value);
  }

 private:
  std::string m_strPath;
};

// The steps of a write, in order. A failure at any of them removes the
// temporary file and leaves the original file untouched.
enum class ProfileWriteStep {
  ReadOriginal,  // read the current file (an absent file reads as empty)
  CreateTemp,    // create the temporary file beside it, with the original's permissions
  WriteTemp,     // write the new content
  SetMode,       // before the flush (the permissions came with CreateTemp)
  SyncTemp,      // flush it to the disk
  CloseTemp,
  Rename,        // put it in the original's place
};
inline constexpr int kProfileWriteStepCount = 7;

#ifdef TARVEL_PROFILE_WRITE_HOOK
// Test seam, only in a build with TARVEL_TEST_SEAMS: called before each step
// of a write on this thread; returning false makes the step fail as its
// system call would (a failed WriteTemp leaves half the content written). An
// empty hook runs every step.
using ProfileWriteHook = std::function<bool(ProfileWriteStep)>;
void SetProfileWriteHookForTest(ProfileWriteHook hook);
#endif

}  // namespace tarvel
