// Reads an existing archive (classic or ZIP64) so that its entries can be carried over into a
// new archive byte for byte. Anything that does not parse as one whole zip archive raises
// ZipFormatError; the caller then must not replace the file. Whatever is accepted here is
// copied whole: every entry's local header agrees with its central record, its bytes lie in
// front of the directory, and no two entries share a byte.
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

// Where the bytes of an entry lie: its local header, data and data descriptor, as one range to
// copy unchanged.
struct LocalExtent {
  uint64_t Offset = 0;
  uint64_t Length = 0;
};

struct ExistingEntry {
  EntryHeader Header;         // offsets already corrected for data in front of the archive
  uint16_t VersionMadeBy = 0;
  std::string ExtraKeep;      // central extra fields other than ZIP64 and the extended timestamp
  std::string Comment;
  LocalExtent Extent;
};

struct ExistingArchive {
  std::vector<ExistingEntry> Entries;  // in central directory order
  std::string Comment;
  // Set when the archive reads whole but its end record is off (an entry count cut to 16 bits,
  // say); every entry is read all the same. Empty otherwise.
  std::string Warning;
};

// Parses the archive that `file` holds, reading every entry's local header. Raises
// ZipFormatError for anything that is not a single-volume zip archive whose entries can all be
// copied whole.
ExistingArchive ReadArchiveDirectory(RandomAccessFile& file);

}  // namespace dravello::zipengine
