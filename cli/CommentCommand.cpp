// `tarvel-cli comment FILE.sfl`: the comment block as the window's comment
// box shows it.
#include <cstdio>
#include <memory>

#include "catalog/CommentBlock.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalMessages.h"

namespace tarvel::cli {

void AddCommentCommand(CLI::App& app, int& exitCode) {
  auto file = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand("comment", "Show the comment block of an SFL file");
  command->add_option("file", *file, "The SFL file")->required();
  command->callback([file, &exitCode] {
    std::string reason;
    const std::optional<std::string> text = ReadCommentBoxText(*file, &reason);
    if (!text) {
      TerminalMessages messages;
      messages.showMessage(StringId::FileCannotBeOpened, MessageIcon::Stop, reason);
      exitCode = ExitCodeFor(StringId::FileCannotBeOpened);
      return;
    }
    // The box's CR LF line ends become plain line breaks; the last line is
    // ended even when the block stops in the middle of one.
    std::string shown = TerminalSafeText(*text);
    if (!shown.empty() && shown.back() != '\n') shown += '\n';
    std::fputs(shown.c_str(), stdout);
    exitCode = kExitOk;
  });
}

}  // namespace tarvel::cli
