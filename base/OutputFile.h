// The files a run writes (a dump, a converted file, a trace, a record): an
// existing file is replaced only once the new content is complete, and
// nothing that is not a regular file, nor the run's own input, is touched.
//
//   OutputFile out;
//   OutputError error;
//   if (!out.open(path, {inputPath}, error)) ...  // refused or not creatable
//   ... write through out.fd(), out.write() or out.temporaryPath() ...
//   if (!out.commit(error)) ...                    // the old file is untouched
//
// An OutputFile that is neither committed nor kept is removed when it goes.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/FileIo.h"
#include "base/Strings.h"

namespace tarvel {

enum class OutputProblem {
  None,
  NotRegular,   // the path exists and is not a regular file (a FIFO, a device, a folder)
  SameAsInput,  // the path is one of the run's inputs, also through a link
  Appeared,     // commit without replacing: a file of that name appeared meanwhile
  System,       // the system refused: the text says why
};

// What commit does with a file that has the output's name by then.
enum class ExistingFile { Replace, Keep };

struct OutputError {
  OutputProblem problem = OutputProblem::None;
  // The path and, for System, the system's reason ("No space left on device").
  std::string text;
};

// The message that refuses an output: 125 or 126. For System the caller
// shows its own procedure's failure message with the text as detail.
StringId RefusalMessage(OutputProblem problem);

// Refuses `path` when it exists and is not a regular file (following
// links), or when it names the same file as one of `inputs` (same device
// and inode, or the same path once links are resolved). True when it may
// be written.
bool CheckOutputPath(const std::string& path, std::initializer_list<std::string_view> inputs, OutputError& error);

// The system calls of a commit, in order.
enum class OutputStep { Sync, Close, Rename };
// Asked before each of them; false fails that step as its call would
// (errno EIO), so that tests can fail every step in turn.
using OutputStepCheck = std::function<bool(OutputStep)>;

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // CheckOutputPath, then a new, empty file beside the file `path` names
  // (beside the link's target when `path` is a symbolic link, so that the
  // link stays). An existing target lends the new file its mode at once.
  bool open(const std::string& path, std::initializer_list<std::string_view> inputs, OutputError& error);

  bool isOpen() const { return file_.isOpen(); }
  // The new file, for writers that take a path (the converter libraries).
  const std::string& temporaryPath() const { return temporary_; }
  // The file that commit replaces: `path` with its links resolved.
  const std::string& targetPath() const { return target_; }
  int fd() const { return file_.get(); }

  bool write(std::string_view bytes, OutputError& error);
  // Flushes the new file to the disk and renames it over the target; with
  // ExistingFile::Keep only while nothing has the target's name (Appeared
  // otherwise, also for a file that appeared after open). On failure the
  // target is left as it was and the new file stays for keepAs, or goes
  // with discard or the destructor.
  bool commit(OutputError& error, ExistingFile existing = ExistingFile::Replace);
  // Keeps what was written under `path` instead (a partial dump), never
  // replacing a file: when `path` exists, under the next free numbered
  // name (PartialPath's "-2", "-3"...); beside the target when `path` lies
  // on another file system. When no name can be had, the new file itself
  // stays where it is. `keptPath` says where; false (the new file removed
  // when it could be) when nothing was kept.
  bool keepAs(const std::string& path, std::string& keptPath, OutputError& error);
  // Removes the new file; the target stays as it was.
  void discard();

  void setStepCheck(OutputStepCheck check) { check_ = std::move(check); }

 private:
  bool finish(OutputError& error);
  bool allowed(OutputStep step) const;

  fileio::FileHandle file_;
  OutputStepCheck check_;
  std::string target_;
  std::string temporary_;
};

// "NAME.partial.sfl" for "NAME.sfl" (any case of the extension), else the
// path with ".partial.sfl" added: where a failed dump keeps what it read.
// A `number` above 1 gives "NAME.partial-N.sfl", for when that is taken.
std::string PartialPath(const std::string& path, int number = 1);

}  // namespace tarvel
