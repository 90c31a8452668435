// Builds SFL file text for tests and benchmarks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::test {

struct TestRecord {
  std::uint16_t block;
  std::array<std::uint8_t, 128> data;
};

// A block whose bytes depend on its number and a seed, so that blocks differ.
std::array<std::uint8_t, 128> PatternBlock(std::uint16_t block, unsigned seed = 0);

// Records in the given order after `header`, each "+BBBB " and 256 digits
// followed by `lineEnd`.
std::string SflText(const std::string& header, const std::vector<TestRecord>& records,
                    const std::string& lineEnd = "\n", bool lowerCase = false);

// A file laid out by the size convention: a 378-byte header and 263-byte
// records, blocks first..first+count-1 with PatternBlock data.
std::string ConventionalSfl(std::uint16_t first, int count, unsigned seed = 0);

}  // namespace tarvel::test
