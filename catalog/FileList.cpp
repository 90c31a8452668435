#include "catalog/FileList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

namespace tarvel {

namespace {

constexpr std::string_view kSflExtension = ".sfl";

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Closes the listing on every way out.
struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

bool HasSflExtension(std::string_view name) {
  if (name.size() < kSflExtension.size()) return false;
  const std::string_view tail = name.substr(name.size() - kSflExtension.size());
  return std::equal(tail.begin(), tail.end(), kSflExtension.begin(),
                    [](char a, char b) { return AsciiLower(a) == b; });
}

std::string FormatListDate(std::int64_t utcSeconds, long utcOffsetSeconds) {
  const std::time_t local = static_cast<std::time_t>(utcSeconds + utcOffsetSeconds);
  std::tm parts{};
  if (::gmtime_r(&local, &parts) == nullptr) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min);
  return text;
}

long CurrentUtcOffsetSeconds() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  if (::localtime_r(&now, &parts) == nullptr) return 0;
  return parts.tm_gmtoff;
}

std::vector<CatalogRow> ListSflFolder(const std::string& folder) {
  std::vector<CatalogRow> rows;
  // The folder with a separator appended, as it is given: a trailing
  // separator doubles, which the system accepts.
  const std::unique_ptr<DIR, DirCloser> dir(::opendir((folder + "/").c_str()));
  if (!dir) return rows;
  const int dirFd = ::dirfd(dir.get());
  const long utcOffsetSeconds = CurrentUtcOffsetSeconds();

  // readdir reports a failure only through errno; a listing that breaks off
  // keeps the rows found so far.
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (!HasSflExtension(name)) continue;
    // The time of what a link points at; a dangling link has only its own.
    struct stat info {};
    if (::fstatat(dirFd, entry->d_name, &info, 0) != 0 &&
        ::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    CatalogRow row;
    row.fileName = name;
    row.baseName = name.substr(0, name.size() - kSflExtension.size());
    row.dateText = FormatListDate(info.st_mtim.tv_sec, utcOffsetSeconds);
    rows.push_back(std::move(row));
  }
  // Each entry goes on top of the list.
  std::reverse(rows.begin(), rows.end());
  return rows;
}

}  // namespace tarvel
