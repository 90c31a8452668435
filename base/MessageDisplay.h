// Where the logic shows its modal messages. The window shows a message box,
// the command line prints to stderr/stdout, tests record the ids.
#pragma once

#include <string>
#include <string_view>

#include "base/Strings.h"

namespace tarvel {

enum class MessageIcon { Stop, Information, Exclamation };

class MessageDisplay {
 public:
  virtual ~MessageDisplay() = default;
  // A string-table message. `detail` is the system's own explanation (an OS
  // error text, the place in a file) for front ends that can show more.
  virtual void showMessage(StringId id, MessageIcon icon, std::string_view detail = {}) = 0;
  // A report composed of string-table texts and figures (the write's report).
  virtual void showReport(const std::string& text, MessageIcon icon) = 0;
};

}  // namespace tarvel
