// What the logic asks of the system's calendar and case tables.
#pragma once

#include <cstdint>
#include <ctime>

namespace tarvel {

// Calendar parts of a time in seconds since 1970 (UTC), in UTC and in the
// local time zone; false when the system cannot tell.
bool UtcParts(std::int64_t utcSeconds, std::tm& parts);
bool LocalParts(std::int64_t utcSeconds, std::tm& parts);
// How far the local time is ahead of UTC now, in seconds.
long CurrentUtcOffsetSeconds();

// The lower case of a non-ASCII code point by the Unicode case table of the
// system, whatever locale the program runs in; `c` itself where the table
// has none.
char32_t UnicodeLowerCase(char32_t c);

}  // namespace tarvel
