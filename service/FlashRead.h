// Reading the radio's flash back, block by block, into an SFL file written
// by the flash converter ("Flash Extraction").
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "loader/LoaderContext.h"
#include "service/Converters.h"

namespace tarvel {

// What the front end shows while a read runs.
class ReadUi {
 public:
  virtual ~ReadUi() = default;
  // m_nStatus changed: the lamp follows.
  virtual void statusChanged(int status) = 0;
  // The status bar's progress: range 0 … endBlock / 20, `position` above 0
  // shows the control, 0 hides it (and leaves pane 0 empty).
  virtual void setReadProgress(unsigned position, std::uint16_t endBlock) = 0;
  // Pane 0 shows the SFL folder again: the read is over.
  virtual void showFolderPane() = 0;
  // Every block read, for front ends that show finer progress.
  virtual void blockRead(int /*blocksDone*/, std::uint16_t /*endBlock*/) {}
};

// Where the blocks go: the flash converter library, loaded when the block
// loop starts. Tests put a fake in its place.
class BlockSink {
 public:
  virtual ~BlockSink() = default;
  // Loads the converter; false (with a reason) when it or its export is missing.
  virtual bool load(std::string& reason) = 0;
  // The converter's result for one 130-byte block record: 0 stops the read.
  virtual int addBlock(const std::string& outputPath, std::span<const std::uint8_t, kFlashBlockRecordBytes> record) = 0;
};

// The real sink: liboxbrin.so, which stays loaded after the read.
class ConverterBlockSink final : public BlockSink {
 public:
  bool load(std::string& reason) override;
  int addBlock(const std::string& outputPath, std::span<const std::uint8_t, kFlashBlockRecordBytes> record) override;

 private:
  std::unique_ptr<FlashImageConverter> converter_;
};

struct ReadOutcome {
  bool succeeded = false;
  StringId lastMessage = StringId::AppTitle;  // the last failure message shown
  std::uint32_t elapsedMs = 0;
  std::uint16_t readSum = 0;
  int blocksRead = 0;  // blocks the converter took
};

// Creates (or empties) the output file before the read; the converter
// writes everything into it. False when it cannot be created.
bool CreateEmptyOutputFile(const std::string& path, std::string& reason);

// The read of blocks 0 … endBlock on the context's port settings. Shows its
// own messages (105/106, 111, 107, 114) and, on success, the report; the
// front end reloads its catalog when it succeeded. A failed read leaves in
// the output file what the converter had written; the last message says so.
ReadOutcome ReadFlash(LoaderContext& ctx, ReadUi& ui, BlockSink& sink, const std::string& outputPath,
                      std::uint16_t endBlock);

}  // namespace tarvel
