#include "run/FileToWrite.h"

#include "formats/SflFile.h"

namespace tarvel {

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
  if (problem) return problem;
  if (check.verdict == WriteVerdict::Refuse) return SflFileProblem{check.message, check.detail};
  if (check.verdict == WriteVerdict::Warn) warning = SflFileProblem{check.message, check.detail};
  return std::nullopt;
}

}  // namespace tarvel
