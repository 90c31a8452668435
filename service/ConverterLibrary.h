// Loading a converter library by file name and finding its exports.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// The converters' file names: libtesmol.so and liboxbrin.so on Linux,
// tesmol.dll and oxbrin.dll on Windows.
extern const char* const kHexConverterLibrary;
extern const char* const kFlashConverterLibrary;

// Where a converter library is looked for.
struct ConverterSearch {
  // Folders tried first, in order, with the file name appended.
  std::vector<std::string> folders;
  // Then the system's library path (LD_LIBRARY_PATH, the loader's cache and
  // default folders), but never a file that lies in the working directory
  // or in a folder named relative to it.
  bool systemPath = true;
};

// The program's search. On Windows only the program's own folder (then the
// system folder, for what a library needs). On Linux, in this order:
//   1. the program's own folder (the folder of /proc/self/exe),
//   2. <program folder>/../converters, where the build tree puts the
//      libraries beside build/app and build/cli,
//   3. <program folder>/../lib/tarvel, where an installation puts them
//      beside <prefix>/bin,
//   4. the system's library path, as ConverterSearch::systemPath says.
ConverterSearch ProgramConverterSearch();

// The folder of the running program, or empty when it cannot be told.
std::string ProgramFolder();

// True when a library found in `libraryFolder` would come from the working
// directory: the folder is named relative to it (as an empty or "." entry of
// LD_LIBRARY_PATH is), or it is the working directory itself, unless that is
// also the program's own folder. Folders are compared after resolving links.
bool ReachedThroughWorkingDirectory(const std::string& libraryFolder, const std::string& workingDirectory,
                                    const std::string& programFolder);

// One loaded library, unloaded when the object goes, unless released.
class ConverterLibrary {
 public:
  ConverterLibrary() = default;
  // Loads `fileName` from the first place of `search` that holds a
  // loadable file of that name.
  ConverterLibrary(const std::string& fileName, const ConverterSearch& search);
  ~ConverterLibrary();
  ConverterLibrary(ConverterLibrary&& other) noexcept;
  ConverterLibrary& operator=(ConverterLibrary&& other) noexcept;
  ConverterLibrary(const ConverterLibrary&) = delete;
  ConverterLibrary& operator=(const ConverterLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // The file that was loaded.
  const std::string& path() const { return path_; }
  // Why the library could not be loaded, or why the last find() failed.
  const std::string& error() const { return error_; }

  // The address of an export, or null when it is missing (or nothing is
  // loaded); error() then names it.
  void* find(const char* exportName);
  template <typename Function>
  Function function(const char* exportName) {
    return reinterpret_cast<Function>(find(exportName));
  }

  // Keeps the library loaded until the program ends: the object forgets it.
  void release();
  void unload();

 private:
  void loadFromSystemPath(const std::string& fileName, std::vector<std::string>& failures);
  bool tryPath(const std::string& path, std::vector<std::string>& failures);

  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
};

}  // namespace tarvel
