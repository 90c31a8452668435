// Reading SFL firmware files: a free-text header, then one record per
// 128-byte flash block ('+', four hex digits of block number, a separator,
// 256 hex digits of data, anything up to the next '+').
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/FlashBlock.h"

namespace tarvel {

// The size convention of the files the converters write: a 378-byte header
// and 263-byte records. It serves only the progress range.
inline constexpr std::uint64_t kSflHeaderBytes = 378;
inline constexpr std::uint64_t kSflRecordBytes = 263;
// Far beyond any real image (4096 records are about 1 MiB); a larger file
// is refused rather than read into memory.
inline constexpr std::uint64_t kSflMaxFileBytes = 256ull << 20;

// The highest progress position for a file of `fileSize` bytes: the
// estimated record count less one, as a 16-bit value. Files too small for
// one record by the convention get 0.
std::uint16_t SflProgressHighest(std::uint64_t fileSize);

// The size of a regular file, or nothing when it is missing or not a file.
std::optional<std::uint64_t> SflFileSize(const std::string& path);

// Reads the whole file. False (with the system's reason) when it cannot be
// opened or read, is not a regular file, or is beyond kSflMaxFileBytes.
bool LoadSflFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& reason);

// Reads loaded bytes as a text stream: CR LF reads as LF, and a 0x1A byte
// ends the data.
class SflTextReader {
 public:
  explicit SflTextReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  // The next character, or -1 at the end of the data.
  int get();
  std::size_t line() const { return line_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
};

struct SflRecord {
  std::uint16_t block = 0;
  BlockData data{};
};

enum class SflParse { Record, End, Invalid };

// Finds and parses the next record. On Invalid, `problem` says where.
SflParse ParseSflRecord(SflTextReader& reader, SflRecord& record, std::string* problem = nullptr);

// Checks every record of a file before any is sent: a record cut short by
// the end of the data, or a character other than a hex digit among its
// 4 + 256 digit positions, makes the file invalid, and so does a file
// without any record or with a record after its end-of-file byte 0x1A.
// Returns the problem.
std::optional<std::string> CheckSflFile(std::span<const std::uint8_t> bytes);

}  // namespace tarvel
