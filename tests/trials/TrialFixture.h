// The test bed of the fault trials: the main window on temporary trees (see AppFixture), a copy
// script "Daily" and a pack script "Weekly" over src/, and the checks every trial ends with:
// what lies in the backup, which temporary files are left, what the log says.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "EngineTestUtil.h"
#include "runtime/SysUtils.h"
#include "tests/app/AppFixture.h"
#include "tests/support/ZipReader.h"

namespace dravello {

// Bytes that deflate cannot shrink, so that file sizes are archive sizes.
inline std::string Noise(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  uint64_t x = 0x9E3779B97F4A7C15ull * (seed + 1);
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x >> 56);
  }
  return s;
}

class TrialFixture : public AppFixture {
 protected:
  // The copy script "Daily" (src/ into dst/) and the pack script "Weekly" (src/ into
  // `packDst`, by default out/Backup.zip).
  void Scripts(int copyFormat = 2, const std::string& packDst = "", int packFormat = 2) {
    const std::string src = "SrcPath=\"1" + Path("src") + "\"";
    WriteIni({"[scripts]", "Daily=", "Weekly=", "", "[script: Daily]", "CopyFiles=1", "DstPath=" + Path("dst"),
              "DstFormat=" + std::to_string(copyFormat), src, "", "[script: Weekly]", "CopyFiles=0",
              "DstPath=" + (packDst.empty() ? Path("out/Backup/") : packDst), "DstFormat=" + std::to_string(packFormat),
              src});
  }

  // Runs a script as the command line does and gives the exit status that run alone earns.
  int RunScript(const std::string& name) {
    if (!form_) Start();
    form_->FailureCount = 0;
    form_->RunScript(name);
    return form_->ExitStatus();
  }

  // Where the copy of src/<rel> lands with a fixed-path destination.
  std::string Mirror(const std::string& rel) const { return "dst/" + PathWithoutDrive(Path(rel)); }

  void SetMTime(const std::string& rel, int64_t seconds) { Env::Default().SetFileTime(Path(rel), seconds * 1000000000); }

  // The files below `rel` whose names the program gives its temporary files.
  std::vector<std::string> TempFilesUnder(const std::string& rel) const {
    std::vector<std::string> found;
    if (!std::filesystem::exists(FsPath(rel))) return found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(FsPath(rel))) {
      std::string target;
      int64_t pid = 0;
      const std::u8string name = e.path().filename().u8string(), path = e.path().u8string();
      if (ParseTempFileName(std::string(name.begin(), name.end()), &target, &pid)) found.emplace_back(path.begin(), path.end());
    }
    return found;
  }

  // The log lines written since the log had `from` lines.
  std::vector<std::string> LogSince(size_t from) const {
    std::vector<std::string> all = LogLines();
    return from < all.size() ? std::vector<std::string>(all.begin() + static_cast<long>(from), all.end())
                             : std::vector<std::string>{};
  }
  static int CountContaining(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const std::string& l : lines) n += l.find(text) != std::string::npos;
    return n;
  }

  // The names an archive holds as unzip lists them, sorted, with only the part below src/;
  // {"<damaged>"} when `unzip -t` finds a fault. On Windows, where unzip is not there, the tests'
  // own reader lists and checks them.
  static std::vector<std::string> ZipEntries(const std::string& archive) {
#ifdef _WIN32
    if (!testing::ZipReaderFaults(archive).empty()) return {"<damaged>"};
    std::vector<std::string> names;
    for (const testing::ZipReaderEntry& e : testing::ParseZip(testing::ReadBytes(archive)).Entries) {
      const size_t at = e.Name.find("/src/");
      if (e.Name.back() != '/') names.push_back(at == std::string::npos ? e.Name : e.Name.substr(at + 5));
    }
    std::sort(names.begin(), names.end());
    return names;
#else
    if (std::system(("unzip -tqq '" + archive + "' >/dev/null 2>&1").c_str()) != 0) return {"<damaged>"};
    std::vector<std::string> names;
    FILE* p = ::popen(("unzip -Z1 '" + archive + "'").c_str(), "r");
    char line[4096];
    while (p && std::fgets(line, sizeof line, p)) {
      std::string s(line);
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
      const size_t at = s.find("/src/");
      if (s.back() != '/') names.push_back(at == std::string::npos ? s : s.substr(at + 5));
    }
    if (p) ::pclose(p);
    std::sort(names.begin(), names.end());
    return names;
#endif
  }
  // The content of one entry (by its name below src/), extracted with unzip.
  std::string ZipEntry(const std::string& archive, const std::string& rel) const {
    return zipengine::test::UnzipContent(archive, zipengine::test::StoredName(Path("src/" + rel)));
  }
};

}  // namespace dravello
