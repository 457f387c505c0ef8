// Test helpers for the archiver: temporary folders, byte-exact files, a recording stand-in for
// the window framework, handles on the stand-in engines, and running the archive tools.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "FakeEngineControl.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "tests/support/Bytes.h"
#include "tests/support/Shell.h"
#include "tests/support/TempDir.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipArchiverUi.h"

namespace dravello::ziptest {

namespace fs = std::filesystem;

using TempDir = ::dravello::testing::TempDir;

using ::dravello::testing::FsPath;
using ::dravello::testing::ReadBytes;
using ::dravello::testing::WriteBytes;
using ::dravello::testing::CaptureOutput;
using ::dravello::testing::ShellQuote;

// `path` with its "/" in the platform's separator: tests spell their trees with "/".
inline std::string Native(std::string path) {
  for (char& c : path)
    if (c == '/') c = PathDelim;
  return path;
}

// A path as the C++ library gives it back, in the program's (UTF-8) text.
inline std::string Utf8Of(const fs::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

inline void CopyFile(const std::string& from, const std::string& to) {
  fs::create_directories(FsPath(Native(to)).parent_path());
  fs::copy_file(FsPath(Native(from)), FsPath(Native(to)), fs::copy_options::overwrite_existing);
}

#ifndef _WIN32
// Runs a shell command line in `dir`; returns its exit status (-1 when it could not run). Linux
// only: the command lines name Linux programs.
inline int Run(const std::string& dir, const std::string& commandLine) {
  std::string line = "cd '" + dir + "' && " + commandLine + " >/dev/null 2>&1";
  int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#else
// The command lines name Linux programs, which a Windows build cannot start (HaveTool is false).
inline int Run(const std::string&, const std::string&) { return -1; }
#endif

// Runs a command line and returns what it printed on standard output.
inline std::string Capture(const std::string& commandLine, int* exitStatus = nullptr) {
  return CaptureOutput(commandLine, exitStatus);
}

// Whether a Linux archive tool can be run (never on Windows).
inline bool HaveTool(const std::string& name) {
#ifdef _WIN32
  (void)name;
  return false;
#else
  return Run("/", "command -v " + name) == 0;
#endif
}
// Why a check that needs `name` is skipped.
inline std::string NoTool(const std::string& name) {
  return testing::LinuxToolsAvailable() ? name + " is not installed" : std::string(testing::kNoLinuxTools);
}

// The folder of one stand-in engine variant ("good", "v171", ...).
inline std::string FakeEngineDir(const std::string& variant) { return std::string(DRAVELLO_FAKE_ENGINES) + PathDelim + variant; }
inline std::string FakeEnginePath(const std::string& variant) { return FakeEngineDir(variant) + PathDelim + "ZIPENGINE.DLL"; }

// Keeps a stand-in engine loaded for the test, so the script set here is the one the component
// finds when it loads the same file, and the log survives the component's unloading.
class FakeEngine {
 public:
  explicit FakeEngine(const std::string& variant = "good") {
    std::string why;
    library_ = Env::Platform().OpenLibrary(FakeEnginePath(variant), &why);
    if (!library_) throw std::runtime_error("cannot load the stand-in engine: " + why);
    setScript_ = reinterpret_cast<FakeEngineSetScriptFn>(library_->Symbol("FakeEngineSetScript"));
    log_ = reinterpret_cast<FakeEngineLogFn>(library_->Symbol("FakeEngineLog"));
    SetScript({});
  }
  void SetScript(const std::vector<fake_engine::Step>& steps, int32_t result = 0) {
    fake_engine::Script s;
    s.steps = steps;
    s.result = result;
    setScript_(&s);
  }
  const fake_engine::Log& Log() const { return *log_(); }
  const fake_engine::CommandCopy& Command() const { return log_()->command; }
  const std::vector<fake_engine::Reply>& Replies() const { return log_()->replies; }

 private:
  std::unique_ptr<DynamicLibrary> library_;
  FakeEngineSetScriptFn setScript_ = nullptr;
  FakeEngineLogFn log_ = nullptr;
};

inline fake_engine::Step MakeStep(int32_t action, int32_t arg = 0, uintptr_t value = 0, std::string text = {}) {
  fake_engine::Step s;
  s.action = action;
  s.arg = arg;
  s.value = value;
  s.text = std::move(text);
  return s;
}

// Records what the component asks of the window framework and answers password dialogs from a
// queue (an empty queue answers Cancel).
class RecordingUi : public TZipArchiverUi {
 public:
  struct Dialog {
    std::string title, prompt;
    uint32_t buttons = 0;
  };
  struct Answer {
    int32_t modalResult = 1;
    std::string entry;
  };

  uintptr_t OwnerWindow() override { return 0x1234; }
  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  void ProcessMessages() override { ++processed; }
  bool ActiveWindowIsOurs() override { return activeIsOurs; }
  int16_t ScreenCursor() override { return cursor; }
  void SetScreenCursor(int16_t c) override {
    cursor = c;
    cursorChanges.push_back(c);
  }
  int32_t ShowPasswordDialog(const std::string& title, const std::string& prompt, uint32_t buttons,
                             std::string* entry) override {
    dialogs.push_back({title, prompt, buttons});
    if (answers.empty()) return kPasswordResultCancel;
    Answer a = answers.front();
    answers.pop_front();
    *entry = a.entry;
    return a.modalResult;
  }

  std::vector<std::string> shown;
  int processed = 0;
  bool activeIsOurs = true;
  int16_t cursor = 0;
  std::vector<int16_t> cursorChanges;
  std::vector<Dialog> dialogs;
  std::deque<Answer> answers;
};

// An Env whose program file lives in a folder of the test's choosing.
class ProgramDirEnv : public EnvWrapper {
 public:
  ProgramDirEnv(Env& target, std::string programFile) : EnvWrapper(target), programFile_(std::move(programFile)) {}
  std::string ProgramFileName() override { return programFile_; }

 private:
  std::string programFile_;
};

// An Env that serves files held in memory under the given names (and everything else from the
// target), for tests that read thousands of variants of an archive.
class MemoryFileEnv : public EnvWrapper {
 public:
  explicit MemoryFileEnv(Env& target) : EnvWrapper(target) {}
  void Put(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }

  FileStat Stat(const std::string& path) override {
    auto it = files_.find(path);
    if (it == files_.end()) return EnvWrapper::Stat(path);
    FileStat st;
    st.Kind = FileKind::Regular;
    st.Size = static_cast<int64_t>(it->second.size());
    return st;
  }
  std::unique_ptr<RandomAccessFile> NewRandomAccessFile(const std::string& path) override {
    auto it = files_.find(path);
    if (it == files_.end()) return EnvWrapper::NewRandomAccessFile(path);
    return std::make_unique<MemoryFile>(it->second);
  }

 private:
  class MemoryFile : public RandomAccessFile {
   public:
    explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
    size_t ReadAt(int64_t offset, char* buf, size_t n) override {
      if (offset < 0 || static_cast<size_t>(offset) >= bytes_.size()) return 0;
      n = std::min(n, bytes_.size() - static_cast<size_t>(offset));
      std::memcpy(buf, bytes_.data() + offset, n);
      return n;
    }

   private:
    std::string bytes_;
  };
  std::map<std::string, std::string> files_;
};

// Everything a component reported through OnMessage, as "code|text".
inline void RecordMessages(TZipArchiver& z, std::vector<std::string>& out) {
  z.OnMessage = [&out](TObject*, int32_t code, const std::string& text) {
    out.push_back(std::to_string(code) + "|" + text);
  };
}

}  // namespace dravello::ziptest
