// `tarvel-cli sync`: wakes the loader and synchronises with it, writing
// nothing: a quick check of the cable, the port and the speed.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/RadioOptions.h"
#include "loader/Sync.h"
#include "loader/Waits.h"

namespace tarvel::cli {

namespace {

int RunSync(const RadioOptions& options) {
  CommandRun run("sync", options.output());
  RunResult& result = run.result();
  result.radio = DescribeRadio(options);
  if (!run.openRecord()) return run.finish();
  TerminalMessages messages(!options.json);
  auto session = RadioSession::CreateOrFail(options, messages, run);
  if (!session) return run.finish();
  LoaderContext& ctx = session->context();
  bool synced = false;
  if (!OpenCommPort(ctx.link)) {
    CloseCommPort(ctx.link);
  } else if (ctx.m_nType == kTypeQap10) {
    SendQap10StartPacket(ctx);
    synced = SyncLoaderFramed(ctx);
    SetLine(ctx, ControlLine::Dtr, true);
    SetLine(ctx, ControlLine::Rts, true);
  } else {
    PulseQap8LoaderEntry(ctx);
    synced = SyncLoader(ctx);
    SetLine(ctx, ControlLine::Dtr, false);
    SetLine(ctx, ControlLine::Rts, false);
  }
  const bool opened = ctx.port() != nullptr;
  CloseCommPort(ctx.link);
  if (opened && !synced) messages.showMessage(StringId::SyncError, MessageIcon::Stop);
  if (synced) {
    messages.showMessage(StringId::SyncSucceeded, MessageIcon::Information);
    result.message = TerminalText(LoadString(StringId::SyncSucceeded));
  } else {
    result.exitCode = ExitCodeFor(messages.lastFailure());
    result.message = messages.lastFailureText();
    result.detail = messages.lastFailureDetail();
    result.hint = RadioHint(messages.lastFailure(), options);
  }
  if (session->stopExitCode() != 0 && result.exitCode != kExitOk) result.exitCode = session->stopExitCode();
  return run.finish();
}

}  // namespace

void AddSyncCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<RadioOptions>();
  CLI::App* command = app.add_subcommand("sync", "Wake the radio's loader and synchronise with it; writes nothing");
  AddRadioOptions(*command, *options);
  command->callback([options, &exitCode] {
    if (const std::string problem = CheckRate(*options); !problem.empty()) throw CLI::ValidationError(problem);
    exitCode = RunSync(*options);
  });
}

}  // namespace tarvel::cli
