#include "zipengine/ZipFormat.h"

#include <algorithm>

namespace dravello::zipengine {

bool IsPlainAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t extra;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values beyond the Unicode range are not UTF-8.
    static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

namespace {

uint16_t VersionNeeded(bool zip64) { return zip64 ? kVersionNeededZip64 : kVersionNeededDefault; }

void PutTimestampExtra(std::string& out, const EntryHeader& e) {
  if (!e.HasUnixTime || !FitsExtendedTimestamp(e.UnixTime)) return;
  Put16(out, kExtraTimestamp);
  Put16(out, 5);
  out.push_back(1);  // last-write time present
  Put32(out, static_cast<uint32_t>(static_cast<int32_t>(e.UnixTime)));
}

uint16_t NameFlags(const EntryHeader& e) {
  if (e.NameFlagAsStored) return e.Flags;
  uint16_t flags = e.Flags & ~kFlagUtf8;
  if (!IsPlainAscii(e.Name) && IsValidUtf8(e.Name)) flags |= kFlagUtf8;
  return flags;
}

}  // namespace

std::string BuildLocalHeader(const EntryHeader& e, bool streamed, bool zip64) {
  bool sizesNeed64 = !streamed && (e.CompressedSize >= kMax32 || e.UncompressedSize >= kMax32);
  bool withZip64 = streamed ? zip64 : sizesNeed64;
  std::string extra;
  if (withZip64) {
    Put16(extra, kExtraZip64);
    Put16(extra, 16);
    Put64(extra, streamed ? 0 : e.UncompressedSize);
    Put64(extra, streamed ? 0 : e.CompressedSize);
  }
  PutTimestampExtra(extra, e);

  std::string out;
  out.reserve(kLocalHeaderSize + e.Name.size() + extra.size());
  Put32(out, kLocalHeaderSig);
  Put16(out, VersionNeeded(withZip64));
  Put16(out, static_cast<uint16_t>(NameFlags(e) | (streamed ? kFlagDataDescriptor : 0)));
  Put16(out, e.Method);
  Put32(out, e.DosDateTime);
  Put32(out, streamed ? 0 : e.Crc);
  if (withZip64) {
    Put32(out, kMax32);
    Put32(out, kMax32);
  } else {
    Put32(out, streamed ? 0 : static_cast<uint32_t>(e.CompressedSize));
    Put32(out, streamed ? 0 : static_cast<uint32_t>(e.UncompressedSize));
  }
  Put16(out, static_cast<uint16_t>(e.Name.size()));
  Put16(out, static_cast<uint16_t>(extra.size()));
  out += e.Name;
  out += extra;
  return out;
}

std::string BuildDataDescriptor(const EntryHeader& e, bool zip64) {
  std::string out;
  Put32(out, kDataDescriptorSig);
  Put32(out, e.Crc);
  if (zip64) {
    Put64(out, e.CompressedSize);
    Put64(out, e.UncompressedSize);
  } else {
    Put32(out, static_cast<uint32_t>(e.CompressedSize));
    Put32(out, static_cast<uint32_t>(e.UncompressedSize));
  }
  return out;
}

std::string BuildCentralHeader(const EntryHeader& e, std::string_view extraKeep, std::string_view comment,
                               uint16_t versionMadeBy) {
  bool bigU = e.UncompressedSize >= kMax32;
  bool bigC = e.CompressedSize >= kMax32;
  bool bigO = e.LocalHeaderOffset >= kMax32;
  std::string extra;
  if (bigU || bigC || bigO) {
    Put16(extra, kExtraZip64);
    Put16(extra, static_cast<uint16_t>(8 * (int(bigU) + int(bigC) + int(bigO))));
    if (bigU) Put64(extra, e.UncompressedSize);
    if (bigC) Put64(extra, e.CompressedSize);
    if (bigO) Put64(extra, e.LocalHeaderOffset);
  }
  PutTimestampExtra(extra, e);
  extra.append(extraKeep.substr(0, kMax16 - std::min<size_t>(extra.size(), kMax16)));
  comment = comment.substr(0, kMax16);

  std::string out;
  out.reserve(kCentralHeaderSize + e.Name.size() + extra.size() + comment.size());
  Put32(out, kCentralHeaderSig);
  Put16(out, versionMadeBy);
  Put16(out, VersionNeeded(bigU || bigC || bigO));
  Put16(out, NameFlags(e));
  Put16(out, e.Method);
  Put32(out, e.DosDateTime);
  Put32(out, e.Crc);
  Put32(out, bigC ? kMax32 : static_cast<uint32_t>(e.CompressedSize));
  Put32(out, bigU ? kMax32 : static_cast<uint32_t>(e.UncompressedSize));
  Put16(out, static_cast<uint16_t>(e.Name.size()));
  Put16(out, static_cast<uint16_t>(extra.size()));
  Put16(out, static_cast<uint16_t>(comment.size()));
  Put16(out, 0);  // disk number start
  Put16(out, 0);  // internal attributes
  Put32(out, e.ExternalAttributes);
  Put32(out, bigO ? kMax32 : static_cast<uint32_t>(e.LocalHeaderOffset));
  out += e.Name;
  out += extra;
  out.append(comment);
  return out;
}

std::string BuildEndRecords(uint64_t entryCount, uint64_t directoryOffset, uint64_t directorySize,
                            std::string_view comment) {
  comment = comment.substr(0, kMax16);
  bool zip64 = entryCount >= kMax16 || directoryOffset >= kMax32 || directorySize >= kMax32;
  std::string out;
  if (zip64) {
    uint64_t zip64EndOffset = directoryOffset + directorySize;
    Put32(out, kZip64EndRecordSig);
    Put64(out, kZip64EndRecordSize - 12);
    Put16(out, kVersionMadeBy);
    Put16(out, kVersionNeededZip64);
    Put32(out, 0);  // this disk
    Put32(out, 0);  // disk with the central directory
    Put64(out, entryCount);
    Put64(out, entryCount);
    Put64(out, directorySize);
    Put64(out, directoryOffset);
    Put32(out, kZip64LocatorSig);
    Put32(out, 0);
    Put64(out, zip64EndOffset);
    Put32(out, 1);  // total disks
  }
  Put32(out, kEndRecordSig);
  Put16(out, 0);
  Put16(out, 0);
  uint16_t count16 = entryCount >= kMax16 ? kMax16 : static_cast<uint16_t>(entryCount);
  Put16(out, count16);
  Put16(out, count16);
  Put32(out, directorySize >= kMax32 ? kMax32 : static_cast<uint32_t>(directorySize));
  Put32(out, directoryOffset >= kMax32 ? kMax32 : static_cast<uint32_t>(directoryOffset));
  Put16(out, static_cast<uint16_t>(comment.size()));
  out.append(comment);
  return out;
}

int64_t UnixSecondsOf(int64_t mtimeNs) {
  int64_t s = mtimeNs / 1000000000;
  if (mtimeNs % 1000000000 < 0) --s;
  return s;
}

bool FitsExtendedTimestamp(int64_t unixSeconds) {
  return unixSeconds >= INT32_MIN && unixSeconds <= INT32_MAX;
}

}  // namespace dravello::zipengine
