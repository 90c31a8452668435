// bench/convert: a 512 KiB image as Intel HEX, made by srec_cat, converted
// into a 4096-block SFL file by libtesmol.so (loaded, called, unloaded, as
// the window does it), timed beside srec_cat turning the same HEX file into
// a binary image in the same run. Both outputs are checked against the
// image. srec_cat comes from Debian's srecord, installed when missing.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/SflFile.h"
#include "service/Converters.h"

extern char** environ;

namespace {

using namespace tarvel;
namespace fs = std::filesystem;
using BenchClock = std::chrono::steady_clock;

constexpr std::size_t kImageBytes = 512 * 1024;
constexpr int kRuns = 11;

std::vector<std::uint8_t> MakeImage() {
  std::vector<std::uint8_t> image(kImageBytes);
  std::uint32_t state = 0x12345678;
  for (auto& byte : image) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return image;
}

std::vector<std::uint8_t> Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a program with its output discarded; the exit status, -1 when it
// could not be started.
int Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveSrecCat() { return Run({"srec_cat", "-VERSion"}) == 0; }

bool InstallSrecord() {
  std::puts("bench-convert: srec_cat not found; installing Debian's srecord");
  const char* sudo = ::geteuid() == 0 ? "" : "sudo ";
  const std::string command = std::string(sudo) +
                              "env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends srecord"
                              " >/dev/null";
  return std::system(command.c_str()) == 0 && HaveSrecCat();
}

double Ms(BenchClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Timings {
  std::vector<double> ms;
  double median() {
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
  }
  double best() { return *std::min_element(ms.begin(), ms.end()); }
};

// The SFL file decoded back into an image; empty when it does not hold
// blocks 000..FFF in order.
std::vector<std::uint8_t> DecodeSfl(const fs::path& path) {
  const std::vector<std::uint8_t> bytes = Slurp(path);
  std::vector<std::uint8_t> image;
  SflTextReader reader(bytes);
  SflRecord record;
  std::uint16_t expected = 0;
  while (ParseSflRecord(reader, record) == SflParse::Record) {
    if (record.block != expected++) return {};
    image.insert(image.end(), record.data.begin(), record.data.end());
  }
  return image;
}

}  // namespace

int main() {
  if (!HaveSrecCat() && !InstallSrecord()) {
    std::puts("bench-convert: srec_cat is not available (apt-get install srecord); no comparison made");
    return 1;
  }
  const fs::path dir = fs::temp_directory_path() / ("tarvel-bench-convert-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::vector<std::uint8_t> image = MakeImage();
  {
    std::ofstream out(dir / "image.bin", std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  // 16 data bytes a record with extended linear address records, as
  // compilers' tools write them.
  const std::string hex = (dir / "image.hex").string();
  if (Run({"srec_cat", (dir / "image.bin").string(), "-binary", "-o", hex, "-intel", "-output_block_size=16"}) != 0) {
    std::puts("bench-convert: srec_cat could not make the HEX file");
    return 1;
  }

  HexConversion conversion;
  conversion.hexPath = hex;
  conversion.sflName = "image.sfl";
  conversion.firstBlock = 0;
  conversion.lastBlock = 0xFFF;
  conversion.productName = "Bench";
  conversion.firmVersion = "1.0";
  const std::string binOut = (dir / "back.bin").string();

  Timings tesmol, srecCat;
  bool ok = true;
  for (int run = 0; run < kRuns && ok; ++run) {
    auto start = BenchClock::now();
    const ConversionResult result = ConvertHexToSfl(conversion);
    tesmol.ms.push_back(Ms(BenchClock::now() - start));
    if (!result.succeeded) {
      std::printf("bench-convert: the conversion failed: %s\n", result.reason.c_str());
      ok = false;
    }
    start = BenchClock::now();
    const int rc = Run({"srec_cat", hex, "-intel", "-o", binOut, "-binary"});
    srecCat.ms.push_back(Ms(BenchClock::now() - start));
    if (rc != 0) {
      std::puts("bench-convert: srec_cat failed to convert the HEX file");
      ok = false;
    }
  }
  if (ok) {
    const auto sflSize = fs::file_size(dir / "image.sfl");
    const bool sizeOk = sflSize == kSflHeaderBytes + 4096 * kSflRecordBytes;
    const bool sflOk = DecodeSfl(dir / "image.sfl") == image;
    const bool binOk = Slurp(binOut) == image;
    std::printf("HEX file: %ju bytes (%zu-byte image); SFL file: %ju bytes%s\n",
                static_cast<std::uintmax_t>(fs::file_size(hex)), image.size(), static_cast<std::uintmax_t>(sflSize),
                sizeOk ? "" : " (NOT 378 + 263 x 4096)");
    std::printf("outputs equal to the image: SFL %s, srec_cat binary %s\n", sflOk ? "yes" : "NO", binOk ? "yes" : "NO");
    ok = sizeOk && sflOk && binOk;
  }
  if (ok) {
    const double ours = tesmol.median();
    const double theirs = srecCat.median();
    std::printf("%d runs, median (best):\n", kRuns);
    std::printf("  libtesmol.so  HEX -> SFL     %8.2f ms (%.2f ms)  load, Velmar_Prc, unload\n", ours, tesmol.best());
    std::printf("  srec_cat      HEX -> binary  %8.2f ms (%.2f ms)  process start included\n", theirs,
                srecCat.best());
    std::printf("  ratio libtesmol / srec_cat: %.2f (%s)\n", ours / theirs,
                ours <= theirs ? "not slower: target met" : "SLOWER than srec_cat");
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return ok ? 0 : 1;
}
