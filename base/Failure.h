// Why a conversation with a radio, or a step of it, did not succeed: a value
// that every front end words in its own way. The window shows `message`
// with `detail` below it; the command line takes its exit code from `kind`.
#pragma once

#include <optional>
#include <string>

#include "base/Strings.h"

namespace tarvel {

enum class FailureKind {
  None,
  Port,           // the port cannot be opened (105)
  Configuration,  // the port opened but refused its settings (106)
  LoaderSilent,   // the loader did not answer the synchronisation (111)
  BlockRefused,   // a block failed every attempt (108)
  LineLost,       // a reply did not come, or came out of step (107)
  File,           // the SFL file cannot be opened or is not valid (104, 115)
  OutputRefused,  // the output names something that must not be replaced (130, 131)
  OutputFailed,   // the output could not be written or kept (114)
  Converter,      // the flash converter is missing or refused a block (107, 114)
  Stopped,        // a stop request ended it between two exchanges (132)
  Usage,          // the job's own files were refused before the radio was touched
};

struct Failure {
  FailureKind kind = FailureKind::None;
  StringId message = StringId::AppTitle;  // what the window's box says
  std::string detail;                     // the system's own words, the place in a file
  std::optional<int> block;               // the block in hand, where there was one
  // The diagnosis's one line, where the session found a cause (a port held
  // by another program, a silent loader); the window shows it under detail.
  std::string finding;

  explicit operator bool() const { return kind != FailureKind::None; }
};

}  // namespace tarvel
