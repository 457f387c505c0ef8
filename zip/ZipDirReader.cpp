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
#include "zip/ZipMessages.h"
#include "zip/ZipRecordReader.h"

namespace dravello {

namespace {

using namespace zipformat;

constexpr uint16_t kUtf8NameFlag = 0x0800;

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
  bool ReadEndRecord(zipformat::ArchiveEnd& end, bool raise);
  int32_t ExpectedVolumeNumber() const;
  void ReadDirectory(const zipformat::ArchiveEnd& end, int64_t p);
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
      report([&] { ReportMessage(zmNoMemory); });
    } catch (const std::exception& e) {
      report([&] { ReportMessage(zmListUnknownError, e.what()); });
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
    if (letter < 'A' || letter > 'Z') throw EZipArchiver::CreateWithText(zmInvalidDrive, z.driveRoot_);
    if (!env_.DirectoryExists(z.driveRoot_)) throw EZipArchiver::CreateWithText(zmUndefinedDrive, z.driveRoot_);
  }
  z.volumeLabel_.clear();
  if (!z.onHardDisk_) z.volumeLabel_ = drive.VolumeLabel;

  zipformat::ArchiveEnd end;
  ReadEndRecord(end, true);
  z.lastVolume_ = static_cast<int32_t>(end.ThisDisk);
  if (end.ThisDisk > 0) z.multiVolume_ = true;

  // Where the central directory really starts: just before the end records.
  if (end.ThisDisk != end.DirDisk)
    throw Exception(Format("The central directory starts on disk %d of a spanned archive, which cannot be read here",
                           {static_cast<int64_t>(end.DirDisk)}));
  if (end.DirSize > static_cast<uint64_t>(end.DirEnd))
    throw Exception("The central directory or the archive comment reaches outside the file");
  const int64_t p = end.DirEnd - static_cast<int64_t>(end.DirSize);
  z.centralDirOffset_ = p;

  z.dirOffsetMismatch_ = end.DirOffset != static_cast<uint64_t>(p);
  if (z.dirOffsetMismatch_) z.ReportMessage(zmStructureWarning);
  if (p > z.fileLength_) throw EZipArchiver::CreateWithId(zmListSeekError, true);
  ReadDirectory(end, p);
  z.lastVolume_ = static_cast<int32_t>(end.ThisDisk);
}

// Reads the directory's records front to back by its size, then holds what it found against
// the entry count (which writers without ZIP64 records cut to 16 bits) and checks that no two
// entries claim the same bytes.
void TZipArchiver::ListReader::ReadDirectory(const zipformat::ArchiveEnd& end, int64_t p) {
  TZipArchiver& z = z_;
  // The lowest local header offset; where no entry is lower, the archive data begins at the
  // central directory itself (an archive without entries has nothing in front of it).
  uint64_t lowestOffset = end.DirOffset;
  // What each entry claims at least: its local header and its data. Offsets are compared as
  // recorded (data placed in front moves them all alike).
  std::vector<std::pair<uint64_t, uint64_t>> claimed;
  CentralDirectoryReader dir(*file_, p, end.DirSize);
  CentralRecord rec;
  for (;;) {
    const CentralRead read = dir.Next(rec);
    if (read == CentralRead::End) break;
    switch (read) {
      case CentralRead::ShortHeader:
        throw EZipArchiver::CreateWithId(zmCentralHeaderReadError, true);
      case CentralRead::BadSignature:
        throw EZipArchiver::CreateWithId(zmCentralSignatureWrong, true);
      case CentralRead::ShortName:
        throw EZipArchiver::CreateWithId(zmCentralNameReadError, true);
      case CentralRead::ShortExtra:
        throw EZipArchiver::CreateWithId(zmListSeekError, true);
      case CentralRead::ShortComment:
        throw EZipArchiver::CreateWithId(zmFileCommentReadError, true);
      default:
        break;
    }
    const int32_t seqNo = static_cast<int32_t>(std::min<uint64_t>(dir.Count(), INT32_MAX));
    const CentralHeader& h = rec.Header;
    auto e = std::make_unique<ZipDirEntry>();
    e->SpecVersion = h.MadeByVersion;
    e->HostSystem = h.MadeByHost;
    e->NeededVersion = h.NeededVersion;
    e->GeneralFlags = h.Flags;
    e->Method = h.Method;
    e->ModTime = h.ModTime;
    e->ModDate = h.ModDate;
    e->Crc = h.Crc;
    e->PackedSize = h.PackedSize;
    e->UnpackedSize = h.UnpackedSize;
    e->NameLength = h.NameLength;
    e->ExtraLength = h.ExtraLength;
    e->CommentLength = h.CommentLength;
    e->DiskStart = h.DiskStart;
    e->InternalAttributes = h.InternalAttributes;
    e->ExternalAttributes = h.ExternalAttributes;
    e->LocalHeaderOffset = h.LocalHeaderOffset;
    e->EntryName = z.ToAnsiText(rec.Name, *e);
    std::replace(e->EntryName.begin(), e->EntryName.end(), '/', PathDelim);
    e->IsEncrypted = (e->GeneralFlags & 1) != 0;
    if (e->ExtraLength > 0) {
      e->ExtraField.assign(rec.Extra.begin(), rec.Extra.end());
      e->ExtraField.push_back(0);
    }
    if (e->CommentLength > 0) e->EntryComment = z.ToAnsiText(rec.Comment, *e);
    // Where a value is saturated, the ZIP64 field holds the true one; a malformed field leaves
    // the stored values.
    const Zip64Values wide = ResolveZip64(rec.Extra, h.UnpackedSize, h.PackedSize, h.LocalHeaderOffset, h.DiskStart);
    e->UnpackedSize64 = wide.Unpacked;
    e->PackedSize64 = wide.Packed;
    e->LocalHeaderOffset64 = wide.Offset;
    e->DiskStart32 = wide.Disk;

    const uint64_t localOffset = e->LocalHeaderOffset64;
    claimed.emplace_back(localOffset, kLocalHeaderSize + e->PackedSize64);
    // A name without a file-name part is a folder's entry; an empty name is a file's (it has
    // no folder part either).
    if (z.useDirOnlyEntries_ || e->EntryName.empty() || !ExtractFileName(e->EntryName).empty()) {
      z.zipContents_.push_back(std::move(e));
      if (z.OnNewName) z.OnNewName(&z, seqNo, *z.zipContents_.back());
    } else {
      ++z.skippedDirCount_;
    }
    lowestOffset = std::min(lowestOffset, localOffset);
  }

  switch (CheckEntryCount(end, dir.Count())) {
    case CountCheck::Agrees:
      break;
    case CountCheck::RecordedTooLow:  // every entry is read; the count is what is wrong
      z.ReportMessage(zmStructureWarning);
      break;
    case CountCheck::TooFew:  // the directory ends before the entries it counts
      throw EZipArchiver::CreateWithId(zmCentralHeaderReadError, true);
  }
  if (RangesOverlap(std::move(claimed))) throw EZipArchiver::CreateWithId(zmEntriesOverlap, true);

  // Bytes in front of the archive: the lowest offset moved by however far the directory lies
  // from where the end record puts it (data placed in front without adjusting the offsets).
  const uint64_t back = end.DirOffset - lowestOffset;
  z.prefixSize_ = back > static_cast<uint64_t>(p) ? 0 : p - static_cast<int64_t>(back);
}

bool TZipArchiver::ListReader::ReadEndRecord(zipformat::ArchiveEnd& end, bool raise) {
  TZipArchiver& z = z_;
  z.archiveComment_.clear();
  bool firstVolume = false;
  try {
    file_ = env_.NewRandomAccessFile(z.volumeFileName_);
  } catch (const std::exception&) {
    if (raise) throw EZipArchiver::CreateWithId(zmInputMissing, true);
    z.ReportMessage(zmCannotOpen);
    return false;
  }
  const int32_t n = ExpectedVolumeNumber();

  try {
    const int64_t size = file_->Size();
    uint8_t head[8];
    if (ReadAt(0, head, sizeof head) == sizeof head && ZipByteReader(head, 4).U32() == kDataDescriptorSig &&
        ZipByteReader(head + 4, 4).U32() == kLocalHeaderSig) {
      firstVolume = true;
      z.multiVolume_ = true;
    }
    z.archiveEnd_ = z.fileLength_ = size;
    EndSearchResult found = FindArchiveEnd(*file_, size);
    switch (found.Outcome) {
      case EndSearch::TooShort:
        throw Exception(Format("The file is too short to be a zip archive (%d bytes)", {size}));
      case EndSearch::ReadError:
        throw EZipArchiver::CreateWithId(zmEndRecordReadError, true);
      case EndSearch::NotFound:
        break;
      case EndSearch::Found: {
        end = std::move(found.End);
        z.endRecordOffset_ = end.EndRecordOffset;
        if (end.CommentEnd > size) throw Exception("The archive comment runs past the end of the file");
        if (end.CommentEnd != size) {
          z.archiveEnd_ = end.CommentEnd;
          // Zero bytes that fill the file up to a whole 512-byte block are padding, not garbage.
          const int64_t after = size - end.CommentEnd;
          std::string rest(static_cast<size_t>(std::min<int64_t>(after, 512)), '\0');
          const bool padding = size % 512 == 0 && after < 512 && ReadAt(end.CommentEnd, rest.data(), rest.size()) ==
                                   rest.size() && rest.find_first_not_of('\0') == std::string::npos;
          if (!padding) z.ReportMessage(zmGarbageWarning);
        }
        z.archiveComment_.assign(end.Comment.c_str());  // up to the first zero byte
        return true;
      }
    }
  } catch (...) {
    if (raise) throw;
    return false;
  }

  if (!raise) return false;
  if (!firstVolume) {
    if (n != 0) throw EZipArchiver::CreateWithNumber(zmNthDiskOfSet, n);
    throw EZipArchiver::CreateWithId(zmNotAZipArchive, true);
  }
  if (n == 1) throw EZipArchiver::CreateWithId(zmFirstDiskOfSet, true);
  throw EZipArchiver::CreateWithId(zmFirstFileOfSet, true);
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

std::string TZipArchiver::ToAnsiText(const std::string& text, const ZipDirEntry& entry) const {
  // A name flagged as UTF-8 is UTF-8 whatever its host says; reading it as OEM would garble it.
  if (entry.GeneralFlags & kUtf8NameFlag) return text;
  const bool oem = (codePage_ == cpAuto && entry.HostSystem == 0) || entry.HostSystem == 6 ||
                   (entry.HostSystem == 11 && entry.SpecVersion == 50) || codePage_ == cpOEM;
  return oem ? OemToAnsi(text) : text;
}

void TZipArchiver::ClearZipContents() {
  while (!zipContents_.empty()) zipContents_.pop_back();
  zipContents_.shrink_to_fit();
}

}  // namespace dravello
