// `tarvel-cli sync`: wakes the loader and synchronises with it, writing
// nothing: a quick check of the cable, the port and the speed.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Json.h"
#include "cli/RadioOptions.h"
#include "loader/Sync.h"
#include "loader/Waits.h"

namespace tarvel::cli {

namespace {

int RunSync(const RadioOptions& options) {
  TerminalMessages messages(!options.json);
  auto session = RadioSession::CreateOrReport(options, messages);
  if (!session) return kExitUsage;
  LoaderContext& ctx = session->context();
  bool synced = false;
  if (!OpenCommPort(ctx.link)) {
    CloseCommPort(ctx.link);
    PrintPortAccessHint(options.port);
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
  if (synced && !options.json) messages.showMessage(StringId::SyncSucceeded, MessageIcon::Information);
  if (options.json) {
    JsonObject json;
    json.add("result", std::string(synced ? "success" : "failure"));
    json.add("message", synced ? std::string(LoadString(StringId::SyncSucceeded)) : messages.lastFailureText());
    std::printf("%s\n", json.str().c_str());
  }
  return synced ? kExitOk : ExitCodeFor(messages.lastFailure());
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
