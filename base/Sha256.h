// SHA-256 of a file or of bytes, as lower-case hex: the fingerprint that a
// production line's record keeps of every image written or read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarvel {

class Sha256 {
 public:
  Sha256();
  void add(std::span<const std::uint8_t> bytes);
  // The digest as 64 hex digits; the object is spent afterwards.
  std::string hex();

 private:
  void block(const std::uint8_t* data);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingBytes_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// The digest of a file's bytes; nothing when it cannot be read.
std::optional<std::string> FileSha256(const std::string& path);

}  // namespace tarvel
