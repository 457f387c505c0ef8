// One backup run: read the script, form the destination, collect and filter the source files,
// then copy them into a mirrored tree (CopyRun.cpp, deciding file by file in CopyDecision.h) or
// pack them into one zip archive (PackRun.cpp).
//
// A run never touches a control. It tells the person watching through RunFeedback, which the
// main window implements; the main window's RunScript, BuildDestination, RunScriptCopy and
// RunScriptPack are thin calls into TBackupRun.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/u_types.h"
#include "runtime/Classes.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipVerifier.h"

namespace dravello {

// What a run needs from the window it runs in.
class RunFeedback {
 public:
  virtual ~RunFeedback() = default;
  // The status line only; an empty text shows the idle line.
  virtual void ShowStatus(const std::string& text) = 0;
  // The status line, and the log when the text is not empty.
  virtual void ShowAndLog(const std::string& text) = 0;
  // A phase of `steps` steps begins: the progress bar's maximum, then the bar and the time
  // measurement start afresh.
  virtual void StartPhase(int32_t steps) = 0;
  virtual void StepProgress() = 0;
  // The sink of every guarded step: one log line, one more counted failure.
  virtual void ReportError(const std::string& description, const std::string& failure) = 0;
  // An error box with an OK button, as the run shows it to the person in front of the window.
  virtual void ShowErrorBox(const std::string& text, const std::string& caption) = 0;
  virtual void ProcessMessages() = 0;
  // A run begins (`script` not empty: its name prefixes the log lines, the script controls are
  // disabled) or ends (empty: the controls come back).
  virtual void SetRunningScript(const std::string& script) = 0;
  // Failures counted so far, by ReportError.
  virtual int FailuresSoFar() const = 0;
  // A run ended with `failed` failed steps (more than none): say so where the idle line would be.
  virtual void ShowRunFailures(int failed) = 0;
};

class TBackupRun {
 public:
  // `iniFile` holds the scripts; `appDir` is the program's folder (with a trailing separator),
  // where ZIPENGINE.DLL must be found unless the archiver names another; `journalStem` names the
  // run journals (see RunJournal.h).
  TBackupRun(RunFeedback& feedback, TZipArchiver& zip, std::string iniFile, std::string appDir,
             std::string journalStem);

  // Runs the script `name` from start to end. Whatever fails is in the log with the script's
  // name before the finish line and counts as a failure; the end steps always run.
  void RunScript(const std::string& name);

  // What a run of the script `name` would do, without doing any of it: reads the script,
  // forms the destination, collects and filters the files and decides, as the run would, which
  // it would copy or pack. Hands `print` one line per such file ("<file> -> <copy or archive>"),
  // then the count line the run would log. Writes nothing at all: no folder, no journal, no
  // archive, no attribute, no log line; what fails goes to ReportError. True when it got as far
  // as the decision.
  bool PreviewScript(const std::string& name, const std::function<void(const std::string&)>& print);

  // The destination of a run: a folder (copy mode, created here) or an archive name (pack mode).
  std::string BuildDestination(const std::string& path, uint8_t format, bool pack);
  // The same name without creating anything (a folder with a trailing separator).
  static std::string DestinationFor(const std::string& path, uint8_t format, bool pack);

  void RunScriptCopy(const std::string& destination, TStringList& files, TStringList& dirs, bool useArchive,
                     bool removeArchive);
  void RunScriptPack(const std::string& archive, TStringList& files, bool useArchive, bool removeArchive);
  // A packed file as it was before packing began.
  struct TPackedSource {
    std::string Path;
    FileStat AsRead;
  };
  // Reads the archive just written back and checks every entry: "Verifying", a progress phase,
  // a failed step for each entry that does not hold what was written, "Verified". True when all
  // of it checked out.
  bool VerifyArchive(const std::string& archive);
  // After a good check: makes the archive's place durable, then clears the archive attribute of
  // every source whose entry holds it as it was before packing and that is unchanged since.
  void ClearArchiveBits(const std::string& archive, const std::vector<TPackedSource>& sources);
  // The archiver's progress while packing.
  void ZipProgress(ProgressType kind, const std::string& fileName, uint32_t fileSize);

  // Runs `work` as a guarded step: any failure inside is caught and handed to ReportError with
  // the description, which is only put together when something failed.
  void Guarded(const std::function<std::string()>& description, const std::function<void()>& work);

 private:
  // The files of the script's sources that pass its filters, sorted. The folder `leaveOut` (the
  // destination's root) is not searched, and the file `leaveOutFile` (a fixed archive) is left
  // out, wherever a source reaches them.
  void CollectAndFilter(const TBackupScript& script, TStringList& files, const std::string& leaveOut,
                        const std::string& leaveOutFile);
  // Says once per run when the archive attribute cannot be kept where the sources are.
  void CheckArchiveAttributeKept(const TBackupScript& script);
  // After a run without failures: removes the dated backups in the destination beyond the
  // script's KeepBackups newest, never `justWritten`, each a guarded step with its log line.
  void RemoveOldBackups(const TBackupScript& script, const std::string& justWritten);
  // Whether the run is done with the engine file it needs: false (and the failure reported as
  // the run reports it) for a pack script whose ZIPENGINE.DLL is not there.
  bool EngineThere(const TBackupScript& script, bool showBox);
  // The files of the run for `script` with the destination `destination`.
  void CollectForRun(const TBackupScript& script, const std::string& destination, TStringList& files);
  // Checks the source's state and decides as a copy run does; raises for a source that is no
  // regular file (any more), as the copy run reports it.
  static bool SourceNeedsCopy(Env& env, const std::string& src, const std::string& dst, bool useArchive);

  RunFeedback& feedback_;
  TZipArchiver& zip_;
  std::string iniFile_;
  std::string appDir_;
  std::string journalStem_;
  bool saidArchiveAttribute_ = false;
  std::vector<ZipVerifyEntry> verifiedEntries_;  // of the archive VerifyArchive last found good
};

}  // namespace dravello
