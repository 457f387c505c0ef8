// Times what a run does with its file list before copying: sorting a large list of collected
// paths (locale order, duplicates dropped) and filtering it through wildcard patterns, on
// 1,000,000 generated names by default.
//
//   collect_driver [COUNT]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/u_types.h"
#include "runtime/Classes.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

using namespace dravello;

int main(int argc, char** argv) {
  InitLocale();
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::mt19937 rng(20041215);
  const char* words[] = {"Letters", "photos", "Report", "budget", "notes", "Archive", "music", "draft"};
  const char* exts[] = {".doc", ".txt", ".JPG", ".xls", ".dat", ""};
  TStringList files;
  files.SetExactDuplicates(!FileNamesIgnoreCase);
  for (int i = 0; i < count; ++i) {
    std::string path = "/home/ann";
    for (int depth = static_cast<int>(rng() % 4); depth >= 0; --depth) path += std::string("/") + words[rng() % 8];
    path += "/" + std::string(words[rng() % 8]) + "_" + std::to_string(rng() % (count / 2 + 1)) + exts[rng() % 6];
    files.Add(path);
  }
  const auto t0 = std::chrono::steady_clock::now();
  files.SetSorted(true);
  const auto t1 = std::chrono::steady_clock::now();
  TStringList filters;
  filters.SetCommaText("*.doc,*.txt,report_1*");
  std::vector<char> remove(static_cast<size_t>(files.Count()));
  for (int i = files.Count() - 1; i >= 0; --i) remove[static_cast<size_t>(i)] = !FileNameMatchesAny(files[i], filters);
  files.DeleteWhere([&](int i) { return remove[static_cast<size_t>(i)] != 0; });
  const auto t2 = std::chrono::steady_clock::now();
  auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
  std::printf("%d names: sorted (%d distinct) in %.0f ms, filtered to %d in %.0f ms\n", count,
              static_cast<int>(remove.size()), ms(t0, t1), files.Count(), ms(t1, t2));
  return 0;
}
