// The entry points of the two converter libraries. The program is not
// linked against them: it loads libtesmol.so and liboxbrin.so at run time
// and finds these names in them, so the names, the C linkage and the
// argument lists must stay exactly as they are.
#ifndef TARVEL_CONVERTERS_CONVERTER_API_H
#define TARVEL_CONVERTERS_CONVERTER_API_H

#if defined(TARVEL_CONVERTER_BUILD)
#if defined(_WIN32)
#define TARVEL_CONVERTER_EXPORT __declspec(dllexport)
#else
#define TARVEL_CONVERTER_EXPORT __attribute__((visibility("default")))
#endif
#else
#define TARVEL_CONVERTER_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// libtesmol.so: an Intel-HEX file into an SFL file holding blocks
// firstBlock..lastBlock (0 to 0xFFF, 128 bytes each). A sflName without a
// folder is placed beside the HEX file. Nonzero: converted; zero: failed,
// and no output file is left behind.
TARVEL_CONVERTER_EXPORT int Velmar_Prc(const char* hexPath, const char* sflName, unsigned short firstBlock,
                                       unsigned short lastBlock, const char* productName,
                                       const char* firmVersion);
// The library's version text; owned by the library.
TARVEL_CONVERTER_EXPORT const char* Velmar_VerInfo(void);
// Why the last Velmar_Prc of this thread returned 0 (the place in the file,
// the system's error). Optional: a caller must cope with its absence.
TARVEL_CONVERTER_EXPORT const char* Velmar_LastError(void);

// liboxbrin.so: appends one block read from the radio to the SFL file at
// outputPath, the header first when the file is empty. blockRecord is 130
// bytes: the block number, high byte first, then the 128 data bytes.
// Nonzero: taken; zero: the file cannot be written.
TARVEL_CONVERTER_EXPORT int Oxbrin_Prc(const char* outputPath, const unsigned char* blockRecord);
// Why the last Oxbrin_Prc of this thread returned 0. Optional, as
// Velmar_LastError.
TARVEL_CONVERTER_EXPORT const char* Oxbrin_LastError(void);
TARVEL_CONVERTER_EXPORT const char* Oxbrin_VerInfo(void);

#ifdef __cplusplus
}
#endif

// The types the program casts the looked-up addresses to.
typedef int (*VelmarPrcFn)(const char*, const char*, unsigned short, unsigned short, const char*, const char*);
typedef const char* (*VelmarVerInfoFn)(void);
typedef const char* (*VelmarLastErrorFn)(void);
typedef int (*OxbrinPrcFn)(const char*, const unsigned char*);
typedef const char* (*OxbrinVerInfoFn)(void);
typedef const char* (*OxbrinLastErrorFn)(void);

#define TARVEL_BLOCK_RECORD_BYTES 130

#endif  // TARVEL_CONVERTERS_CONVERTER_API_H
