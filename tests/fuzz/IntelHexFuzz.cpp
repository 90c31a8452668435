// The Intel-HEX converter: the record parser against a plain reference
// reading of the same lines, the file reader, and the whole HEX-to-SFL
// conversion of libtesmol.so (its entry point compiled in) through a file.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converters/ConverterApi.h"
#include "formats/IntelHex.h"
#include "formats/SflFile.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using namespace tarvel;
using tarvel::IntelHexParser;
using tarvel::fuzz::Expect;

// The reference: what a record means, read the long way.
struct Reference {
  std::map<std::uint32_t, std::uint8_t> memory;
  std::uint32_t base = 0;
  bool segmented = false;
  bool ended = false;

  static int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // False for a line that is not a valid record.
  bool line(std::string_view text) {
    if (ended) return true;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return true;
    if (text[0] != ':' || text.size() % 2 == 0) return false;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i < text.size(); i += 2) {
      const int high = Digit(text[i]);
      const int low = Digit(text[i + 1]);
      if (high < 0 || low < 0) return false;
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    if (bytes.size() < 5 || bytes.size() != bytes[0] + 5u) return false;
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    if (sum % 256 != 0) return false;
    const std::size_t count = bytes[0];
    const std::uint32_t offset = bytes[1] * 256u + bytes[2];
    const std::uint8_t* data = bytes.data() + 4;
    switch (bytes[3]) {
      case 0:
        for (std::size_t i = 0; i < count; ++i) {
          const std::uint32_t address = segmented ? base + ((offset + i) % 0x10000)
                                                  : static_cast<std::uint32_t>(base + offset + i);  // mod 2^32
          memory[address] = data[i];
        }
        return true;
      case 1:
        if (count != 0) return false;
        ended = true;
        return true;
      case 2:
        if (count != 2) return false;
        base = (data[0] * 256u + data[1]) * 16u;
        segmented = true;
        return true;
      case 4:
        if (count != 2) return false;
        base = (data[0] * 256u + data[1]) << 16;
        segmented = false;
        return true;
      case 3:
      case 5:
        return count == 4;
      default:
        return false;
    }
  }
};

struct Window {
  std::uint64_t start;
  std::size_t size;
};

// All blocks the converter offers; the top of the 32-bit space, where
// linear addresses wrap; a window across a 64 KiB segment boundary.
constexpr std::array<Window, 4> kWindows{{
    {0, 0x8000},
    {0xFFF * 128u, 128},
    {0xFFFFFF00u, 0x100},
    {0xFFC0, 0x80},
}};

// The blocks converted through the library entry point.
constexpr unsigned short kFirstBlock = 0x000;
constexpr unsigned short kLastBlock = 0x03F;

tarvel::fuzz::ScratchFolder& Scratch() {
  static tarvel::fuzz::ScratchFolder folder;
  return folder;
}

std::span<const std::uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void CheckConversion(std::string_view input, bool fileAccepted, const std::vector<std::uint8_t>& image,
                     std::uint64_t bytesInImage) {
  const tarvel::fuzz::ScratchFolder& scratch = Scratch();
  const std::string hexPath = scratch.file("in.hex");
  const std::string sflPath = scratch.file("out.sfl");
  Expect(tarvel::fuzz::WriteWholeFile(hexPath, input), "cannot write the HEX file");

  const int converted = Velmar_Prc(hexPath.c_str(), "out.sfl", kFirstBlock, kLastBlock, "Fuzz", "1.0");
  const std::vector<std::string> entries = scratch.Entries();
  if (!converted) {
    Expect(!fileAccepted || bytesInImage == 0, std::string("a valid file was refused: ") + Velmar_LastError());
    Expect(Velmar_LastError()[0] != '\0', "a refusal without a reason");
    Expect(entries.size() == 1, "a failed conversion left a file behind");
    return;
  }
  Expect(fileAccepted && bytesInImage > 0, "a file the parser refuses, or without data in range, was converted");
  Expect(entries.size() == 2, "the conversion left a temporary file");
  std::string sfl;
  Expect(tarvel::fuzz::ReadWholeFile(sflPath, sfl), "cannot read the converted file");
  Expect(!CheckSflFile(AsBytes(sfl)), "the converted file fails the whole-file check");
  SflTextReader reader(AsBytes(sfl));
  SflRecord record;
  unsigned block = kFirstBlock;
  while (ParseSflRecord(reader, record) == SflParse::Record) {
    Expect(block <= kLastBlock && record.block == block, "converted blocks out of order");
    Expect(std::equal(record.data.begin(), record.data.end(), image.begin() + (block - kFirstBlock) * kBlockSize),
           "converted data differ from the parsed image");
    ++block;
  }
  Expect(block == kLastBlock + 1u, "converted block count");
  ::unlink(sflPath.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // Lines as the file reader cuts them: at LF; the last one may lack it.
  std::vector<std::string_view> lines;
  for (std::size_t pos = 0; pos < input.size();) {
    const std::size_t lf = input.find('\n', pos);
    if (lf == std::string_view::npos) {
      lines.push_back(input.substr(pos));
      break;
    }
    lines.push_back(input.substr(pos, lf - pos));
    pos = lf + 1;
  }

  Reference reference;
  std::vector<std::vector<std::uint8_t>> images;
  std::vector<IntelHexParser> parsers;
  images.reserve(kWindows.size());
  parsers.reserve(kWindows.size());
  for (const Window& w : kWindows) {
    images.emplace_back(w.size, 0xFF);
    parsers.emplace_back(w.start, images.back());
  }
  bool valid = true;
  for (std::string_view line : lines) {
    const bool expected = reference.line(line);
    std::string problem;
    for (IntelHexParser& parser : parsers) {
      const bool accepted = parser.line(line, problem);
      Expect(accepted == expected, "the parser and the reference disagree on a line");
      Expect(accepted || !problem.empty(), "a refused line without a reason");
      Expect(parser.sawEndRecord() == reference.ended, "end record");
    }
    if (!expected) {
      valid = false;
      break;
    }
  }
  for (std::size_t w = 0; w < kWindows.size(); ++w) {
    const Window& window = kWindows[w];
    std::vector<std::uint8_t> wanted(window.size, 0xFF);
    std::uint64_t inWindow = 0;
    for (auto it = reference.memory.lower_bound(static_cast<std::uint32_t>(window.start));
         it != reference.memory.end() && it->first < window.start + window.size; ++it) {
      wanted[it->first - window.start] = it->second;
      ++inWindow;
    }
    if (wanted != images[w]) {
      const auto at = std::mismatch(wanted.begin(), wanted.end(), images[w].begin()).first - wanted.begin();
      tarvel::fuzz::Fail("window " + std::to_string(w) + " differs at byte " + std::to_string(at));
    }
    // Overwrites count again in the parser, so it has at least as many.
    Expect(parsers[w].bytesInWindow() >= inWindow, "bytes in window");
    Expect((parsers[w].bytesInWindow() == 0) == (inWindow == 0), "an empty window");
  }

  // The file reader agrees with the lines, except that it refuses a file
  // without an end record and a last line longer than its line limit.
  std::vector<std::uint8_t> image((kLastBlock - kFirstBlock + 1u) * kBlockSize, 0xFF);
  IntelHexParser fileParser(kFirstBlock * kBlockSize, image);
  const std::string hexPath = Scratch().file("in.hex");
  Expect(tarvel::fuzz::WriteWholeFile(hexPath, input), "cannot write the HEX file");
  std::string reason;
  const bool fileAccepted = ReadIntelHexFile(hexPath, fileParser, reason);
  if (fileAccepted) {
    Expect(valid && reference.ended, "the file reader accepted what the lines refuse");
    Expect(std::equal(image.begin(), image.end(), images[0].begin()), "the file reader's image differs");
  } else {
    Expect(!reason.empty(), "a refused file without a reason");
    Expect(!valid || !reference.ended || reason.find("line too long") != std::string::npos,
           "the file reader refused a valid file: " + reason);
  }

  CheckConversion(input, fileAccepted, image, fileParser.bytesInWindow());
  return 0;
}
