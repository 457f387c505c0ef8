// List: reads an archive's central directory into ZipContents.
//
// Every byte comes from the file through bounds-checked readers: a record is parsed from a buffer
// of exactly its size, lengths are 16-bit or checked against the file before anything is
// allocated, and the central directory is read front to back through one buffer, so a truncated
// or hostile archive ends in one of the reported failures and cannot make the reader leave the
// file, loop or allocate without bound.
#include <algorithm>
#include <cctype>
#include <exception>
#include <new>

#include "runtime/Locale.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipByteReader.h"

namespace dravello {

namespace {

constexpr uint32_t kEndRecordSig = 0x06054b50;      // "PK" 5 6
constexpr uint32_t kCentralHeaderSig = 0x02014b50;  // "PK" 1 2
constexpr uint32_t kZip64EndSig = 0x06064b50;       // "PK" 6 6
constexpr uint32_t kZip64LocatorSig = 0x07064b50;   // "PK" 6 7
constexpr uint32_t kSpanMarkerSig = 0x08074b50;     // "PK" 7 8
constexpr uint32_t kLocalHeaderSig = 0x04034b50;    // "PK" 3 4
constexpr int64_t kEndRecordSize = 22;
constexpr size_t kCentralHeaderSize = 46;
constexpr int64_t kZip64LocatorSize = 20;
constexpr int64_t kZip64EndMinSize = 56;
// The largest comment (65,535 bytes) and the end record.
constexpr int64_t kSearchWindow = 65535 + kEndRecordSize;
constexpr uint16_t kUtf8NameFlag = 0x0800;

// The end of central directory record, with the values a ZIP64 end record supplies in place of
// saturated ones.
struct EndRecord {
  uint16_t thisDisk16 = 0, dirDisk16 = 0, entriesHere16 = 0, totalEntries16 = 0;
  uint32_t dirSize32 = 0, dirOffset32 = 0;
  uint16_t commentLength = 0;

  uint32_t thisDisk = 0, dirDisk = 0;
  uint64_t totalEntries = 0, dirSize = 0, dirOffset = 0;
  bool zip64 = false;
  int64_t zip64Position = 0;  // where the ZIP64 end record lies in the file
};

EndRecord ParseEndRecord(const uint8_t* bytes) {
  ZipByteReader r(bytes, kEndRecordSize);
  EndRecord rec;
  r.U32();
  rec.thisDisk16 = r.U16();
  rec.dirDisk16 = r.U16();
  rec.entriesHere16 = r.U16();
  rec.totalEntries16 = r.U16();
  rec.dirSize32 = r.U32();
  rec.dirOffset32 = r.U32();
  rec.commentLength = r.U16();
  rec.thisDisk = rec.thisDisk16;
  rec.dirDisk = rec.dirDisk16;
  rec.totalEntries = rec.totalEntries16;
  rec.dirSize = rec.dirSize32;
  rec.dirOffset = rec.dirOffset32;
  return rec;
}

uint32_t Signature(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 | static_cast<uint32_t>(bytes[2]) << 16 |
         static_cast<uint32_t>(bytes[3]) << 24;
}

// Takes the true sizes and offset from the entry's ZIP64 extra field where the header's own are
// saturated. A malformed extra field leaves the stored values.
void ResolveZip64Fields(ZipDirEntry& e) {
  e.PackedSize64 = e.PackedSize;
  e.UnpackedSize64 = e.UnpackedSize;
  e.LocalHeaderOffset64 = e.LocalHeaderOffset;
  e.DiskStart32 = e.DiskStart;
  const bool unpacked = e.UnpackedSize == 0xFFFFFFFFu, packed = e.PackedSize == 0xFFFFFFFFu,
             offset = e.LocalHeaderOffset == 0xFFFFFFFFu, disk = e.DiskStart == 0xFFFF;
  if (!(unpacked || packed || offset || disk) || e.ExtraLength == 0) return;
  ZipByteReader extra(e.ExtraField.data(), e.ExtraLength);
  while (extra.Remaining() >= 4) {
    const uint16_t id = extra.U16();
    const uint16_t length = extra.U16();
    ZipByteReader block = extra.Sub(length);
    if (!extra.Ok()) return;
    if (id != 0x0001) continue;
    // The fields present are exactly those saturated in the header, in this order.
    if (unpacked) {
      uint64_t v = block.U64();
      if (block.Ok()) e.UnpackedSize64 = v;
    }
    if (packed) {
      uint64_t v = block.U64();
      if (block.Ok()) e.PackedSize64 = v;
    }
    if (offset) {
      uint64_t v = block.U64();
      if (block.Ok()) e.LocalHeaderOffset64 = v;
    }
    if (disk) {
      uint32_t v = block.U32();
      if (block.Ok()) e.DiskStart32 = v;
    }
    return;
  }
}

class BusyCursorScope {
 public:
  explicit BusyCursorScope(TZipArchiver& z) : z_(z) { z_.BeginBusyCursor(); }
  ~BusyCursorScope() {
    try {
      z_.EndBusyCursor();
    } catch (...) {
      // Restoring a cursor must not turn into a failure of its own.
    }
  }
  BusyCursorScope(const BusyCursorScope&) = delete;
  BusyCursorScope& operator=(const BusyCursorScope&) = delete;

 private:
  TZipArchiver& z_;
};

}  // namespace

// The steps of one listing between opening the file and closing it; the file closes with the
// reader.
class TZipArchiver::ListReader {
 public:
  explicit ListReader(TZipArchiver& z) : z_(z), env_(Env::Default()) {}

  void Run();

 private:
  bool ReadEndRecord(EndRecord& rec, bool raise);
  int32_t ExpectedVolumeNumber() const;
  void ResolveZip64EndRecord(EndRecord& rec);
  size_t ReadAt(int64_t offset, void* buf, size_t n) { return file_->ReadAt(offset, static_cast<char*>(buf), n); }

  TZipArchiver& z_;
  Env& env_;
  std::unique_ptr<RandomAccessFile> file_;
};

void TZipArchiver::List() {
  if (ComponentState() & csDesigning) return;
  ClearZipContents();
  fileLength_ = 0;
  centralDirOffset_ = 0;
  prefixSize_ = 0;
  archiveComment_.clear();
  multiVolume_ = false;
  skippedDirCount_ = 0;
  errCode_ = 0;
  dirOffsetMismatch_ = false;
  if (!Env::Default().FileExists(zipFileName_)) {
    if (OnDirUpdate) OnDirUpdate(this);
    return;
  }

  bool failed = false;
  std::exception_ptr hostFailure;  // a host handler that raised while a failure was reported
  auto report = [&](auto&& reportIt) {
    failed = true;
    try {
      reportIt();
    } catch (...) {
      hostFailure = std::current_exception();
    }
  };
  {
    BusyCursorScope busy(*this);
    ListReader reader(*this);
    try {
      reader.Run();
    } catch (const EZipArchiver& e) {
      report([&] { ReportException(e); });
    } catch (const std::bad_alloc&) {
      report([&] { ReportMessage(10103); });
    } catch (const std::exception& e) {
      report([&] { ReportMessage(10202, e.what()); });
    }
  }
  if (failed) {
    zipFileName_.clear();
    prefixSize_ = 0;
  }
  if (OnDirUpdate) OnDirUpdate(this);
  if (hostFailure) std::rethrow_exception(hostFailure);
}

void TZipArchiver::ListReader::Run() {
  TZipArchiver& z = z_;
  z.volumeFileName_ = z.zipFileName_;
  z.driveRoot_ = IncludeTrailingPathDelimiter(ExtractFileDrive(env_.ExpandFileName(z.zipFileName_)));
  const DriveInfo drive = env_.GetDriveInfo(z.driveRoot_);
  z.onHardDisk_ = drive.Fixed;
  // A root that starts with a separator ("/" on POSIX, "\\server\share\" on Windows) has no
  // drive letter to check.
  if (z.driveRoot_[0] != PathDelim) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(z.driveRoot_[0])));
    if (letter < 'A' || letter > 'Z') throw EZipArchiver::CreateWithText(11003, z.driveRoot_);
    if (!env_.DirectoryExists(z.driveRoot_)) throw EZipArchiver::CreateWithText(11004, z.driveRoot_);
  }
  z.volumeLabel_.clear();
  if (!z.onHardDisk_) z.volumeLabel_ = drive.VolumeLabel;

  EndRecord rec;
  ReadEndRecord(rec, true);
  ResolveZip64EndRecord(rec);
  z.lastVolume_ = static_cast<int32_t>(rec.thisDisk);
  if (rec.thisDisk > 0) z.multiVolume_ = true;

  // Where the central directory really starts: just before the end records.
  if (rec.thisDisk != rec.dirDisk)
    throw Exception(Format("The central directory starts on disk %d of a spanned archive, which cannot be read here",
                           {static_cast<int64_t>(rec.dirDisk)}));
  int64_t p = rec.zip64 ? rec.zip64Position : z.archiveEnd_;
  auto subtract = [&p](uint64_t n) {
    if (n > static_cast<uint64_t>(p))
      throw Exception("The central directory or the archive comment reaches outside the file");
    p -= static_cast<int64_t>(n);
  };
  subtract(rec.dirSize);
  if (!rec.zip64) {
    subtract(kEndRecordSize);
    subtract(rec.commentLength);
  }
  z.centralDirOffset_ = p;

  z.dirOffsetMismatch_ = rec.dirOffset != static_cast<uint64_t>(p);
  if (z.dirOffsetMismatch_) z.ReportMessage(10203);
  if (p > z.fileLength_) throw EZipArchiver::CreateWithId(10201, true);

  // The lowest local header offset; where no entry is lower, the archive data begins at the
  // central directory itself (an archive without entries has nothing in front of it).
  uint64_t lowestOffset = rec.dirOffset;
  ZipBufferedFile in(*file_, z.fileLength_, p);
  for (uint64_t i = 0; i < rec.totalEntries; ++i) {
    const int32_t seqNo = static_cast<int32_t>(std::min<uint64_t>(i + 1, INT32_MAX));
    uint8_t header[kCentralHeaderSize];
    // A short read means the directory ends early; there is no further volume to turn to.
    if (in.Read(header, sizeof header) < sizeof header) throw EZipArchiver::CreateWithId(11013, true);
    ZipByteReader r(header, sizeof header);
    if (r.U32() != kCentralHeaderSig) throw EZipArchiver::CreateWithId(11015, true);

    auto e = std::make_unique<ZipDirEntry>();
    e->SpecVersion = r.U8();
    e->HostSystem = r.U8();
    e->NeededVersion = r.U16();
    e->GeneralFlags = r.U16();
    e->Method = r.U16();
    e->ModTime = r.U16();
    e->ModDate = r.U16();
    e->Crc = r.U32();
    e->PackedSize = r.U32();
    e->UnpackedSize = r.U32();
    e->NameLength = r.U16();
    e->ExtraLength = r.U16();
    e->CommentLength = r.U16();
    e->DiskStart = r.U16();
    e->InternalAttributes = r.U16();
    e->ExternalAttributes = r.U32();
    e->LocalHeaderOffset = r.U32();

    std::string name(e->NameLength, '\0');
    if (in.Read(name.data(), name.size()) < name.size()) throw EZipArchiver::CreateWithId(11017, true);
    e->EntryName = z.ToAnsiText(name, *e);
    std::replace(e->EntryName.begin(), e->EntryName.end(), '/', PathDelim);
    e->IsEncrypted = (e->GeneralFlags & 1) != 0;
    if (e->ExtraLength > 0) {
      e->ExtraField.assign(static_cast<size_t>(e->ExtraLength) + 1, 0);
      if (in.Read(e->ExtraField.data(), e->ExtraLength) < e->ExtraLength) throw EZipArchiver::CreateWithId(10201, true);
    }
    if (e->CommentLength > 0) {
      std::string comment(e->CommentLength, '\0');
      if (in.Read(comment.data(), comment.size()) < comment.size()) throw EZipArchiver::CreateWithId(11022, true);
      e->EntryComment = z.ToAnsiText(comment, *e);
    }
    ResolveZip64Fields(*e);

    const uint64_t localOffset = e->LocalHeaderOffset64;
    if (z.useDirOnlyEntries_ || !ExtractFileName(e->EntryName).empty()) {
      z.zipContents_.push_back(std::move(e));
      if (z.OnNewName) z.OnNewName(&z, seqNo, *z.zipContents_.back());
    } else {
      ++z.skippedDirCount_;
    }
    lowestOffset = std::min(lowestOffset, localOffset);
  }
  z.lastVolume_ = static_cast<int32_t>(rec.thisDisk);

  // Bytes in front of the archive: the lowest offset moved by however far the directory lies
  // from where the end record puts it (data placed in front without adjusting the offsets).
  const uint64_t back = rec.dirOffset - lowestOffset;
  z.prefixSize_ = back > static_cast<uint64_t>(p) ? 0 : p - static_cast<int64_t>(back);
}

bool TZipArchiver::ListReader::ReadEndRecord(EndRecord& rec, bool raise) {
  TZipArchiver& z = z_;
  z.archiveComment_.clear();
  bool firstVolume = false;
  try {
    file_ = env_.NewRandomAccessFile(z.volumeFileName_);
  } catch (const std::exception&) {
    if (raise) throw EZipArchiver::CreateWithId(11001, true);
    z.ReportMessage(11002);
    return false;
  }
  const int32_t n = ExpectedVolumeNumber();

  try {
    const int64_t size = file_->Size();
    uint8_t head[8];
    if (ReadAt(0, head, sizeof head) == sizeof head && Signature(head) == kSpanMarkerSig &&
        Signature(head + 4) == kLocalHeaderSig) {
      firstVolume = true;
      z.multiVolume_ = true;
    }

    if (size < kEndRecordSize)
      throw Exception(Format("The file is too short to be a zip archive (%d bytes)", {size}));
    // Quick test: an archive without a comment ends with its end record.
    z.archiveEnd_ = z.fileLength_ = size;
    uint8_t tail[kEndRecordSize];
    if (ReadAt(size - kEndRecordSize, tail, sizeof tail) == sizeof tail && Signature(tail) == kEndRecordSig) {
      rec = ParseEndRecord(tail);
      z.endRecordOffset_ = size - kEndRecordSize;
      return true;
    }

    // Search the largest comment's reach back from the end; the record nearest the end wins.
    const int64_t window = std::min(size, kSearchWindow);
    std::vector<uint8_t> buf(static_cast<size_t>(window));
    if (ReadAt(size - window, buf.data(), buf.size()) < buf.size()) throw EZipArchiver::CreateWithId(11011, true);
    for (int64_t m = window - kEndRecordSize - 1; m >= 0; --m) {
      const uint8_t* at = buf.data() + m;
      if (Signature(at) != kEndRecordSig) continue;
      rec = ParseEndRecord(at);
      z.endRecordOffset_ = size - window + m;
      const int64_t commentEnd = m + kEndRecordSize + rec.commentLength;
      if (commentEnd != window) {
        z.archiveEnd_ += commentEnd - window;
        if (commentEnd > window) throw Exception("The archive comment runs past the end of the file");
        // Zero bytes that fill the file up to a whole 512-byte block are padding, not garbage.
        const bool padding = z.fileLength_ % 512 == 0 && window - commentEnd < 512 &&
                             std::all_of(buf.begin() + commentEnd, buf.end(), [](uint8_t b) { return b == 0; });
        if (!padding) z.ReportMessage(10204);
      }
      if (rec.commentLength > 0) {
        const char* comment = reinterpret_cast<const char*>(at + kEndRecordSize);
        z.archiveComment_.assign(comment, std::find(comment, comment + rec.commentLength, '\0'));
      }
      return true;
    }
  } catch (...) {
    if (raise) throw;
    return false;
  }

  if (!raise) return false;
  if (!firstVolume) {
    if (n != 0) throw EZipArchiver::CreateWithNumber(11038, n);
    throw EZipArchiver::CreateWithId(11036, true);
  }
  if (n == 1) throw EZipArchiver::CreateWithId(11037, true);
  throw EZipArchiver::CreateWithId(11045, true);
}

int32_t TZipArchiver::ListReader::ExpectedVolumeNumber() const {
  const TZipArchiver& z = z_;
  if (z.volumeLabel_.rfind("PKBACK# ", 0) == 0) return TryStrToInt(z.volumeLabel_.substr(8, 3)).value_or(0);
  const std::string name = ExtractFileName(z.volumeFileName_);
  const std::string ext = ExtractFileExt(name);
  if (InSet(z.spanOptions_, spCompatName)) return TryStrToInt(ext.size() > 1 ? ext.substr(1, 2) : "").value_or(0);
  const std::string stem = name.substr(0, name.size() - ext.size());
  return TryStrToInt(stem.substr(stem.size() > 3 ? stem.size() - 3 : 0)).value_or(0);
}

// An archive whose end record holds saturated values (0xFFFF, 0xFFFFFFFF) may have a ZIP64 end
// record, found through the locator just before the end record; its values replace the
// saturated ones. The ZIP64 record must end exactly at the locator, at the recorded offset or
// (for an archive with data placed in front) right before the locator. Otherwise the values are
// taken as they stand, which is also right for an archive of exactly 65,535 entries.
void TZipArchiver::ListReader::ResolveZip64EndRecord(EndRecord& rec) {
  const bool saturated = rec.thisDisk16 == 0xFFFF || rec.dirDisk16 == 0xFFFF || rec.entriesHere16 == 0xFFFF ||
                         rec.totalEntries16 == 0xFFFF || rec.dirSize32 == 0xFFFFFFFFu || rec.dirOffset32 == 0xFFFFFFFFu;
  const int64_t locatorPos = z_.endRecordOffset_ - kZip64LocatorSize;
  if (!saturated || locatorPos < 0) return;
  uint8_t locator[kZip64LocatorSize];
  if (ReadAt(locatorPos, locator, sizeof locator) != sizeof locator) return;
  ZipByteReader loc(locator, sizeof locator);
  if (loc.U32() != kZip64LocatorSig) return;
  loc.U32();
  const uint64_t recorded = loc.U64();

  auto tryAt = [&](uint64_t pos) {
    if (pos > static_cast<uint64_t>(locatorPos) || locatorPos - static_cast<int64_t>(pos) < kZip64EndMinSize)
      return false;
    uint8_t bytes[kZip64EndMinSize];
    if (ReadAt(static_cast<int64_t>(pos), bytes, sizeof bytes) != sizeof bytes) return false;
    ZipByteReader r(bytes, sizeof bytes);
    if (r.U32() != kZip64EndSig) return false;
    const uint64_t recordSize = r.U64();
    if (recordSize != static_cast<uint64_t>(locatorPos - static_cast<int64_t>(pos)) - 12) return false;
    r.U16();
    r.U16();
    const uint32_t thisDisk = r.U32();
    const uint32_t dirDisk = r.U32();
    r.U64();
    const uint64_t total = r.U64();
    const uint64_t dirSize = r.U64();
    const uint64_t dirOffset = r.U64();
    if (!r.Ok()) return false;
    if (rec.thisDisk16 == 0xFFFF) rec.thisDisk = thisDisk;
    if (rec.dirDisk16 == 0xFFFF) rec.dirDisk = dirDisk;
    if (rec.totalEntries16 == 0xFFFF || rec.entriesHere16 == 0xFFFF) rec.totalEntries = total;
    if (rec.dirSize32 == 0xFFFFFFFFu) rec.dirSize = dirSize;
    if (rec.dirOffset32 == 0xFFFFFFFFu) rec.dirOffset = dirOffset;
    rec.zip64 = true;
    rec.zip64Position = static_cast<int64_t>(pos);
    return true;
  };
  if (!tryAt(recorded)) tryAt(static_cast<uint64_t>(locatorPos - kZip64EndMinSize));
}

std::string TZipArchiver::ToAnsiText(const std::string& text, const ZipDirEntry& entry) const {
  // A name flagged as UTF-8 is UTF-8 whatever its host says; reading it as OEM would garble it.
  if (entry.GeneralFlags & kUtf8NameFlag) return text;
  const bool oem = (codePage_ == cpAuto && entry.HostSystem == 0) || entry.HostSystem == 6 ||
                   (entry.HostSystem == 11 && entry.SpecVersion == 50) || codePage_ == cpOEM;
  return oem ? OemToAnsi(text) : text;
}

void TZipArchiver::ClearZipContents() {
  while (!zipContents_.empty()) zipContents_.pop_back();
}

}  // namespace dravello
