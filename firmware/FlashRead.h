// Reading the radio's flash back, block by block, into an SFL file written
// by the flash converter ("Flash Extraction").
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "formats/FlashBlock.h"
#include "loader/LoaderContext.h"

namespace tarvel {

// The window's status bar moves its read progress one step every this many
// blocks.
inline constexpr unsigned kBlocksPerReadStep = 20;

// Where the blocks go: the flash converter library, loaded when the block
// loop starts. Tests put a fake in its place.
class BlockSink {
 public:
  virtual ~BlockSink() = default;
  // Loads the converter; false (with a reason) when it or its export is missing.
  virtual bool load(std::string& reason) = 0;
  // The converter's result for one 130-byte block record: 0 stops the read.
  virtual int addBlock(const std::string& outputPath, std::span<const std::uint8_t, kFlashBlockRecordBytes> record) = 0;
  // Why the last addBlock returned 0, when the converter says (the system's
  // text, such as "No space left on device"); empty otherwise.
  virtual std::string lastError() { return {}; }
};

struct ReadOutcome {
  bool succeeded = false;
  // Why it failed: the cause's kind, with the last message the read showed
  // (a read that fails after its start ends with 114).
  Failure failure;
  std::uint32_t elapsedMs = 0;
  std::uint16_t readSum = 0;
  int blocksRead = 0;  // blocks the converter took
  bool stopped = false;  // the context's stop request ended it
  // Where a failed read kept the blocks it read (NAME.partial.sfl); empty
  // when nothing was kept.
  std::string keptPath;
};

// The read of blocks 0 … endBlock on the context's port settings. Its
// failures go to the observer as they are found (130/131 for a refused
// output, 105/106, 111, 107, 114); the report of a read that succeeded is
// the caller's, and so is the catalog's reload. The converter writes into a new file beside the output, which
// replaces the output only when every block was read: a failed read leaves
// an existing output as it was and keeps what it read as NAME.partial.sfl;
// the last message says which. An output that did not exist at the start
// is not replaced by a file that appeared during the read unless `replace`
// says so: the read then fails and keeps every block as its partial.
ReadOutcome ReadFlash(LoaderContext& ctx, BlockSink& sink, const std::string& outputPath, std::uint16_t endBlock,
                      bool replace = false);

// The report of a read that succeeded, as the window shows it.
std::string ReadReport(const ReadOutcome& outcome);

}  // namespace tarvel
