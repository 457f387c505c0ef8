#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "fuzzers/FuzzTargets.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"

namespace dravello::fuzz {

namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::random_device rd;
    // The program's spelling of the path: UTF-8, with the platform's separators.
    const std::u8string u =
        (fs::temp_directory_path() / ("dv-fuzz-" + std::to_string(rd()) + std::to_string(rd()))).make_preferred().u8string();
    path_.assign(u.begin(), u.end());
    fs::create_directories(fs::path(u));
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(fs::path(std::u8string(path_.begin(), path_.end())), ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

void CheckFailed(const char* what, const char* file, int line, const std::string& detail) {
  std::fprintf(stderr, "\n==fuzz check failed== %s\n  at %s:%d\n  %s\n", what, file, line, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

const std::string& ScratchDir() {
  static const TempFolder folder;
  return folder.Path();
}

std::string ScratchFolder(const std::string& target) {
  std::string path = ScratchDir() + PathDelim + target;
  Env::Default().ForceDirectories(path);
  return path;
}

std::string PutFile(const std::string& path, std::string_view bytes) {
  std::unique_ptr<WritableFile> file = Env::Default().NewWritableFile(path);
  file->Append(bytes.data(), bytes.size());
  file->Close();
  return path;
}

std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const DirEntry& e : Env::Default().ListDirectory(dir)) names.push_back(e.Name);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Printable(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b >= 32 && b < 127) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out + "\"";
}

}  // namespace dravello::fuzz
