// tarvel-make-sfl: makes SFL files of pseudo-random blocks for the demo and
// the benchmarks, and the flash image a radio holds after writing one.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "formats/SflWriter.h"

namespace {

tarvel::BlockData Block(std::uint16_t number, unsigned seed) {
  tarvel::BlockData data{};
  std::uint32_t x = number * 2654435761u ^ (seed + 1) * 40503u;
  for (auto& byte : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<std::uint8_t>(x);
  }
  return data;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Make an SFL file of pseudo-random blocks"};
  std::string out, image;
  unsigned blocks = 64, first = 0, seed = 0;
  std::string product = "TARVEL DEMO RADIO", version = "1.00";
  app.add_option("--out", out, "The SFL file to write")->required();
  app.add_option("--blocks", blocks, "Number of blocks")->check(CLI::Range(0, 4096));
  app.add_option("--first", first, "First block number")->check(CLI::Range(0, 4095));
  app.add_option("--seed", seed, "Seed of the block contents");
  app.add_option("--product", product, "Product name in the header");
  app.add_option("--firm-version", version, "Firmware version in the header");
  app.add_option("--image", image, "Also write the 512 KiB flash image that results (0xFF elsewhere)");
  CLI11_PARSE(app, argc, argv);
  if (first + blocks > 4096) {
    std::fprintf(stderr, "tarvel-make-sfl: blocks beyond 0xFFF\n");
    return 2;
  }

  std::string text = tarvel::SflHeader(product, version);
  std::vector<std::uint8_t> flash(4096 * tarvel::kBlockSize, 0xFF);
  for (unsigned i = 0; i < blocks; ++i) {
    const auto number = static_cast<std::uint16_t>(first + i);
    const tarvel::BlockData data = Block(number, seed);
    text += tarvel::SflRecordLine(number, data);
    std::copy(data.begin(), data.end(), flash.begin() + number * tarvel::kBlockSize);
  }
  std::ofstream sfl(out, std::ios::binary | std::ios::trunc);
  sfl << text;
  if (!sfl.flush()) {
    std::fprintf(stderr, "tarvel-make-sfl: cannot write %s\n", out.c_str());
    return 1;
  }
  if (!image.empty()) {
    std::ofstream raw(image, std::ios::binary | std::ios::trunc);
    raw.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
    if (!raw.flush()) {
      std::fprintf(stderr, "tarvel-make-sfl: cannot write %s\n", image.c_str());
      return 1;
    }
  }
  return 0;
}
