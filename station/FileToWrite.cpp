#include "station/FileToWrite.h"

#include "base/Sha256.h"
#include "formats/SflFile.h"

namespace tarvel {

std::optional<SflFileProblem> LoadFileToWrite(const std::string& path, bool verify, CheckedSflFile& file,
                                              TransferFacts& facts) {
  facts.file = path;
  facts.verify = verify;
  const std::optional<SflFileProblem> problem = LoadCheckedSflFile(path, file);
  // A file that was read has a fingerprint even when it is refused.
  if (problem && problem->id == StringId::FileCannotBeOpened) return problem;
  Sha256 digest;
  digest.add(file.bytes);
  facts.fileSha256 = digest.hex();
  SflTextReader reader(file.bytes);
  SflRecord record;
  while (ParseSflRecord(reader, record) == SflParse::Record) ++facts.blocksTotal;
  return problem;
}

}  // namespace tarvel

