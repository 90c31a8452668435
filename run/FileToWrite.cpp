#include "run/FileToWrite.h"

#include <filesystem>
#include <string_view>

#include "base/FileIo.h"
#include "formats/IntelHex.h"
#include "formats/SflFile.h"

namespace tarvel {

namespace {

// The convert line for a HEX file given to a write: the SFL file beside it.
std::string ConvertFirstHint(const std::string& path) {
  std::filesystem::path sfl = fileio::PathOf(path);
  sfl.replace_extension(".sfl");
  const std::string output = fileio::TextOf(sfl);
  return FormatString(StringId::IntelHexGivenHint, {path, ShellWord(path), ShellWord(output), ShellWord(output)});
}

}  // namespace

std::optional<SflFileProblem> LoadFileToWrite(const std::string& path, bool verify, const TrustOptions& trust,
                                              CheckedSflFile& file, TransferFacts& facts,
                                              std::optional<SflFileProblem>& warning) {
  facts.file = path;
  facts.verify = verify;
  std::optional<SflFileProblem> problem = LoadCheckedSflFile(path, file);
  // A file that was read has a fingerprint even when it is refused.
  if (problem && problem->id == StringId::FileCannotBeOpened) return problem;
  // The digest of the very bytes that will be written.
  const WriteTrust check = CheckBeforeWrite(path, file.bytes, trust);
  facts.fileSha256 = check.file.sha256;
  facts.manifest = std::string(ManifestStateName(check.file.state));
  facts.signedBy = check.signedBy;
  SflTextReader reader(file.bytes);
  SflRecord record;
  while (ParseSflRecord(reader, record) == SflParse::Record) ++facts.blocksTotal;
  if (problem) {
    const std::string_view text(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size());
    if (problem->id == StringId::InvalidSflFile && StartsAsIntelHex(text)) problem->hint = ConvertFirstHint(path);
    return problem;
  }
  if (check.verdict == WriteVerdict::Refuse) return SflFileProblem{check.message, check.detail, {}};
  if (check.verdict == WriteVerdict::Warn) warning = SflFileProblem{check.message, check.detail, {}};
  return std::nullopt;
}

}  // namespace tarvel
