// Helpers shared by the fuzz targets: a failed property aborts with its
// reason, so that libFuzzer keeps the input as a crash.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::fuzz {

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz property violated: %s\n", what.c_str());
  std::abort();
}

inline void Expect(bool holds, const std::string& what) {
  if (!holds) Fail(what);
}

// Strict UTF-8: shortest forms only, no surrogates, nothing beyond U+10FFFF.
// Written apart from the code under test so that both cannot share a fault.
inline bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    std::size_t n = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
      n = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      n = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      n = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (s.size() - i < n) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// A private folder for the targets that need files, inside
// $TARVEL_FUZZ_SCRATCH when set, else on a memory file system when there is
// one (the targets write and sync a file per input). Removed with what is
// left in it when the process ends normally; after a crash the folder stays
// (scripts/fuzz removes its parent).
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string base = "/dev/shm";
    struct stat info {};
    if (const char* given = std::getenv("TARVEL_FUZZ_SCRATCH"); given && *given) {
      base = given;
    } else if (::stat(base.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || ::access(base.c_str(), W_OK) != 0) {
      const char* tmp = std::getenv("TMPDIR");
      base = tmp && *tmp ? tmp : "/tmp";
    }
    std::string pattern = base + "/tarvel-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) Fail("cannot create a scratch folder under " + base);
    path_ = name.data();
  }
  ~ScratchFolder() {
    for (const std::string& entry : Entries()) ::unlink((path_ + "/" + entry).c_str());
    ::rmdir(path_.c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

  // The names in the folder, "." and ".." aside.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path_.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
      }
      ::closedir(dir);
    }
    return names;
  }

 private:
  std::string path_;
};

inline bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

inline bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes.clear();
  char buffer[8192];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

}  // namespace tarvel::fuzz
