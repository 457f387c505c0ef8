#include "zipengine/ArchiveReader.h"

#include <algorithm>
#include <cstdint>

namespace dravello::zipengine {

namespace {

[[noreturn]] void Fail(const std::string& why) { throw ZipFormatError("not a valid zip archive: " + why); }

std::string ReadExactly(RandomAccessFile& file, uint64_t offset, size_t n, const char* what) {
  std::string buf(n, '\0');
  if (n > 0 && file.ReadAt(static_cast<int64_t>(offset), buf.data(), n) != n) Fail(std::string("truncated ") + what);
  return buf;
}

struct EndInfo {
  uint64_t Entries = 0;
  uint64_t DirSize = 0;
  uint64_t DirOffset = 0;  // as recorded
  uint64_t DirEnd = 0;     // where the directory actually ends (the first end record)
  std::string Comment;
};

EndInfo FindEnd(RandomAccessFile& file) {
  const uint64_t size = static_cast<uint64_t>(file.Size());
  if (size < kEndRecordSize) Fail("file too short");
  const size_t window = static_cast<size_t>(std::min<uint64_t>(size, kEndRecordSize + kMax16));
  const uint64_t windowStart = size - window;
  std::string tail = ReadExactly(file, windowStart, window, "end of central directory");

  // The record nearest the end whose comment fits inside the file.
  size_t pos = std::string::npos;
  for (size_t i = window - kEndRecordSize + 1; i-- > 0;) {
    if (Get32(&tail[i]) != kEndRecordSig) continue;
    if (i + kEndRecordSize + Get16(&tail[i + 20]) <= window) {
      pos = i;
      break;
    }
  }
  if (pos == std::string::npos) Fail("no end of central directory record");
  const char* r = &tail[pos];
  if (Get16(r + 4) != 0 || Get16(r + 6) != 0) Fail("multi-volume archives are not supported");

  EndInfo info;
  info.Entries = Get16(r + 10);
  info.DirSize = Get32(r + 12);
  info.DirOffset = Get32(r + 16);
  info.Comment.assign(r + kEndRecordSize, Get16(r + 20));
  const uint64_t endPos = windowStart + pos;
  info.DirEnd = endPos;

  // A ZIP64 locator just in front of the end record points at the ZIP64 end record.
  if (endPos >= kZip64LocatorSize) {
    std::string loc = ReadExactly(file, endPos - kZip64LocatorSize, kZip64LocatorSize, "ZIP64 locator");
    if (Get32(loc.data()) == kZip64LocatorSig) {
      if (Get32(loc.data() + 4) != 0 || Get32(loc.data() + 16) > 1) Fail("multi-volume archives are not supported");
      uint64_t recordedZip64End = Get64(loc.data() + 8);
      // The ZIP64 end record sits right before the locator; trust its position over the
      // recorded offset so data in front of the archive is handled alike.
      if (endPos < kZip64LocatorSize + kZip64EndRecordSize) Fail("bad ZIP64 end record");
      uint64_t zip64End = endPos - kZip64LocatorSize - kZip64EndRecordSize;
      std::string rec = ReadExactly(file, zip64End, kZip64EndRecordSize, "ZIP64 end record");
      if (Get32(rec.data()) != kZip64EndRecordSig) {
        // A record with extensible data is longer: fall back to the recorded offset.
        // Compared by subtraction: a recorded position near 2^64 would wrap the sum.
        if (recordedZip64End > size || size - recordedZip64End < kZip64EndRecordSize) Fail("bad ZIP64 end record");
        zip64End = recordedZip64End;
        rec = ReadExactly(file, zip64End, kZip64EndRecordSize, "ZIP64 end record");
        if (Get32(rec.data()) != kZip64EndRecordSig) Fail("bad ZIP64 end record");
      }
      info.Entries = Get64(rec.data() + 32);
      info.DirSize = Get64(rec.data() + 40);
      info.DirOffset = Get64(rec.data() + 48);
      info.DirEnd = zip64End;
    }
  }
  return info;
}

// Reads the ZIP64 extended information field of a central header and removes it (and the
// extended timestamp, remembered in `e`) from the extra data that is carried over.
void ParseCentralExtra(std::string_view extra, bool needU, bool needC, bool needO, ExistingEntry& out) {
  EntryHeader& e = out.Header;
  size_t i = 0;
  while (i + 4 <= extra.size()) {
    uint16_t id = Get16(extra.data() + i);
    uint16_t len = Get16(extra.data() + i + 2);
    if (i + 4 + len > extra.size()) {
      // A malformed tail is kept as it is; readers skip what they do not understand.
      out.ExtraKeep.append(extra.substr(i));
      return;
    }
    std::string_view body = extra.substr(i + 4, len);
    if (id == kExtraZip64) {
      size_t p = 0;
      auto take = [&](uint64_t& field) {
        if (p + 8 > body.size()) Fail("short ZIP64 field");
        field = Get64(body.data() + p);
        p += 8;
      };
      if (needU) take(e.UncompressedSize);
      if (needC) take(e.CompressedSize);
      if (needO) take(e.LocalHeaderOffset);
      needU = needC = needO = false;
    } else if (id == kExtraTimestamp) {
      if (len >= 5 && (body[0] & 1)) {
        e.HasUnixTime = true;
        e.UnixTime = static_cast<int32_t>(Get32(body.data() + 1));
      }
    } else {
      out.ExtraKeep.append(extra.substr(i, 4 + len));
    }
    i += 4 + len;
  }
  if (needU || needC || needO) Fail("missing ZIP64 field");
}

}  // namespace

ExistingArchive ReadArchiveDirectory(RandomAccessFile& file) {
  EndInfo end = FindEnd(file);
  if (end.DirSize > end.DirEnd) Fail("central directory size beyond the file");
  const uint64_t dirPos = end.DirEnd - end.DirSize;
  // Data in front of the archive moves every offset by the same amount. The recorded offset is
  // untrusted: a ZIP64 one beyond any file would make the shift overflow.
  if (end.Entries > 0 && end.DirOffset > static_cast<uint64_t>(INT64_MAX))
    Fail("central directory offset beyond the file");
  const int64_t shift = end.Entries > 0 ? static_cast<int64_t>(dirPos) - static_cast<int64_t>(end.DirOffset) : 0;
  if (end.Entries > end.DirSize / kCentralHeaderSize) Fail("entry count does not fit the central directory");

  ExistingArchive archive;
  archive.Comment = std::move(end.Comment);
  archive.Entries.reserve(static_cast<size_t>(end.Entries));

  // Read the directory in slices so that a large one does not need one large buffer.
  constexpr size_t kSlice = 4 << 20;
  std::string buf;
  uint64_t bufPos = dirPos;  // file position of buf[0]
  size_t at = 0;
  auto ensure = [&](size_t n) {
    if (at + n <= buf.size()) return;
    uint64_t filePos = bufPos + at;
    if (filePos + n > dirPos + end.DirSize) Fail("central directory runs past its end");
    size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(n, kSlice), dirPos + end.DirSize - filePos));
    buf = ReadExactly(file, filePos, want, "central directory");
    bufPos = filePos;
    at = 0;
  };

  for (uint64_t k = 0; k < end.Entries; ++k) {
    ensure(kCentralHeaderSize);
    const char* h = buf.data() + at;
    if (Get32(h) != kCentralHeaderSig) Fail("bad central header signature");
    ExistingEntry entry;
    EntryHeader& e = entry.Header;
    entry.VersionMadeBy = Get16(h + 4);
    e.Flags = Get16(h + 8);
    e.Method = Get16(h + 10);
    e.DosDateTime = Get32(h + 12);
    e.Crc = Get32(h + 16);
    e.CompressedSize = Get32(h + 20);
    e.UncompressedSize = Get32(h + 24);
    size_t nameLen = Get16(h + 28), extraLen = Get16(h + 30), commentLen = Get16(h + 32);
    if (Get16(h + 34) != 0 && Get16(h + 34) != kMax16) Fail("multi-volume archives are not supported");
    e.ExternalAttributes = Get32(h + 38);
    e.LocalHeaderOffset = Get32(h + 42);
    at += kCentralHeaderSize;
    ensure(nameLen + extraLen + commentLen);
    const char* v = buf.data() + at;
    e.Name.assign(v, nameLen);
    std::string_view extra(v + nameLen, extraLen);
    entry.Comment.assign(v + nameLen + extraLen, commentLen);
    at += nameLen + extraLen + commentLen;
    ParseCentralExtra(extra, e.UncompressedSize == kMax32, e.CompressedSize == kMax32, e.LocalHeaderOffset == kMax32,
                      entry);
    if (e.Name.empty()) Fail("entry without a name");
    // Header and data must lie before the directory. Checked so that no untrusted offset or
    // size can overflow: an entry recorded past the directory's own offset lies past it when
    // moved too, and what remains is compared by subtraction.
    if (e.LocalHeaderOffset > end.DirOffset) Fail("entry data outside the archive");
    const int64_t offset = static_cast<int64_t>(e.LocalHeaderOffset) + shift;  // at most dirPos
    if (offset < 0 || dirPos - static_cast<uint64_t>(offset) < kLocalHeaderSize ||
        e.CompressedSize > dirPos - static_cast<uint64_t>(offset) - kLocalHeaderSize)
      Fail("entry data outside the archive");
    e.LocalHeaderOffset = static_cast<uint64_t>(offset);
    archive.Entries.push_back(std::move(entry));
  }
  return archive;
}

LocalExtent LocateEntry(RandomAccessFile& file, const ExistingEntry& entry) {
  const EntryHeader& e = entry.Header;
  std::string h = ReadExactly(file, e.LocalHeaderOffset, kLocalHeaderSize, "local header");
  if (Get32(h.data()) != kLocalHeaderSig) Fail("bad local header signature for \"" + e.Name + "\"");
  uint64_t dataStart = e.LocalHeaderOffset + kLocalHeaderSize + Get16(h.data() + 26) + Get16(h.data() + 28);
  uint64_t end = dataStart + e.CompressedSize;
  if (Get16(h.data() + 6) & kFlagDataDescriptor) {
    // The descriptor may or may not carry its signature and has 4- or 8-byte sizes; take the
    // form whose values agree with the directory.
    std::string d(24, '\0');
    size_t got = file.ReadAt(static_cast<int64_t>(end), d.data(), d.size());
    d.resize(got);
    auto matches = [&](size_t at, bool wide) {
      size_t need = at + 4 + (wide ? 16 : 8);
      if (need > d.size() || Get32(d.data() + at) != e.Crc) return false;
      if (wide) return Get64(d.data() + at + 4) == e.CompressedSize && Get64(d.data() + at + 12) == e.UncompressedSize;
      return Get32(d.data() + at + 4) == static_cast<uint32_t>(e.CompressedSize) &&
             Get32(d.data() + at + 8) == static_cast<uint32_t>(e.UncompressedSize);
    };
    bool sig = d.size() >= 4 && Get32(d.data()) == kDataDescriptorSig;
    if (sig && matches(4, false)) end += 16;
    else if (sig && matches(4, true)) end += 24;
    else if (matches(0, false)) end += 12;
    else if (matches(0, true)) end += 20;
    else Fail("bad data descriptor for \"" + e.Name + "\"");
  }
  return {e.LocalHeaderOffset, end - e.LocalHeaderOffset};
}

}  // namespace dravello::zipengine
