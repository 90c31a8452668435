// Converter DLLs: looked for in the program's folder only, never in the
// working directory or on PATH.
#include <windows.h>

#include <filesystem>
#include <system_error>

#include "base/FileIo.h"
#include "base/Win32Text.h"
#include "service/ConverterLibrary.h"

namespace tarvel {

namespace fs = std::filesystem;

const char* const kHexConverterLibrary = "tesmol.dll";
const char* const kFlashConverterLibrary = "oxbrin.dll";

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return win32::Utf8(fs::path(path).parent_path().native());
}

ConverterSearch ProgramConverterSearch() {
  // The system's own search, restricted to the program's folder.
  return ConverterSearch{{}, true};
}

ConverterLibrary::ConverterLibrary(const std::string& fileName, const ConverterSearch& search) {
  std::vector<std::string> failures;
  for (const std::string& folder : search.folders) {
    if (folder.empty()) continue;
    if (tryPath(fileio::TextOf(fileio::PathOf(folder) / fileio::PathOf(fileName)), failures)) return;
  }
  if (search.systemPath) loadFromSystemPath(fileName, failures);
  if (handle_) return;

  error_ = fileName + " not found in ";
  for (const std::string& folder : search.folders) error_ += folder + ", ";
  error_ += search.systemPath ? "the program's folder " + ProgramFolder() : "no other place";
  for (const std::string& failure : failures) error_ += "; " + failure;
}

bool ConverterLibrary::tryPath(const std::string& path, std::vector<std::string>& failures) {
  std::error_code ec;
  if (!fs::exists(fileio::PathOf(path), ec)) return false;
  // A full path: what the library itself needs comes from its own folder
  // and the system folder only.
  HMODULE module = ::LoadLibraryExW(win32::Wide(path).c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) {
    failures.push_back(path + ": " + win32::ErrorText(::GetLastError()));
    return false;
  }
  handle_ = module;
  path_ = path;
  return true;
}

void ConverterLibrary::loadFromSystemPath(const std::string& fileName, std::vector<std::string>& failures) {
  HMODULE module = ::LoadLibraryExW(win32::Wide(fileName).c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) {
    const DWORD error = ::GetLastError();
    // "Not found" adds nothing to the message; a broken file does.
    if (error != ERROR_MOD_NOT_FOUND) failures.push_back(fileName + ": " + win32::ErrorText(error));
    return;
  }
  handle_ = module;
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
  path_ = length > 0 && length < path.size() ? win32::Utf8(std::wstring_view(path.data(), length)) : fileName;
}

void* ConverterLibrary::find(const char* exportName) {
  if (!handle_) return nullptr;
  FARPROC address = ::GetProcAddress(static_cast<HMODULE>(handle_), exportName);
  if (!address) error_ = path_ + " lacks " + exportName;
  return reinterpret_cast<void*>(address);
}

void ConverterLibrary::unload() {
  if (handle_) ::FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
  path_.clear();
}

}  // namespace tarvel
