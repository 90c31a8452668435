#include "trust/FileTrust.h"

#include "base/FileIo.h"
#include "base/Sha256.h"

namespace tarvel {

namespace {

// Manifests, signatures and keys are small; a larger file is not one.
constexpr std::size_t kManifestMaxBytes = std::size_t{16} * 1024 * 1024;
constexpr std::size_t kSmallFileMaxBytes = std::size_t{64} * 1024;

std::string JoinPath(const std::string& folder, std::string_view name) {
  return fileio::TextOf(fileio::PathOf(folder) / fileio::PathOf(std::string(name)));
}

bool LoadKeys(const std::vector<std::string>& files, std::vector<MinisignKey>& keys, std::string& problem) {
  for (const std::string& file : files) {
    std::string text;
    std::string reason;
    if (!fileio::ReadRegularFile(file, kSmallFileMaxBytes, text, reason)) {
      problem = FormatString(StringId::KeyFileUnreadable, {file, reason});
      return false;
    }
    std::optional<MinisignKey> key = ParseMinisignKey(text);
    if (!key) {
      problem = FormatString(StringId::KeyFileNotKey, {file});
      return false;
    }
    key->file = file;
    keys.push_back(*key);
  }
  return true;
}

// Why a signature that is not good leaves the manifest out.
std::string SignatureProblem(const SignatureCheck& check, const std::string& signature, const std::string& manifest) {
  switch (check.state) {
    case SignatureState::Good: return {};
    case SignatureState::Malformed: return FormatString(StringId::SignatureMalformed, {signature});
    case SignatureState::UnknownKey: return FormatString(StringId::SignatureUnknownKey, {manifest, check.keyId});
    case SignatureState::Bad: return FormatString(StringId::SignatureBad, {signature, manifest});
  }
  return {};
}

}  // namespace

std::string_view ManifestStateName(ManifestState state) {
  switch (state) {
    case ManifestState::Absent: return "absent";
    case ManifestState::Matches: return "matches";
    case ManifestState::Differs: return "differs";
    case ManifestState::NotListed: return "not_listed";
    case ManifestState::TooLarge: return "too_large";
    case ManifestState::NotChecked: return "not_checked";
  }
  return "absent";
}

std::string FolderOf(const std::string& path) {
  const std::filesystem::path parent = fileio::PathOf(path).parent_path();
  return parent.empty() ? std::string(".") : fileio::TextOf(parent);
}

std::string NameOf(const std::string& path) { return fileio::TextOf(fileio::PathOf(path).filename()); }

FolderManifest LoadFolderManifest(const std::string& folder, const TrustOptions& options) {
  FolderManifest manifest;
  manifest.path = JoinPath(folder, kManifestName);
  std::string text;
  std::string reason;
  if (!fileio::ReadRegularFile(manifest.path, kManifestMaxBytes, text, reason)) {
    fileio::FileInfo info;
    // Only a manifest that is there and cannot be read is a problem.
    if (fileio::StatPath(manifest.path, info) == 0) {
      manifest.problem = FormatString(StringId::ManifestUnreadable, {manifest.path, reason});
    }
    return manifest;
  }
  if (!options.keyFiles.empty()) {
    std::vector<MinisignKey> keys;
    if (!LoadKeys(options.keyFiles, keys, manifest.problem)) return manifest;
    const std::string signaturePath = JoinPath(folder, kSignatureName);
    std::string signature;
    if (!fileio::ReadRegularFile(signaturePath, kSmallFileMaxBytes, signature, reason)) {
      manifest.problem = FormatString(StringId::SignatureMissing, {manifest.path, signaturePath, reason});
      return manifest;
    }
    const SignatureCheck check =
        VerifyMinisign({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, signature, keys);
    manifest.problem = SignatureProblem(check, signaturePath, manifest.path);
    if (check.state != SignatureState::Good) return manifest;
    manifest.signedBy = check.keyId;
  }
  manifest.entries = ParseManifest(text);
  manifest.counts = true;
  return manifest;
}

FileTrust CheckAgainstManifest(const FolderManifest& manifest, const std::string& fileName,
                               const std::string& sha256) {
  FileTrust trust;
  trust.sha256 = sha256;
  // A file that could not be read is not checked: it is no match, and no
  // damage either.
  if (!manifest.counts || sha256.empty()) return trust;
  const auto entry = manifest.entries.digests.find(fileName);
  if (entry == manifest.entries.digests.end()) {
    trust.state = ManifestState::NotListed;
    return trust;
  }
  trust.listedSha256 = entry->second;
  trust.state = entry->second == sha256 ? ManifestState::Matches : ManifestState::Differs;
  return trust;
}

std::string ShortDigest(std::string_view sha256) { return std::string(sha256.substr(0, 12)); }

std::string TrustStatusLine(const FolderManifest& manifest, const FileTrust& file) {
  const std::string name = std::string(kManifestName);
  switch (file.state) {
    case ManifestState::Absent:
      return manifest.problem.empty() ? std::string() : FormatString(StringId::StatusNotCounted, {manifest.problem});
    case ManifestState::Matches:
      return manifest.signedBy.empty() ? FormatString(StringId::CheckedAgainstUnsigned, {name})
                                       : FormatString(StringId::CheckedAgainst, {name, manifest.signedBy});
    case ManifestState::Differs:
      return FormatString(StringId::StatusDiffers,
                          {name, ShortDigest(file.sha256), ShortDigest(file.listedSha256)});
    case ManifestState::NotListed: return FormatString(StringId::StatusNotListed, {name});
    case ManifestState::TooLarge:
    case ManifestState::NotChecked: return {};
  }
  return {};
}

WriteTrust CheckBeforeWrite(const std::string& path, std::span<const std::uint8_t> bytes,
                            const TrustOptions& options) {
  const FolderManifest manifest = LoadFolderManifest(FolderOf(path), options);
  Sha256 digest;
  digest.add(bytes);
  return JudgeForWrite(path, manifest, CheckAgainstManifest(manifest, NameOf(path), digest.hex()), options);
}

WriteTrust JudgeForWrite(const std::string& path, const FolderManifest& manifest, const FileTrust& file,
                         const TrustOptions& options) {
  WriteTrust check;
  check.file = file;
  check.manifestPath = manifest.path;
  check.signedBy = manifest.signedBy;
  const std::string name = NameOf(path);
  switch (check.file.state) {
    case ManifestState::Matches: return check;
    case ManifestState::Differs:
      check.verdict = WriteVerdict::Refuse;
      check.message = StringId::ManifestDiffers;
      check.detail = FormatString(StringId::ManifestDiffersDetail, {path, ShortDigest(check.file.sha256),
                                                                    ShortDigest(check.file.listedSha256),
                                                                    manifest.path});
      return check;
    case ManifestState::NotListed:
      check.verdict = options.requireManifest ? WriteVerdict::Refuse : WriteVerdict::Warn;
      check.message = options.requireManifest ? StringId::ManifestRequired : StringId::ManifestNotListed;
      check.detail = FormatString(StringId::ManifestNotListedDetail, {name, manifest.path});
      return check;
    case ManifestState::TooLarge:
    case ManifestState::NotChecked:
    case ManifestState::Absent:
      if (options.requireManifest) {
        check.verdict = WriteVerdict::Refuse;
        check.message = StringId::ManifestRequired;
        check.detail = manifest.problem.empty()
                           ? FormatString(StringId::ManifestMissing, {std::string(kManifestName), FolderOf(path)})
                           : manifest.problem;
      } else if (!manifest.problem.empty()) {
        // A manifest that is there but does not count is worth a word.
        check.verdict = WriteVerdict::Warn;
        check.message = StringId::ManifestNotCounted;
        check.detail = manifest.problem;
      }
      return check;
  }
  return check;
}

std::optional<std::string> DigestCache::digest(const std::string& path) {
  fileio::FileStamp stamp;
  if (fileio::StampPath(path, stamp) != 0 || !stamp.regular || stamp.size > maxBytes_) return std::nullopt;
  {
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(path);
    if (found != entries_.end() && found->second.first == stamp) return found->second.second;
  }
  return compute(path, stamp);
}

std::optional<std::string> DigestCache::recompute(const std::string& path) {
  fileio::FileStamp stamp;
  if (fileio::StampPath(path, stamp) != 0 || !stamp.regular || stamp.size > maxBytes_) {
    const std::lock_guard lock(mutex_);
    entries_.erase(path);
    return std::nullopt;
  }
  return compute(path, stamp);
}

void DigestCache::clear() {
  const std::lock_guard lock(mutex_);
  entries_.clear();
}

// Kept only when the file was the same before and after the reading: one
// written meanwhile is read again next time.
std::optional<std::string> DigestCache::compute(const std::string& path, const fileio::FileStamp& before) {
  std::optional<std::string> sha256 = FileSha256(path);
  fileio::FileStamp after;
  const bool steady = sha256 && fileio::StampPath(path, after) == 0 && after == before;
  const std::lock_guard lock(mutex_);
  if (steady) {
    entries_[path] = {before, *sha256};
  } else {
    entries_.erase(path);
  }
  return sha256;
}

}  // namespace tarvel
