#include "trust/Minisign.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstring>

#include "base/Sha256.h"

namespace tarvel {

namespace {

constexpr std::size_t kAlgorithmBytes = 2;
constexpr std::size_t kKeyIdBytes = 8;
constexpr std::size_t kPublicKeyBytes = 32;
constexpr std::size_t kSignatureBytes = 64;
constexpr std::size_t kHalfSignature = 32;  // R, then S
constexpr std::string_view kUntrusted = "untrusted comment:";
constexpr std::string_view kTrusted = "trusted comment: ";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

// RAII for libgcrypt's S-expressions.
struct Sexp {
  gcry_sexp_t value = nullptr;
  Sexp() = default;
  Sexp(const Sexp&) = delete;
  Sexp& operator=(const Sexp&) = delete;
  ~Sexp() { gcry_sexp_release(value); }
};

bool VerifyEd25519(std::span<const std::uint8_t> message, std::span<const std::uint8_t> signature,
                   const std::array<std::uint8_t, kPublicKeyBytes>& publicKey) {
  if (!CryptoLibraryReady() || signature.size() != kSignatureBytes) return false;
  Sexp key;
  Sexp sig;
  Sexp data;
  if (gcry_sexp_build(&key.value, nullptr, "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                      static_cast<int>(kPublicKeyBytes), publicKey.data()) != 0) {
    return false;
  }
  if (gcry_sexp_build(&sig.value, nullptr, "(sig-val (eddsa (r %b) (s %b)))", static_cast<int>(kHalfSignature),
                      signature.data(), static_cast<int>(kHalfSignature), signature.data() + kHalfSignature) != 0) {
    return false;
  }
  if (gcry_sexp_build(&data.value, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                      static_cast<int>(message.size()), message.data()) != 0) {
    return false;
  }
  return gcry_pk_verify(sig.value, data.value, key.value) == 0;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t group = 0;
    int padding = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      // Padding only in the last group's last two places.
      const bool pad = c == '=' && i + 4 == text.size() && j >= 2 && (j == 3 || text[i + 3] == '=');
      const int value = pad ? 0 : Base64Value(c);
      if (value < 0 || (!pad && padding > 0)) return std::nullopt;
      padding += pad ? 1 : 0;
      group = (group << 6) | static_cast<std::uint32_t>(value);
    }
    out.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(group));
  }
  return out;
}

std::string KeyIdText(const std::array<std::uint8_t, 8>& id) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  // minisign reads the id as a little-endian number.
  for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
    out += kDigits[*byte >> 4];
    out += kDigits[*byte & 0x0F];
  }
  return out;
}

std::optional<MinisignKey> ParseMinisignKey(std::string_view text) {
  const std::vector<std::string_view> lines = Lines(text);
  // The comment line is optional in a key given on its own.
  std::size_t at = !lines.empty() && lines[0].starts_with(kUntrusted) ? 1 : 0;
  if (at >= lines.size()) return std::nullopt;
  const auto bytes = DecodeBase64(lines[at]);
  if (!bytes || bytes->size() != kAlgorithmBytes + kKeyIdBytes + kPublicKeyBytes) return std::nullopt;
  if ((*bytes)[0] != 'E' || (*bytes)[1] != 'd') return std::nullopt;
  MinisignKey key;
  std::copy_n(bytes->begin() + kAlgorithmBytes, kKeyIdBytes, key.id.begin());
  std::copy_n(bytes->begin() + kAlgorithmBytes + kKeyIdBytes, kPublicKeyBytes, key.publicKey.begin());
  return key;
}

SignatureCheck VerifyMinisign(std::span<const std::uint8_t> message, std::string_view signature,
                              const std::vector<MinisignKey>& keys) {
  SignatureCheck check;
  const std::vector<std::string_view> lines = Lines(signature);
  if (lines.size() < 4 || !lines[0].starts_with(kUntrusted) || !lines[2].starts_with(kTrusted)) return check;
  const auto first = DecodeBase64(lines[1]);
  const auto global = DecodeBase64(lines[3]);
  if (!first || first->size() != kAlgorithmBytes + kKeyIdBytes + kSignatureBytes || !global ||
      global->size() != kSignatureBytes) {
    return check;
  }
  const bool prehashed = (*first)[0] == 'E' && (*first)[1] == 'D';
  const bool legacy = (*first)[0] == 'E' && (*first)[1] == 'd';
  if (!prehashed && !legacy) return check;
  std::array<std::uint8_t, kKeyIdBytes> id{};
  std::copy_n(first->begin() + kAlgorithmBytes, kKeyIdBytes, id.begin());
  check.keyId = KeyIdText(id);
  check.trustedComment = std::string(lines[2].substr(kTrusted.size()));
  const auto key = std::find_if(keys.begin(), keys.end(), [&](const MinisignKey& k) { return k.id == id; });
  if (key == keys.end()) {
    check.state = SignatureState::UnknownKey;
    return check;
  }
  const std::span<const std::uint8_t> sig(first->data() + kAlgorithmBytes + kKeyIdBytes, kSignatureBytes);
  check.state = SignatureState::Bad;
  if (prehashed) {
    if (!CryptoLibraryReady()) return check;
    std::array<std::uint8_t, 64> hash{};
    gcry_md_hash_buffer(GCRY_MD_BLAKE2B_512, hash.data(), message.data(), message.size());
    if (!VerifyEd25519(hash, sig, key->publicKey)) return check;
  } else if (!VerifyEd25519(message, sig, key->publicKey)) {
    return check;
  }
  // The trusted comment is signed together with the signature.
  std::vector<std::uint8_t> both(sig.begin(), sig.end());
  both.insert(both.end(), check.trustedComment.begin(), check.trustedComment.end());
  if (!VerifyEd25519(both, *global, key->publicKey)) return check;
  check.state = SignatureState::Good;
  return check;
}

}  // namespace tarvel
