// A run from start to end: the script, the destination, the files; copy and pack mode are in
// CopyRun.cpp and PackRun.cpp.
#include "app/BackupRun.h"

#include <exception>
#include <optional>
#include <vector>

#include "app/CopyDecision.h"
#include "app/Retention.h"
#include "app/RunJournal.h"
#include "app/ScriptStore.h"
#include "lang/u_language.h"
#include "runtime/Clock.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

std::string ErrorText(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown failure";
  }
}

}  // namespace

TBackupRun::TBackupRun(RunFeedback& feedback, TZipArchiver& zip, std::string iniFile, std::string appDir,
                       std::string journalStem)
    : feedback_(feedback),
      zip_(zip),
      iniFile_(std::move(iniFile)),
      appDir_(std::move(appDir)),
      journalStem_(std::move(journalStem)) {}

void TBackupRun::Guarded(const std::function<std::string()>& description, const std::function<void()>& work) {
  try {
    work();
  } catch (...) {
    const std::string failure = ErrorText(std::current_exception());
    std::string what;
    try {
      what = description();
    } catch (const std::exception& e) {
      what = e.what();
    }
    feedback_.ReportError(what, failure);
  }
}

void TBackupRun::RunScript(const std::string& name) {
  const int failuresBefore = feedback_.FailuresSoFar();
  feedback_.SetRunningScript(name);
  feedback_.ShowAndLog(MessageText("fM_stbScrStart"));

  // From here on the end steps run however the run ends: the finish line, then the idle line or,
  // when a step failed, how many failed, and the controls back.
  struct EndSteps {
    TBackupRun& run;
    int failuresBefore;
    ~EndSteps() {
      RunFeedback& f = run.feedback_;
      f.ShowAndLog(MessageText("fM_stbScrFinish"));
      f.ShowAndLog("");
      const int failed = f.FailuresSoFar() - failuresBefore;
      if (failed > 0) f.ShowRunFailures(failed);
      f.SetRunningScript("");
    }
  } endSteps{*this, failuresBefore};
  saidArchiveAttribute_ = false;

  // A step that ends the run shows its box, and logs the same as any failed step, before the
  // finish line.
  auto endsTheRun = [this](const std::string& description, const std::string& failure, const std::string& caption) {
    feedback_.ReportError(description, failure);
    feedback_.ShowErrorBox(failure, caption);
  };

  TBackupScript script;
  script.Name = name;
  try {
    ReadScript(iniFile_, script);
  } catch (...) {
    endsTheRun(MessageText("fM_stbIniReadErr"), ErrorText(std::current_exception()), "");
    return;
  }

  // What runs killed midway left under temporary names where no later run of theirs looks.
  TRunJournal::TidyAfterEndedRuns(journalStem_);

  if (!EngineThere(script, true)) return;

  std::string destination;
  try {
    destination = BuildDestination(script.DstPath, script.DstFormat, !script.CopyFiles);
  } catch (...) {
    endsTheRun(MessageTextFmt("fM_stbCreatePathErr", {script.DstPath}), ErrorText(std::current_exception()), "");
    return;
  }
  std::optional<TRunJournal> journal;
  if (script.CopyFiles) {
    journal.emplace(journalStem_, std::vector<std::string>{destination}, std::vector<std::string>{});
  } else {
    std::vector<std::string> archives{destination};
    if (!zip_.TempDir().empty()) archives.push_back(AddBackslash(zip_.TempDir()) + ExtractFileName(destination));
    journal.emplace(journalStem_, std::vector<std::string>{}, archives);
  }
  feedback_.ShowAndLog(MessageText("fM_stbRetrieving"));
  CheckArchiveAttributeKept(script);
  TStringList files;
  CollectForRun(script, destination, files);

  if (script.CopyFiles) {
    feedback_.ProcessMessages();
    TStringList dirs;
    dirs.SetExactDuplicates(!FileNamesIgnoreCase);
    // A folder's files are mostly neighbours in the list: each run of them adds their folder
    // once, rather than once per file only for the sort to drop all but one.
    std::string previous;
    for (const std::string& file : files) {
      std::string dir = ExtractFilePath(file);
      if (dir != previous) {
        previous = dir;
        dirs.Add(std::move(dir));
      }
      feedback_.ProcessMessages();
    }
    dirs.SetSorted(true);
    Guarded([] { return std::string("RunScriptCopy"); },
            [&] { RunScriptCopy(destination, files, dirs, script.UseArchiveAttrib, script.RemArchiveAttrib); });
  } else {
    Guarded([] { return std::string("RunScriptPack"); },
            [&] { RunScriptPack(destination, files, script.UseArchiveAttrib, script.RemArchiveAttrib); });
  }
  // Old backups go only after a run that backed up everything it was to back up.
  if (feedback_.FailuresSoFar() == failuresBefore) RemoveOldBackups(script, destination);
}

bool TBackupRun::EngineThere(const TBackupScript& script, bool showBox) {
  const std::string engineDir = zip_.DLLDirectory().empty() ? appDir_ : AddBackslash(zip_.DLLDirectory());
  if (script.CopyFiles || Env::Default().FileExists(engineDir + "ZIPENGINE.DLL")) return true;
  feedback_.ReportError("ZIPENGINE.DLL", MessageText("fM_msgDLL_txt"));
  if (showBox) feedback_.ShowErrorBox(MessageText("fM_msgDLL_txt"), MessageText("fM_msgDLL_cap"));
  return false;
}

void TBackupRun::CollectForRun(const TBackupScript& script, const std::string& destination, TStringList& files) {
  // The backups themselves are never backed up again: the folder under which the run writes
  // (a fixed archive: that archive) is left out wherever a source reaches it.
  const bool fixedArchive = !script.CopyFiles && script.DstFormat == 2;
  CollectAndFilter(script, files, fixedArchive ? std::string() : script.DstPath,
                   fixedArchive ? destination : std::string());
  // Listing and sorting many names needed room that the run needs no more.
  Env::Default().ReleaseFreedMemory();
}

bool TBackupRun::PreviewScript(const std::string& name, const std::function<void(const std::string&)>& print) {
  TBackupScript script;
  script.Name = name;
  try {
    ReadScript(iniFile_, script);
  } catch (...) {
    feedback_.ReportError(MessageText("fM_stbIniReadErr"), ErrorText(std::current_exception()));
    return false;
  }
  if (!EngineThere(script, false)) return false;
  std::string destination;
  try {
    destination = DestinationFor(script.DstPath, script.DstFormat, !script.CopyFiles);
  } catch (...) {
    feedback_.ReportError(MessageTextFmt("fM_stbCreatePathErr", {script.DstPath}), ErrorText(std::current_exception()));
    return false;
  }
  TStringList files;
  CollectForRun(script, destination, files);

  Env& env = Env::Default();
  if (script.CopyFiles) {
    int64_t copied = 0;
    for (const std::string& src : files) {
      const std::string dst = destination + PathWithoutDrive(src);
      Guarded([&] { return MessageTextFmt("fM_stbCopyingErr", {src, dst}); },
              [&] {
                if (!SourceNeedsCopy(env, src, dst, script.UseArchiveAttrib)) return;
                print(src + " -> " + dst);
                ++copied;
              });
    }
    print(MessageTextFmt("fM_stbCopied", {copied}));
  } else {
    // The engine packs every file it is handed; with the archive attribute only those that
    // carry it. The run counts every file it hands over.
    for (const std::string& src : files) {
      if (script.UseArchiveAttrib) {
        const std::optional<uint32_t> attrs = env.GetAttributes(src);
        if (attrs && !(*attrs & faArchive)) continue;
      }
      print(src + " -> " + destination);
    }
    print(MessageTextFmt("fM_stbPacking", {int64_t{files.Count()}}));
  }
  return true;
}

void TBackupRun::RemoveOldBackups(const TBackupScript& script, const std::string& justWritten) {
  if (script.KeepBackups < 1 || (script.DstFormat != 0 && script.DstFormat != 1)) return;
  Env& env = Env::Default();
  const bool pack = !script.CopyFiles;
  std::vector<TDatedBackup> beyond;
  Guarded([&] { return MessageTextFmt("fM_stbRemoveOldErr", {ExcludeTrailingPathDelimiter(script.DstPath)}); },
          [&] {
            beyond = BackupsBeyond(ListDatedBackups(env, script.DstPath, script.DstFormat, pack), script.KeepBackups,
                                   justWritten);
          });
  for (const TDatedBackup& old : beyond) {
    Guarded([&] { return MessageTextFmt("fM_stbRemoveOldErr", {old.Path}); },
            [&] {
              feedback_.ProcessMessages();
              RemoveBackup(env, old.Path);
              feedback_.ShowAndLog(MessageTextFmt("fM_stbRemovedOld", {old.Path}));
            });
  }
}

void TBackupRun::CollectAndFilter(const TBackupScript& script, TStringList& files, const std::string& leaveOut,
                                  const std::string& leaveOutFile) {
  TStringList filters;
  TStringList sources;
  filters.SetDuplicates(TDuplicates::dupAccept);
  sources.SetDuplicates(TDuplicates::dupAccept);
  // Sorted by the locale comparison with duplicates ignored; filled unsorted and sorted once,
  // which gives the same result as sorted insertion in O(n log n).
  files.SetExactDuplicates(!FileNamesIgnoreCase);
  filters.SetCommaText(script.SrcExt);
  if (filters.Count() == 0) filters.Add("*");
  sources.SetCommaText(script.SrcPath);

  bool saidLeftOut = false;
  TCollectOptions options;
  options.ProcessMessages = [this] { feedback_.ProcessMessages(); };
  // A folder that cannot be listed is one failed step; its siblings are still backed up.
  options.OnFolderError = [this](const std::string& dir, const std::string& failure) {
    feedback_.ReportError(MessageTextFmt("fM_stbRetrievingErr", {dir}), failure);
  };
  options.LeaveOutFolder = leaveOut;
  options.LeaveOutFile = leaveOutFile;
  options.OnLeftOut = [&](const std::string&) {
    if (saidLeftOut) return;
    saidLeftOut = true;
    feedback_.ShowAndLog(
        MessageTextFmt("fM_stbDestInSource", {leaveOut.empty() ? leaveOutFile : ExcludeTrailingPathDelimiter(leaveOut)}));
  };
  for (const std::string& item : sources) {
    Guarded([&] { return MessageTextFmt("fM_stbRetrievingErr", {item.empty() ? item : item.substr(1)}); },
            [&] {
              feedback_.ProcessMessages();
              if (item.empty()) throw EConvertError("Empty source entry");
              CollectFiles(files, item.substr(1), item[0] == '1', options);
            });
  }
  files.SetSorted(true);

  // Walked from the last entry to the first; what is decided stays decided even when a later
  // entry fails, so the list is used as it stands at that moment.
  std::vector<char> remove(static_cast<size_t>(files.Count()), 0);
  Guarded([] { return MessageText("fM_stbSortErr"); },
          [&] {
            for (int i = files.Count() - 1; i >= 0; --i) {
              if (i % 25 == 0) feedback_.ProcessMessages();
              remove[static_cast<size_t>(i)] = FileNameMatchesAny(files[i], filters) != script.InclFiles;
            }
          });
  files.DeleteWhere([&](int i) { return remove[static_cast<size_t>(i)] != 0; });
}

void TBackupRun::CheckArchiveAttributeKept(const TBackupScript& script) {
  if (!script.UseArchiveAttrib && !script.RemArchiveAttrib) return;
  TStringList sources;
  sources.SetDuplicates(TDuplicates::dupAccept);
  sources.SetCommaText(script.SrcPath);
  Env& env = Env::Default();
  for (const std::string& item : sources) {
    if (item.size() < 2 || saidArchiveAttribute_) continue;
    const std::string dir = item.substr(1);
    if (!env.DirectoryExists(dir) || env.KeepsArchiveAttribute(dir)) continue;
    saidArchiveAttribute_ = true;
    feedback_.ShowAndLog(MessageTextFmt("fM_stbNoArchiveAttr", {dir}));
  }
}

std::string TBackupRun::BuildDestination(const std::string& path, uint8_t format, bool pack) {
  const std::string result = DestinationFor(path, format, pack);
  if (pack) return result;
  Env& env = Env::Default();
  if (!env.DirectoryExists(result)) env.ForceDirectories(result);
  return result;
}

std::string TBackupRun::DestinationFor(const std::string& path, uint8_t format, bool pack) {
  const std::string p = AddBackslash(path);
  // Without a folder the destination would be the file system's root, where a mirror of the
  // sources lands on the sources themselves.
  if (p.size() == 1) throw EConvertError("No destination folder is set for this script");
  const TDateTimeParts t = Clock::Default().Now();
  std::string result;
  switch (format) {
    case 0:
      result = p + FormatDateTime("yyyy-mm-dd hh-nn", t);
      break;
    case 1:
      result = AddBackslash(p + FormatDateTime("yyyy", t)) + FormatDateTime("mmddhhnn", t);
      break;
    case 2:
      result = ExcludeTrailingPathDelimiter(p);
      break;
    default:
      throw EConvertError(Format("Unknown destination format %d (0, 1 or 2 expected)", {int64_t{format}}));
  }
  if (pack) return result + ".zip";
  return AddBackslash(result);
}

}  // namespace dravello
