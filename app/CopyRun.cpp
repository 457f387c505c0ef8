// Copy mode: every selected file that is newer than its copy (or, with the archive attribute,
// marked as changed) is copied into the mirrored tree below the destination.
#include "app/BackupRun.h"
#include "app/CopyDecision.h"
#include "lang/u_language.h"
#include "runtime/SysUtils.h"

namespace dravello {

void TBackupRun::RunScriptCopy(const std::string& destination, TStringList& files, TStringList& dirs, bool useArchive,
                               bool removeArchive) {
  Env& env = Env::Default();
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
  int copied = 0;
  for (const std::string& src : files) {
    const std::string dst = destination + PathWithoutDrive(src);
    Guarded([&] { return MessageTextFmt("fM_stbCopyingErr", {src, dst}); },
            [&] {
              feedback_.StepProgress();
              feedback_.ShowStatus(MessageTextFmt("fM_stbCopying", {ExtractFileName(src)}));
              feedback_.ProcessMessages();
              const FileStat srcStat = env.Stat(src);
              if (srcStat.Kind != FileKind::Regular)
                throw EInOutError("Cannot open \"" + src + "\": the file no longer exists or is no regular file", 0);
              if (!ShouldCopy(env.FileAgeOf(srcStat), env.FileAge(dst), useArchive,
                              [&] { return env.GetAttributes(src); }))
                return;
              const CopiedFile done = CopyFileSafely(env, src, dst);
              // Cleared only when the source is unchanged since it was read for this copy: a
              // change made meanwhile must be picked up by the next run.
              if (removeArchive && (done.SourceAttributes & faArchive) &&
                  env.Stat(src).SameContentStamp(done.Source))
                env.SetAttributes(src, done.SourceAttributes & ~faArchive, &done.Source);
              ++copied;
            });
  }
  feedback_.ShowAndLog(MessageTextFmt("fM_stbCopied", {int64_t{copied}}));
}

}  // namespace dravello
