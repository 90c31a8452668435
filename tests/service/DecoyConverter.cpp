// A stand-in converter library for the loading tests. It answers to both
// libraries' names: Velmar_Prc records its arguments into the output file,
// the versions are its own, Oxbrin_VerInfo gives a null pointer, and there
// is no Oxbrin_Prc. When TARVEL_DECOY_MARK names a file, loading the library
// creates it, so a test can tell that its code ran at all.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define DECOY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

__attribute__((constructor)) void MarkLoaded() {
  const char* mark = std::getenv("TARVEL_DECOY_MARK");
  if (!mark || !*mark) return;
  if (FILE* f = std::fopen(mark, "w")) std::fclose(f);
}

}  // namespace

// "fail" as the product makes the call fail.
DECOY_EXPORT int Velmar_Prc(const char* hexPath, const char* sflName, unsigned short firstBlock,
                            unsigned short lastBlock, const char* productName, const char* firmVersion) {
  if (!hexPath || !sflName || !productName || !firmVersion || std::strcmp(productName, "fail") == 0) return 0;
  FILE* f = std::fopen(sflName, "w");
  if (!f) return 0;
  std::fprintf(f, "%s|%u|%u|%s|%s", hexPath, firstBlock, lastBlock, productName, firmVersion);
  std::fclose(f);
  return 1;
}

DECOY_EXPORT const char* Velmar_VerInfo(void) { return "Decoy 9.99"; }

DECOY_EXPORT const char* Oxbrin_VerInfo(void) { return nullptr; }
