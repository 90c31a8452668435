// Writing an SFL file into the radio's flash: wake and synchronise the
// loader, send every record with its verify, at most six times a block,
// and report the time taken and the sum of the data written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "loader/LoaderContext.h"

namespace tarvel {

struct WriteOutcome {
  bool ran = false;        // false: refused because an access is under way
  bool succeeded = false;
  Failure failure;  // why it failed (the window showed it as it was found)
  std::uint32_t elapsedMs = 0;
  std::uint16_t checkSum = 0;
  int blocksWritten = 0;
  int retries = 0;
  bool stopped = false;  // the context's stop request ended it between blocks
};

// An SFL file read whole and checked, ready to go into any number of
// radios: the write only reads it, so threads writing several radios side
// by side can share one.
struct CheckedSflFile {
  std::string path;
  std::vector<std::uint8_t> bytes;
  std::uint16_t progressHighest = 0;
};

// Why a file cannot be written: the message (104 or 115) and its detail.
struct SflFileProblem {
  StringId id = StringId::FileCannotBeOpened;
  std::string detail;
  std::string hint;  // what to do instead, where that is known
};

// Reads and checks the file, so that a file the write would refuse is found
// before any radio is woken; nothing is shown. When it cannot be read,
// `file.bytes` stays empty; when it is refused, they hold what was read.
std::optional<SflFileProblem> LoadCheckedSflFile(const std::string& path, CheckedSflFile& file);

// The WRITE command. Refused (nothing happens) while m_nStatus is not 0, so
// that a second write can never start inside a running one. The context's
// observer hears the start, the status, every block and each failure as
// it is found, then its report when it succeeded.
WriteOutcome OnWrite(LoaderContext& ctx, const std::string& filePath);
// The same with a file read and checked beforehand.
WriteOutcome OnWrite(LoaderContext& ctx, const CheckedSflFile& file);

// The block loop on an open, synchronised port, the write having begun at
// `start`; its failure, reported to the observer as it was found.
std::optional<Failure> WriteFlashBlocks(LoaderContext& ctx, const CheckedSflFile& file, WriteOutcome& outcome,
                                        std::uint32_t start);

// The report of a write that succeeded, as the window shows it.
std::string WriteReport(const WriteOutcome& outcome);

// What a write stopped after `blocksWritten` blocks left in the radio, and
// what the user must do about it.
std::string StoppedWriteState(int blocksWritten);

// The block counter as the progress bar shows it: at least three upper-case
// hex digits.
std::string FormatBlockCounter(int counter);

}  // namespace tarvel
