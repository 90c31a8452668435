#include "formats/SflFile.h"

#include <algorithm>

#include "base/FileIo.h"

namespace tarvel {

namespace {

constexpr int kEndOfData = 0x1A;

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Describe(int c) {
  if (c < 0) return "the end of the file";
  char text[32];
  if (c >= 0x21 && c < 0x7F) {
    std::snprintf(text, sizeof text, "'%c'", c);
  } else {
    std::snprintf(text, sizeof text, "byte 0x%02X", c);
  }
  return text;
}

// Reads `count` hex digits, two per byte, into `out`.
bool ReadHexBytes(SflTextReader& reader, std::uint8_t* out, std::size_t count, const char* what,
                  std::string* problem) {
  for (std::size_t i = 0; i < count; ++i) {
    int value = 0;
    for (int nibble = 0; nibble < 2; ++nibble) {
      const int c = reader.get();
      const int digit = HexValue(c);
      if (digit < 0) {
        if (problem) {
          *problem = "line " + std::to_string(reader.line()) + ": " + Describe(c) + " where digit " +
                     std::to_string(i * 2 + nibble + 1) + " of the " + what + " should be";
        }
        return false;
      }
      value = value * 16 + digit;
    }
    out[i] = static_cast<std::uint8_t>(value);
  }
  return true;
}

}  // namespace

std::uint16_t SflProgressHighest(std::uint64_t fileSize) {
  if (fileSize < kSflHeaderBytes + kSflRecordBytes) return 0;
  return static_cast<std::uint16_t>((fileSize - kSflHeaderBytes) / kSflRecordBytes - 1);
}

std::optional<std::uint64_t> SflFileSize(const std::string& path) {
  fileio::FileInfo info;
  if (fileio::StatPath(path, info) != 0 || !info.regular) return std::nullopt;
  return info.size;
}

bool LoadSflFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& reason) {
  // Without waiting: a FIFO must not hold the program until a writer comes;
  // it is refused like any file that is not a regular file.
  std::string text;
  const bool ok = fileio::ReadRegularFile(path, kSflMaxFileBytes, text, reason, "the file is too large");
  bytes.assign(text.begin(), text.end());
  return ok;
}

int SflTextReader::get() {
  if (pos_ >= bytes_.size()) return -1;
  int c = bytes_[pos_];
  if (c == kEndOfData) {
    pos_ = bytes_.size();
    return -1;
  }
  ++pos_;
  if (c == '\r' && pos_ < bytes_.size() && bytes_[pos_] == '\n') {
    ++pos_;
    c = '\n';
  }
  if (c == '\n') ++line_;
  return c;
}

SflParse ParseSflRecord(SflTextReader& reader, SflRecord& record, std::string* problem) {
  for (;;) {
    const int c = reader.get();
    if (c < 0) return SflParse::End;
    if (c == '+') break;
  }
  std::uint8_t number[2];
  if (!ReadHexBytes(reader, number, 2, "block number", problem)) return SflParse::Invalid;
  record.block = static_cast<std::uint16_t>((number[0] << 8) | number[1]);
  if (reader.get() < 0) {
    if (problem) *problem = "line " + std::to_string(reader.line()) + ": the record ends after its block number";
    return SflParse::Invalid;
  }
  if (!ReadHexBytes(reader, record.data.data(), record.data.size(), "block data", problem)) {
    return SflParse::Invalid;
  }
  return SflParse::Record;
}

std::optional<std::string> CheckSflFile(std::span<const std::uint8_t> bytes) {
  SflTextReader reader(bytes);
  SflRecord record;
  std::string problem;
  std::size_t n = 1;
  for (;; ++n) {
    const SflParse parse = ParseSflRecord(reader, record, &problem);
    if (parse == SflParse::End) break;
    if (parse == SflParse::Invalid) return "record " + std::to_string(n) + ", " + problem;
  }
  // Written, such a file would be reported as a success with nothing in the
  // radio: an empty file, a header alone, any text file named .sfl.
  if (n == 1) return std::string("the file holds no flash record");
  // A file ends at 0x1A and may be padded after it, but a record there was
  // meant to be written: the file was joined or damaged.
  const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{kEndOfData});
  const auto after = std::find(end, bytes.end(), std::uint8_t{'+'});
  if (after != bytes.end()) {
    return "a record follows the end-of-file byte 0x1A at offset " +
           std::to_string(static_cast<std::size_t>(end - bytes.begin()));
  }
  return std::nullopt;
}

}  // namespace tarvel
