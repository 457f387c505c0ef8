// A temporary folder for tests that touch the file system.
#pragma once

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace dravello::testing {

// A fresh folder below the system's temp folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
#ifdef _WIN32
    // The path in the program's own spelling: backslashes, as Env and the path helpers take them.
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
      std::filesystem::path p = std::filesystem::temp_directory_path() / ("dravello-test-" + std::to_string(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(p, ec)) {
        path_ = Utf8Name(p.make_preferred()) + "\\";
        break;
      }
      if (attempt > 100) throw std::runtime_error("cannot create a temporary folder");
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "dravello-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
#endif
  }
  ~TempDir() {
    std::error_code ec;
    // Folders a test made unreadable must be opened up again before they can be emptied.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    }
#ifdef _WIN32
    // Read-only files cannot be removed on Windows until they are writable again.
    for (auto it = std::filesystem::recursive_directory_iterator(Native(path_), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(Native(path_), ec);
#else
    ::chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ec);
#endif
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, ending with the platform's separator ("/", or "\\" on Windows).
  const std::string& Path() const { return path_; }
  // A path below the folder; "/" in `name` becomes the platform's separator.
  std::string operator/(const std::string& name) const {
#ifdef _WIN32
    std::string native = name;
    for (char& c : native)
      if (c == '/') c = '\\';
    return path_ + native;
#else
    return path_ + name;
#endif
  }

  // The names in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Native(path_))) names.push_back(Utf8Name(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  // The program's texts are UTF-8; std::filesystem on Windows would take a narrow text as ANSI.
  static std::filesystem::path Native(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
  }
  static std::string Utf8Name(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
  }
  std::string path_;
};

}  // namespace dravello::testing
