// `tarvel-cli comment FILE.sfl`: the comment block as the window's comment
// box shows it.
#include <cstdio>
#include <memory>

#include "catalog/CommentBlock.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "base/Sha256.h"
#include "cli/RadioRun.h"
#include "run/ExitCodes.h"
#include "cli/TerminalMessages.h"
#include "trust/FileTrust.h"

namespace tarvel::cli {

namespace {

struct CommentOptions {
  std::string file;
  bool json = false;
  TrustOptions trust;
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
    result.exitCode = kExitFile;
    result.message = TerminalText(LoadString(StringId::FileCannotBeOpened));
    result.detail = reason;
    return run.finish();
  }
  // The box's CR LF line ends become plain line breaks; the last line is
  // ended even when the block stops in the middle of one.
  result.fields["comment"] = TerminalText(*text);
  const FolderManifest manifest = LoadFolderManifest(FolderOf(options.file), options.trust);
  const std::string sha256 = FileSha256(options.file).value_or("");
  const FileTrust trust = CheckAgainstManifest(manifest, NameOf(options.file), sha256);
  result.fields["sha256"] = sha256.empty() ? Json(nullptr) : Json(sha256);
  result.fields["manifest"] = ManifestStateName(trust.state);
  result.fields["signed_by"] = manifest.signedBy.empty() ? Json(nullptr) : Json(manifest.signedBy);
  // The window's status line under the comment; nothing without a manifest.
  const std::string status = TrustStatusLine(manifest, trust);
  if (!status.empty()) result.fields["manifest_status"] = status;
  if (!options.json) {
    std::string shown = TerminalSafeText(*text);
    if (!shown.empty() && shown.back() != '\n') shown += '\n';
    if (!status.empty()) shown += "\n" + TerminalSafeText(status) + "\n";
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
  AddTrustOptions(*command, options->trust, false);
  command->callback([options, &exitCode] { exitCode = RunComment(*options); });
}

}  // namespace tarvel::cli
