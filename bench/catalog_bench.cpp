// bench/catalog: lists a folder of 10 000 SFL files, then sorts the rows by
// each column both ways. Targets on the shared build machine: the listing
// under 0.5 s, each sort under 0.2 s. Then the rows' manifest states (what
// the window's tool tips compute on their own thread), without a manifest
// and with one: the digests computed once, then again from the cache.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "catalog/FileList.h"
#include "catalog/RowSort.h"
#include "trust/FileTrust.h"

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 10'000;
constexpr int kRuns = 5;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Files with mixed-case names in random order and last-write times spread
// over ten years, so that both columns have work to do.
bool MakeFolder(const std::string& folder) {
  std::mt19937 generator(20060629);
  std::vector<int> numbers(kFiles);
  for (int i = 0; i < kFiles; ++i) numbers[i] = i;
  std::shuffle(numbers.begin(), numbers.end(), generator);
  const std::string header = ";Model QX-7 firmware\n;Ver 1.10\n";
  const char* const prefixes[] = {"qx7_", "QX7_", "Radio-", "fw."};
  for (int i = 0; i < kFiles; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%05d.%s", prefixes[numbers[i] % 4], numbers[i], i % 3 ? "sfl" : "SFL");
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool written = ::write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size());
    const timespec times[2] = {{0, UTIME_OMIT}, {1'150'000'000 + static_cast<time_t>(generator() % 315'000'000), 0}};
    const bool dated = ::futimens(fd, times) == 0;
    ::close(fd);
    if (!written || !dated) return false;
  }
  return true;
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "tarvel-bench-catalog-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  int status = 0;
  if (!MakeFolder(folder)) {
    std::perror("making the files");
    status = 1;
  } else {
    double fillBest = 1e9;
    double sortBest[2][2] = {{1e9, 1e9}, {1e9, 1e9}};
    std::size_t rowCount = 0;
    for (int run = 0; run < kRuns; ++run) {
      const Clock::time_point start = Clock::now();
      std::vector<CatalogRow> rows = ListSflFolder(folder);
      fillBest = std::min(fillBest, Seconds(Clock::now() - start));
      rowCount = rows.size();
      for (int column = 0; column < 2; ++column) {
        for (int ascending = 1; ascending >= 0; --ascending) {
          const Clock::time_point sortStart = Clock::now();
          SortRows(rows, column, ascending != 0);
          double& best = sortBest[column][ascending];
          best = std::min(best, Seconds(Clock::now() - sortStart));
        }
      }
    }
    std::printf("catalog of %zu files, best of %d runs (targets: fill < 0.5 s, sort < 0.2 s)\n", rowCount, kRuns);
    std::printf("  fill                      %8.4f s\n", fillBest);
    const char* const names[2] = {"name", "date"};
    for (int column = 0; column < 2; ++column) {
      std::printf("  sort by %s ascending     %8.4f s\n", names[column], sortBest[column][1]);
      std::printf("  sort by %s descending    %8.4f s\n", names[column], sortBest[column][0]);
    }
    const std::vector<CatalogRow> rows = ListSflFolder(folder);
    // Every row's state against the folder's manifest, as the window's tool
    // tips have it; the seconds taken.
    const auto states = [&](DigestCache& cache, int& matching) {
      const Clock::time_point start = Clock::now();
      const FolderManifest manifest = LoadFolderManifest(folder, {});
      matching = 0;
      for (const CatalogRow& row : rows) {
        const std::string sha256 = cache.digest(folder + "/" + row.fileName).value_or("");
        matching += CheckAgainstManifest(manifest, row.fileName, sha256).state == ManifestState::Matches;
      }
      return Seconds(Clock::now() - start);
    };
    int matching = 0;
    DigestCache bare;
    const double withoutFirst = states(bare, matching);
    const double withoutCached = states(bare, matching);
    std::map<std::string, std::string> digests;
    for (const CatalogRow& row : rows) digests[row.fileName] = bare.digest(folder + "/" + row.fileName).value_or("");
    std::FILE* out = std::fopen((folder + "/SHA256SUMS").c_str(), "wb");
    const std::string text = FormatManifest(digests);
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) {
      std::perror("writing SHA256SUMS");
      status = 1;
    }
    DigestCache fresh;
    const double withFirst = states(fresh, matching);
    const double withCached = states(fresh, matching);
    std::printf("  states, no manifest, digests computed  %8.4f s\n", withoutFirst);
    std::printf("  states, no manifest, digests cached    %8.4f s\n", withoutCached);
    std::printf("  states, SHA256SUMS, digests computed   %8.4f s\n", withFirst);
    std::printf("  states, SHA256SUMS, digests cached     %8.4f s  (%d of %zu match)\n", withCached, matching,
                rows.size());
    if (matching != kFiles) status = 1;
    if (rowCount != static_cast<std::size_t>(kFiles)) {
      std::fprintf(stderr, "expected %d rows\n", kFiles);
      status = 1;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return status;
}
