// The radio's flash: 4096 blocks of 128 bytes, erased to 0xFF, optionally
// mirrored in a raw image file that survives the radio.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimRadio.h"

namespace tarvel::sim {

using BlockData = std::array<std::uint8_t, kBlockBytes>;

class Flash {
 public:
  Flash();
  ~Flash();
  Flash(const Flash&) = delete;
  Flash& operator=(const Flash&) = delete;

  // Loads the image file if it exists (a shorter file fills the start) and
  // keeps it up to date from then on. False, with `error` set, when the file
  // cannot be opened or read.
  bool attach(const std::string& path, std::string* error);

  // Out-of-range numbers read as erased and are not stored.
  BlockData block(std::size_t number) const;
  void store(std::size_t number, const BlockData& data);

 private:
  std::vector<std::uint8_t> image_;
  int fd_ = -1;
};

}  // namespace tarvel::sim
