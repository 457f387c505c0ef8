// Shared helpers of the engine tests: a temporary folder, a command builder that records every
// callback, and the independent zip readers the archives are checked with.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/Env.h"
#include "zip/ZipEngineApi.h"
#include "zipengine/ZipEngine.h"

namespace dravello::zipengine::test {

// `path` with every "/" in the platform's separator: the tests spell their trees with "/".
std::string Native(std::string path);
// `dir` and `rel` joined by the platform's separator ("/" in `rel` becomes that separator too).
std::string In(const std::string& dir, const std::string& rel);
// The name the engine stores for a file: its path without the drive, folders joined by "/".
std::string StoredName(const std::string& path);
// The last part of a stored entry name (after its last "/"), whatever the platform's separator.
inline std::string EntryFileName(const std::string& storedName) {
  return storedName.substr(storedName.rfind('/') + 1);
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return In(path_, name); }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& content, int64_t mtimeNs = 0);
std::string ReadFile(const std::string& path);

struct CallbackEvent {
  int32_t Action = 0;
  int32_t Arg = 0;
  uint64_t Value = 0;
  std::string Text;
  std::thread::id Thread;
};

// Builds a ZipCommand the way the archiver component does and records the engine's callbacks.
class EngineCommand {
 public:
  explicit EngineCommand(std::string archive);

  EngineCommand& Spec(const std::string& text, bool recurse = false, const std::string& password = "",
                      bool encrypt = false, const std::string& rootDir = "");
  EngineCommand& Exclude(const std::string& pattern);

  ZipCommand& Cmd() { return cmd_; }
  // The backup tool's settings: level 9, its 17 store suffixes, hidden files, directory names
  // kept, no directory entries.
  EngineCommand& BackupToolDefaults();

  // Stops the work (returns -1) at the n-th callback (counted from 1) with `action`.
  void AbortAt(int32_t action, int nth) {
    abortAction_ = action;
    abortNth_ = nth;
  }
  // Records messages (action 4) only: a run over many files would otherwise hold an event per
  // callback, which is the test's memory, not the engine's.
  EngineCommand& KeepOnlyMessages() {
    messagesOnly_ = true;
    return *this;
  }
  // Answer for a password request (action 8); empty gives no password.
  void AnswerPassword(std::string pw) { passwordAnswer_ = std::move(pw); }

  int32_t Run(const EngineTuning& tuning = {});

  const std::vector<CallbackEvent>& Events() const { return events_; }
  std::vector<CallbackEvent> EventsOf(int32_t action) const;
  // Every message text (action 4), joined by newlines.
  std::string Messages() const;

 private:
  static int32_t ZIPENGINE_CALL Callback(ZipCallbackData* data);

  std::string archive_;
  std::string suffixes_;
  std::string password_;
  std::vector<std::unique_ptr<std::string>> texts_;
  std::vector<ZipFileSpec> specs_;
  std::vector<const char*> excludes_;
  ZipCommand cmd_{};
  std::vector<CallbackEvent> events_;
  bool messagesOnly_ = false;
  int32_t abortAction_ = -1;
  int abortNth_ = 0;
  int seen_ = 0;
  std::string passwordAnswer_;
};

inline constexpr const char* kBackupToolSuffixes =
    ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha:.rar:.ace:.cab:.gz:.gzip:.jar";

struct ToolResult {
  int Status = -1;
  std::string Output;
};
// Runs a shell command, capturing standard output and error.
ToolResult RunTool(const std::string& command);
std::string Quote(const std::string& s);

// Checks the archive with the tests' own reader (tests/support/ZipReader.h) and, on Linux, with
// unzip -t, 7zz t, Python's zipfile testzip and bsdtar -tf too; returns an empty text when all of
// them accept it, else what the failing ones said.
std::string ReadersReject(const std::string& archive, const std::string& password = "");

// The functions below ask Python's zipfile and Info-ZIP's unzip on Linux, and the tests' own
// reader on Windows, where those programs do not exist (names are then the stored bytes, where
// Python would decode names without the UTF-8 flag as code page 437).

// One entry as Python's zipfile sees it.
struct PyEntry {
  std::string Name;
  int Method = -1;
  uint32_t Flags = 0;
  uint32_t ExternalAttr = 0;
  int CreateSystem = -1;
  uint64_t Size = 0;
  uint64_t CompressSize = 0;
  uint64_t HeaderOffset = 0;
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  std::string Extra;  // hex of the central extra field
};
std::vector<PyEntry> ListWithPython(const std::string& archive);
// The archive comment as Python reads it.
std::string PythonComment(const std::string& archive);
// The content of one entry, extracted by unzip -p.
std::string UnzipContent(const std::string& archive, const std::string& name, const std::string& password = "");
// The raw bytes of every entry's local record (header, data, descriptor), keyed by name.
std::string RawEntryData(const std::string& archive, const std::string& name);

}  // namespace dravello::zipengine::test
