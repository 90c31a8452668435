#include "formats/SflWriter.h"

#include <algorithm>

#include "formats/SflFile.h"

namespace tarvel {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, unsigned value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

std::string CommentLine(std::string_view label, std::string_view text) {
  std::string line(1, ';');
  line += label;
  for (char c : text) {
    // A line break would end the comment and a '+' start a record.
    line += (c == '+' || c == '\n' || c == '\r' || c == '\x1A' || c == '\0') ? ' ' : c;
  }
  return line + "\n";
}

}  // namespace

std::string SflHeader(std::string_view product, std::string_view firmwareVersion) {
  constexpr std::size_t kSize = static_cast<std::size_t>(kSflHeaderBytes);
  std::string header = CommentLine("Product: ", product.substr(0, 150)) +
                       CommentLine("Firmware: ", firmwareVersion.substr(0, 150)) + ";";
  header.resize(kSize - 1, ' ');
  header += '\n';
  return header;
}

std::string SflRecordLine(std::uint16_t block, std::span<const std::uint8_t, kBlockSize> data) {
  std::string line;
  line.reserve(static_cast<std::size_t>(kSflRecordBytes));
  line += '+';
  AppendHex(line, block, 4);
  line += ' ';
  for (std::uint8_t byte : data) AppendHex(line, byte, 2);
  line += '\n';
  return line;
}

}  // namespace tarvel
