// Folders of SFL files with chosen last-write times, for the catalog tests.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "base/Locale.h"
#include "catalog/FileList.h"
#include "tests/support/TempDir.h"

namespace tarvel::test {

// Seconds since 1970 of a local wall-clock time as the listing converts it
// (with today's UTC offset).
inline std::int64_t ListedLocalTime(int year, int month, int day, int hour, int minute) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  return static_cast<std::int64_t>(::timegm(&parts)) - CurrentUtcOffsetSeconds();
}

inline bool SetWriteTime(const std::string& path, std::int64_t seconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace tarvel::test
