// Copy mode: every selected file that is newer than its copy (or, with the archive attribute,
// marked as changed) is copied into the mirrored tree below the destination.
#include <vector>

#include "app/BackupRun.h"
#include "app/CopyDecision.h"
#include "runtime/Lookahead.h"
#include "lang/u_language.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

// A cleared archive bit tells the next run that the file is safely backed up, so it is cleared
// only once the copy that backs it is on disk: copies are made and renamed into place in
// batches, then one sync of the destination's file system covers the whole batch (far cheaper
// than a sync per file), then the bits of the files it covers are cleared. A run stopped in
// between leaves those bits set, and the next run copies the files again.
class ArchiveBitsAfterSync {
 public:
  static constexpr size_t kMaxFiles = 2000;
  static constexpr int64_t kMaxBytes = 256 << 20;

  ArchiveBitsAfterSync(Env& env, TBackupRun& run, std::string destination)
      : env_(env), run_(run), destination_(std::move(destination)) {}

  void Add(const std::string& source, const CopiedFile& copy) {
    pending_.push_back({source, copy});
    bytes_ += copy.Source.Size;
    if (pending_.size() >= kMaxFiles || bytes_ >= kMaxBytes) Flush();
  }

  void Flush() {
    if (pending_.empty()) return;
    std::vector<Pending> batch;
    batch.swap(pending_);
    bytes_ = 0;
    bool synced = false;
    run_.Guarded([&] { return MessageTextFmt("fM_stbSyncErr", {destination_}); },
                 [&] {
                   env_.SyncFileSystem(destination_);
                   synced = true;
                 });
    if (!synced) return;  // the bits stay set: the copies are made again next run
    for (const Pending& p : batch) {
      // Cleared only when the source is unchanged since it was read for its copy: a change made
      // meanwhile must be picked up by the next run.
      run_.Guarded([&] { return MessageTextFmt("fM_stbCopyingErr", {p.Source, destination_}); },
                   [&] {
                     if (env_.Stat(p.Source).SameContentStamp(p.Copy.Source))
                       env_.SetAttributes(p.Source, p.Copy.SourceAttributes & ~faArchive, &p.Copy.Source);
                   });
    }
  }

 private:
  struct Pending {
    std::string Source;
    CopiedFile Copy;
  };
  Env& env_;
  TBackupRun& run_;
  std::string destination_;
  std::vector<Pending> pending_;
  int64_t bytes_ = 0;
};

}  // namespace

bool TBackupRun::SourceNeedsCopy(Env& env, const std::string& src, const std::string& dst, bool useArchive) {
  const FileStat srcStat = env.Stat(src);
  if (srcStat.Kind != FileKind::Regular)
    throw EInOutError("Cannot open \"" + src + "\": the file no longer exists or is no regular file", 0);
  return ShouldCopy(env.FileAgeOf(srcStat), env.FileAge(dst), useArchive, [&] { return env.GetAttributes(src); });
}

void TBackupRun::RunScriptCopy(const std::string& destination, TStringList& files, TStringList& dirs, bool useArchive,
                               bool removeArchive) {
  Env& env = Env::Default();
  // The look-ups start at once, so that on a rerun they go on while the folders are seen to.
  enum class Verdict : uint8_t { Skip, Copy };
  Lookahead<Verdict> lookahead(env, static_cast<size_t>(files.Count()), [&](size_t i) {
    const std::string& src = files[static_cast<int>(i)];
    return SourceNeedsCopy(env, src, destination + PathWithoutDrive(src), useArchive) ? Verdict::Copy : Verdict::Skip;
  });
  feedback_.ShowAndLog(MessageTextFmt("fM_stbProcPath", {int64_t{dirs.Count()}}));
  feedback_.StartPhase(dirs.Count());
  for (const std::string& dir : dirs) {
    feedback_.StepProgress();
    const std::string target = destination + PathWithoutDrive(dir);
    Guarded([&] { return MessageTextFmt("fM_stbCreatePathErr", {target}); },
            [&] {
              if (!env.DirectoryExists(target))
                env.ForceDirectories(target);
              else  // copies of a run that was killed midway, which no rename will ever complete
                env.RemoveStaleTempFiles(target);
            });
  }

  feedback_.ShowAndLog(MessageTextFmt("fM_stbProcFile", {int64_t{files.Count()}}));
  feedback_.StartPhase(files.Count());
  ArchiveBitsAfterSync archiveBits(env, *this, destination);
  int copied = 0;
  for (int i = 0; i < files.Count(); ++i) {
    const std::string& src = files[i];
    const std::string dst = destination + PathWithoutDrive(src);
    Guarded([&] { return MessageTextFmt("fM_stbCopyingErr", {src, dst}); },
            [&] {
              feedback_.StepProgress();
              feedback_.ShowStatus(MessageTextFmt("fM_stbCopying", {ExtractFileName(src)}));
              feedback_.ProcessMessages();
              if (lookahead.Take(static_cast<size_t>(i)) == Verdict::Skip) return;
              const CopiedFile done = CopyFileSafely(env, src, dst);
              if (removeArchive && (done.SourceAttributes & faArchive)) archiveBits.Add(src, done);
              ++copied;
            });
  }
  archiveBits.Flush();
  feedback_.ShowAndLog(MessageTextFmt("fM_stbCopied", {int64_t{copied}}));
}

}  // namespace dravello
