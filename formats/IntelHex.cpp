#include "formats/IntelHex.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/FileIo.h"

namespace tarvel {

namespace {

// The longest valid record: ':' and 2 × (5 + 255) digits. A longer line
// (blanks aside) cannot be a record; the limit also keeps a binary file
// without line ends from being collected into memory.
constexpr std::size_t kMaxRecordChars = 1 + 2 * (5 + 255);
constexpr std::size_t kMaxLineChars = 4096;
static_assert(kMaxRecordChars < kMaxLineChars);
constexpr std::size_t kReadChunkBytes = std::size_t{256} * 1024;

constexpr std::array<std::int8_t, 256> MakeHexTable() {
  std::array<std::int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'a' + 10);
  return table;
}
constexpr std::array<std::int8_t, 256> kHexValue = MakeHexTable();

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string Printable(char c) {
  char text[16];
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) {
    std::snprintf(text, sizeof text, "'%c'", c);
  } else {
    std::snprintf(text, sizeof text, "byte 0x%02X", u);
  }
  return text;
}

}  // namespace

bool IntelHexParser::line(std::string_view text, std::string& problem) {
  if (ended_) return true;
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return true;

  if (text.front() != ':') {
    problem = "a record must start with ':', not " + Printable(text.front());
    return false;
  }
  const std::string_view digits = text.substr(1);
  if (text.size() > kMaxRecordChars) {
    problem = "record too long";
    return false;
  }
  std::array<std::uint8_t, 5 + 255> bytes;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (kHexValue[static_cast<unsigned char>(digits[i])] < 0) {
      problem = Printable(digits[i]) + " is not a hex digit";
      return false;
    }
  }
  if (digits.size() % 2 != 0) {
    problem = "odd number of hex digits";
    return false;
  }
  const std::size_t byteCount = digits.size() / 2;
  if (byteCount < 5) {
    problem = "record too short";
    return false;
  }
  unsigned sum = 0;
  for (std::size_t i = 0; i < byteCount; ++i) {
    const auto high = kHexValue[static_cast<unsigned char>(digits[2 * i])];
    const auto low = kHexValue[static_cast<unsigned char>(digits[2 * i + 1])];
    bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    sum += bytes[i];
  }
  const std::size_t dataCount = bytes[0];
  if (byteCount != dataCount + 5) {
    problem = "the record's byte count is " + std::to_string(dataCount) + " but it holds " +
              std::to_string(byteCount - 5) + " data bytes";
    return false;
  }
  if ((sum & 0xFF) != 0) {
    char message[96];
    const unsigned expected = (0x100 - ((sum - bytes[byteCount - 1]) & 0xFF)) & 0xFF;
    std::snprintf(message, sizeof message, "checksum mismatch: the record says %02X, its bytes give %02X",
                  bytes[byteCount - 1], expected);
    problem = message;
    return false;
  }

  const std::uint32_t offset = static_cast<std::uint32_t>(bytes[1]) << 8 | bytes[2];
  const std::uint8_t type = bytes[3];
  const std::uint8_t* data = bytes.data() + 4;
  auto wrongLength = [&](std::size_t wanted, const char* name) {
    if (dataCount == wanted) return false;
    problem = std::string(name) + " record holding " + std::to_string(dataCount) + " data bytes, not " +
              std::to_string(wanted);
    return true;
  };
  switch (type) {
    case 0x00:
      store(offset, data, dataCount);
      return true;
    case 0x01:
      if (wrongLength(0, "end-of-file")) return false;
      ended_ = true;
      return true;
    case 0x02:
      if (wrongLength(2, "extended segment address")) return false;
      base_ = (static_cast<std::uint32_t>(data[0]) << 8 | data[1]) << 4;
      segmented_ = true;
      return true;
    case 0x04:
      if (wrongLength(2, "extended linear address")) return false;
      base_ = (static_cast<std::uint32_t>(data[0]) << 8 | data[1]) << 16;
      segmented_ = false;
      return true;
    case 0x03:
      return !wrongLength(4, "start segment address");
    case 0x05:
      return !wrongLength(4, "start linear address");
    default: {
      char message[48];
      std::snprintf(message, sizeof message, "unknown record type %02X", type);
      problem = message;
      return false;
    }
  }
}

void IntelHexParser::store(std::uint32_t offset, const std::uint8_t* data, std::size_t count) {
  const std::uint64_t windowEnd = windowStart_ + window_.size();
  // Segment addressing wraps the offset inside its 64 KiB segment; linear
  // addressing wraps only at 4 GiB.
  const bool wraps = segmented_ ? offset + count > 0x10000
                                : static_cast<std::uint64_t>(base_) + offset + count > 0x100000000ull;
  if (!wraps) {
    const std::uint64_t start = static_cast<std::uint64_t>(base_) + offset;
    const std::uint64_t from = std::max(start, windowStart_);
    const std::uint64_t to = std::min(start + count, windowEnd);
    if (from < to) {
      std::memcpy(window_.data() + (from - windowStart_), data + (from - start), to - from);
      bytesInWindow_ += to - from;
    }
    if (count > 0 && start < windowStart_) dropped(start, std::min(start + count, windowStart_) - 1);
    if (count > 0 && start + count > windowEnd) dropped(std::max(start, windowEnd), start + count - 1);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t address = segmented_ ? base_ + ((offset + i) & 0xFFFF) : (base_ + offset + i) & 0xFFFFFFFFull;
    if (address >= windowStart_ && address < windowEnd) {
      window_[address - windowStart_] = data[i];
      ++bytesInWindow_;
    } else {
      dropped(address, address);
    }
  }
}

void IntelHexParser::dropped(std::uint64_t first, std::uint64_t last) {
  if (!outside_.empty() && outside_.back().last + 1 == first) {
    outside_.back().last = last;
  } else {
    outside_.push_back({first, last});
  }
}

std::vector<AddressRange> IntelHexParser::rangesOutside() const {
  std::vector<AddressRange> ranges = outside_;
  std::sort(ranges.begin(), ranges.end(), [](const AddressRange& a, const AddressRange& b) { return a.first < b.first; });
  std::vector<AddressRange> joined;
  for (const AddressRange& range : ranges) {
    if (!joined.empty() && range.first <= joined.back().last + 1) {
      joined.back().last = std::max(joined.back().last, range.last);
    } else {
      joined.push_back(range);
    }
  }
  return joined;
}

bool StartsAsIntelHex(std::string_view text) {
  IntelHexParser parser(0, {});
  std::string problem;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (line.find_first_not_of(" \t\r") != std::string_view::npos) return parser.line(line, problem);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return false;
}

bool ReadIntelHexFile(const std::string& path, IntelHexParser& parser, std::string& reason) {
  // ReadNoWait: a FIFO is refused below at once instead of waiting for a writer.
  fileio::FileHandle fd;
  fileio::FileInfo info;
  const fileio::OpenResult opened = fileio::OpenRegularFile(path, fd, info);
  if (opened != fileio::OpenResult::Opened) {
    reason = opened == fileio::OpenResult::NotRegular ? path + " is not a regular file"
                                                       : "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }

  std::vector<char> chunk(kReadChunkBytes);
  std::string pending;  // the start of a line that the last chunk cut
  std::size_t lineNumber = 1;
  std::string problem;
  auto fail = [&] {
    reason = path + ", line " + std::to_string(lineNumber) + ": " + problem;
    return false;
  };
  for (;;) {
    const long long got = fileio::Read(fd.get(), chunk.data(), chunk.size());
    if (got < 0) {
      reason = "cannot read " + path + ": " + std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    const char* p = chunk.data();
    const char* const end = p + got;
    while (p < end && !parser.sawEndRecord()) {
      const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (!lf) {
        pending.append(p, end);
        if (pending.size() > kMaxLineChars) {
          problem = "line too long for a record";
          return fail();
        }
        break;
      }
      std::string_view text(p, static_cast<std::size_t>(lf - p));
      if (!pending.empty()) {
        pending.append(text);
        text = pending;
      }
      if (!parser.line(text, problem)) return fail();
      pending.clear();
      ++lineNumber;
      p = lf + 1;
    }
    if (parser.sawEndRecord()) break;
  }
  if (!parser.sawEndRecord() && !pending.empty() && !parser.line(pending, problem)) return fail();
  if (!parser.sawEndRecord()) {
    reason = "no end-of-file record (:00000001FF) in " + path + "; the file may be cut short";
    return false;
  }
  return true;
}

}  // namespace tarvel
