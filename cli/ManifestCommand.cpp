// `tarvel-cli manifest FOLDER`: SHA256SUMS for the SFL files of a folder,
// in sha256sum's format. Signing it stays with minisign.
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "base/FileIo.h"
#include "base/OutputFile.h"
#include "base/Sha256.h"
#include "catalog/FileList.h"
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "run/ExitCodes.h"
#include "trust/Manifest.h"

namespace tarvel::cli {

namespace {

struct ManifestOptions {
  std::string folder;
  bool force = false;
  bool json = false;
};

int RunManifest(const ManifestOptions& options) {
  CommandRun run("manifest", {options.json, {}});
  RunResult& result = run.result();
  const std::string path = fileio::TextOf(fileio::PathOf(options.folder) / fileio::PathOf(std::string(kManifestName)));
  result.fields["folder"] = options.folder;
  result.fields["output"] = path;
  fileio::FileInfo info;
  if (fileio::StatPath(options.folder, info) != 0 || !info.directory) {
    run.fail(kExitFile, std::string(LoadString(StringId::FolderCannotBeOpened)), options.folder);
    return run.finish();
  }
  // The output helper keeps a link and writes where it leads, as a user's
  // file asks; but a manifest names the files of its own folder, so one
  // that leads elsewhere would replace a file outside it.
  {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_symlink(fileio::PathOf(path), error)) {
      const fs::path target = fs::weakly_canonical(fileio::PathOf(path), error);
      const fs::path folder = fs::weakly_canonical(fileio::PathOf(options.folder), error);
      if (error || target.parent_path() != folder) {
        run.fail(kExitUsage, FormatString(StringId::ManifestLinkOutside, {path, options.folder}));
        return run.finish();
      }
    }
  }
  std::map<std::string, std::string> digests;
  for (const CatalogRow& row : ListSflFolder(options.folder)) {
    const std::string file = options.folder + "/" + row.fileName;
    // Folders and links to nothing that end in .sfl are not firmware.
    if (fileio::StatPath(file, info) != 0 || !info.regular) continue;
    const std::optional<std::string> sha256 = FileSha256(file);
    if (!sha256) {
      run.fail(kExitFile, std::string(LoadString(StringId::FileCannotBeOpened)), file);
      return run.finish();
    }
    digests[row.fileName] = *sha256;
  }
  if (digests.empty()) {
    run.fail(kExitFile, FormatString(StringId::ManifestNoFiles, {options.folder}));
    return run.finish();
  }
  OutputError error;
  OutputFile output;
  if (!output.open(path, {}, error) || !output.write(FormatManifest(digests), error) ||
      !output.commit(error, options.force ? ExistingFile::Replace : ExistingFile::Keep)) {
    if (error.problem == OutputProblem::Appeared) {
      run.fail(kExitUsage, FormatString(StringId::OutputExists, {path}));
    } else {
      run.fail(kExitFile, std::string(LoadString(StringId::FileCannotBeOpened)), error.text);
    }
    return run.finish();
  }
  Json names = Json::array();
  for (const auto& [name, digest] : digests) names.push_back({{"file", name}, {"sha256", digest}});
  result.fields["files"] = std::move(names);
  result.message = FormatString(StringId::ManifestWritten, {path, std::to_string(digests.size())});
  if (!options.json) std::printf("%s\n", result.message.c_str());
  return run.finish();
}

}  // namespace

void AddManifestCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ManifestOptions>();
  CLI::App* command = app.add_subcommand("manifest", "Write SHA256SUMS for the SFL files of a folder");
  command->add_option("folder", options->folder, "The folder")->required();
  command->add_flag("--force", options->force, "Replace an existing SHA256SUMS");
  AddJsonFlag(*command, options->json);
  command->callback([options, &exitCode] { exitCode = RunManifest(*options); });
}

}  // namespace tarvel::cli
