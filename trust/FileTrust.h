// Whether an SFL file is the one its folder's manifest lists: the state
// shown beside it, and the check made before it is written.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/FileIo.h"
#include "base/Strings.h"
#include "trust/Manifest.h"
#include "trust/Minisign.h"

namespace tarvel {

enum class ManifestState {
  Absent,     // no manifest, or one that does not count (see FolderManifest::problem)
  Matches,
  Differs,    // a damaged or altered file
  NotListed,
  TooLarge,    // larger than any SFL file: it cannot be written, and no digest is made
  NotChecked,  // its digest was left out to bound the time a listing takes
};

// "absent", "matches", "differs", "not_listed", "too_large", "not_checked":
// the JSON values.
std::string_view ManifestStateName(ManifestState state);

struct TrustOptions {
  // minisign public key files; when there are any, a manifest counts only
  // with a good signature by one of them.
  std::vector<std::string> keyFiles;
  // A file the manifest does not vouch for (not listed, or no manifest
  // that counts) is refused.
  bool requireManifest = false;
};

// A folder's manifest as it counts.
struct FolderManifest {
  std::string path;     // FOLDER/SHA256SUMS
  bool counts = false;
  std::string problem;  // why one that is there does not count; empty when there is none
  std::string signedBy; // the key id of a good signature
  ParsedManifest entries;
};

FolderManifest LoadFolderManifest(const std::string& folder, const TrustOptions& options);

struct FileTrust {
  ManifestState state = ManifestState::Absent;
  std::string sha256;  // empty: the file could not be read
  std::string listedSha256;
};

FileTrust CheckAgainstManifest(const FolderManifest& manifest, const std::string& fileName, const std::string& sha256);

// The first 12 hex digits, as messages show a digest.
std::string ShortDigest(std::string_view sha256);

// The line under a file's comment: "Checked against SHA256SUMS (signed by
// KEY)" or what is wrong. Empty for a folder without a manifest.
std::string TrustStatusLine(const FolderManifest& manifest, const FileTrust& file);

enum class WriteVerdict { Go, Warn, Refuse };

struct WriteTrust {
  WriteVerdict verdict = WriteVerdict::Go;
  FileTrust file;
  std::string manifestPath;
  std::string signedBy;
  StringId message = StringId::ManifestDiffers;  // for Warn and Refuse
  std::string detail;
};

// The check before a write, on the bytes that will be written (`path`
// names the file and its folder): a file that differs from the manifest is
// refused; one the manifest does not vouch for goes on with a warning, or
// is refused when the manifest is required.
WriteTrust CheckBeforeWrite(const std::string& path, std::span<const std::uint8_t> bytes,
                            const TrustOptions& options);
// The same judgement on a digest already known, against a manifest
// already loaded (a chosen row's WRITE).
WriteTrust JudgeForWrite(const std::string& path, const FolderManifest& manifest, const FileTrust& file,
                         const TrustOptions& options);

// Each file's digest computed once while it stays the same file with the
// same size and times, its change time included (fileio::FileStamp); safe
// to share between threads.
class DigestCache {
 public:
  // A file above `maxBytes` gets no digest: reading it would take long and
  // show nothing a write could use.
  explicit DigestCache(std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max()) : maxBytes_(maxBytes) {}
  std::optional<std::string> digest(const std::string& path);
  // Read again whatever is kept, and kept anew: before a file is shown as
  // a match.
  std::optional<std::string> recompute(const std::string& path);
  // Everything forgotten: a reload reads every file again.
  void clear();

 private:
  std::optional<std::string> compute(const std::string& path, const fileio::FileStamp& before);

  const std::uint64_t maxBytes_;
  std::mutex mutex_;
  std::map<std::string, std::pair<fileio::FileStamp, std::string>> entries_;
};

// The folder of `path` ("." for a bare name) and its last component.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

}  // namespace tarvel
