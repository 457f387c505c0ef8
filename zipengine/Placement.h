// The last steps of an add: the finished temporary archive takes the place of the target, and
// then, only then, the sources are tended (archive attribute cleared, or deleted for a move).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runtime/Env.h"

namespace dravello::zipengine {

// Renames `temp` over `archive`. A temporary file in another folder (`tempElsewhere`) may sit on
// another file system, where renaming fails: it is then copied beside the archive, flushed, and
// that copy renamed. On failure the archive is untouched, any copy is removed and the failure
// raised; `temp` itself is left to the caller. On success `temp` no longer exists.
void MoveIntoPlace(Env& env, const std::string& temp, const std::string& archive, bool tempElsewhere);

struct PackedSource {
  std::string Path;
  FileStat AsRead;       // size and last-write time when the file was read
  bool Changed = false;  // it changed while it was being read
};

// Clears the archive attribute (`resetArchive`) or deletes (`move`) every source that is
// unchanged since it was read; a changed one keeps its bit or stays, with a warning. Every
// problem is handed to `warn`, which returns false to stop (the remaining sources are then left
// as they are, which is always safe).
void TendSources(Env& env, const std::vector<PackedSource>& sources, bool resetArchive, bool move,
                 const std::function<bool(const std::string&)>& warn);

}  // namespace dravello::zipengine
