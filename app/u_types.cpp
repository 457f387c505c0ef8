#include "app/u_types.h"

#include <vector>

#include "runtime/Locale.h"
#include "runtime/SysUtils.h"
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

namespace {

// Decodes to code points so that "?" stands for one character, not one byte.
std::u32string CodePoints(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) out.push_back(DecodeUtf8(s, i));
  return out;
}

template <class Char>
bool Match(std::basic_string_view<Char> name, std::basic_string_view<Char> pattern) {
  // Greedy matching that remembers only the last "*": when a later part fails, that star takes
  // one more character and the rest is tried again. Earlier stars never need revisiting, which
  // bounds the work by |pattern| x |name| (plain recursive backtracking is exponential on
  // patterns like "*a*a*a*b").
  size_t n = 0, p = 0;
  size_t starP = std::basic_string_view<Char>::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == Char('?') || (pattern[p] != Char('*') && pattern[p] == name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == Char('*')) {
      starP = p++;
      starN = n;
    } else if (starP != std::basic_string_view<Char>::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == Char('*')) ++p;
  return p == pattern.size();
}

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  if (IsAscii(name) && IsAscii(pattern)) return Match(name, pattern);
  std::u32string n = CodePoints(name), p = CodePoints(pattern);
  return Match(std::u32string_view(n), std::u32string_view(p));
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
