// The records at the end of a zip archive and its central directory, read from any archive file
// through bounds-checked buffers. One reader for the archiver's directory listing and for the
// engine's reading of an archive it extends: each maps the outcomes below to its own messages.
//
// What this reader settles, so that both agree on every archive:
// - The end record is the one nearest the end of the file whose directory holds together (its
//   comment fits in the file, and a central header starts where its directory would), unless an
//   earlier such record has a comment that covers it: then the later one is text inside that
//   comment. A signature that happens to appear in a name or a comment never hides the archive.
// - The ZIP64 end record is used whenever its locator is in front of the end record and both
//   agree with every end-record field that is not saturated, needed or not (some writers always
//   write it). A locator that does not lead to such a record is taken for text, not for damage.
// - The central directory is walked by its size, not by the entry count: the count is 16 bits in
//   the end record and writers without ZIP64 store it cut to 16 bits, or as 0 or 0xFFFF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/Env.h"
#include "zip/ZipByteReader.h"

namespace dravello::zipformat {

inline constexpr uint32_t kLocalHeaderSig = 0x04034b50;     // "PK" 3 4
inline constexpr uint32_t kCentralHeaderSig = 0x02014b50;   // "PK" 1 2
inline constexpr uint32_t kEndRecordSig = 0x06054b50;       // "PK" 5 6
inline constexpr uint32_t kZip64EndRecordSig = 0x06064b50;  // "PK" 6 6
inline constexpr uint32_t kZip64LocatorSig = 0x07064b50;    // "PK" 6 7
// Ends a streamed entry; at the start of a file it marks the first volume of a spanned set.
inline constexpr uint32_t kDataDescriptorSig = 0x08074b50;  // "PK" 7 8

inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndRecordSize = 22;
inline constexpr size_t kZip64EndRecordSize = 56;  // without extensible data
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kMaxCommentSize = 65535;

inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kMax16 = 0xFFFFu;
inline constexpr uint32_t kMax32 = 0xFFFFFFFFu;

// The classic end of central directory record, as stored.
struct EndRecord {
  uint16_t ThisDisk = 0, DirDisk = 0, EntriesHere = 0, TotalEntries = 0;
  uint32_t DirSize = 0, DirOffset = 0;
  uint16_t CommentLength = 0;
};

// Why an end record found in the file does not describe a readable single-volume archive.
enum class EndProblem {
  None,
  CommentPastEnd,        // its comment runs past the end of the file
  OtherVolume,           // this disk or the directory's disk is not the first (a spanned set)
  DirectoryOutsideFile,  // the directory would start before the file does
  NoDirectoryThere,      // no central header starts where the directory would
};

// An end record found in the file, with the values in force: the ZIP64 end record's where one
// was found, the end record's otherwise.
struct ArchiveEnd {
  int64_t EndRecordOffset = 0;
  EndRecord Record;
  int64_t CommentEnd = 0;  // just after the comment: the file size unless bytes follow it
  std::string Comment;     // as stored; empty when the comment runs past the end of the file
  bool Zip64 = false;
  int64_t Zip64Offset = 0;  // where the ZIP64 end record lies, when Zip64
  uint32_t ThisDisk = 0, DirDisk = 0;
  uint64_t TotalEntries = 0, DirSize = 0, DirOffset = 0;  // the directory offset as recorded
  // Where the directory ends in the file: at the ZIP64 end record, else at the end record. It
  // begins DirSize bytes before, which may be before the file (Problem says so).
  int64_t DirEnd = 0;
  EndProblem Problem = EndProblem::None;
};

enum class EndSearch {
  Found,      // End holds the record; its Problem may still say it does not hold together
  TooShort,   // the file is shorter than an end record
  ReadError,  // the end of the file could not be read
  NotFound,   // no end-record signature in the reach of the largest comment
};

struct EndSearchResult {
  EndSearch Outcome = EndSearch::NotFound;
  ArchiveEnd End;
};

// Finds the end of the archive in `file` (`size` bytes). In the usual case (no comment, a
// directory in front) that is one 22-byte read and two small checks; otherwise one read of at
// most 65,557 bytes from the end. When no record holds together, the one nearest the end is
// returned with its problem, so that the caller reports what is wrong with it.
EndSearchResult FindArchiveEnd(RandomAccessFile& file, int64_t size);

// The fixed 46-byte part of a central directory header, after its signature.
struct CentralHeader {
  uint8_t MadeByVersion = 0, MadeByHost = 0;
  uint16_t NeededVersion = 0, Flags = 0, Method = 0, ModTime = 0, ModDate = 0;
  uint32_t Crc = 0, PackedSize = 0, UnpackedSize = 0;
  uint16_t NameLength = 0, ExtraLength = 0, CommentLength = 0, DiskStart = 0, InternalAttributes = 0;
  uint32_t ExternalAttributes = 0, LocalHeaderOffset = 0;
};

struct CentralRecord {
  CentralHeader Header;
  std::string Name, Extra, Comment;  // as stored
};

enum class CentralRead {
  Record,        // the next record was read
  End,           // the directory's bytes are used up, exactly at a record's end
  ShortHeader,   // fewer than 46 bytes of the directory are left for the next header
  BadSignature,  // the next header does not start with the central header signature
  ShortName,     // the directory ends inside the name
  ShortExtra,    // ... inside the extra field
  ShortComment,  // ... inside the entry comment
};

// Reads a central directory front to back through one buffer, never past its last byte.
class CentralDirectoryReader {
 public:
  CentralDirectoryReader(RandomAccessFile& file, int64_t start, uint64_t size);
  CentralRead Next(CentralRecord& out);
  // Records read so far.
  uint64_t Count() const { return count_; }

 private:
  ZipBufferedFile in_;
  uint64_t left_;
  uint64_t count_ = 0;
};

// How the entry count of the end records compares with the records the directory holds.
enum class CountCheck {
  Agrees,
  RecordedTooLow,  // the directory holds more: a count cut to 16 bits, 0, 0xFFFF or just low
  TooFew,          // the directory holds fewer than counted: entries are missing
};
CountCheck CheckEntryCount(const ArchiveEnd& end, uint64_t found);

// The 64-bit values of a header whose 32-bit (or 16-bit) ones are saturated, taken from its
// ZIP64 extended information field: the fields present are exactly those saturated, in the
// order unpacked size, packed size, local header offset, disk. In a local header the field holds
// both sizes when either is saturated. Complete is false when a saturated value has no field.
struct Zip64Values {
  uint64_t Unpacked = 0, Packed = 0, Offset = 0;
  uint32_t Disk = 0;
  bool Complete = true;
};
Zip64Values ResolveZip64(std::string_view extra, uint32_t unpacked, uint32_t packed, uint32_t offset, uint16_t disk,
                         bool localHeader = false);

// Whether any two of the byte ranges (offset, length) share a byte.
bool RangesOverlap(std::vector<std::pair<uint64_t, uint64_t>> ranges);

}  // namespace dravello::zipformat
