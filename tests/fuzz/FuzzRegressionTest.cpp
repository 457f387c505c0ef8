// Replays inputs through the fuzz targets: every file saved under
// tests/data/fuzz-regressions/<target>/ (inputs that once broke something), plus the project's
// own samples of each format. A broken promise aborts the test process, which CTest reports with
// the target's own message and the name of the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzzers/FuzzTargets.h"
#include "lang/u_language.h"
#include "runtime/Env.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

using Entry = int (*)(const uint8_t*, size_t);

struct Target {
  const char* name;  // the folder name below fuzz-regressions/, and the fuzzer's name
  Entry entry;
};

void PrintTo(const Target& t, std::ostream* os) { *os << t.name; }

struct Input {
  std::string name;
  std::string bytes;
};

std::vector<Input> FilesBelow(const fs::path& dir, const std::string& suffix = "") {
  std::vector<Input> inputs;
  if (!fs::is_directory(dir)) return inputs;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = e.path().string();
    if (!e.is_regular_file() || !name.ends_with(suffix)) continue;
    inputs.push_back({name, ReadFileToString(Env::Default(), name)});
  }
  std::sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) { return a.name < b.name; });
  return inputs;
}

// Samples of each target's format that live elsewhere in the project.
std::vector<Input> Samples(const std::string& target) {
  const fs::path data = DRAVELLO_TEST_DATA;
  std::vector<Input> samples{{"<empty input>", ""}};
  if (target == "ini_store") {
    for (Input& i : FilesBelow(data / "ini", ".ini")) samples.push_back(std::move(i));
  } else if (target == "lang_script") {
    std::string catalogue;
    for (std::string_view line : MessageCatalogue()) (catalogue += line) += "\r\n";
    samples.push_back({"<message catalogue>", catalogue});
  } else if (target == "zip_list" || target == "zip_extend") {
    for (Input& i : FilesBelow(data / "zip", ".zip")) samples.push_back(std::move(i));
  } else if (target == "wildcard") {
    for (std::string pair : {"*.doc|letter.doc", "*a*a*a*b|aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "?|\xC3\xA4",
                             "??|\xC3\xA4", "?*?|x\xFF", "*.TXT|Letter.txt", "\xC3?|\xC3\xA4", "?|\xC0\x80"}) {
      const std::string label = "<" + pair + ">";
      std::replace(pair.begin(), pair.end(), '|', '\0');
      samples.push_back({label, pair});
    }
  } else if (target == "comma_text") {
    samples.push_back({"<two paths>", "\"C:\\Data\\\",\"D:\\x y\\\""});
  }
  return samples;
}

void Replay(const Target& target, const Input& input) {
  // Written before the run, so an abort inside names its input.
  std::fprintf(stderr, "[ replay  ] %s: %s\n", target.name, input.name.c_str());
  target.entry(reinterpret_cast<const uint8_t*>(input.bytes.data()), input.bytes.size());
}

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, SavedFindings) {
  const std::vector<Input> inputs = FilesBelow(fs::path(DRAVELLO_TEST_DATA) / "fuzz-regressions" / GetParam().name);
  if (inputs.empty()) GTEST_SKIP() << "no saved findings for " << GetParam().name;
  for (const Input& input : inputs) Replay(GetParam(), input);
  RecordProperty("inputs", static_cast<int>(inputs.size()));
}

TEST_P(FuzzReplay, ProjectSamples) {
  for (const Input& input : Samples(GetParam().name)) Replay(GetParam(), input);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         ::testing::Values(Target{"comma_text", fuzz::CommaText}, Target{"ini_store", fuzz::IniStore},
                                           Target{"lang_script", fuzz::LangScript}, Target{"wildcard", fuzz::Wildcard},
                                           Target{"zip_list", fuzz::ZipList}, Target{"zip_extend", fuzz::ZipExtend}),
                         [](const ::testing::TestParamInfo<Target>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace dravello
