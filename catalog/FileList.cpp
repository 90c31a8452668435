#include "catalog/FileList.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "base/AsciiCase.h"
#include "base/FileIo.h"
#include "base/Locale.h"

namespace tarvel {

namespace {

constexpr std::string_view kSflExtension = ".sfl";

unsigned UpperAsciiByte(char c) { return static_cast<unsigned char>(UpperAscii(c)); }

}  // namespace

bool HasSflExtension(std::string_view name) { return EndsWithNoCase(name, kSflExtension); }

std::string FormatListDate(std::int64_t utcSeconds, long utcOffsetSeconds) {
  std::tm parts{};
  if (!UtcParts(utcSeconds + utcOffsetSeconds, parts)) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min);
  return text;
}

std::vector<CatalogRow> ListSflFolder(const std::string& folder) {
  std::vector<CatalogRow> rows;
  // One offset, today's, for every file whatever its date, as the catalog's
  // listing always did: a summer file listed in winter shows an hour less
  // than its summer clock time.
  const long utcOffsetSeconds = CurrentUtcOffsetSeconds();
  std::vector<fileio::FolderEntry> entries = fileio::ListFolder(folder, HasSflExtension);
  // The listing in the order an NTFS folder gives it (names compared in
  // upper case), whatever the file system: readdir's order on Linux, and
  // wine's over it, follows hashes, so the unsorted rows would differ
  // between the two windows and from one folder copy to the next.
  std::stable_sort(entries.begin(), entries.end(), [](const fileio::FolderEntry& a, const fileio::FolderEntry& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char x, char y) { return UpperAsciiByte(x) < UpperAsciiByte(y); });
  });
  for (const fileio::FolderEntry& entry : entries) {
    const std::string_view name = entry.name;
    CatalogRow row;
    row.fileName = name;
    row.baseName = name.substr(0, name.size() - kSflExtension.size());
    row.dateText = FormatListDate(entry.info.modifiedUtcSeconds, utcOffsetSeconds);
    rows.push_back(std::move(row));
  }
  // Each entry goes on top of the list.
  std::reverse(rows.begin(), rows.end());
  return rows;
}

}  // namespace tarvel
