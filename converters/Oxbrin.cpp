// liboxbrin.so: flash blocks read from the radio, one call each, into an
// SFL file.
#include <cstdio>
#include <ctime>
#include <span>
#include <string>

#include "base/Locale.h"
#include "converters/ConverterApi.h"
#include "converters/SflOutput.h"
#include "formats/SflWriter.h"

namespace {

// Fixed size: a thread_local with a destructor would keep the library from
// being unloaded.
thread_local char t_lastError[512];

// The firmware line of a read's header: when it was read, as the radio does
// not say what it holds.
std::string ReadDate() {
  std::tm local{};
  char text[64] = "unknown date";
  if (tarvel::LocalParts(std::time(nullptr), local)) std::strftime(text, sizeof text, "read %Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

extern "C" int Oxbrin_Prc(const char* outputPath, const unsigned char* blockRecord) {
  t_lastError[0] = '\0';
  if (!outputPath || !*outputPath || !blockRecord) return 0;
  try {
    const auto block = static_cast<std::uint16_t>(blockRecord[0] << 8 | blockRecord[1]);
    const std::span<const std::uint8_t, tarvel::kBlockSize> data(blockRecord + 2, tarvel::kBlockSize);
    // The header is built for every call but written only into an empty
    // file; it costs microseconds against a block's time on the line.
    std::string reason;
    if (tarvel::converters::AppendToFile(outputPath, tarvel::SflHeader("Flash extraction", ReadDate()),
                                         tarvel::SflRecordLine(block, data), reason)) {
      return 1;
    }
    std::snprintf(t_lastError, sizeof t_lastError, "%s", reason.c_str());
  } catch (...) {
    std::snprintf(t_lastError, sizeof t_lastError, "out of memory");
  }
  return 0;
}

extern "C" const char* Oxbrin_LastError(void) { return t_lastError; }

extern "C" const char* Oxbrin_VerInfo(void) { return "Oxbrin 1.00"; }
