// Pack mode: the selected files go into one zip archive through the archiver component, which
// extends an archive that exists already.
#include <limits>
#include <vector>

#include "app/BackupRun.h"
#include "lang/u_language.h"
#include "runtime/SysUtils.h"
#include "zip/ZipEngineApi.h"
#include "zip/ZipMessages.h"

namespace dravello {

namespace {

// One archive option bit per member of the add options set.
constexpr uint32_t Bit(AddOptsEnum member) { return 1u << member; }

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

  AddOpts options = Bit(AddDirNames) | Bit(AddHiddenFiles);
  if (useArchive) options |= Bit(AddArchiveOnly);
  if (removeArchive) options |= Bit(AddResetArchive);
  zip_.SetAddOptions(options);
  zip_.SetFSpecArgs(&files);
  files.Clear();  // the archiver holds its own copy; one is enough for a backup of many files
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
  feedback_.ShowAndLog(MessageText("fM_stbPackDone"));
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
