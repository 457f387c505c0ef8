// What the stand-in engine libraries built for the tests share with the tests: the callbacks to
// send during the next ZipEngineExec, and a deep copy of the command that ZipEngineExec received
// with every reply the component wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zip/ZipEngineApi.h"

namespace fake_engine {

struct Step {
  int32_t action = 0;
  int32_t arg = 0;
  uintptr_t value = 0;
  std::string text;
  int32_t isZipAction = 0;
  char commentSeed = 0;       // the byte the component reads for action 12
  bool afterAbort = false;    // sent only once a callback asked to stop; the others stop then
};

struct Script {
  std::vector<Step> steps;
  int32_t result = 0;
};

struct SpecCopy {
  std::optional<std::string> text, password, rootDir;
  int32_t encrypt = 0;
  uint16_t recurse = 0;
};

struct CommandCopy {
  ZipCommand raw{};  // the record as received; its pointers are stale after the call
  std::optional<std::string> password, suffixes, archiveName, tempDir, comment;
  std::vector<SpecCopy> specs;
  std::optional<std::vector<std::string>> excludes;
  bool callbackIsComponents = false;  // CallbackProc is non-null
};

struct Reply {
  int32_t returned = 0;  // what the callback returned
  ZipCallbackData data{};  // the record after the callback
};

struct Log {
  int execCalls = 0;
  CommandCopy command;
  std::vector<Reply> replies;
};

}  // namespace fake_engine

// Exported by every stand-in engine, next to ZipEngineExec and GetZipEngineVersion.
extern "C" {
typedef void (*FakeEngineSetScriptFn)(const fake_engine::Script* script);
typedef const fake_engine::Log* (*FakeEngineLogFn)();
}
