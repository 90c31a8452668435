#include "service/ConverterLibrary.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace tarvel {

namespace fs = std::filesystem;

const char* const kHexConverterLibrary = "libtesmol.so";
const char* const kFlashConverterLibrary = "liboxbrin.so";

namespace {

std::string Resolved(const std::string& folder) {
  std::error_code ec;
  const fs::path resolved = fs::canonical(folder.empty() ? fs::path(".") : fs::path(folder), ec);
  return ec ? std::string() : resolved.string();
}

std::string WorkingDirectory() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  return ec ? std::string() : cwd.string();
}

// The folders the dynamic loader searches for a bare name from this
// program: LD_LIBRARY_PATH (an empty entry shows as "."), the program's
// run path, the default folders. The loader's cache is not among them.
std::vector<std::string> LoaderSearchFolders() {
  std::vector<std::string> folders;
  void* self = ::dlopen(nullptr, RTLD_NOW);
  if (!self) return folders;
  Dl_serinfo size{};
  if (::dlinfo(self, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
    // Dl_serinfo ends in a variable array; the loader says how much it needs.
    auto storage = std::make_unique<std::max_align_t[]>(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<Dl_serinfo*>(storage.get());
    *info = size;
    if (::dlinfo(self, RTLD_DI_SERINFOSIZE, info) == 0 && ::dlinfo(self, RTLD_DI_SERINFO, info) == 0) {
      for (unsigned i = 0; i < info->dls_cnt; ++i) folders.emplace_back(info->dls_serpath[i].dls_name);
    }
  }
  ::dlclose(self);
  return folders;
}

std::string LastDlError() {
  const char* text = ::dlerror();
  return text ? text : "unknown error";
}

}  // namespace

std::string ProgramFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().string();
}

ConverterSearch ProgramConverterSearch() {
  ConverterSearch search;
  const std::string program = ProgramFolder();
  if (!program.empty()) {
    const fs::path folder(program);
    search.folders = {folder.string(), (folder.parent_path() / "converters").string(),
                      (folder.parent_path() / "lib" / "tarvel").string()};
  }
  search.systemPath = true;
  return search;
}

bool ReachedThroughWorkingDirectory(const std::string& libraryFolder, const std::string& workingDirectory,
                                    const std::string& programFolder) {
  if (libraryFolder.empty() || libraryFolder.front() != '/') return true;
  const std::string folder = Resolved(libraryFolder);
  const std::string cwd = Resolved(workingDirectory);
  if (folder.empty() || cwd.empty() || folder != cwd) return false;
  return folder != Resolved(programFolder);
}

ConverterLibrary::ConverterLibrary(const std::string& fileName, const ConverterSearch& search) {
  std::vector<std::string> failures;
  for (const std::string& folder : search.folders) {
    if (folder.empty()) continue;
    if (tryPath((fs::path(folder) / fileName).string(), failures)) return;
  }
  if (search.systemPath) loadFromSystemPath(fileName, failures);
  if (handle_) return;

  error_ = fileName + " not found in ";
  for (const std::string& folder : search.folders) error_ += folder + ", ";
  error_ += search.systemPath ? "the system's library path" : "no other place";
  for (const std::string& failure : failures) error_ += "; " + failure;
}

bool ConverterLibrary::tryPath(const std::string& path, std::vector<std::string>& failures) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return false;
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    failures.push_back(LastDlError());
    return false;
  }
  path_ = path;
  return true;
}

// A file planted in the working directory must not even be opened: the
// loader runs a library's initialisers as it loads it. So when a folder of
// the loader's own search that lies in the working directory holds the
// name, the bare name is not handed to the loader; only the other folders
// of its list are tried, by full path.
void ConverterLibrary::loadFromSystemPath(const std::string& fileName, std::vector<std::string>& failures) {
  const std::string cwd = WorkingDirectory();
  const std::string program = ProgramFolder();
  const std::vector<std::string> folders = LoaderSearchFolders();
  bool planted = false;
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (ReachedThroughWorkingDirectory(folder, cwd, program) && fs::exists(fs::path(folder) / fileName, ec)) {
      planted = true;
      failures.push_back("refused " + (fs::path(folder) / fileName).string() + ": it lies in the working directory");
    }
  }
  if (planted) {
    for (const std::string& folder : folders) {
      if (!ReachedThroughWorkingDirectory(folder, cwd, program) &&
          tryPath((fs::path(folder) / fileName).string(), failures)) {
        return;
      }
    }
    return;
  }

  handle_ = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    // The loader's "cannot open shared object file" adds nothing to "not
    // found"; any other text (a broken file) does.
    const std::string text = LastDlError();
    if (text.find("No such file") == std::string::npos) failures.push_back(text);
    return;
  }
  link_map* map = nullptr;
  if (::dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name) {
    path_ = map->l_name;
  } else {
    path_ = fileName;
  }
  // The check above ran before the loader looked; check again what it took.
  if (ReachedThroughWorkingDirectory(fs::path(path_).parent_path().string(), cwd, program)) {
    failures.push_back("refused " + path_ + ": it lies in the working directory");
    unload();
  }
}

void* ConverterLibrary::find(const char* exportName) {
  if (!handle_) return nullptr;
  ::dlerror();
  void* address = ::dlsym(handle_, exportName);
  if (!address) error_ = path_ + " lacks " + exportName;
  return address;
}

void ConverterLibrary::unload() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
  path_.clear();
}

}  // namespace tarvel
