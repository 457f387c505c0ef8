// The backup script record, the program's file names, and the routines a run uses to list
// directories, match file names and copy files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/Classes.h"
#include "runtime/Env.h"

namespace dravello {

// One backup script, copied by value. Its INI form and defaults belong to the script store
// (TfrmMain::ResetScript/ReadScript/WriteScript).
struct TBackupScript {
  std::string Name;
  bool CopyFiles = true;        // true: copy file by file; false: pack into one zip archive
  std::string DstPath;          // destination directory; ends with PathDelim after ReadScript
  uint8_t DstFormat = 0;        // 0 long dated path, 1 short dated path, 2 fixed path
  std::string SrcPath;          // comma text of items: flag "1" (recursive) or "0", then a folder
  std::string SrcExt;           // comma text of wildcard filters; lower case after ReadScript
  bool InclFiles = true;        // true: keep files matching a filter; false: keep those matching none
  bool UseArchiveAttrib = false;
  bool RemArchiveAttrib = false;
  // With a dated path style: after a run without failures, only the newest this many dated
  // backups in the destination are kept (see Retention.h). 0: all are kept.
  int32_t KeepBackups = 0;
};

// The INI file and the log file: the program file's path with its extension replaced by ".ini"
// and ".log" (appended when it has none). Fixed by InitFileNames at start for the whole run.
//
// An installed program's folder is not writable by its users: on POSIX, when this process cannot
// create files in the program's folder, the INI lives in $XDG_CONFIG_HOME/dravello/ and the log in
// $XDG_STATE_HOME/dravello/ (unset, empty or relative: ~/.config and ~/.local/state), under the
// same file names. Without a home folder either, they stay beside the program. On Windows they
// always stay beside the program. InitFileNames only decides; it creates and writes nothing.
extern std::string IniFileName;
extern std::string LogFileName;
void InitFileNames(const std::string& programFileName);
// Creates the folders of IniFileName and LogFileName where they are missing (the per-user
// folders above, on first use). Failures are left for the first write to report.
void CreateFileFolders();

// The text with PathDelim appended unless it already ends with one; "" gives PathDelim alone.
std::string AddBackslash(std::string_view text);

// What CollectFiles does besides listing.
struct TCollectOptions {
  // Called once per entry found, so that a long listing keeps the window responsive.
  std::function<void()> ProcessMessages;
  // A subfolder that cannot be listed is handed here and skipped, so that its siblings are still
  // listed; without a handler its failure is raised and ends the listing.
  std::function<void(const std::string& folder, const std::string& failure)> OnFolderError;
  // A folder that is not searched and a file that is not added, wherever the listing meets them
  // (compared as full paths, as the file system compares names); each meeting is handed to
  // OnLeftOut. Empty: none.
  std::string LeaveOutFolder;
  std::string LeaveOutFile;
  std::function<void(const std::string& path)> OnLeftOut;
};

// Adds the full path of every file in `directory` to `list`, and with `recursive` those of every
// subdirectory that is neither hidden nor system. Files count whatever their attributes; a
// symbolic link to a file counts as that file (a dangling one too, so that copying it fails
// visibly); symbolic links to directories are never followed; FIFOs, sockets and devices are
// skipped. A directory that does not exist adds nothing; when `directory` itself cannot be read
// the failure is raised.
void CollectFiles(TStringList& list, const std::string& directory, bool recursive,
                  const TCollectOptions& options = {});

// Whether the whole `name` matches the whole `pattern`, where "*" matches any run of characters
// (also none) and "?" exactly one character (one UTF-8 code point); every other character must
// be equal (case-sensitive: callers lower both sides first). Runs in time bounded by
// pattern length x name length whatever the input. This is WildcardMatches of runtime/Wildcard.h
// with WildcardCase::Exact; note the order of the arguments.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

// Whether the name of the file at `path` (its last part, ASCII letters lowered) matches one of
// `filters` by MatchesWildcard. The filters are taken as they stand: one with capitals matches
// nothing.
bool FileNameMatchesAny(const std::string& path, const TStringList& filters);

// What CopyFileSafely found out about its source.
struct CopiedFile {
  FileStat Source;            // size and last-write time as the source was read
  uint32_t SourceAttributes;  // DOS attributes of the source
};

// Copies src to dst so that dst is never partial: the bytes go to a temporary file beside dst,
// which then takes src's last-write time and exactly src's DOS attributes and is renamed over
// dst (a read-only dst is replaced too). On any failure the temporary file is removed, dst is
// as it was, and the failure is raised.
CopiedFile CopyFileSafely(Env& env, const std::string& src, const std::string& dst);

}  // namespace dravello
