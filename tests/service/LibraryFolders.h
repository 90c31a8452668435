// Folders of converter libraries for the loading tests: the real ones from
// the build, and copies or stand-ins placed where a test wants them.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "service/ConverterLibrary.h"

namespace tarvel::test {

// Only the build's own converters, never the system's.
inline ConverterSearch RealConverters() { return ConverterSearch{{TARVEL_CONVERTERS_DIR}, false}; }
inline ConverterSearch Only(const std::filesystem::path& folder) { return ConverterSearch{{folder.string()}, false}; }

// Copies `source` into `folder` as `name` and returns the copy's path.
inline std::string Place(const std::filesystem::path& folder, const std::string& source, const std::string& name) {
  std::filesystem::create_directories(folder);
  const std::filesystem::path target = folder / name;
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  return target.string();
}
inline std::string RealLibrary(const char* name) { return (std::filesystem::path(TARVEL_CONVERTERS_DIR) / name).string(); }

// Whether the library file at `path` is loaded in this process now.
inline bool IsLoaded(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) ::dlclose(handle);
  return handle != nullptr;
}

// Changes the working directory for one scope.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& folder) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~WorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path old_;
};

}  // namespace tarvel::test
