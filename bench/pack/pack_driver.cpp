// Benchmark driver.
//   pack_driver pack LIBRARY ARCHIVE ROOT FOLDER   pack ROOT/FOLDER (recursively, entry names
//                                                  starting with FOLDER/) through the library
//   pack_driver verify ARCHIVE                     read ARCHIVE back as a pack run does after
//                                                  packing, and check every entry
//   pack_driver limit ROOT FOLDER [LEVEL]          CPU seconds of libdeflate (level 9 unless
//                                                  given) on every file the engine would
//                                                  compress, the bytes in and out
// Both use the backup tool's level 9 and its 17 store suffixes.
#include <libdeflate.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "zip/ZipEngineApi.h"
#include "zip/ZipVerifier.h"

using namespace dravello;

namespace {

const char* kSuffixes = ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha:.rar:.ace:.cab:.gz:.gzip:.jar";

std::chrono::steady_clock::time_point g_start, g_total;

int32_t ZIPENGINE_CALL Quiet(ZipCallbackData* d) {
  if (d->ActionCode == zcaMessage && d->ActionArg != 0) std::fprintf(stderr, "engine: %s\n", d->Text);
  if (d->ActionCode == zcaTotalFiles) g_total = std::chrono::steady_clock::now();
  return 0;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

int Pack(const std::string& library, const std::string& archive, const std::string& root, const std::string& folder) {
  std::string error;
  std::unique_ptr<DynamicLibrary> lib = Env::Default().OpenLibrary(library, &error);
  if (!lib) {
    std::fprintf(stderr, "cannot load %s: %s\n", library.c_str(), error.c_str());
    return 2;
  }
  auto exec = reinterpret_cast<ZipEngineExecFn>(lib->Symbol("ZipEngineExec"));
  auto version = reinterpret_cast<GetZipEngineVersionFn>(lib->Symbol("GetZipEngineVersion"));
  if (!exec || !version) return 2;
  ZipFileSpec spec{};
  spec.SpecText = folder.c_str();
  spec.SpecRecurse = 0xFFFF;
  spec.SpecRootDir = root.c_str();
  ZipCommand cmd{};
  cmd.EngineVersion = version();
  cmd.CallbackProc = &Quiet;
  cmd.StoreSuffixText = kSuffixes;
  cmd.HiddenFilesFlag = -1;
  cmd.OmitDirEntries = -1;
  cmd.QuietFlag = -1;
  cmd.CompressionLevel = 9;
  cmd.InPlaceFlag = -1;
  cmd.AllowUndoFlag = -1;
  std::copy_n("12 30 99", 8, cmd.FromDate);
  cmd.SpecCount = 1;
  cmd.Specs = &spec;
  cmd.ArchiveName = archive.c_str();
  cmd.CheckValue = 7;
  g_start = std::chrono::steady_clock::now();
  int32_t stored = exec(&cmd);
  auto end = std::chrono::steady_clock::now();
  std::printf("stored %d files: %.2f s choosing files, %.2f s packing\n", stored, Seconds(g_total - g_start),
              Seconds(end - g_total));
  return stored > 0 ? 0 : 1;
}

int Verify(const std::string& archive) {
  const auto start = std::chrono::steady_clock::now();
  ZipVerifier verifier(Env::Default(), archive);
  if (!verifier.ReadDirectory()) {
    std::fprintf(stderr, "%s: %s\n", archive.c_str(), verifier.Problem().c_str());
    return 1;
  }
  const std::vector<ZipVerifyProblem> problems = verifier.Check(ZipVerifier::Options{});
  for (const ZipVerifyProblem& p : problems) std::fprintf(stderr, "%s: %s\n", p.Name.c_str(), p.Text.c_str());
  std::printf("verified %d files: %.2f s\n", verifier.FileCount(), Seconds(std::chrono::steady_clock::now() - start));
  return problems.empty() ? 0 : 1;
}

void Collect(Env& env, const std::string& dir, std::vector<std::string>& out) {
  std::vector<DirEntry> entries = env.ListDirectory(dir);
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.Name < b.Name; });
  for (const DirEntry& e : entries) {
    std::string path = dir + "/" + e.Name;
    if (e.Kind == FileKind::Directory && !e.IsSymlink) Collect(env, path, out);
    else if (e.Kind == FileKind::Regular) out.push_back(path);
  }
}

bool Stored(const std::string& name) {
  std::string lower = LowerCaseAscii(name);
  std::string list = kSuffixes;
  size_t i = 0;
  while (i < list.size()) {
    size_t j = list.find(':', i);
    if (j == std::string::npos) j = list.size();
    std::string s = list.substr(i, j - i);
    if (lower.size() >= s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0) return true;
    i = j + 1;
  }
  return false;
}

int Limit(const std::string& root, const std::string& folder, int level) {
  Env& env = Env::Default();
  std::vector<std::string> files;
  Collect(env, root + "/" + folder, files);
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::vector<char> out;
  double cpu = 0;
  uint64_t bytes = 0, compressed = 0;
  for (const std::string& f : files) {
    if (Stored(f)) continue;
    std::string data = ReadFileToString(env, f);
    out.resize(libdeflate_deflate_compress_bound(c, data.size()));
    std::clock_t t0 = std::clock();
    size_t n = libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size());
    cpu += double(std::clock() - t0) / CLOCKS_PER_SEC;
    bytes += data.size();
    compressed += std::min(n, data.size());
  }
  libdeflate_free_compressor(c);
  std::printf("%.3f %llu %llu\n", cpu, static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(compressed));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 5 && a[0] == "pack") return Pack(a[1], a[2], a[3], a[4]);
  if (a.size() == 2 && a[0] == "verify") return Verify(a[1]);
  if ((a.size() == 3 || a.size() == 4) && a[0] == "limit")
    return Limit(a[1], a[2], a.size() == 4 ? std::stoi(a[3]) : 9);
  std::fprintf(stderr, "usage: pack_driver pack LIBRARY ARCHIVE ROOT FOLDER | verify ARCHIVE | limit ROOT FOLDER\n");
  return 2;
}
