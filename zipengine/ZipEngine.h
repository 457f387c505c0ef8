// The engine behind ZipEngineExec: runs one add command. It creates the archive or extends it
// (existing entries are copied unchanged; an entry named like a new file is replaced), writes
// the result to a temporary file that is flushed and renamed into place, and talks to the
// caller only through the command's callback on the calling thread. On any failure or abort
// the old archive is left exactly as it was and the temporary file is removed.
#pragma once

#include <cstdint>

#include "zip/ZipEngineApi.h"

namespace dravello::zipengine {

// The version GetZipEngineVersion reports (100 x the version number).
inline constexpr int32_t kEngineVersion = 200;

// Knobs for tests and benchmarks; the defaults suit the product.
struct EngineTuning {
  int Workers = 0;                             // compression threads; 0: one per core
  int64_t StreamThreshold = int64_t{16} << 20;  // larger files are streamed, not held in memory
  int64_t MemoryBudget = int64_t{32} << 20;     // file bytes held in memory at once
  int64_t PieceSize = int64_t{4} << 20;         // streamed files are compressed in pieces this big
  int64_t DirectoryHeld = int64_t{4} << 20;     // central directory bytes held in memory; the rest
                                                // waits in a temporary file
};

// Runs `command`. Returns the number of files stored (0 when none, after reporting why through
// action 4), or a negative number when the command record itself is unusable.
int32_t RunZipCommand(const ZipCommand& command, const EngineTuning& tuning = {});

}  // namespace dravello::zipengine
