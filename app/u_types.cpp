#include "app/u_types.h"

#include <optional>
#include <vector>

#include "runtime/Locale.h"
#include "runtime/SysUtils.h"
#include "runtime/Wildcard.h"

namespace dravello {

std::string IniFileName;
std::string LogFileName;

namespace {

// An XDG base folder: the variable's value when it is an absolute path (the base directory rules
// say to ignore relative ones), else `fallback` below the home folder; "" without either.
std::string XdgBaseFolder(Env& env, const char* variable, const char* fallback) {
  const std::optional<std::string> value = env.EnvironmentVariable(variable);
  if (value && !value->empty() && value->front() == '/') return *value;
  const std::optional<std::string> home = env.EnvironmentVariable("HOME");
  if (home && !home->empty() && home->front() == '/') return AddBackslash(*home) + fallback;
  return std::string();
}

}  // namespace

void InitFileNames(const std::string& programFileName) {
  IniFileName = ChangeFileExt(programFileName, ".ini");
  LogFileName = ChangeFileExt(programFileName, ".log");
  if constexpr (PathDelim != '/') return;
  Env& env = Env::Default();
  const std::string folder = ExtractFilePath(programFileName);
  if (folder.empty() || env.CanCreateFilesIn(folder)) return;
  const std::string config = XdgBaseFolder(env, "XDG_CONFIG_HOME", ".config");
  const std::string state = XdgBaseFolder(env, "XDG_STATE_HOME", ".local/state");
  if (!config.empty()) IniFileName = AddBackslash(config) + "dravello/" + ExtractFileName(IniFileName);
  if (!state.empty()) LogFileName = AddBackslash(state) + "dravello/" + ExtractFileName(LogFileName);
}

void CreateFileFolders() {
  Env& env = Env::Default();
  for (const std::string* file : {&IniFileName, &LogFileName}) {
    const std::string folder = ExtractFilePath(*file);
    try {
      if (!folder.empty() && !env.DirectoryExists(folder)) env.ForceDirectories(folder);
    } catch (const std::exception&) {
    }
  }
}

std::string AddBackslash(std::string_view text) { return IncludeTrailingPathDelimiter(text); }

namespace {

// dir + name in a string of exactly that size: a listed path lives as long as the run, and
// operator+ would leave room for twice the folder's name in each of hundreds of thousands.
std::string Joined(const std::string& dir, const std::string& name) {
  std::string path;
  path.reserve(dir.size() + name.size());
  path.append(dir).append(name);
  return path;
}

class FileCollector {
 public:
  FileCollector(TStringList& list, const TCollectOptions& options) : list_(list), o_(options), env_(Env::Default()) {
    if (!o_.LeaveOutFolder.empty()) leaveOutFolder_ = AddBackslash(env_.ExpandFileName(o_.LeaveOutFolder));
    if (!o_.LeaveOutFile.empty()) leaveOutFile_ = env_.ExpandFileName(o_.LeaveOutFile);
  }

  void Collect(const std::string& directory, bool recursive, bool top) {
    const std::string d = AddBackslash(directory);
    if (!leaveOutFolder_.empty() && SamePath(AddBackslash(env_.ExpandFileName(d)), leaveOutFolder_)) {
      if (o_.OnLeftOut) o_.OnLeftOut(d);
      return;
    }
    std::vector<DirEntry> entries;
    try {
      entries = env_.ListDirectory(d);
    } catch (const std::exception& e) {
      if (top || !o_.OnFolderError) throw;
      o_.OnFolderError(d, e.what());
      return;
    }
    for (const DirEntry& e : entries) {
      if (o_.ProcessMessages) o_.ProcessMessages();
      // A dangling link (Missing but a link) is kept: copying it then fails and is reported,
      // rather than the file silently dropping out of the backup.
      if (e.Kind != FileKind::Regular && !(e.Kind == FileKind::Missing && e.IsSymlink)) continue;
      if (IsLeftOutFile(d, e.Name)) continue;
      list_.Add(Joined(d, e.Name));
    }
    if (!recursive) return;
    for (const DirEntry& e : entries) {
      if (e.Kind != FileKind::Directory || e.IsSymlink) continue;  // links to folders could loop
      if (o_.ProcessMessages) o_.ProcessMessages();
      std::optional<uint32_t> attrs = env_.GetAttributes(d + e.Name);
      if (!attrs || (*attrs & (faHidden | faSysFile)) != 0) continue;
      Collect(d + e.Name, true, false);
    }
  }

 private:
  bool SamePath(const std::string& a, const std::string& b) const {
    return FileNamesIgnoreCase ? AnsiSameText(a, b) : a == b;
  }
  bool IsLeftOutFile(const std::string& dir, const std::string& name) {
    if (leaveOutFile_.empty()) return false;
    // The name first: a full path is made only for the one name that can match.
    const std::string leaveOutName = ExtractFileName(leaveOutFile_);
    if (!(FileNamesIgnoreCase ? AnsiSameText(name, leaveOutName) : name == leaveOutName)) return false;
    if (!SamePath(env_.ExpandFileName(dir + name), leaveOutFile_)) return false;
    if (o_.OnLeftOut) o_.OnLeftOut(dir + name);
    return true;
  }

  TStringList& list_;
  const TCollectOptions& o_;
  Env& env_;
  std::string leaveOutFolder_;
  std::string leaveOutFile_;
};

}  // namespace

void CollectFiles(TStringList& list, const std::string& directory, bool recursive, const TCollectOptions& options) {
  FileCollector(list, options).Collect(directory, recursive, true);
}

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  return WildcardMatches(pattern, name, WildcardCase::Exact);
}

bool FileNameMatchesAny(const std::string& path, const TStringList& filters) {
  const std::string name = LowerCaseAscii(ExtractFileName(path));
  for (const std::string& filter : filters)
    if (MatchesWildcard(name, filter)) return true;
  return false;
}

CopiedFile CopyFileSafely(Env& env, const std::string& src, const std::string& dst) {
  const Env::TempCopy copy = env.CopyToTempBeside(src, dst);
  try {
    env.RenameFile(copy.TempPath, dst);
  } catch (...) {
    try {
      env.DeleteFile(copy.TempPath);
    } catch (...) {
      // The rename's own failure is the one to report.
    }
    throw;
  }
  return CopiedFile{copy.Source, copy.SourceAttributes};
}

}  // namespace dravello
