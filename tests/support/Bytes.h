// Byte-exact file access for tests, on purpose not through the Env under test.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace dravello::testing {

// A path of the program's (UTF-8) text for std::filesystem and the streams, which on Windows would
// read a plain narrow text in the ANSI code page.
inline std::filesystem::path FsPath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// Writes `data` as the whole file, making its folders first.
inline void WriteBytes(const std::string& path, const std::string& data) {
  std::filesystem::path parent = FsPath(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace dravello::testing
