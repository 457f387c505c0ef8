#include "zipengine/ZipEngine.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/DateTime.h"
#include "runtime/Env.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"
#include "zipengine/ArchiveReader.h"
#include "zipengine/ArchiveWriter.h"
#include "zipengine/Compression.h"
#include "zipengine/CompressionPool.h"
#include "zipengine/EngineReporter.h"
#include "zipengine/FileSelection.h"
#include "zipengine/KeyedIndexSet.h"
#include "zipengine/Placement.h"
#include "zipengine/ZipCrypto.h"
#include "zipengine/ZipFormat.h"

namespace dravello::zipengine {

namespace {

// Thrown when the caller asked to stop; unwinds to the one place that cleans up.
struct AbortRequested {};

// A failure already reported through action 4; unwinds to the clean-up.
struct ReportedFailure {};

constexpr uint64_t kCopyTickBytes = 8 << 20;
// Memory kept for reuse by file buffers.
constexpr size_t kSpareBytes = 16 << 20;
// Enough to keep the workers busy with small files; more only costs bookkeeping.
constexpr size_t kMaxJobsInFlight = 1024;
// Files handed to the workers at once.
constexpr size_t kBatchFiles = 64;
constexpr size_t kBatchBytes = 1 << 20;
// Streamed sources this large get 8-byte sizes in their data descriptor up front; deflate can
// make incompressible data slightly larger, so the margin below 4 GiB is generous.
constexpr int64_t kStreamZip64From = 0xF0000000LL;

std::vector<std::string> ParseSuffixes(const char* text) {
  std::vector<std::string> out;
  if (!text) return out;
  std::string item;
  for (const char* p = text;; ++p) {
    if (*p == 0 || *p == ':' || *p == ';' || *p == ',') {
      if (!item.empty() && item != ".") out.push_back(LowerCaseAscii(item));
      item.clear();
      if (*p == 0) break;
    } else {
      item += *p;
    }
  }
  return out;
}

bool EndsWithSuffix(std::string_view name, const std::vector<std::string>& suffixes) {
  for (const std::string& s : suffixes)
    if (name.size() >= s.size() && SameTextAscii(name.substr(name.size() - s.size()), s)) return true;
  return false;
}

std::string NonNull(const char* s) { return s ? std::string(s) : std::string(); }
std::string_view ViewOf(const char* s) { return s ? std::string_view(s) : std::string_view(); }

// The DOS attribute bits that belong in an entry.
constexpr uint32_t kEntryDosBits = faReadOnly | faHidden | faSysFile | faArchive;

class AddOperation {
 public:
  AddOperation(const ZipCommand& cmd, const EngineTuning& tuning)
      : env_(Env::Default()), cmd_(cmd), tuning_(tuning), reporter_(cmd.CallbackProc, cmd.ComponentRef) {}

  int32_t Run() {
    int32_t result = 0;
    try {
      result = Execute();
    } catch (const AbortRequested&) {
      Discard();
      reporter_.Message(zecAborted, "User abort: the archive was left unchanged");
      result = 0;
    } catch (const ReportedFailure&) {
      Discard();
      result = 0;
    } catch (const std::bad_alloc&) {
      Discard();
      reporter_.Message(zecMemory, "Out of memory: the archive was left unchanged");
      result = 0;
    } catch (const ZipFormatError& e) {
      Discard();
      reporter_.Message(zecFormat, archive_ + ": " + e.Message() + "; the archive was left unchanged");
      result = 0;
    } catch (const std::exception& e) {
      Discard();
      reporter_.Message(writing_ ? zecWrite : zecInternal,
                        std::string(e.what()) + "; the archive was left unchanged");
      result = 0;
    }
    reporter_.Call(zcaBatchEnd, 0, 0, "");
    return result;
  }

 private:
  static std::string_view StoredNameOf(const SelectedFile& f) { return f.StoredName(); }
  static constexpr size_t kNoEntry = SIZE_MAX;
  // The position of the old archive's entry of that name (kNoEntry: none, or no old archive).
  size_t ExistingIndexOf(std::string_view name) const {
    return existingByName_ ? existingByName_->Find(name) : kNoEntry;
  }

  // ---- The steps ----

  int32_t Execute() {
    archive_ = NonNull(cmd_.ArchiveName);
    ReadOptions();
    RemoveStaleTemps();
    OpenExisting();
    CheckComment();
    SelectAndFilter();

    CheckAbort(reporter_.Call(zcaTotalFiles, 0, work_.size(), ""));
    uint64_t totalBytes = 0;
    for (const SelectedFile& f : work_) totalBytes += static_cast<uint64_t>(f.Stat.Size);
    CheckAbort(reporter_.Call(zcaTotalBytes, 0, totalBytes, ""));
    if (work_.empty()) {
      reporter_.Message(zecNothingToDo, "Nothing to do: no file to add");
      return 0;
    }

    CreateTemp();
    writing_ = true;
    writer_ = std::make_unique<ArchiveWriter>(*tempFile_);
    writer_->SetSpill(SpillToTempFileBeside(env_, tempBeside_),
                      static_cast<uint64_t>(std::max<int64_t>(tuning_.DirectoryHeld, 0)));
    CopyKeptEntries();
    AddFiles();
    CopyEntriesNotReplaced();
    if (storedCount_ == 0) {
      Discard();
      reporter_.Message(zecNothingToDo, "Nothing added: the archive was left unchanged");
      return 0;
    }
    CheckEveryOldEntryKept();
    writer_->Finish(comment_);
    tempFile_->Sync();
    tempFile_->Close();
    tempFile_.reset();
    existingFile_.reset();
    MoveIntoPlace(env_, tempPath_, archive_, tempElsewhere_);
    tempPath_.clear();
    writing_ = false;
    // The sources' archive bits are cleared (or the sources removed) only once the new archive
    // is sure to survive a power cut: its data was synced before the rename, its name now.
    bool durable = true;
    try {
      const std::string folder = ExtractFilePath(archive_);
      env_.SyncDir(folder.empty() ? env_.GetCurrentDir() : folder);
    } catch (const Exception& e) {
      durable = false;
      reporter_.Message(zecSkipped, "the archive is in place but not yet safely on disk (" + e.Message() +
                                        "); the sources are left as they are");
    }
    if (durable) AfterPlaced();
    return static_cast<int32_t>(std::min<size_t>(storedCount_, INT32_MAX));
  }

  void ReadOptions() {
    level_ = std::clamp(cmd_.CompressionLevel, 0, 9);
    suffixes_ = ParseSuffixes(cmd_.StoreSuffixText);
    verbose_ = cmd_.VerboseFlag != 0;
    selection_.HiddenFiles = cmd_.HiddenFilesFlag != 0;
    selection_.ArchiveOnly = cmd_.ArchiveOnlyFlag != 0;
    selection_.StripPaths = cmd_.StripPaths != 0;
#ifdef _WIN32
    selection_.FoldCase = true;
#endif
    if (cmd_.DateFilterFlag != 0) {
      selection_.FromDate = ParseFromDate(cmd_.FromDate);
      if (!selection_.FromDate) {
        reporter_.Message(zecBadCommand, "Invalid date \"" + std::string(cmd_.FromDate, 8) + "\"");
        throw ReportedFailure{};
      }
    }
    for (int32_t i = 0; i < cmd_.ExcludeCount && cmd_.Excludes; ++i)
      if (cmd_.Excludes[i]) selection_.Excludes.push_back(cmd_.Excludes[i]);
    comment_ = NonNull(cmd_.CommentText);
  }

  void OpenExisting() {
    FileStat st = env_.Stat(archive_);
    if (st.Kind == FileKind::Missing) return;
    if (st.Kind != FileKind::Regular) {
      reporter_.Message(zecCreate, archive_ + ": not a file; nothing was written");
      throw ReportedFailure{};
    }
    try {
      existingFile_ = env_.NewRandomAccessFile(archive_);
    } catch (const Exception& e) {
      reporter_.Message(zecRead, "Cannot read the archive: " + e.Message());
      throw ReportedFailure{};
    }
    existing_ = ReadArchiveDirectory(*existingFile_);  // ZipFormatError: reported, file untouched
    if (!existing_->Warning.empty()) reporter_.Message(zecInfo, archive_ + ": " + existing_->Warning);
    if (!cmd_.CommentText) comment_ = existing_->Comment;
    // Of two old entries with one name, a new file replaces the first.
    existingByName_.emplace(existing_->Entries);
    existingByName_->Reserve(existing_->Entries.size());
    for (size_t i = 0; i < existing_->Entries.size(); ++i)
      if (!existingByName_->Contains(existing_->Entries[i].Header.Name)) existingByName_->Insert(i);
    oldEntries_.assign(existing_->Entries.size(), OldEntry::Kept);
  }

  // A comment holding the end-record signature would be taken for the end of the archive by
  // readers that search from the end (the component's directory reader among them), so the
  // archive written would not read back. Refused before anything is written.
  void CheckComment() {
    static constexpr char kSignature[] = {'P', 'K', 5, 6};
    if (comment_.find(std::string_view(kSignature, sizeof kSignature)) == std::string::npos) return;
    reporter_.Message(zecFormat, archive_ + ": the archive comment holds an end-of-directory signature, which "
                                             "would hide the archive's directory; the archive was left unchanged");
    throw ReportedFailure{};
  }

  // File specification `i` of the command, as views into it: a backup names each of many files
  // by a line of its own, and a copy of every line would cost more than the line.
  SpecLine SpecAt(size_t i) const {
    const ZipFileSpec& s = cmd_.Specs[i];
    SpecLine line;
    line.Text = ViewOf(s.SpecText);
    line.RootDir = ViewOf(s.SpecRootDir);
    line.Recurse = s.SpecRecurse != 0;
    line.Encrypt = s.SpecEncrypt != 0;
    line.Password = s.SpecPassword && *s.SpecPassword ? s.SpecPassword : ViewOf(cmd_.PasswordText);
    return line;
  }

  // What a selected file is stored with: its level (0 stores), and the password it is encrypted
  // with (empty for none), which is its specification's or the caller's one answer.
  int LevelOf(const SelectedFile& f) const {
    return (level_ == 0 || EndsWithSuffix(f.StoredName(), suffixes_)) ? 0 : level_;
  }
  std::string_view PasswordOf(const SelectedFile& f) const {
    const SpecLine spec = SpecAt(f.SpecIndex);
    if (!spec.Encrypt) return {};
    return spec.Password.empty() ? std::string_view(askedAnswer_) : spec.Password;
  }

  // The work list is the selection itself, filtered in place: one list of the files, not two.
  void SelectAndFilter() {
    WarningSink warn = [this](int code, const std::string& text) { Warn(code, text); };
    work_ = SelectFiles(env_, static_cast<size_t>(std::max<int32_t>(cmd_.SpecCount, 0)),
                        [this](size_t i) { return SpecAt(i); }, selection_, warn);
    // The archive is never packed into itself. Compared as full paths: entry names drop the drive
    // and "..", so two different files can share one.
    const std::string archivePath = env_.ExpandFileName(archive_);
    const std::string archiveName = ExtractFileName(archivePath);
    auto sameName = [&](std::string_view a, std::string_view b) {
      return selection_.FoldCase ? AnsiSameText(a, b) : a == b;
    };
    auto isArchive = [&](std::string_view path) {
      // The file name first: only a file named like the archive can be it.
      const size_t slash = path.find_last_of(PathDelim == '/' ? "/" : "/\\:");
      if (!sameName(path.substr(slash == std::string_view::npos ? 0 : slash + 1), archiveName)) return false;
      return sameName(env_.ExpandFileName(std::string(path)), archivePath);
    };
    // The stored names taken so far (no name is held twice).
    KeyedIndexSet<SelectedFile, &StoredNameOf> names(work_);  // over the files kept so far
    names.Reserve(work_.size());
    const bool update = cmd_.UpdateFlag != 0;
    const bool freshen = !update && cmd_.FreshenFlag != 0;
    size_t kept = 0;
    for (size_t i = 0; i < work_.size(); ++i) {
      SelectedFile& f = work_[i];
      if (isArchive(f.Path())) continue;
      const size_t old = ExistingIndexOf(f.StoredName());
      if (old != kNoEntry) {
        if ((update || freshen) && !IsNewer(f, existing_->Entries[old])) continue;
      } else if (freshen) {
        continue;
      }
      if (names.Contains(f.StoredName())) {
        Warn(zecSkipped, "duplicate name " + std::string(f.StoredName()) + ", skipped: " + std::string(f.Path()));
        continue;
      }
      const SpecLine spec = SpecAt(f.SpecIndex);
      if (spec.Encrypt && spec.Password.empty()) {
        if (!askedPassword_) {
          askedPassword_ = true;
          std::optional<std::string> answer = reporter_.AskPassword(f.Path());
          CheckAbort(reporter_.Aborted());
          if (answer) askedAnswer_ = *answer;
        }
        if (askedAnswer_.empty()) {
          Warn(zecSkipped, "no password given, not added: " + std::string(f.Path()));
          continue;
        }
      }
      if (old != kNoEntry) oldEntries_[old] = OldEntry::Replaced;
      if (kept != i) work_[kept] = std::move(f);
      names.Insert(kept++);
    }
    work_.erase(work_.begin() + static_cast<std::ptrdiff_t>(kept), work_.end());
  }

  // Temporary archives of runs that were killed midway, beside the archive and in the folder
  // for temporary files.
  void RemoveStaleTemps() {
    const std::string name = ExtractFileName(archive_);
    int removed = env_.RemoveStaleTempFiles(ExtractFilePath(archive_), name);
    const std::string tempDir = NonNull(cmd_.TempDirText);
    if (!tempDir.empty()) removed += env_.RemoveStaleTempFiles(tempDir, name);
    if (verbose_ && removed > 0)
      reporter_.Message(zecInfo, "Removed " + std::to_string(removed) + " stale temporary file(s) of " + name);
  }

  void CreateTemp() {
    std::string beside = archive_;
    const std::string tempDir = NonNull(cmd_.TempDirText);
    if (!tempDir.empty()) beside = IncludeTrailingPathDelimiter(tempDir) + ExtractFileName(archive_);
    tempElsewhere_ = !tempDir.empty();
    tempBeside_ = beside;
    try {
      tempPath_ = env_.CreateTempFileBeside(beside, &tempFile_);
    } catch (const Exception& e) {
      reporter_.Message(zecTempFile, "Cannot create the temporary archive: " + e.Message());
      throw ReportedFailure{};
    }
    if (verbose_) reporter_.Message(zecInfo, "Temporary zipfile: " + tempPath_);
  }

  void CopyKeptEntries() {
    if (!existing_) return;
    for (size_t i = 0; i < existing_->Entries.size(); ++i)
      if (oldEntries_[i] == OldEntry::Kept) CopyEntry(existing_->Entries[i]);
  }

  // Every entry of the old archive is in the new one, as it was or replaced by a newer file: an
  // archive is never written with fewer of the old entries than were found.
  void CheckEveryOldEntryKept() const {
    if (!existing_) return;
    const auto replaced = static_cast<size_t>(
        std::count(oldEntries_.begin(), oldEntries_.end(), OldEntry::ReplacedAndStored));
    if (oldEntriesCopied_ + replaced != existing_->Entries.size())
      throw std::logic_error("the new archive would lose " +
                             std::to_string(existing_->Entries.size() - oldEntriesCopied_ - replaced) +
                             " entries of the old one");
  }

  // Entries whose replacement could not be stored stay as they were.
  void CopyEntriesNotReplaced() {
    for (size_t i = 0; i < oldEntries_.size(); ++i)
      if (oldEntries_[i] == OldEntry::Replaced) CopyEntry(existing_->Entries[i]);
  }

  void CopyEntry(const ExistingEntry& entry) {
    uint64_t sinceTick = 0;
    writer_->CopyRaw(*existingFile_, entry, entry.Extent, [&](uint64_t n) {
      sinceTick += n;
      if (sinceTick >= kCopyTickBytes) {
        sinceTick = 0;
        CheckAbort(reporter_.Call(zcaTick, 0, 0, ""));
      }
    });
    dirNames_.insert(entry.Header.Name);
    ++oldEntriesCopied_;
    if (verbose_) reporter_.Message(zecInfo, "  copying: " + entry.Header.Name);
    if (entry.Header.HasUnixTime) newestNs_ = std::max(newestNs_, entry.Header.UnixTime * 1000000000);
  }

  // A source that fits in memory, read whole (on a worker, or on this thread before it is
  // handed out) and then compressed. What reading found is kept for this thread to report in
  // the files' order.
  struct SourceJob final : CompressionJob {
    enum class Outcome { Read, TooLarge, Vanished, NotRegular, Unreadable };

    SourceJob(Env& env, SelectedFile& item, int64_t streamThreshold)
        : Item(&item),
          Budget(std::clamp<int64_t>(item.Stat.Size, 0, streamThreshold)),
          env_(env),
          streamThreshold_(streamThreshold) {}

    bool Prepare() override {
      if (!prepared_) {
        prepared_ = true;
        Read();
      }
      return Result == Outcome::Read;
    }

    // Left out: gone, no longer a regular file, or unreadable.
    bool Skipped() const { return Result != Outcome::Read && Result != Outcome::TooLarge; }

    SelectedFile* Item;
    int64_t Budget;  // the memory counted for it while it is in flight
    Outcome Result = Outcome::Read;
    std::string Error;  // the system's reason, for Unreadable
    FileStat AsRead;    // as the open file said when it was opened
    bool Changed = false;

   private:
    // Opens and reads the whole source, and tells whether it changed while it was read (asking
    // the open file again, not the name). A source that has grown past the threshold is left
    // for streaming.
    void Read() {
      const std::string path(Item->Path());
      std::unique_ptr<RandomAccessFile> in;
      try {
        in = env_.NewRandomAccessFile(path);
      } catch (const Exception& e) {
        const FileStat now = env_.Stat(path);
        Result = !now.Exists() ? Outcome::Vanished
                 : now.Kind != FileKind::Regular ? Outcome::NotRegular
                                                 : Outcome::Unreadable;
        Error = e.Message();
        return;
      }
      AsRead = in->StatWhenOpened() ? *in->StatWhenOpened() : env_.Stat(path);
      if (AsRead.Size > streamThreshold_) {
        Result = Outcome::TooLarge;
        return;
      }
      try {
        Input.resize(static_cast<size_t>(AsRead.Size));
        Input.resize(in->ReadAt(0, Input.data(), Input.size()));
      } catch (const Exception& e) {
        Result = Outcome::Unreadable;
        Error = e.Message();
        return;
      }
      const std::optional<FileStat> now = in->StatNow();
      const FileStat after = now ? *now : env_.Stat(path);
      Changed = !after.SameContentStamp(AsRead) || static_cast<int64_t>(Input.size()) != AsRead.Size;
    }

    Env& env_;
    int64_t streamThreshold_;
    bool prepared_ = false;
  };

  // Files go through the worker pool in order: this thread hands each file to the pool (which
  // reads and compresses it), and writes finished files in their order whenever the bytes held
  // in memory would exceed the budget. Files above the stream threshold are written in pieces,
  // on this thread, when their turn comes.
  void AddFiles() {
    CompressionPool pool(tuning_.Workers > 0 ? tuning_.Workers : CompressionPool::DefaultWorkers());
    pool_ = &pool;
    // The workers read the sources where the Env allows it, so this thread only hands out,
    // writes and reports; otherwise each source is read here, just before it is handed out.
    const bool workersRead = env_.LookupsAreThreadSafe();
    try {
      for (SelectedFile& f : work_) {
        auto job = std::make_shared<SourceJob>(env_, f, tuning_.StreamThreshold);
        job->Level = LevelOf(f);
        job->Input = TakeBuffer();
        if (!workersRead) job->Prepare();
        inFlightBytes_ += job->Budget;
        batchBytes_ += static_cast<size_t>(job->Budget);
        batch_.push_back(job);
        inFlight_.push_back(std::move(job));
        // Small files go to the workers in batches: one wake-up for many files instead of one
        // each, which for files of a few hundred bytes costs more than their compression.
        if (batch_.size() >= kBatchFiles || batchBytes_ >= kBatchBytes) SubmitBatch();
        // Over the limits, write finished files until half the room is free again: the thread
        // then alternates between long runs of handing out and of writing instead of waiting
        // for the workers file by file.
        if (inFlightBytes_ > tuning_.MemoryBudget || inFlight_.size() > kMaxJobsInFlight) {
          SubmitBatch();
          while (!inFlight_.empty() &&
                 (inFlightBytes_ > tuning_.MemoryBudget / 2 || inFlight_.size() > kMaxJobsInFlight / 2))
            WriteHead();
        }
      }
      SubmitBatch();
      while (!inFlight_.empty()) WriteHead();
    } catch (const AbortRequested&) {
      Abandon(false);
      throw;
    } catch (...) {
      Abandon(true);
      throw;
    }
    pool_ = nullptr;
  }

  // Drops the files in flight when the run fails. A source already found missing or unreadable
  // is still said before the failure is: the log must not hide it behind the archive's fate.
  void Abandon(bool sayWhatWasFound) {
    if (sayWhatWasFound) {
      SubmitBatch();
      for (const std::shared_ptr<SourceJob>& job : inFlight_) {
        pool_->Wait(job);
        if (!job->Failed && job->Skipped()) reporter_.Call(zcaMessage, zecSkipped, 0, SkipReason(*job));
      }
    }
    inFlight_.clear();
    batch_.clear();
    pool_ = nullptr;
  }

  static std::string SkipReason(const SourceJob& job) {
    const std::string path(job.Item->Path());
    switch (job.Result) {
      case SourceJob::Outcome::Vanished:
        return "skipped, file vanished: " + path;
      case SourceJob::Outcome::NotRegular:
        return "skipped, not a regular file: " + path;
      default:
        return "skipped, cannot read: " + job.Error;
    }
  }

  void SubmitBatch() {
    if (batch_.empty()) return;
    pool_->Submit(batch_);
    batch_.clear();
    batchBytes_ = 0;
  }

  void WriteHead() {
    std::shared_ptr<SourceJob> job = std::move(inFlight_.front());
    inFlight_.pop_front();
    pool_->Wait(job);
    inFlightBytes_ -= job->Budget;
    struct GiveBackInput {
      AddOperation& op;
      std::string& input;
      ~GiveBackInput() { op.GiveBack(input); }
    } giveBack{*this, job->Input};
    if (job->Failed) throw std::bad_alloc();
    SelectedFile& f = *job->Item;
    struct ReleaseWhenDone {
      SelectedFile& f;
      ~ReleaseWhenDone() { f.Release(); }
    } release{f};
    CheckAbort(reporter_.Call(zcaFileBegin, 0, static_cast<uint64_t>(f.Stat.Size), f.Path()));
    if (job->Skipped()) {
      Warn(zecSkipped, SkipReason(*job));
      return;
    }
    if (job->Result == SourceJob::Outcome::TooLarge) {
      StreamFile(f, job->AsRead);
      return;
    }
    WriteDirectoryEntries(f);
    EntryHeader e = MakeHeader(f, job->AsRead);
    e.Crc = job->Crc;
    e.UncompressedSize = job->Input.size();
    e.Method = job->Deflated ? kMethodDeflate : kMethodStore;
    std::string& data = job->Deflated ? job->Output : job->Input;
    if (const std::string_view password = PasswordOf(f); !password.empty()) {
      e.Flags |= kFlagEncrypted;
      ZipEncryptor enc(password);
      std::string payload = enc.Header(static_cast<uint8_t>(e.Crc >> 24), RandomSeed());
      enc.Encrypt(data.data(), data.size());
      payload += data;
      data.swap(payload);
    }
    e.CompressedSize = data.size();
    writer_->WriteEntry(e, data);
    Stored(f, job->AsRead, job->Changed, e);
    CheckAbort(reporter_.Call(zcaBytesDone, 0, e.UncompressedSize, ""));
  }

  // A large file goes out piece by piece: each piece is deflated on a worker with the previous
  // piece's tail as dictionary, and the pieces are written in order as they finish, so the
  // workers stay busy and memory stays within the budget whatever the file's size.
  void StreamFile(SelectedFile& f, const FileStat& before) {
    const int level = LevelOf(f);
    const std::string_view password = PasswordOf(f);
    std::unique_ptr<RandomAccessFile> in;
    try {
      in = env_.NewRandomAccessFile(std::string(f.Path()));
    } catch (const Exception& e) {
      Warn(zecSkipped, "skipped, cannot read: " + e.Message());
      return;
    }
    const int64_t size = in->Size();
    const bool zip64 = size >= kStreamZip64From;
    WriteDirectoryEntries(f);
    EntryHeader e = MakeHeader(f, before);
    e.Method = level > 0 ? kMethodDeflate : kMethodStore;
    if (!password.empty()) e.Flags |= kFlagEncrypted;
    writer_->BeginStreamed(e, zip64);

    std::optional<ZipEncryptor> enc;
    uint64_t written = 0;
    if (!password.empty()) {
      enc.emplace(password);
      // With a data descriptor the check byte comes from the time, as the CRC is not known yet.
      std::string header = enc->Header(static_cast<uint8_t>((e.DosDateTime >> 8) & 0xFF), RandomSeed());
      writer_->WriteData(header.data(), header.size());
      written += header.size();
    }
    auto emit = [&](std::string& bytes) {
      if (bytes.empty()) return;
      if (enc) enc->Encrypt(bytes.data(), bytes.size());
      writer_->WriteData(bytes.data(), bytes.size());
      written += bytes.size();
    };

    uint32_t crc = 0;
    int64_t read = 0;
    bool broken = false;
    std::deque<std::shared_ptr<CompressionJob>> pieces;
    int64_t pieceBytes = 0;
    auto writePiece = [&] {
      std::shared_ptr<CompressionJob> job = std::move(pieces.front());
      pieces.pop_front();
      pool_->Wait(job);
      if (job->Failed) throw std::bad_alloc();
      pieceBytes -= static_cast<int64_t>(job->Input.size());
      crc = Crc32Combine(crc, job->Crc, job->Input.size());
      emit(job->Output);
      const size_t n = job->Input.size();
      GiveBack(job->Input);
      CheckAbort(reporter_.Call(zcaBytesDone, 0, n, ""));
    };
    std::string tail;  // the last 32 KiB read: the next piece's dictionary
    {
      while (read < size) {
        auto job = std::make_shared<CompressionJob>();
        job->Input = TakeBuffer();
        job->Input.resize(static_cast<size_t>(std::min<int64_t>(tuning_.PieceSize, size - read)));
        size_t got = 0;
        try {
          got = in->ReadAt(read, job->Input.data(), job->Input.size());
        } catch (const Exception& ex) {
          Warn(zecSkipped, "skipped, read error: " + ex.Message());
          broken = true;
          break;
        }
        if (got == 0) break;  // the file shrank while being read
        job->Input.resize(got);
        read += static_cast<int64_t>(got);
        if (level == 0) {
          crc = Crc32(crc, job->Input.data(), got);
          emit(job->Input);
          GiveBack(job->Input);
          CheckAbort(reporter_.Call(zcaBytesDone, 0, got, ""));
          continue;
        }
        job->Piece = true;
        job->Level = level;
        job->Dictionary = tail;
        tail.append(job->Input, job->Input.size() - std::min(job->Input.size(), kDictionarySize));
        if (tail.size() > kDictionarySize) tail.erase(0, tail.size() - kDictionarySize);
        pieceBytes += static_cast<int64_t>(got);
        pool_->Submit(job);
        pieces.push_back(std::move(job));
        while (!pieces.empty() && pieceBytes > tuning_.MemoryBudget) writePiece();
      }
      while (!pieces.empty()) writePiece();
    }
    if (level > 0) {
      std::string end(kFinalEmptyBlock);
      emit(end);
    }
    e.Crc = crc;
    e.UncompressedSize = static_cast<uint64_t>(read);
    e.CompressedSize = written;
    // A source that broke off leaves its bytes unreferenced: the entry is closed so the file
    // stays well formed, but it is not listed in the directory.
    writer_->EndStreamed(e, zip64, !broken);
    if (broken) return;
    FileStat after = env_.Stat(std::string(f.Path()));
    Stored(f, before, !after.SameContentStamp(before) || read != before.Size, e);
  }

  void Stored(const SelectedFile& f, const FileStat& asRead, bool changed, const EntryHeader& e) {
    ++storedCount_;
    // Only what tending the sources needs is kept per file: a backup of many files keeps
    // nothing of them but their directory entries.
    if (cmd_.ResetArchiveFlag != 0 || cmd_.MoveFlag != 0) stored_.push_back({std::string(f.Path()), asRead, changed});
    if (const size_t old = ExistingIndexOf(f.StoredName()); old != kNoEntry && oldEntries_[old] == OldEntry::Replaced)
      oldEntries_[old] = OldEntry::ReplacedAndStored;
    newestNs_ = std::max(newestNs_, asRead.MTimeNs);
    if (changed) Warn(zecSkipped, "file changed while it was read: " + std::string(f.Path()));
    if (verbose_) {
      int percent = e.UncompressedSize == 0
                        ? 0
                        : static_cast<int>(100 - (e.CompressedSize * 100) / std::max<uint64_t>(e.UncompressedSize, 1));
      reporter_.Message(zecInfo, "  adding: " + e.Name + (e.Method == kMethodDeflate ? " (deflated " : " (stored ") +
                                   std::to_string(std::max(percent, 0)) + "%)");
    }
  }

  // Entries for the folders of a stored name, each once, before the first file inside it.
  void WriteDirectoryEntries(const SelectedFile& f) {
    if (cmd_.OmitDirEntries != 0) return;
    const std::string_view stored = f.StoredName();
    std::vector<std::string> parts;
    for (size_t slash = stored.find('/'); slash != std::string_view::npos; slash = stored.find('/', slash + 1))
      parts.emplace_back(stored.substr(0, slash + 1));
    for (size_t k = 0; k < parts.size(); ++k) {
      const std::string& name = parts[k];
      if (!dirNames_.insert(name).second) continue;
      // The folder on disk: the file's path less as many trailing parts as the name has below it.
      std::string path(f.Path());
      for (size_t up = parts.size() - k; up > 0; --up) path = ExcludeTrailingPathDelimiter(ExtractFilePath(path));
      FileStat st = env_.Stat(path);
      if (st.Kind != FileKind::Directory) st = f.Stat;
      EntryHeader e;
      e.Name = name;
      SetTimes(e, st.MTimeNs);
      uint32_t mode = st.Kind == FileKind::Directory && st.Mode ? st.Mode : 0755;
      e.ExternalAttributes = ((kUnixDirectory | mode) << 16) | faDirectory;
      writer_->WriteEntry(e, {});
    }
  }

  EntryHeader MakeHeader(const SelectedFile& f, const FileStat& st) {
    EntryHeader e;
    e.Name = f.StoredName();
    SetTimes(e, st.MTimeNs);
    // Where the platform keeps no permission bits (Windows), the mode follows the read-only
    // attribute, as the POSIX Env ties the two: a read-only file must not come out writable where
    // the archive is unpacked by a tool that reads the mode.
    uint32_t mode = st.Mode ? st.Mode : ((f.Attributes & faReadOnly) ? 0444 : 0644);
    e.ExternalAttributes = ((kUnixRegular | mode) << 16) | (f.Attributes & kEntryDosBits);
    return e;
  }

  void SetTimes(EntryHeader& e, int64_t mtimeNs) {
    e.DosDateTime = static_cast<uint32_t>(DateTimeToFileDate(env_.LocalTimeOf(mtimeNs)));
    e.HasUnixTime = true;
    e.UnixTime = UnixSecondsOf(mtimeNs);
  }

  bool IsNewer(const SelectedFile& f, const ExistingEntry& old) {
    if (old.Header.HasUnixTime) return UnixSecondsOf(f.Stat.MTimeNs) > old.Header.UnixTime;
    return static_cast<uint32_t>(DateTimeToFileDate(env_.LocalTimeOf(f.Stat.MTimeNs))) > old.Header.DosDateTime;
  }

  // The archive is in place: set its time and tend the sources. Nothing here may claim the
  // archive unchanged, and a stop request only ends the tending early.
  void AfterPlaced() {
    auto warn = [this](const std::string& text) {
      reporter_.Message(zecSkipped, text);
      return !reporter_.Aborted();
    };
    try {
      if (cmd_.ArchiveTimeFlag != 0 && newestNs_ != INT64_MIN) {
        try {
          env_.SetFileTime(archive_, newestNs_);
        } catch (const Exception& e) {
          warn("cannot set the archive's time: " + e.Message());
        }
      }
      TendSources(env_, stored_, cmd_.ResetArchiveFlag != 0, cmd_.MoveFlag != 0, warn);
    } catch (const std::exception& e) {
      warn(e.what());
    }
  }

  // ---- Helpers ----

  // File buffers are reused: fresh large blocks of memory cost a page fault per 4 KiB, which
  // for small files costs more than compressing them.
  std::string TakeBuffer() {
    if (spare_.empty()) return {};
    std::string b = std::move(spare_.back());
    spare_.pop_back();
    spareBytes_ -= b.capacity();
    return b;
  }

  void GiveBack(std::string& b) {
    if (b.capacity() == 0 || spareBytes_ + b.capacity() > kSpareBytes) {
      std::string().swap(b);
      return;
    }
    b.clear();
    spareBytes_ += b.capacity();
    spare_.push_back(std::move(b));
    b = std::string();
  }

  void Warn(int code, const std::string& text) { CheckAbort(reporter_.Call(zcaMessage, code, 0, text)); }

  void CheckAbort(bool aborted) {
    if (aborted) throw AbortRequested{};
  }

  void RemoveQuietly(const std::string& path) {
    if (path.empty()) return;
    try {
      env_.DeleteFile(path);
    } catch (...) {
      // Nothing more can be done; the failure that led here is the one reported.
    }
  }

  // Drops the temporary file; the old archive was never touched.
  void Discard() {
    writer_.reset();
    tempFile_.reset();
    existingFile_.reset();
    RemoveQuietly(tempPath_);
    tempPath_.clear();
  }

  Env& env_;
  const ZipCommand& cmd_;
  EngineTuning tuning_;
  EngineReporter reporter_;

  std::string archive_;
  int level_ = 9;
  std::vector<std::string> suffixes_;
  bool verbose_ = false;
  SelectionOptions selection_;
  std::string comment_;
  bool askedPassword_ = false;
  std::string askedAnswer_;

  std::unique_ptr<RandomAccessFile> existingFile_;
  std::optional<ExistingArchive> existing_;
  // The old archive's entries by name, and what becomes of each: an update of a large archive
  // holds no name twice and no node per entry.
  static std::string_view NameOfExisting(const ExistingEntry& e) { return e.Header.Name; }
  std::optional<KeyedIndexSet<ExistingEntry, &NameOfExisting>> existingByName_;
  enum class OldEntry : uint8_t { Kept, Replaced, ReplacedAndStored };
  std::vector<OldEntry> oldEntries_;  // by position in the old archive
  size_t oldEntriesCopied_ = 0;

  std::vector<SelectedFile> work_;  // the files to add, in order
  std::deque<std::shared_ptr<SourceJob>> inFlight_;  // handed out or about to be, in the files' order
  std::vector<std::shared_ptr<CompressionJob>> batch_;  // not yet handed to the workers
  size_t batchBytes_ = 0;
  int64_t inFlightBytes_ = 0;
  std::vector<std::string> spare_;
  size_t spareBytes_ = 0;
  CompressionPool* pool_ = nullptr;

  std::string tempPath_;
  std::string tempBeside_;  // what the temporary files are named after
  bool tempElsewhere_ = false;
  std::unique_ptr<WritableFile> tempFile_;
  std::unique_ptr<ArchiveWriter> writer_;
  bool writing_ = false;
  std::set<std::string> dirNames_;
  std::vector<PackedSource> stored_;
  size_t storedCount_ = 0;
  int64_t newestNs_ = INT64_MIN;
};

}  // namespace

int32_t RunZipCommand(const ZipCommand& command, const EngineTuning& tuning) {
  if (command.CheckValue != 7) return -1;
  EngineReporter check(command.CallbackProc, command.ComponentRef);
  if (!command.ArchiveName || !*command.ArchiveName || command.SpecCount < 0 ||
      (command.SpecCount > 0 && !command.Specs) || command.ExcludeCount < 0) {
    check.Message(zecBadCommand, "Invalid command: no archive name or file specifications");
    return 0;
  }
  AddOperation op(command, tuning);
  return op.Run();
}

}  // namespace dravello::zipengine
