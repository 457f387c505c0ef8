// Pack mode: the selected files go into one zip archive through the archiver component, which
// extends an archive that exists already. Then the archive is read back and every entry checked
// (ZipVerifier.h); only then, and only when all of it checked out, do the packed files lose their
// archive attribute.
#include <algorithm>
#include <limits>
#include <unordered_map>
#include <vector>

#include "app/BackupRun.h"
#include "lang/u_language.h"
#include "runtime/DateTime.h"
#include "runtime/SysUtils.h"
#include "zip/ZipEngineApi.h"
#include "zip/ZipMessages.h"
#include "zip/ZipVerifier.h"

namespace dravello {

namespace {

// One archive option bit per member of the add options set.
constexpr uint32_t Bit(AddOptsEnum member) { return 1u << member; }

// The name the engine gives the entry of a file packed by its full path: "/" separators, no
// drive, no empty, "." or ".." parts.
std::string EntryNameOf(const std::string& path) {
  std::string p = path;
  if (PathDelim != '/') std::replace(p.begin(), p.end(), PathDelim, '/');
  p = PathWithoutDrive(p);
  std::string out;
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    const std::string_view part(p.data() + i, j - i);
    if (!part.empty() && part != "." && part != "..") {
      if (!out.empty()) out += '/';
      out += part;
    }
    i = j + 1;
  }
  return out;
}

int64_t UnixSeconds(int64_t mtimeNs) {
  return mtimeNs >= 0 ? mtimeNs / 1000000000 : -((-mtimeNs + 999999999) / 1000000000);
}

// Whether the entry holds the file as it was before packing began: its size, and its last-write
// time as the entry keeps it (the extended timestamp, else the MS-DOS time).
bool EntryHoldsFileAsRead(Env& env, const ZipVerifyEntry& entry, const FileStat& asRead) {
  if (entry.UncompressedSize != static_cast<uint64_t>(asRead.Size)) return false;
  if (entry.UnixTime) return *entry.UnixTime == UnixSeconds(asRead.MTimeNs);
  return static_cast<uint32_t>(DateTimeToFileDate(env.LocalTimeOf(asRead.MTimeNs))) == entry.DosDateTime;
}

}  // namespace

void TBackupRun::RunScriptPack(const std::string& archive, TStringList& files, bool useArchive, bool removeArchive) {
  Env& env = Env::Default();
  const std::string dir = ExtractFilePath(archive);
  if (!dir.empty() && !env.DirectoryExists(dir)) env.ForceDirectories(dir);
  feedback_.ShowAndLog(MessageTextFmt("fM_stbPacking", {int64_t{files.Count()}}));

  // The archiver tells of failures only in messages carrying a code: the directory reader's
  // (an archive at the destination that is not one), and the engine's, among them every file it
  // had to leave out. A successful add re-reads the archive and clears ErrCode again, so such a
  // file would drop out of the backup without a trace: each is logged and counted, as a copy run
  // logs a file it cannot copy. The handler lives only for this run.
  std::vector<std::string> reports;
  zip_.OnMessage = [&reports](TObject*, int32_t code, const std::string& message) {
    // Nothing new to add is no failure of a backup: a quiet night is a good night.
    if (code != 0 && (code & 0xFF) != zecNothingToDo) reports.push_back(message);
  };
  struct DetachHandler {
    TZipArchiver& zip;
    ~DetachHandler() { zip.OnMessage = nullptr; }
  } detach{zip_};

  zip_.SetZipFileName(archive);
  const int32_t listed = zip_.ErrCode();
  if (listed == zmStructureWarning || listed == zmGarbageWarning) {
    feedback_.ShowAndLog(zip_.Message());
  } else if (listed != 0) {
    // The file at the archive's place is no archive this run can extend; it stays as it is, and
    // the log says what the reader found rather than that no archive was named.
    feedback_.ReportError(MessageText("fM_stbPackingErr"), zip_.Message());
    feedback_.ShowAndLog(MessageText("fM_stbPackDone"));
    return;
  }
  // The run needed only the reader's verdict: the entries it read would be held through the
  // whole add, beside the engine's own reading of the same directory.
  zip_.ClearZipContents();

  // The engine is not asked to clear archive bits: that waits until the archive has been read
  // back. What each file looked like before packing began tells then whether its entry holds it
  // and whether it changed since.
  AddOpts options = Bit(AddDirNames) | Bit(AddHiddenFiles);
  if (useArchive) options |= Bit(AddArchiveOnly);
  zip_.SetAddOptions(options);
  std::vector<TPackedSource> sources;
  if (removeArchive) {
    sources.reserve(static_cast<size_t>(files.Count()));
    for (const std::string& file : files) {
      const FileStat st = env.Stat(file);
      if (st.Kind == FileKind::Regular) sources.push_back({file, st});
    }
  }
  zip_.TakeFSpecArgs(files);  // one list is enough for a backup of many files
  zip_.SetTrace(false);
  zip_.SetVerbose(false);
  Guarded([] { return MessageText("fM_stbPackingErr"); },
          [&] {
            reports.clear();
            const int32_t result = zip_.Add();
            for (const std::string& report : reports) feedback_.ReportError(MessageText("fM_stbPackingErr"), report);
            // The archiver reports its own failures (an engine that failed as a whole, say) with
            // no code, so they are not among the reports; a backup that packed nothing must still
            // show up in the log and the exit status, once. Nothing to pack, or nothing new, is no
            // failure.
            const bool alreadyLogged = !reports.empty() && reports.back() == zip_.Message();
            const bool normal = result == 0 || result == zmNoFilesToZip || result == zecNothingToDo;
            if (!normal && !alreadyLogged) feedback_.ReportError(MessageText("fM_stbPackingErr"), zip_.Message());
          });
  const int32_t added = zip_.AddedCount();
  // The archiver's copy of the file list and the directory it read after writing are not needed
  // again in this run; a backup of many files lets them go before reading the archive back,
  // which holds its own directory meanwhile.
  zip_.SetFSpecArgs(nullptr);
  zip_.SetZipFileName("");
  env.ReleaseFreedMemory();
  // An archive was written (the engine says how many files it stored in it): read it back.
  if (added > 0) {
    bool good = false;
    Guarded([&] { return MessageTextFmt("fM_stbVerifyErr", {archive}); }, [&] { good = VerifyArchive(archive); });
    if (good && removeArchive) ClearArchiveBits(archive, sources);
  }
  feedback_.ShowAndLog(MessageText("fM_stbPackDone"));
}

bool TBackupRun::VerifyArchive(const std::string& archive) {
  verifiedEntries_.clear();
  ZipVerifier verifier(Env::Default(), archive);
  if (!verifier.ReadDirectory()) {
    feedback_.ReportError(MessageTextFmt("fM_stbVerifyErr", {archive}), verifier.Problem());
    return false;
  }
  const int files = verifier.FileCount();
  feedback_.ShowAndLog(MessageTextFmt("fM_stbVerifying", {int64_t{files}}));
  feedback_.StartPhase(files);
  int64_t good = 0;
  ZipVerifier::Options options;
  options.OnChecked = [&](const ZipVerifyEntry& entry, const std::string* problem) {
    if (problem)
      feedback_.ReportError(MessageTextFmt("fM_stbVerifyErr", {entry.Name}), *problem);
    else if (!entry.IsDirectory)
      ++good;
    if (!entry.IsDirectory) {
      Guarded([] { return MessageText("fM_stbStepProgBarErr"); }, [&] { feedback_.StepProgress(); });
    }
  };
  const std::vector<ZipVerifyProblem> problems = verifier.Check(options);
  feedback_.ShowAndLog(MessageTextFmt("fM_stbVerified", {good}));
  if (!problems.empty()) return false;
  verifiedEntries_ = verifier.TakeEntries();
  return true;
}

void TBackupRun::ClearArchiveBits(const std::string& archive, const std::vector<TPackedSource>& sources) {
  Env& env = Env::Default();
  // Durable before it counts: the engine wrote the archive's data to disk before renaming it
  // into place; the rename itself is made durable here before the first bit goes.
  bool synced = false;
  Guarded([&] { return MessageTextFmt("fM_stbSyncArchiveErr", {archive}); },
          [&] {
            const std::string folder = ExtractFilePath(archive);
            env.SyncDir(folder.empty() ? env.GetCurrentDir() : folder);
            synced = true;
          });
  if (!synced) return;  // the bits stay set: the files are packed again next run
  std::unordered_map<std::string, const ZipVerifyEntry*> byName;
  for (const ZipVerifyEntry& e : verifiedEntries_) byName[e.Name] = &e;
  constexpr uint32_t kDosBits = faReadOnly | faHidden | faSysFile | faArchive;
  int step = 0;
  for (const TPackedSource& source : sources) {
    if (++step % 64 == 0) feedback_.ProcessMessages();
    const auto it = byName.find(EntryNameOf(source.Path));
    // Not packed (left out by the engine, which said why), or the entry holds another state of
    // the file (it changed before it was read): the bit stays, the file goes again next run.
    if (it == byName.end() || !EntryHoldsFileAsRead(env, *it->second, source.AsRead)) continue;
    Guarded([&] { return MessageTextFmt("fM_stbArchiveBitErr", {source.Path}); },
            [&] {
              const FileStat now = env.Stat(source.Path);
              if (now.Kind != FileKind::Regular || !now.SameContentStamp(source.AsRead))
                throw EInOutError("The file changed after it was packed; it keeps its archive attribute", 0);
              const std::optional<uint32_t> attrs = env.GetAttributesOf(source.Path, now);
              if (attrs && (*attrs & faArchive))
                env.SetAttributes(source.Path, *attrs & kDosBits & ~faArchive, &source.AsRead);
            });
  }
}

void TBackupRun::ZipProgress(ProgressType kind, const std::string& fileName, uint32_t fileSize) {
  switch (kind) {
    case ptFileBegin:
      Guarded([] { return MessageText("fM_stbStepProgBarErr"); },
              [&] {
                feedback_.StepProgress();
                feedback_.ShowStatus(MessageTextFmt("fM_stbPackingFile", {ExtractFileName(fileName)}));
              });
      break;
    case ptTotalFiles:
      Guarded([] { return MessageText("fM_stbResetProgBarErr"); },
              [&] {
                if (fileSize > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
                  throw ERangeError("Range check error");
                feedback_.StartPhase(static_cast<int32_t>(fileSize));
              });
      break;
    default:
      break;
  }
}

}  // namespace dravello
