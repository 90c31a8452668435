// The comment-block reader and the display decoding behind the comment box
// and `tarvel-cli comment`, on any file bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalog/CommentBlock.h"
#include "catalog/DisplayText.h"
#include "cli/Commands.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace tarvel;
using tarvel::fuzz::Expect;
using tarvel::fuzz::IsValidUtf8;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::string block = BuildCommentBlock(bytes);
  Expect(block.size() <= 2 * bytes.size(), "the block is at most twice the bytes read");
  Expect(block.find('\x1A') == std::string::npos, "0x1A ends the data");
  for (std::size_t at = block.find('\n'); at != std::string::npos; at = block.find('\n', at + 1)) {
    Expect(at > 0 && block[at - 1] == '\r', "every LF of the block is written as CR LF");
  }
  // The block is a prefix of the text: it stops before the first '+' that
  // starts a record, so removing the CRs added before LFs gives back the
  // start of the bytes (with their own CR LFs read as LF).
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  std::string plain;
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (block[i] == '\r' && i + 1 < block.size() && block[i + 1] == '\n') continue;
    plain += block[i];
  }
  Expect(text.compare(0, plain.size(), plain) == 0, "the block is the start of the text");
  if (plain.size() < text.size()) {
    Expect(text[plain.size()] == '+' || text[plain.size()] == '\x1A', "the block stops at a '+' or 0x1A");
  }

  const std::string shown = CommentBoxText(block);
  Expect(IsValidUtf8(shown), "the comment box text is not valid UTF-8");
  if (block.empty()) Expect(shown == kNoCommentsText, "an empty block shows the no-comments text");

  const std::string decoded = DecodeForDisplay(bytes);
  Expect(IsValidUtf8(decoded), "DecodeForDisplay gave invalid UTF-8");
  if (IsValidUtf8(bytes)) Expect(decoded == bytes, "valid UTF-8 stays as it is");

  // What `tarvel-cli comment` prints: valid UTF-8 without control
  // characters other than line breaks and tabs.
  const std::string terminal = cli::TerminalSafeText(shown);
  Expect(IsValidUtf8(terminal), "the terminal text is not valid UTF-8");
  for (std::size_t i = 0; i < terminal.size(); ++i) {
    const auto c = static_cast<unsigned char>(terminal[i]);
    Expect(c >= 0x20 || c == '\n' || c == '\t', "a control character reaches the terminal");
    Expect(c != 0x7F, "DEL reaches the terminal");
    // C1 controls (U+0080..U+009F) are encoded as C2 80..C2 9F.
    if (c == 0xC2 && i + 1 < terminal.size()) {
      const auto next = static_cast<unsigned char>(terminal[i + 1]);
      Expect(next < 0x80 || next > 0x9F, "a C1 control character reaches the terminal");
    }
  }
  return 0;
}
