#include "cli/CommandRun.h"


#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/FileIo.h"
#include "base/Strings.h"
#include "run/ExitCodes.h"
#include "cli/TerminalMessages.h"

namespace tarvel::cli {

CommandRun::CommandRun(std::string command, OutputOptions output) : output_(std::move(output)) {
  result_.command = std::move(command);
}

std::optional<std::pair<NamedFile, NamedFile>> SharedFile(const std::vector<NamedFile>& files) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      if (!files[i].path.empty() && !files[j].path.empty() && fileio::SameFileOrName(files[i].path, files[j].path)) {
        return std::pair{files[i], files[j]};
      }
    }
  }
  return std::nullopt;
}

bool CommandRun::openRecord(const std::vector<NamedFile>& files) {
  // Two roles on one file: a trace would replace the record, a record line
  // would land in the firmware.
  std::vector<NamedFile> all = files;
  all.push_back({"--record", output_.record});
  if (const auto shared = SharedFile(all)) {
    fail(kExitUsage, FormatString(StringId::FilesClash, {shared->first.role, shared->second.role, shared->second.path}));
    return false;
  }
  if (output_.record.empty()) return true;
  std::string reason;
  if (record_.open(output_.record, reason)) return true;
  fail(kExitUsage, std::string(LoadString(StringId::RecordFileFailed)), reason);
  return false;
}

void CommandRun::fail(int exitCode, const std::string& message, const std::string& detail) {
  result_.exitCode = exitCode;
  result_.message = message;
  result_.detail = detail;
  std::fprintf(stderr, "%s\n", message.c_str());
  if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
}

int CommandRun::finish() {
  result_.elapsedMs = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
  if (!result_.hint.empty()) std::fprintf(stderr, "hint: %s\n", result_.hint.c_str());
  Json object = ResultJson(result_);
  if (record_.isOpen()) {
    // One line per radio: a run over several records each of them.
    std::vector<Json> lines;
    if (result_.radios.empty()) lines.push_back(object);
    for (const RunResult& radio : result_.radios) lines.push_back(ResultJson(radio));
    const std::string host = fileio::HostName();
    for (Json& line : lines) {
      line["host"] = host;
      std::string reason;
      if (!record_.append(JsonLine(line), reason)) {
        // The radio's outcome stands; the lost line is said, not hidden.
        std::fprintf(stderr, "%s\n  %s\n", std::string(LoadString(StringId::RecordFileFailed)).c_str(),
                     reason.c_str());
        object["record_error"] = reason;
        break;
      }
    }
  }
  if (output_.json) {
    std::printf("%s\n", JsonLine(object).c_str());
    std::fflush(stdout);
  }
  return result_.exitCode;
}

}  // namespace tarvel::cli
