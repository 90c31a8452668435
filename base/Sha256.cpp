#include "base/Sha256.h"

#include <gcrypt.h>

#include <fstream>
#include <mutex>
#include <vector>

#include "base/FileIo.h"

namespace tarvel {

bool CryptoLibraryReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    // The version check is what initialises the library; it must come
    // before any other call, from one thread.
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    ready = true;
  });
  return ready;
}

Sha256::Sha256() {
  if (CryptoLibraryReady() && gcry_md_open(&handle_, GCRY_MD_SHA256, 0) != 0) handle_ = nullptr;
}

Sha256::~Sha256() { gcry_md_close(handle_); }

void Sha256::add(std::span<const std::uint8_t> bytes) {
  if (handle_ != nullptr && !bytes.empty()) gcry_md_write(handle_, bytes.data(), bytes.size());
}

std::string Sha256::hex() {
  if (handle_ == nullptr) return {};
  const unsigned char* digest = gcry_md_read(handle_, GCRY_MD_SHA256);
  std::string out = digest == nullptr ? std::string() : HexOf({digest, gcry_md_get_algo_dlen(GCRY_MD_SHA256)});
  gcry_md_close(handle_);
  handle_ = nullptr;
  return out;
}

std::string HexOf(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

bool IsHexDigest(std::string_view text) {
  constexpr std::size_t kDigestChars = 64;
  if (text.size() != kDigestChars) return false;
  for (const char c : text) {
    const bool digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!digit) return false;
  }
  return true;
}

std::optional<std::string> FileSha256(const std::string& path) {
  std::ifstream in(fileio::PathOf(path), std::ios::binary);
  if (!in) return std::nullopt;
  Sha256 digest;
  std::vector<char> chunk(std::size_t{64} * 1024);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    digest.add({reinterpret_cast<const std::uint8_t*>(chunk.data()), got});
  }
  if (in.bad()) return std::nullopt;
  std::string hex = digest.hex();
  if (hex.empty()) return std::nullopt;
  return hex;
}

}  // namespace tarvel
