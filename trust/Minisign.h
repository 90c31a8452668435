// minisign's public keys and signatures (Ed25519), checked with libgcrypt.
// A key file is an "untrusted comment:" line and the base64 of "Ed", an
// 8-byte key id and the 32-byte public key. A signature file is an
// untrusted comment, the base64 of the algorithm ("Ed": the file itself
// signed; "ED": its BLAKE2b-512 signed), the key id and the 64-byte
// signature, then a "trusted comment:" line and the base64 of a signature
// over the first signature and the trusted comment.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

struct MinisignKey {
  std::array<std::uint8_t, 8> id{};
  std::array<std::uint8_t, 32> publicKey{};
  std::string file;  // where it was read from
};

// The key id as minisign prints it: 16 upper-case hex digits.
std::string KeyIdText(const std::array<std::uint8_t, 8>& id);

// A public key from a key file's text; nothing when it is not one.
std::optional<MinisignKey> ParseMinisignKey(std::string_view text);

enum class SignatureState {
  Good,
  Malformed,   // not a minisign signature
  UnknownKey,  // made by a key not among the trusted ones
  Bad,         // does not verify: altered, or made over other bytes
};

struct SignatureCheck {
  SignatureState state = SignatureState::Malformed;
  std::string keyId;  // the key the signature names, once it could be read
  std::string trustedComment;
};

// Checks `signature` (a .minisig file's text) over `message` against the
// trusted keys.
SignatureCheck VerifyMinisign(std::span<const std::uint8_t> message, std::string_view signature,
                              const std::vector<MinisignKey>& keys);

// Base64 (standard alphabet, padded); nothing for anything else.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

}  // namespace tarvel
