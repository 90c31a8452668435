// Reading an Intel-HEX file into a window of flash: record types 00 (data),
// 01 (end of file), 02 (extended segment address), 03 (start segment
// address, ignored), 04 (extended linear address) and 05 (start linear
// address, ignored). Every record's checksum is checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// Addresses first..last, both included.
struct AddressRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

// Reads a HEX file's lines and copies the data that falls into the window
// [windowStart, windowStart + window.size()) of the 32-bit address space;
// data outside the window is dropped, bytes the file does not give are left
// as they are. Blank lines and blanks around a record are allowed, CR LF and
// LF alike; digits of either case. A later record overwrites an earlier one
// at the same address. Everything after the end-of-file record is ignored.
class IntelHexParser {
 public:
  IntelHexParser(std::uint64_t windowStart, std::span<std::uint8_t> window)
      : windowStart_(windowStart), window_(window) {}

  // One line without its LF. False when it is not a valid record; `problem`
  // then says why.
  bool line(std::string_view text, std::string& problem);

  bool sawEndRecord() const { return ended_; }
  // Data bytes that landed in the window (overwrites counted again).
  std::uint64_t bytesInWindow() const { return bytesInWindow_; }
  // Where the dropped data lay: ascending, overlapping and adjacent ranges
  // joined.
  std::vector<AddressRange> rangesOutside() const;

 private:
  void store(std::uint32_t offset, const std::uint8_t* data, std::size_t count);
  void dropped(std::uint64_t first, std::uint64_t last);

  std::uint64_t windowStart_;
  std::span<std::uint8_t> window_;
  std::uint32_t base_ = 0;      // from the last 02 or 04 record
  bool segmented_ = false;      // 02: the offset wraps inside 64 KiB
  bool ended_ = false;
  std::uint64_t bytesInWindow_ = 0;
  std::vector<AddressRange> outside_;  // in file order, runs joined
};

// Reads the file at `path` through an IntelHexParser. False, with the
// reason ("<path>, line <n>: <what>", or the system's error), when the file
// cannot be read, holds a bad record, or ends without an end-of-file record.
// A file without that record is refused because it is most likely cut short,
// and the missing part would silently become erased flash.
bool ReadIntelHexFile(const std::string& path, IntelHexParser& parser, std::string& reason);

// Whether `text` begins as an Intel-HEX file does: its first line that is
// not blank is a valid record. Tells a HEX file given where an SFL file
// belongs.
bool StartsAsIntelHex(std::string_view text);

}  // namespace tarvel
