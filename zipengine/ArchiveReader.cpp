#include "zipengine/ArchiveReader.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace dravello::zipengine {

namespace {

[[noreturn]] void Fail(const std::string& why) { throw ZipFormatError("not a valid zip archive: " + why); }

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

ArchiveEnd FindEnd(RandomAccessFile& file) {
  EndSearchResult found = FindArchiveEnd(file, file.Size());
  switch (found.Outcome) {
    case EndSearch::TooShort:
      Fail("file too short");
    case EndSearch::ReadError:
      Fail("the end of the file cannot be read");
    case EndSearch::NotFound:
      Fail("no end of central directory record");
    case EndSearch::Found:
      break;
  }
  switch (found.End.Problem) {
    case EndProblem::None:
      return std::move(found.End);
    case EndProblem::CommentPastEnd:
      Fail("the archive comment runs past the end of the file");
    case EndProblem::OtherVolume:
      Fail("multi-volume archives are not supported");
    case EndProblem::DirectoryOutsideFile:
      Fail("central directory size beyond the file");
    case EndProblem::NoDirectoryThere:
      break;
  }
  Fail("no central directory where the end record puts it");
}

// Takes the ZIP64 values and the extended timestamp out of a central extra field; the other
// fields are kept to be carried over.
void ParseCentralExtra(const CentralRecord& rec, ExistingEntry& out) {
  const CentralHeader& h = rec.Header;
  const Zip64Values wide = ResolveZip64(rec.Extra, h.UnpackedSize, h.PackedSize, h.LocalHeaderOffset, h.DiskStart);
  if (!wide.Complete) Fail("missing ZIP64 field for " + Quoted(rec.Name));
  if (wide.Disk != 0) Fail("multi-volume archives are not supported");
  EntryHeader& e = out.Header;
  e.UncompressedSize = wide.Unpacked;
  e.CompressedSize = wide.Packed;
  e.LocalHeaderOffset = wide.Offset;
  ZipByteReader fields(rec.Extra.data(), rec.Extra.size());
  while (fields.Remaining() >= 4) {
    const size_t at = fields.Position();
    const uint16_t id = fields.U16();
    ZipByteReader body = fields.Sub(fields.U16());
    if (!fields.Ok()) {
      // A malformed tail is kept as it is; readers skip what they do not understand.
      out.ExtraKeep.append(rec.Extra, at);
      return;
    }
    if (id == kExtraZip64) continue;
    if (id == kExtraTimestamp) {
      if (body.Remaining() >= 5 && (body.U8() & 1)) {
        e.HasUnixTime = true;
        e.UnixTime = static_cast<int32_t>(body.U32());
      }
      continue;
    }
    out.ExtraKeep.append(rec.Extra, at, fields.Position() - at);
  }
}

// Reads the entry's local header and finds where its bytes end, refusing an entry whose local
// header disagrees with its central record: copying it raw would carry over a truncated or
// different entry under the directory's name.
LocalExtent LocateEntry(RandomAccessFile& file, const ExistingEntry& entry, uint64_t dirStart) {
  const EntryHeader& e = entry.Header;
  const std::string name = Quoted(e.Name);
  if (dirStart - e.LocalHeaderOffset < kLocalHeaderSize) Fail("entry data outside the archive for " + name);
  uint8_t fixed[kLocalHeaderSize];
  if (file.ReadAt(static_cast<int64_t>(e.LocalHeaderOffset), reinterpret_cast<char*>(fixed), sizeof fixed) !=
      sizeof fixed)
    Fail("truncated local header for " + name);
  ZipByteReader h(fixed, sizeof fixed);
  if (h.U32() != kLocalHeaderSig) Fail("bad local header signature for " + name);
  h.U16();
  const uint16_t flags = h.U16();
  const uint16_t method = h.U16();
  h.U32();
  const uint32_t crc = h.U32();
  const uint32_t packed = h.U32();
  const uint32_t unpacked = h.U32();
  const uint16_t nameLength = h.U16();
  const uint16_t extraLength = h.U16();
  const uint64_t variable = static_cast<uint64_t>(nameLength) + extraLength;
  if (dirStart - e.LocalHeaderOffset - kLocalHeaderSize < variable) Fail("entry data outside the archive for " + name);
  std::string names(variable, '\0');
  if (file.ReadAt(static_cast<int64_t>(e.LocalHeaderOffset + kLocalHeaderSize), names.data(), names.size()) !=
      names.size())
    Fail("truncated local header for " + name);
  if (std::string_view(names).substr(0, nameLength) != e.Name)
    Fail("the local header of " + name + " names another file");
  if (method != e.Method) Fail("the local header of " + name + " gives another compression method");

  const uint64_t dataStart = e.LocalHeaderOffset + kLocalHeaderSize + variable;
  if (dirStart - dataStart < e.CompressedSize) Fail("entry data outside the archive for " + name);
  uint64_t end = dataStart + e.CompressedSize;
  if (!(flags & kFlagDataDescriptor)) {
    const Zip64Values sizes =
        ResolveZip64(std::string_view(names).substr(nameLength), unpacked, packed, 0, 0, /*localHeader=*/true);
    if (crc != e.Crc || !sizes.Complete || sizes.Packed != e.CompressedSize || sizes.Unpacked != e.UncompressedSize)
      Fail("the local header of " + name + " gives other sizes or another CRC than the directory");
    return {e.LocalHeaderOffset, end - e.LocalHeaderOffset};
  }
  // The descriptor may or may not carry its signature and has 4- or 8-byte sizes; take the
  // form whose values agree with the directory.
  uint8_t d[24] = {};
  const size_t got = file.ReadAt(static_cast<int64_t>(end), reinterpret_cast<char*>(d),
                                 static_cast<size_t>(std::min<uint64_t>(sizeof d, dirStart - end)));
  auto matches = [&](size_t at, bool wide) {
    ZipByteReader r(d + at, got > at ? got - at : 0);
    if (r.U32() != e.Crc) return false;
    const uint64_t p = wide ? r.U64() : r.U32();
    const uint64_t u = wide ? r.U64() : r.U32();
    return r.Ok() && p == e.CompressedSize && u == e.UncompressedSize;
  };
  const bool sig = got >= 4 && ZipByteReader(d, 4).U32() == kDataDescriptorSig;
  if (sig && matches(4, false))
    end += 16;
  else if (sig && matches(4, true))
    end += 24;
  else if (matches(0, false))
    end += 12;
  else if (matches(0, true))
    end += 20;
  else
    Fail("bad data descriptor for " + name);
  return {e.LocalHeaderOffset, end - e.LocalHeaderOffset};
}

}  // namespace

ExistingArchive ReadArchiveDirectory(RandomAccessFile& file) {
  ArchiveEnd end = FindEnd(file);
  const uint64_t dirStart = static_cast<uint64_t>(end.DirEnd) - end.DirSize;
  // Data in front of the archive moves every offset by the same amount. The recorded offset is
  // untrusted: one beyond any file would make the shift overflow.
  if (end.DirOffset > static_cast<uint64_t>(INT64_MAX)) Fail("central directory offset beyond the file");
  const int64_t shift = static_cast<int64_t>(dirStart) - static_cast<int64_t>(end.DirOffset);

  ExistingArchive archive;
  archive.Comment = std::move(end.Comment);
  CentralDirectoryReader dir(file, static_cast<int64_t>(dirStart), end.DirSize);
  CentralRecord rec;
  for (CentralRead read; (read = dir.Next(rec)) != CentralRead::End;) {
    if (read == CentralRead::BadSignature) Fail("bad central header signature");
    if (read != CentralRead::Record) Fail("the central directory ends inside a record");
    ExistingEntry entry;
    EntryHeader& e = entry.Header;
    const CentralHeader& h = rec.Header;
    entry.VersionMadeBy = static_cast<uint16_t>(h.MadeByHost << 8 | h.MadeByVersion);
    e.Name = rec.Name;
    e.Flags = h.Flags;
    e.NameFlagAsStored = true;
    e.Method = h.Method;
    e.DosDateTime = static_cast<uint32_t>(h.ModDate) << 16 | h.ModTime;
    e.Crc = h.Crc;
    e.ExternalAttributes = h.ExternalAttributes;
    entry.Comment = rec.Comment;
    ParseCentralExtra(rec, entry);
    // Header and data must lie before the directory; checked so that no untrusted offset can
    // overflow: an entry recorded past the directory's own offset lies past it when moved too.
    if (e.LocalHeaderOffset > end.DirOffset || static_cast<int64_t>(e.LocalHeaderOffset) + shift < 0)
      Fail("entry data outside the archive for " + Quoted(e.Name));
    e.LocalHeaderOffset = static_cast<uint64_t>(static_cast<int64_t>(e.LocalHeaderOffset) + shift);
    entry.Extent = LocateEntry(file, entry, dirStart);
    archive.Entries.push_back(std::move(entry));
  }

  const uint64_t found = archive.Entries.size();
  switch (CheckEntryCount(end, found)) {
    case CountCheck::Agrees:
      break;
    case CountCheck::RecordedTooLow:
      archive.Warning = "the end record counts " + std::to_string(end.TotalEntries) +
                        " entries, but the central directory holds " + std::to_string(found) + "; all are kept";
      break;
    case CountCheck::TooFew:
      Fail("the end record counts " + std::to_string(end.TotalEntries) + " entries, but the central directory holds " +
           std::to_string(found));
  }
  std::vector<std::pair<uint64_t, uint64_t>> extents;
  extents.reserve(archive.Entries.size());
  for (const ExistingEntry& entry : archive.Entries) extents.emplace_back(entry.Extent.Offset, entry.Extent.Length);
  if (RangesOverlap(std::move(extents))) Fail("entries overlap (several entries claim the same bytes)");
  return archive;
}

}  // namespace dravello::zipengine
