// `tarvel-cli list [FOLDER]`: the catalog's rows as the window lists them.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "base/FileIo.h"
#include "catalog/Catalog.h"
#include "catalog/DisplayText.h"
#include "cli/Commands.h"
#include "cli/UsageWords.h"
#include "cli/CommandRun.h"
#include "cli/RadioRun.h"
#include "run/ExitCodes.h"
#include "trust/FileTrust.h"
#include "base/Sha256.h"
#include "formats/SflFile.h"

namespace tarvel::cli {

namespace {

// The most time the digests of one listing take together.
constexpr std::chrono::seconds kListDigestTime{10};

struct ListOptions {
  std::string folder = ".";
  std::string sort;  // "", "name" or "date"
  bool descending = false;
  bool json = false;
  TrustOptions trust;
};

// The list's word for a row's state.
std::string StateText(ManifestState state) {
  std::string text(ManifestStateName(state));
  std::replace(text.begin(), text.end(), '_', ' ');
  return text;
}

// Characters on the terminal, taken as one column each.
std::size_t Columns(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// A row for scripts: the name as the list shows it, the entry's own name,
// the date as shown and as a UTC time, the size and the record count by the
// converters' size convention.
Json RowJson(const std::string& folder, const CatalogRow& row) {
  Json object{{"name", DecodeForDisplay(row.baseName)}, {"file", row.fileName}, {"date", row.dateText}};
  fileio::FileInfo info;
  if (fileio::StatPath(folder + "/" + row.fileName, info) == 0) {
    object["date_iso"] = IsoTimeUtcSeconds(info.modifiedUtcSeconds);
    const auto size = info.size;
    object["size"] = size;
    object["blocks"] = size >= kSflHeaderBytes ? (size - kSflHeaderBytes) / kSflRecordBytes : 0;
  } else {
    object["date_iso"] = nullptr;
    object["size"] = nullptr;
    object["blocks"] = nullptr;
  }
  return object;
}

int RunList(const ListOptions& options) {
  CommandRun run("list", {options.json, {}});
  RunResult& result = run.result();
  result.fields["folder"] = options.folder;
  // The window shows an empty list for a missing folder; a script must
  // not take a typo for an empty folder.
  fileio::FileInfo info;
  std::string why;
  if (fileio::StatPath(options.folder, info) != 0) {
    why = std::strerror(errno);
  } else if (!info.directory) {
    why = "not a folder";
  } else {
    std::error_code error;
    const std::filesystem::directory_iterator probe(fileio::PathOf(options.folder), error);
    if (error) why = error.message();
  }
  if (!why.empty()) {
    const std::string reason = options.folder + ": " + why;
    run.fail(kExitFile, std::string(LoadString(StringId::FolderCannotBeOpened)), reason);
    return run.finish();
  }
  std::vector<CatalogRow> rows = ListSflFolder(options.folder);
  if (!options.sort.empty()) {
    SortRows(rows, options.sort == "date" ? kColumnDate : kColumnName, !options.descending);
  }
  // Digests only where they are asked for: a folder without a manifest
  // lists as fast as ever.
  const FolderManifest manifest = LoadFolderManifest(options.folder, options.trust);
  const bool digests = options.json || manifest.counts;
  // A file above the SFL reader's cap cannot be written: it is not read for
  // a digest. And the digests together get a bounded time: a listing is
  // not held up by a folder of large files; the rest are left unchecked.
  const auto deadline = std::chrono::steady_clock::now() + kListDigestTime;
  std::size_t leftOut = 0;
  Json list = Json::array();
  std::vector<std::string> states;
  for (const CatalogRow& row : rows) {
    Json object = RowJson(options.folder, row);
    if (digests) {
      const std::string path = options.folder + "/" + row.fileName;
      const bool tooLarge = object["size"].is_number() && object["size"].get<std::uint64_t>() > kSflMaxFileBytes;
      const bool late = !tooLarge && std::chrono::steady_clock::now() > deadline;
      const std::string sha256 = tooLarge || late ? std::string() : FileSha256(path).value_or("");
      FileTrust trust = CheckAgainstManifest(manifest, row.fileName, sha256);
      if (tooLarge) {
        trust.state = ManifestState::TooLarge;
        std::fprintf(stderr, "%s\n",
                     FormatString(StringId::ListTooLarge, {path, std::to_string(kSflMaxFileBytes)}).c_str());
      } else if (late) {
        trust.state = ManifestState::NotChecked;
        ++leftOut;
      }
      object["sha256"] = sha256.empty() ? Json(nullptr) : Json(sha256);
      object["manifest"] = ManifestStateName(trust.state);
      object["signed_by"] = manifest.signedBy.empty() ? Json(nullptr) : Json(manifest.signedBy);
      states.push_back(StateText(trust.state));
    }
    list.push_back(std::move(object));
  }
  if (leftOut > 0) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kListDigestTime).count();
    std::fprintf(stderr, "%s\n",
                 FormatString(StringId::ListDigestsLeftOut, {std::to_string(leftOut), std::to_string(seconds)}).c_str());
  }
  result.fields["rows"] = std::move(list);
  if (!manifest.problem.empty()) result.fields["manifest_problem"] = manifest.problem;
  if (!options.json) {
    std::fputs(FormatListing(rows, manifest.counts ? states : std::vector<std::string>{}).c_str(), stdout);
    // A manifest that is there but does not count is said once.
    if (!manifest.problem.empty()) {
      std::fprintf(stderr, "%s\n", FormatString(StringId::StatusNotCounted, {manifest.problem}).c_str());
    }
  }
  return run.finish();
}

}  // namespace

std::string TerminalSafeText(std::string_view displayText) {
  std::string out;
  out.reserve(displayText.size());
  std::size_t pos = 0;
  while (pos < displayText.size()) {
    char32_t c = 0;
    std::size_t length = DecodeUtf8(displayText, pos, c);
    if (length == 0) {
      // Not display text after all: one byte at a time, as Latin-1.
      c = static_cast<unsigned char>(displayText[pos]);
      length = 1;
    }
    pos += length;
    if (c == '\r') {
      if (pos < displayText.size() && displayText[pos] == '\n') ++pos;
      out += '\n';
    } else if (c == '\n' || c == '\t') {
      out += static_cast<char>(c);
    } else if (IsControl(c)) {
      AppendUtf8(out, U'\uFFFD');
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string FormatListing(const std::vector<CatalogRow>& rows, const std::vector<std::string>& states) {
  std::vector<std::string> names;
  names.reserve(rows.size());
  std::size_t width = 0;
  for (const CatalogRow& row : rows) {
    // A name is one line whatever it holds.
    std::string name = TerminalSafeText(DecodeForDisplay(row.baseName));
    for (std::size_t at = name.find_first_of("\n\t"); at != std::string::npos; at = name.find_first_of("\n\t", at)) {
      name.replace(at, 1, "\xEF\xBF\xBD");
    }
    width = std::max(width, Columns(name));
    names.push_back(std::move(name));
  }
  const bool withStates = states.size() == rows.size() && !rows.empty();
  std::size_t dateWidth = 0;
  for (const CatalogRow& row : rows) dateWidth = std::max(dateWidth, row.dateText.size());
  std::string out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out += names[i];
    out.append(width - Columns(names[i]) + 2, ' ');
    out += rows[i].dateText;
    if (withStates) {
      out.append(dateWidth - rows[i].dateText.size() + 2, ' ');
      out += states[i];
    }
    out += '\n';
  }
  return out;
}

void AddListCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* command = app.add_subcommand("list", "List the SFL files of a folder");
  command->add_option("folder", options->folder, "The folder (default: the working folder)");
  CLI::Option* sort = command->add_option("--sort", options->sort, "Sort by a column, as a click on its header")
                          ->check(OneOf({"name", "date"}));
  command->add_flag("--descending", options->descending, "Sort descending, as a second click on the header")
      ->needs(sort);
  AddJsonFlag(*command, options->json);
  AddTrustOptions(*command, options->trust, false);
  command->callback([options, &exitCode] { exitCode = RunList(*options); });
}

}  // namespace tarvel::cli
