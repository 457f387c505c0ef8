// A stand-in for ZIPENGINE.DLL, built in several variants for the archiver tests:
//   FAKE_VERSION         what GetZipEngineVersion returns
//   FAKE_NO_EXEC         ZipEngineExec is not exported
//   FAKE_NO_VERSION      GetZipEngineVersion is not exported
//   FAKE_RESULT          the default result of ZipEngineExec
// ZipEngineExec copies the command it receives, then sends the scripted callbacks and records
// what the component replied.
#include <algorithm>
#include <cstring>

#include "FakeEngineControl.h"

#ifndef FAKE_VERSION
#define FAKE_VERSION 180
#endif
#ifndef FAKE_RESULT
#define FAKE_RESULT 0
#endif

#define FAKE_EXPORT extern "C" ZIPENGINE_EXPORT

namespace {

fake_engine::Script g_script = [] {
  fake_engine::Script s;
  s.result = FAKE_RESULT;
  return s;
}();
fake_engine::Log g_log;

std::optional<std::string> Copy(const char* text) {
  if (!text) return std::nullopt;
  return std::string(text);
}

[[maybe_unused]] void CopyCommand(const ZipCommand* c) {
  fake_engine::CommandCopy& out = g_log.command;
  out = fake_engine::CommandCopy();
  std::memcpy(static_cast<void*>(&out.raw), c, sizeof *c);
  out.password = Copy(c->PasswordText);
  out.suffixes = Copy(c->StoreSuffixText);
  out.archiveName = Copy(c->ArchiveName);
  out.tempDir = Copy(c->TempDirText);
  out.comment = Copy(c->CommentText);
  out.callbackIsComponents = c->CallbackProc != nullptr;
  for (int32_t i = 0; c->Specs && i < c->SpecCount; ++i) {
    const ZipFileSpec& s = c->Specs[i];
    fake_engine::SpecCopy copy;
    copy.text = Copy(s.SpecText);
    copy.password = Copy(s.SpecPassword);
    copy.rootDir = Copy(s.SpecRootDir);
    copy.encrypt = s.SpecEncrypt;
    copy.recurse = s.SpecRecurse;
    out.specs.push_back(copy);
  }
  if (c->Excludes) {
    out.excludes.emplace();
    for (int32_t i = 0; i < c->ExcludeCount; ++i) out.excludes->push_back(c->Excludes[i]);
  }
}

}  // namespace

FAKE_EXPORT void FakeEngineSetScript(const fake_engine::Script* script) {
  g_script = *script;
  g_log = fake_engine::Log();
}

FAKE_EXPORT const fake_engine::Log* FakeEngineLog() { return &g_log; }

#ifndef FAKE_NO_VERSION
FAKE_EXPORT int32_t ZIPENGINE_CALL GetZipEngineVersion() { return FAKE_VERSION; }
#endif

#ifndef FAKE_NO_EXEC
FAKE_EXPORT int32_t ZIPENGINE_CALL ZipEngineExec(ZipCommand* command) {
  ++g_log.execCalls;
  CopyCommand(command);
  bool stopped = false;
  for (const fake_engine::Step& step : g_script.steps) {
    if (step.afterAbort != stopped) continue;
    ZipCallbackData data;
    std::memset(static_cast<void*>(&data), 0, sizeof data);
    data.ComponentRef = command->ComponentRef;
    data.IsZipAction = step.isZipAction;
    data.ActionCode = step.action;
    data.ActionArg = step.arg;
    data.FileSize = step.value;
    std::memcpy(data.Text, step.text.data(), std::min(step.text.size(), sizeof data.Text - 1));
    if (step.action == zcaFileComment) data.Text[256] = step.commentSeed;
    fake_engine::Reply reply;
    reply.returned = command->CallbackProc(&data);
    reply.data = data;
    g_log.replies.push_back(reply);
    if (reply.returned != 0) stopped = true;
  }
  return g_script.result;
}
#endif
