// Keeping only the last N backups of a script with a dated destination: which folders and
// archives in the destination are backups that the script's path style made, which of them are
// beyond the newest N, and removing one.
//
// Only names of exactly the form the style produces count:
//   long  (DstFormat 0): "YYYY-MM-DD HH-NN" in the destination folder;
//   short (DstFormat 1): "MMDDHHNN" in a year folder "YYYY" (exactly four digits) there;
// a folder in copy mode, that name + ".zip" as a file in pack mode, each with a real date and
// time of day. Symbolic links never count and are never followed. Everything else in the
// destination (other folders, similar names, the other mode's backups) is left alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Env.h"

namespace dravello {

// The date and time of day a dated name stands for, as "YYYYMMDDHHNN" (which sorts as the times
// do), or "" when `name` is not of the form. `year` is the year folder's name for the short
// style, ignored for the long one.
std::string DatedBackupStamp(std::string_view name, uint8_t format, bool pack, std::string_view year = {});

struct TDatedBackup {
  std::string Path;   // the folder (without a trailing separator) or the archive
  std::string Stamp;  // as DatedBackupStamp gives it
};

// The backups the style `format` (0 or 1) produced below `destinationRoot`, oldest first.
// Listing failures are raised.
std::vector<TDatedBackup> ListDatedBackups(Env& env, const std::string& destinationRoot, uint8_t format, bool pack);

// Of `backups` (oldest first), those to remove so that `keep` remain: the backup `justWritten`
// (a path as the run built it; a trailing separator is ignored) always stays and counts as the
// newest, the others stay newest first. Oldest first. None when keep < 1.
std::vector<TDatedBackup> BackupsBeyond(const std::vector<TDatedBackup>& backups, int keep,
                                        const std::string& justWritten);

// Removes a backup: an archive, or a folder with everything inside (links inside are removed as
// links, never followed). Raises on the first failure; what was removed until then stays removed.
void RemoveBackup(Env& env, const std::string& path);

}  // namespace dravello
