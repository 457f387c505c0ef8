#include "zip/ZipRecordReader.h"

#include <algorithm>

namespace dravello::zipformat {

namespace {

constexpr int64_t kSearchWindow = static_cast<int64_t>(kMaxCommentSize + kEndRecordSize);

uint32_t SignatureAt(const uint8_t* p) { return ZipByteReader(p, 4).U32(); }

bool SignatureInFile(RandomAccessFile& file, int64_t offset, uint32_t signature) {
  uint8_t b[4];
  return offset >= 0 && file.ReadAt(offset, reinterpret_cast<char*>(b), sizeof b) == sizeof b &&
         SignatureAt(b) == signature;
}

EndRecord ParseEndRecord(const uint8_t* bytes) {
  ZipByteReader r(bytes, kEndRecordSize);
  EndRecord rec;
  r.U32();
  rec.ThisDisk = r.U16();
  rec.DirDisk = r.U16();
  rec.EntriesHere = r.U16();
  rec.TotalEntries = r.U16();
  rec.DirSize = r.U32();
  rec.DirOffset = r.U32();
  rec.CommentLength = r.U16();
  return rec;
}

// Takes the ZIP64 end record when its locator lies right in front of the end record, it lies
// where the locator says (or right in front of the locator, for an archive with data placed in
// front of it), it ends at the locator, and it agrees with every end-record field that is not
// saturated. Anything else leaves the end record's own values.
void ResolveZip64End(RandomAccessFile& file, ArchiveEnd& end) {
  const int64_t locatorPos = end.EndRecordOffset - static_cast<int64_t>(kZip64LocatorSize);
  if (locatorPos < 0) return;
  uint8_t locator[kZip64LocatorSize];
  if (file.ReadAt(locatorPos, reinterpret_cast<char*>(locator), sizeof locator) != sizeof locator) return;
  ZipByteReader loc(locator, sizeof locator);
  if (loc.U32() != kZip64LocatorSig) return;
  const uint32_t recordDisk = loc.U32();
  const uint64_t recorded = loc.U64();
  const uint32_t totalDisks = loc.U32();
  if (recordDisk != 0 || totalDisks > 1) return;  // a spanned set: not readable here anyway

  const EndRecord& r = end.Record;
  auto tryAt = [&](uint64_t pos) {
    if (pos > static_cast<uint64_t>(locatorPos) ||
        static_cast<uint64_t>(locatorPos) - pos < kZip64EndRecordSize)
      return false;
    uint8_t bytes[kZip64EndRecordSize];
    if (file.ReadAt(static_cast<int64_t>(pos), reinterpret_cast<char*>(bytes), sizeof bytes) != sizeof bytes)
      return false;
    ZipByteReader z(bytes, sizeof bytes);
    if (z.U32() != kZip64EndRecordSig) return false;
    if (z.U64() != static_cast<uint64_t>(locatorPos) - pos - 12) return false;
    z.U16();
    z.U16();
    const uint32_t thisDisk = z.U32();
    const uint32_t dirDisk = z.U32();
    z.U64();
    const uint64_t total = z.U64();
    const uint64_t dirSize = z.U64();
    const uint64_t dirOffset = z.U64();
    if (!z.Ok()) return false;
    const bool agrees = (r.ThisDisk == kMax16 || r.ThisDisk == thisDisk) &&
                        (r.DirDisk == kMax16 || r.DirDisk == dirDisk) &&
                        (r.TotalEntries == kMax16 || r.TotalEntries == (total & kMax16)) &&
                        (r.DirSize == kMax32 || r.DirSize == dirSize) &&
                        (r.DirOffset == kMax32 || r.DirOffset == dirOffset);
    if (!agrees) return false;
    end.Zip64 = true;
    end.Zip64Offset = static_cast<int64_t>(pos);
    end.ThisDisk = thisDisk;
    end.DirDisk = dirDisk;
    end.TotalEntries = total;
    end.DirSize = dirSize;
    end.DirOffset = dirOffset;
    return true;
  };
  if (!tryAt(recorded)) tryAt(static_cast<uint64_t>(locatorPos) - kZip64EndRecordSize);
}

// Reads the end record at `offset` (its bytes in `bytes`) and checks that it holds together.
ArchiveEnd Examine(RandomAccessFile& file, int64_t size, int64_t offset, const uint8_t* bytes) {
  ArchiveEnd end;
  end.EndRecordOffset = offset;
  end.Record = ParseEndRecord(bytes);
  const EndRecord& r = end.Record;
  end.CommentEnd = offset + static_cast<int64_t>(kEndRecordSize) + r.CommentLength;
  end.ThisDisk = r.ThisDisk;
  end.DirDisk = r.DirDisk;
  end.TotalEntries = r.TotalEntries;
  end.DirSize = r.DirSize;
  end.DirOffset = r.DirOffset;
  ResolveZip64End(file, end);
  end.DirEnd = end.Zip64 ? end.Zip64Offset : offset;

  if (end.CommentEnd > size) {
    end.Problem = EndProblem::CommentPastEnd;
    return end;
  }
  end.Comment.resize(r.CommentLength);
  if (file.ReadAt(offset + static_cast<int64_t>(kEndRecordSize), end.Comment.data(), end.Comment.size()) !=
      end.Comment.size()) {
    end.Comment.clear();
    end.Problem = EndProblem::CommentPastEnd;
  } else if (end.ThisDisk != 0 || end.DirDisk != 0) {
    end.Problem = EndProblem::OtherVolume;
  } else if (end.DirSize > static_cast<uint64_t>(end.DirEnd)) {
    end.Problem = EndProblem::DirectoryOutsideFile;
  } else if (end.DirSize == 0 ? end.TotalEntries != 0
                              : !SignatureInFile(file, end.DirEnd - static_cast<int64_t>(end.DirSize),
                                                 kCentralHeaderSig)) {
    end.Problem = EndProblem::NoDirectoryThere;
  }
  return end;
}

}  // namespace

EndSearchResult FindArchiveEnd(RandomAccessFile& file, int64_t size) {
  EndSearchResult result;
  if (size < static_cast<int64_t>(kEndRecordSize)) {
    result.Outcome = EndSearch::TooShort;
    return result;
  }
  // The usual case: no comment, and a directory right in front. An end record that claims an
  // empty archive in a longer file may be text at the end of a comment, so the search decides.
  uint8_t tail[kEndRecordSize];
  const int64_t last = size - static_cast<int64_t>(kEndRecordSize);
  if (file.ReadAt(last, reinterpret_cast<char*>(tail), sizeof tail) == sizeof tail &&
      SignatureAt(tail) == kEndRecordSig) {
    ArchiveEnd end = Examine(file, size, last, tail);
    if (end.Problem == EndProblem::None && (end.DirSize > 0 || last == 0)) {
      result.Outcome = EndSearch::Found;
      result.End = std::move(end);
      return result;
    }
  }

  const int64_t window = std::min(size, kSearchWindow);
  std::vector<uint8_t> buf(static_cast<size_t>(window));
  if (file.ReadAt(size - window, reinterpret_cast<char*>(buf.data()), buf.size()) != buf.size()) {
    result.Outcome = EndSearch::ReadError;
    return result;
  }
  std::optional<ArchiveEnd> nearest, best;
  for (int64_t m = window - static_cast<int64_t>(kEndRecordSize); m >= 0; --m) {
    const uint8_t* at = buf.data() + m;
    if (SignatureAt(at) != kEndRecordSig) continue;
    ArchiveEnd end = Examine(file, size, size - window + m, at);
    if (!nearest) nearest = end;
    if (end.Problem != EndProblem::None) continue;
    // A record whose comment reaches over the one taken so far holds that one as text.
    if (!best || end.CommentEnd >= best->EndRecordOffset + static_cast<int64_t>(kEndRecordSize))
      best = std::move(end);
  }
  if (best || nearest) {
    result.Outcome = EndSearch::Found;
    result.End = best ? std::move(*best) : std::move(*nearest);
  }
  return result;
}

CentralDirectoryReader::CentralDirectoryReader(RandomAccessFile& file, int64_t start, uint64_t size)
    : in_(file, start + static_cast<int64_t>(size), start, static_cast<size_t>(std::min<uint64_t>(size, 256 * 1024))),
      left_(size) {}

CentralRead CentralDirectoryReader::Next(CentralRecord& out) {
  if (left_ == 0) return CentralRead::End;
  if (left_ < kCentralHeaderSize) return CentralRead::ShortHeader;
  uint8_t header[kCentralHeaderSize];
  if (in_.Read(header, sizeof header) != sizeof header) return CentralRead::ShortHeader;
  left_ -= kCentralHeaderSize;
  ZipByteReader r(header, sizeof header);
  if (r.U32() != kCentralHeaderSig) return CentralRead::BadSignature;
  CentralHeader& h = out.Header;
  h.MadeByVersion = r.U8();
  h.MadeByHost = r.U8();
  h.NeededVersion = r.U16();
  h.Flags = r.U16();
  h.Method = r.U16();
  h.ModTime = r.U16();
  h.ModDate = r.U16();
  h.Crc = r.U32();
  h.PackedSize = r.U32();
  h.UnpackedSize = r.U32();
  h.NameLength = r.U16();
  h.ExtraLength = r.U16();
  h.CommentLength = r.U16();
  h.DiskStart = r.U16();
  h.InternalAttributes = r.U16();
  h.ExternalAttributes = r.U32();
  h.LocalHeaderOffset = r.U32();
  auto take = [this](std::string& s, size_t n) {
    if (n > left_) return false;
    s.resize(n);
    if (in_.Read(s.data(), n) != n) return false;
    left_ -= n;
    return true;
  };
  if (!take(out.Name, h.NameLength)) return CentralRead::ShortName;
  if (!take(out.Extra, h.ExtraLength)) return CentralRead::ShortExtra;
  if (!take(out.Comment, h.CommentLength)) return CentralRead::ShortComment;
  ++count_;
  return CentralRead::Record;
}

CountCheck CheckEntryCount(const ArchiveEnd& end, uint64_t found) {
  if (found == end.TotalEntries) return CountCheck::Agrees;
  return found > end.TotalEntries ? CountCheck::RecordedTooLow : CountCheck::TooFew;
}

Zip64Values ResolveZip64(std::string_view extra, uint32_t unpacked, uint32_t packed, uint32_t offset, uint16_t disk,
                         bool localHeader) {
  Zip64Values v;
  v.Unpacked = unpacked;
  v.Packed = packed;
  v.Offset = offset;
  v.Disk = disk;
  bool needUnpacked = unpacked == kMax32, needPacked = packed == kMax32;
  if (localHeader && (needUnpacked || needPacked)) needUnpacked = needPacked = true;
  const bool needOffset = offset == kMax32, needDisk = disk == kMax16;
  if (!(needUnpacked || needPacked || needOffset || needDisk)) return v;
  ZipByteReader fields(extra.data(), extra.size());
  while (fields.Remaining() >= 4) {
    const uint16_t id = fields.U16();
    ZipByteReader block = fields.Sub(fields.U16());
    if (!fields.Ok()) break;
    if (id != kExtraZip64) continue;
    if (needUnpacked) v.Unpacked = block.U64();
    if (needPacked) v.Packed = block.U64();
    if (needOffset) v.Offset = block.U64();
    if (needDisk) v.Disk = block.U32();
    if (block.Ok()) return v;
    break;
  }
  v.Complete = false;
  v.Unpacked = unpacked;
  v.Packed = packed;
  v.Offset = offset;
  v.Disk = disk;
  return v;
}

bool RangesOverlap(std::vector<std::pair<uint64_t, uint64_t>> ranges) {
  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i) {
    const auto& [start, length] = ranges[i - 1];
    // Compared by subtraction, so that no untrusted length can wrap the sum.
    if (ranges[i].first - start < length) return true;
  }
  return false;
}

}  // namespace dravello::zipformat
