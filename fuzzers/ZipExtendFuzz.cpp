// The engine extending an arbitrary existing "archive" with one small file, through the archiver
// component as a pack run drives it. A pack run that meets a damaged archive must leave it
// exactly as it was; one that succeeds must leave an archive whose directory reads back with
// the old entries and the new one. Either way no temporary file may stay behind.
//
// The engine runs in-process: an Env double answers the component's load of ZIPENGINE.DLL with
// the engine linked into the fuzzer (the real library, loaded and unloaded per run, would leave
// libFuzzer counting coverage in memory that is gone).
#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fuzzers/FuzzTargets.h"
#include "fuzzers/SilentZipUi.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "zip/ZipArchiver.h"
#include "zipengine/ZipEngine.h"

namespace dravello::fuzz {

namespace {

// Set when an exception left the engine's entry point, which the engine promises never happens
// (failures are reported through the callback).
std::string g_escaped;

int32_t ZIPENGINE_CALL InProcessVersion() { return zipengine::kEngineVersion; }

int32_t ZIPENGINE_CALL InProcessExec(ZipCommand* command) {
  if (!command) return -1;
  zipengine::EngineTuning tuning;
  tuning.Workers = 1;
  try {
    return zipengine::RunZipCommand(*command, tuning);
  } catch (const std::exception& e) {
    g_escaped = e.what();
  } catch (...) {
    g_escaped = "an exception of unknown type";
  }
  return -2;
}

class InProcessEngine : public DynamicLibrary {
 public:
  explicit InProcessEngine(std::string path) : path_(std::move(path)) {}
  void* Symbol(const std::string& name) override {
    if (name == "ZipEngineExec") return reinterpret_cast<void*>(&InProcessExec);
    if (name == "GetZipEngineVersion") return reinterpret_cast<void*>(&InProcessVersion);
    return nullptr;
  }
  std::string Path() override { return path_; }

 private:
  std::string path_;
};

class InProcessEngineEnv : public EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  std::unique_ptr<DynamicLibrary> OpenLibrary(const std::string& path, std::string* error) override {
    if (ExtractFileName(path) == "ZIPENGINE.DLL") return std::make_unique<InProcessEngine>(path);
    return EnvWrapper::OpenLibrary(path, error);
  }
};

std::vector<std::string> EntryNames(const TZipArchiver& z) {
  std::vector<std::string> names;
  for (const auto& e : z.ZipContents()) names.push_back(e->EntryName);
  return names;
}

// The directory of `path` as List reads it, or nothing when List refuses the file.
std::optional<std::vector<std::string>> ListNames(const std::string& path) {
  SilentZipUi ui;
  TZipArchiver z(nullptr);
  z.SetUi(&ui);
  z.SetUnattended(true);
  z.SetUseDirOnlyEntries(true);
  z.SetZipFileName(path);
  if (z.ZipFileName().empty()) return std::nullopt;
  return EntryNames(z);
}

bool IsClean(int code) {
  // What a damaged archive may be answered with; 18 warns about a file left out.
  return code == zecInfo || code == zecFormat || code == zecRead ||
         code == zecMemory || code == zecNotFound;
}

}  // namespace

int ZipExtend(const uint8_t* data, size_t size) {
  const std::string original(reinterpret_cast<const char*>(data), size);
  const std::string folder = ScratchFolder("zip_extend");
  const std::string archive = PutFile(folder + PathDelim + "archive.zip", original);
  const std::string added = PutFile(folder + PathDelim + "new file.txt", "one small file\r\n");
  const std::vector<std::string> namesBefore = NamesIn(folder);
  const std::optional<std::vector<std::string>> entriesBefore = ListNames(archive);

  InProcessEngineEnv env(Env::Platform());
  ScopedEnv scoped(env);
  SilentZipUi ui;
  TZipArchiver z(nullptr);
  z.SetUi(&ui);
  z.SetUnattended(true);
  z.SetUseDirOnlyEntries(true);
  z.SetAddOptions(SetOf(AddDirNames) | SetOf(AddHiddenFiles));  // the main window's options
  std::vector<std::string> messages;
  std::set<int> engineCodes;
  // Engine messages carry the engine's code; the component's own reports carry 0.
  z.OnMessage = [&](TObject*, int32_t code, const std::string& text) {
    messages.push_back(std::to_string(code) + " " + text);
    if (code != 0) engineCodes.insert(code & 255);
  };
  // Name the archive without reading it: the engine must cope with what List would refuse.
  z.SetComponentState(csDesigning);
  z.SetZipFileName(archive);
  z.ClearComponentState(csDesigning);
  TStringList specs;
  specs.Add(added);
  z.SetFSpecArgs(&specs);
  g_escaped.clear();
  const int32_t result = z.Add();

  std::string report = "Add gave " + std::to_string(result) + ", AddedCount " + std::to_string(z.AddedCount()) +
                       ", ErrCode " + std::to_string(z.ErrCode()) + ", messages:";
  for (const std::string& m : messages) report += "\n    " + Printable(m);

  DV_FUZZ_CHECK(g_escaped.empty(), "an exception left the engine: " + g_escaped + "; " + report);
  DV_FUZZ_CHECK(ui.Shown == 0, "an unattended add showed a message box; " + report);
  DV_FUZZ_CHECK(NamesIn(folder) == namesBefore, "files left behind in the archive's folder; " + report);
  if (z.AddedCount() > 0) {
    // Success: the archive reads back with every old entry and the new one.
    DV_FUZZ_CHECK(result == 0 && z.ZipFileName() == archive, "the new archive does not list; " + report);
    const std::vector<std::string> after = EntryNames(z);
    const std::string newName = PathWithoutDrive(added);
    DV_FUZZ_CHECK(std::count(after.begin(), after.end(), newName) == 1, "the new entry is not listed once; " + report);
    if (entriesBefore) {
      std::vector<std::string> expected = *entriesBefore;
      expected.erase(std::remove(expected.begin(), expected.end(), newName), expected.end());
      std::vector<std::string> kept = after;
      kept.erase(std::remove(kept.begin(), kept.end(), newName), kept.end());
      DV_FUZZ_CHECK(kept == expected, "old entries changed: " + std::to_string(expected.size()) + " before, " +
                                          std::to_string(kept.size()) + " kept; " + report);
    }
  } else {
    // Failure: reported, clean, and the input untouched.
    DV_FUZZ_CHECK(!messages.empty(), "a failed add reported nothing; " + report);
    for (int code : engineCodes) DV_FUZZ_CHECK(IsClean(code), "unexpected engine failure; " + report);
    DV_FUZZ_CHECK(ReadFileToString(Env::Default(), archive) == original, "a failed add changed the archive; " + report);
  }
  return 0;
}

}  // namespace dravello::fuzz

DV_FUZZ_ENTRY(ZipExtend)
