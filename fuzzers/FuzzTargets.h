// The fuzz targets: one entry function per parser or file reader, each taking arbitrary bytes.
//
// Every entry function must return normally for every input. A broken promise of the code under
// test (a wrong result, an exception of a kind the contract does not allow) is reported by
// DV_FUZZ_CHECK, which prints what failed and aborts; crashes, leaks, hangs and undefined
// behaviour are the sanitizers' and the fuzzer's to catch.
//
// The same functions serve twice: built with DRAVELLO_LIBFUZZER, each target file also defines
// the libFuzzer entry point and becomes one fuzzer executable; built without it, they are plain
// functions that the regression test replays saved inputs through, so a found crash stays found
// in a build without clang.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dravello::fuzz {

// INI store: the bytes are the INI file; the store loads it, reads, writes and deletes keys and
// writes back, and the written file must load to the same content.
int IniStore(const uint8_t* data, size_t size);
// Language scripts: the bytes are a script; SplitLine, SelectLanguage, FindValue and the
// translation of a small test form.
int LangScript(const uint8_t* data, size_t size);
// Comma text: parsing arbitrary bytes, and the round trip of a list we write.
int CommaText(const uint8_t* data, size_t size);
// Wildcard matching: the bytes are a pattern and a name (split at the first NUL), matched by
// WildcardMatches with and without ASCII case folding and, when short, by a plain reference
// matcher.
int Wildcard(const uint8_t* data, size_t size);
// Archive directory reader: the bytes are a file named as an archive, listed under every
// CodePage option.
int ZipList(const uint8_t* data, size_t size);
// Zip engine: the bytes are an existing archive that a pack run extends with one small file.
int ZipExtend(const uint8_t* data, size_t size);

// Reports a broken promise and aborts (a crash for the fuzzer, a failed test for CTest).
[[noreturn]] void CheckFailed(const char* what, const char* file, int line, const std::string& detail);

// A folder of this process's own below the system temp folder, created on first use and
// removed when the process exits normally.
const std::string& ScratchDir();
// The folder of one target inside ScratchDir, created on first use; targets that share a process
// (as in the regression test) keep out of each other's files.
std::string ScratchFolder(const std::string& target);
// Writes `bytes` to `path` (replacing it); returns the path.
std::string PutFile(const std::string& path, std::string_view bytes);
// The names in a folder, sorted.
std::vector<std::string> NamesIn(const std::string& dir);

// A printable form of a byte string for failure reports (escapes for control and high bytes).
std::string Printable(std::string_view bytes);

}  // namespace dravello::fuzz

#define DV_FUZZ_CHECK(cond, detail)                                                  \
  do {                                                                               \
    if (!(cond)) ::dravello::fuzz::CheckFailed(#cond, __FILE__, __LINE__, (detail)); \
  } while (0)

// Defines the libFuzzer entry point for one entry function when building the fuzzers.
#ifdef DRAVELLO_LIBFUZZER
#define DV_FUZZ_ENTRY(function)                                                    \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {        \
    return ::dravello::fuzz::function(data, size);                                 \
  }
#else
#define DV_FUZZ_ENTRY(function)
#endif
