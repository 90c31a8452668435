// `tarvel-cli comment FILE.sfl`: the comment block as the window's comment
// box shows it.
#include <cstdio>
#include <memory>

#include "catalog/CommentBlock.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "station/ExitCodes.h"
#include "cli/TerminalMessages.h"

namespace tarvel::cli {

namespace {

struct CommentOptions {
  std::string file;
  bool json = false;
};

int RunComment(const CommentOptions& options) {
  CommandRun run("comment", {options.json, {}});
  RunResult& result = run.result();
  result.fields["file"] = options.file;
  std::string reason;
  const std::optional<std::string> text = ReadCommentBoxText(options.file, &reason);
  if (!text) {
    TerminalMessages messages;
    messages.showMessage(StringId::FileCannotBeOpened, MessageIcon::Stop, reason);
    result.exitCode = ExitCodeFor(StringId::FileCannotBeOpened);
    result.message = messages.lastFailureText();
    result.detail = reason;
    return run.finish();
  }
  // The box's CR LF line ends become plain line breaks; the last line is
  // ended even when the block stops in the middle of one.
  result.fields["comment"] = TerminalText(*text);
  if (!options.json) {
    std::string shown = TerminalSafeText(*text);
    if (!shown.empty() && shown.back() != '\n') shown += '\n';
    std::fputs(shown.c_str(), stdout);
  }
  return run.finish();
}

}  // namespace

void AddCommentCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<CommentOptions>();
  CLI::App* command = app.add_subcommand("comment", "Show the comment block of an SFL file");
  command->add_option("file", options->file, "The SFL file")->required();
  AddJsonFlag(*command, options->json);
  command->callback([options, &exitCode] { exitCode = RunComment(*options); });
}

}  // namespace tarvel::cli
