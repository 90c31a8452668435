// A fresh folder per test, and small file helpers for the settings tests.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace tarvel::test {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = ::testing::TempDir() + "tarvel-app-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) m_strPath = pattern;
  }
  ~TempFolder() {
    if (m_strPath.empty()) return;
    ::chmod(m_strPath.c_str(), 0700);
    std::error_code ignored;
    std::filesystem::remove_all(m_strPath, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return m_strPath; }
  std::string file(const std::string& name) const { return m_strPath + "/" + name; }

  std::set<std::string> names() const {
    std::set<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(m_strPath)) {
      out.insert(entry.path().filename().string());
    }
    return out;
  }

 private:
  std::string m_strPath;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline mode_t ModeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

// Runs `check` in a child without the administrator's rights, which would
// ignore the permissions under test; as an ordinary user it runs directly.
inline bool RunUnprivileged(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check();
  const pid_t pid = ::fork();
  if (pid == 0) {
    constexpr uid_t kNobody = 65534;
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tarvel::test
