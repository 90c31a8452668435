// The rows of the catalog: the SFL files of one folder with the local time
// of their last write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

inline constexpr int kColumnName = 0;  // "SFL File"
inline constexpr int kColumnDate = 1;  // "Date"

struct CatalogRow {
  // Column 0: the name without its last ".sfl", as the bytes the system
  // gave (not necessarily UTF-8).
  std::string baseName;
  // Column 1: "%04d/%02d/%02d %d:%02d" (year, month, day, hour, minute).
  std::string dateText;
  // The entry's own name. Names that differ only by case are different files
  // here, so "fw.SFL" cannot be reached as base name + ".sfl": a selected
  // row is opened by this name.
  std::string fileName;
  // The row's position when a sort began; meaningful only during a sort.
  std::uint32_t itemData = 0;

  const std::string& text(int column) const { return column == kColumnDate ? dateText : baseName; }
};

// True when `name` ends in ".sfl" in any letter case.
bool HasSflExtension(std::string_view name);

// FillFileList: every entry of `folder` whose name ends in ".sfl" in any
// letter case (files, folders, hidden entries, links alike), in display
// order. The listing is taken in NTFS's order (names compared in upper
// case) on every system, and each entry goes on top of the list, so the rows
// come in the reverse of that order. The folder is used
// as given with "/" appended, so "" lists "/" and "a/" lists "a//" (= "a/").
// A folder that is missing or unreadable gives no rows; an entry that
// vanishes before its time is read is left out.
std::vector<CatalogRow> ListSflFolder(const std::string& folder);

// The date text of a last-write time given in seconds since 1970 (UTC),
// shifted by `utcOffsetSeconds`.
std::string FormatListDate(std::int64_t utcSeconds, long utcOffsetSeconds);

}  // namespace tarvel
