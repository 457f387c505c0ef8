#include "app/u_types.h"

#include <vector>

#include "runtime/SysUtils.h"
#include "runtime/Wildcard.h"
#include "ui/Forms.h"

namespace dravello {

std::string IniFileName;
std::string LogFileName;

void InitFileNames(const std::string& programFileName) {
  IniFileName = ChangeFileExt(programFileName, ".ini");
  LogFileName = ChangeFileExt(programFileName, ".log");
}

std::string AddBackslash(std::string_view text) { return IncludeTrailingPathDelimiter(text); }

void CollectFiles(TStringList& list, const std::string& directory, bool recursive) {
  Env& env = Env::Default();
  const std::string d = AddBackslash(directory);
  const std::vector<DirEntry> entries = env.ListDirectory(d);
  for (const DirEntry& e : entries) {
    if (Application) Application->ProcessMessages();
    // A dangling link (Missing but a link) is kept: copying it then fails and is reported,
    // rather than the file silently dropping out of the backup.
    if (e.Kind == FileKind::Regular || (e.Kind == FileKind::Missing && e.IsSymlink)) list.Add(d + e.Name);
  }
  if (!recursive) return;
  for (const DirEntry& e : entries) {
    if (e.Kind != FileKind::Directory || e.IsSymlink) continue;  // links to folders could loop
    if (Application) Application->ProcessMessages();
    std::optional<uint32_t> attrs = env.GetAttributes(d + e.Name);
    if (!attrs || (*attrs & (faHidden | faSysFile)) != 0) continue;
    CollectFiles(list, d + e.Name, true);
  }
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
