#include "app/Retention.h"

#include <algorithm>

#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

bool Digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view s) {
  int n = 0;
  for (char c : s) n = n * 10 + (c - '0');
  return n;
}

// "MMDDHHNN" with a real month, day, hour and minute.
bool ValidMonthDayTime(std::string_view s) {
  if (s.size() != 8 || !Digits(s)) return false;
  const int month = Number(s.substr(0, 2)), day = Number(s.substr(2, 2));
  const int hour = Number(s.substr(4, 2)), minute = Number(s.substr(6, 2));
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59;
}

bool SameName(std::string_view a, std::string_view b) { return FileNamesIgnoreCase ? AnsiSameText(a, b) : a == b; }

// The name less the ".zip" a pack run appends; nothing when it has none.
bool StripSuffix(std::string_view& name, bool pack) {
  if (!pack) return true;
  constexpr std::string_view kZip = ".zip";
  if (name.size() <= kZip.size() || !SameName(name.substr(name.size() - kZip.size()), kZip)) return false;
  name.remove_suffix(kZip.size());
  return true;
}

std::string WithoutTrailingDelimiter(const std::string& path) { return ExcludeTrailingPathDelimiter(path); }

}  // namespace

std::string DatedBackupStamp(std::string_view name, uint8_t format, bool pack, std::string_view year) {
  if (!StripSuffix(name, pack)) return std::string();
  if (format == 0) {
    // "YYYY-MM-DD HH-NN"
    if (name.size() != 16 || name[4] != '-' || name[7] != '-' || name[10] != ' ' || name[13] != '-') return std::string();
    const std::string_view y = name.substr(0, 4);
    std::string mdhn;
    for (size_t at : {5, 8, 11, 14}) mdhn.append(name.substr(at, 2));
    if (!Digits(y) || !ValidMonthDayTime(mdhn)) return std::string();
    return std::string(y) + mdhn;
  }
  if (format == 1) {
    if (year.size() != 4 || !Digits(year) || !ValidMonthDayTime(name)) return std::string();
    return std::string(year) + std::string(name);
  }
  return std::string();
}

std::vector<TDatedBackup> ListDatedBackups(Env& env, const std::string& destinationRoot, uint8_t format, bool pack) {
  std::vector<TDatedBackup> found;
  const std::string root = IncludeTrailingPathDelimiter(destinationRoot);
  const FileKind wanted = pack ? FileKind::Regular : FileKind::Directory;
  auto collect = [&](const std::string& folder, std::string_view year) {
    for (const DirEntry& e : env.ListDirectory(folder)) {
      if (e.IsSymlink || e.Kind != wanted) continue;
      std::string stamp = DatedBackupStamp(e.Name, format, pack, year);
      if (!stamp.empty()) found.push_back({folder + e.Name, std::move(stamp)});
    }
  };
  if (format == 0) {
    collect(root, {});
  } else if (format == 1) {
    for (const DirEntry& e : env.ListDirectory(root)) {
      if (e.IsSymlink || e.Kind != FileKind::Directory || e.Name.size() != 4 || !Digits(e.Name)) continue;
      collect(root + e.Name + PathDelim, e.Name);
    }
  }
  // Equal stamps (a long-style name differing only in letter case of ".zip", say) keep a fixed
  // order by path.
  std::sort(found.begin(), found.end(), [](const TDatedBackup& a, const TDatedBackup& b) {
    return a.Stamp != b.Stamp ? a.Stamp < b.Stamp : a.Path < b.Path;
  });
  return found;
}

std::vector<TDatedBackup> BackupsBeyond(const std::vector<TDatedBackup>& backups, int keep,
                                        const std::string& justWritten) {
  std::vector<TDatedBackup> beyond;
  if (keep < 1) return beyond;
  const std::string written = WithoutTrailingDelimiter(justWritten);
  int kept = 0;
  std::vector<bool> keepIt(backups.size(), false);
  for (size_t i = 0; i < backups.size(); ++i) {
    if (SameName(WithoutTrailingDelimiter(backups[i].Path), written)) {
      keepIt[i] = true;
      ++kept;
      break;
    }
  }
  for (size_t i = backups.size(); i-- > 0;) {
    if (keepIt[i]) continue;
    if (kept < keep) {
      keepIt[i] = true;
      ++kept;
    }
  }
  for (size_t i = 0; i < backups.size(); ++i)
    if (!keepIt[i]) beyond.push_back(backups[i]);
  return beyond;
}

namespace {

void RemoveTree(Env& env, const std::string& dir) {
  const std::string d = IncludeTrailingPathDelimiter(dir);
  for (const DirEntry& e : env.ListDirectory(d)) {
    const std::string path = d + e.Name;
    if (e.Kind == FileKind::Directory && !e.IsSymlink) {
      RemoveTree(env, path);
    } else if (e.IsSymlink && e.Kind == FileKind::Directory) {
      // A link to a folder is a file on POSIX and a folder entry (a junction) on Windows.
      try {
        env.DeleteFile(path);
      } catch (const EOSError&) {
        env.RemoveDir(path);
      }
    } else {
      env.DeleteFile(path);
    }
  }
  env.RemoveDir(WithoutTrailingDelimiter(dir));
}

}  // namespace

void RemoveBackup(Env& env, const std::string& path) {
  const FileStat st = env.Stat(path);
  if (st.Kind == FileKind::Directory && !st.IsSymlink)
    RemoveTree(env, path);
  else
    env.DeleteFile(path);
}

}  // namespace dravello
