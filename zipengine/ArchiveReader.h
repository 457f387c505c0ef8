// Reads the central directory of an existing archive (classic or ZIP64) so that its entries can
// be carried over into a new archive byte for byte. Anything that does not parse as a zip archive
// raises ZipFormatError; the caller then must not replace the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "zipengine/ZipFormat.h"

namespace dravello::zipengine {

class ZipFormatError : public Exception {
  using Exception::Exception;
};

struct ExistingEntry {
  EntryHeader Header;         // offsets already corrected for data in front of the archive
  uint16_t VersionMadeBy = 0;
  std::string ExtraKeep;      // central extra fields other than ZIP64 and the extended timestamp
  std::string Comment;
};

struct ExistingArchive {
  std::vector<ExistingEntry> Entries;  // in central directory order
  std::string Comment;
};

// Parses the archive that `file` holds. Raises ZipFormatError for anything that is not a
// single-volume zip archive with a consistent central directory.
ExistingArchive ReadArchiveDirectory(RandomAccessFile& file);

// Where the bytes of an entry lie: its local header, data and data descriptor, as one range to
// copy unchanged. Raises ZipFormatError when the local header is not where the directory says.
struct LocalExtent {
  uint64_t Offset = 0;
  uint64_t Length = 0;
};
LocalExtent LocateEntry(RandomAccessFile& file, const ExistingEntry& entry);

}  // namespace dravello::zipengine
