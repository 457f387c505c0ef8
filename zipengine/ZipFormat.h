// The zip container format as this engine writes and reads it: record signatures, little-endian
// encoding, MS-DOS and Unix time stamps, and the builders of local headers, central directory
// headers and end records (with their ZIP64 forms).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zip/ZipRecordReader.h"

namespace dravello::zipengine {

// The record signatures and sizes, kExtraZip64, kMax16 and kMax32 are the directory reader's.
using namespace zipformat;

inline constexpr uint16_t kExtraTimestamp = 0x5455;

inline constexpr uint16_t kFlagEncrypted = 1 << 0;
inline constexpr uint16_t kFlagDataDescriptor = 1 << 3;
inline constexpr uint16_t kFlagUtf8 = 1 << 11;

inline constexpr uint16_t kMethodStore = 0;
inline constexpr uint16_t kMethodDeflate = 8;

// Host system Unix in the upper byte, format version 6.3 in the lower.
inline constexpr uint16_t kVersionMadeBy = (3 << 8) | 63;
inline constexpr uint16_t kVersionNeededDefault = 20;
inline constexpr uint16_t kVersionNeededZip64 = 45;


// POSIX file-type bits as they appear in the upper half of the external attributes.
inline constexpr uint32_t kUnixRegular = 0100000;
inline constexpr uint32_t kUnixDirectory = 0040000;

// ---- Little-endian encoding ----

inline void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
inline void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void Put64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline uint16_t Get16(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<uint16_t>(u[0] | (u[1] << 8));
}
inline uint32_t Get32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) | (static_cast<uint32_t>(u[2]) << 16) |
         (static_cast<uint32_t>(u[3]) << 24);
}
inline uint64_t Get64(const char* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

// ---- Names ----

// True when every byte is below 128.
bool IsPlainAscii(std::string_view s);
// True when the bytes form valid UTF-8.
bool IsValidUtf8(std::string_view s);

// ---- Entries ----

// Everything the headers of one entry carry. Sizes and offsets are the true 64-bit values; the
// builders decide where the ZIP64 forms are needed.
struct EntryHeader {
  std::string Name;            // "/" separators, no drive, no leading "/"; ends in "/" for directories
  uint16_t Flags = 0;
  uint16_t Method = kMethodStore;
  uint32_t DosDateTime = 0;    // MS-DOS date in the upper 16 bits, time in the lower
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;  // including the 12-byte encryption header when encrypted
  uint64_t UncompressedSize = 0;
  uint64_t LocalHeaderOffset = 0;
  uint32_t ExternalAttributes = 0;
  bool HasUnixTime = false;
  int64_t UnixTime = 0;         // last-write time, seconds since 1970 (extended timestamp)
  // An entry copied from an existing archive keeps its UTF-8 flag as stored, since its name's
  // bytes are kept too; a new entry is flagged when its name is non-ASCII UTF-8.
  bool NameFlagAsStored = false;
};

// The local header. With `streamed` the CRC and sizes follow the data in a data descriptor;
// `zip64` then announces 8-byte sizes there (and the header carries a ZIP64 field with zeros).
// Without `streamed` the sizes are final and a ZIP64 field is added when they need one.
std::string BuildLocalHeader(const EntryHeader& e, bool streamed, bool zip64);

// The data descriptor that ends a streamed entry (with its signature).
std::string BuildDataDescriptor(const EntryHeader& e, bool zip64);

// The central directory header. `extraKeep` holds extra fields to carry over unchanged (neither
// ZIP64 nor the extended timestamp, which are rebuilt from `e`); `comment` is the entry comment.
std::string BuildCentralHeader(const EntryHeader& e, std::string_view extraKeep, std::string_view comment,
                               uint16_t versionMadeBy = kVersionMadeBy);

// The end of the central directory: the ZIP64 end record and locator when the entry count, the
// directory size or its offset need them, then the classic end record with the archive comment
// (cut to 65,535 bytes).
std::string BuildEndRecords(uint64_t entryCount, uint64_t directoryOffset, uint64_t directorySize,
                            std::string_view comment);

// ---- Times ----

// The Unix time (seconds) of a last-write time in nanoseconds, rounded down.
int64_t UnixSecondsOf(int64_t mtimeNs);
// Whether a Unix time fits the 32-bit extended timestamp field.
bool FitsExtendedTimestamp(int64_t unixSeconds);

}  // namespace dravello::zipengine
