// SHA-256 of a file or of bytes, as lower-case hex: the fingerprint that a
// production line's record keeps of every image written or read. The
// digests come from libgcrypt.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct gcry_md_handle;

namespace tarvel {

// libgcrypt set up once for the whole program (version check, no secure
// memory: nothing secret passes through it here). False when the library
// found at run time is older than the one built against.
bool CryptoLibraryReady();

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void add(std::span<const std::uint8_t> bytes);
  // The digest as 64 hex digits; the object is spent afterwards.
  std::string hex();

 private:
  gcry_md_handle* handle_ = nullptr;
};

// The digest of a file's bytes; nothing when it cannot be read.
std::optional<std::string> FileSha256(const std::string& path);

// Lower-case hex of `bytes`.
std::string HexOf(std::span<const std::uint8_t> bytes);

// A SHA-256 digest as text: exactly 64 hex digits, of either case.
bool IsHexDigest(std::string_view text);

}  // namespace tarvel
