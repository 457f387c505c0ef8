// Copy-mode runs end to end through the main window, on real temporary trees.
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "runtime/SysUtils.h"
#include "tests/app/AppFixture.h"
#include "tests/support/FaultEnv.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

class CopyRunTest : public AppFixture {
 protected:
  // A copy script named Daily over the given source items, into dst/ with a fixed path.
  void Script(const std::string& srcPath, const std::string& srcExt = "", bool incl = true, int format = 2,
              bool useArchive = false, bool removeArchive = false) {
    WriteIni({"[scripts]", "Daily=", "[script: Daily]", "CopyFiles=1", "DstPath=" + Path("dst"),
              "DstFormat=" + std::to_string(format), "SrcPath=" + srcPath, "SrcExt=" + srcExt,
              "UseArchiveAttrib=" + std::string(useArchive ? "1" : "0"),
              "RemArchiveAttrib=" + std::string(removeArchive ? "1" : "0"), "InclFiles=" + std::string(incl ? "1" : "0")});
  }
  std::string Source(const std::string& rel) { return "\"1" + Path(rel) + "\""; }
  // Where the copy of a file below the temporary folder lands in a fixed-path destination.
  std::string Mirror(const std::string& rel) const { return "dst/" + PathWithoutDrive(Path(rel)); }
  std::string MirrorPath(const std::string& rel) const { return Path(Mirror(rel)); }

  int Run() {
    if (!form_) Start();
    form_->FailureCount = 0;
    form_->RunScript("Daily");
    return form_->FailureCount;
  }
  std::vector<std::string> CopiedFiles() const {
    std::vector<std::string> found;
    if (!fs::exists(FsPath("dst"))) return found;
    for (const auto& e : fs::recursive_directory_iterator(FsPath("dst"))) {
      const std::u8string name = e.path().filename().u8string();
      if (e.is_regular_file()) found.emplace_back(name.begin(), name.end());
    }
    std::sort(found.begin(), found.end());
    return found;
  }
  void SetMTime(const std::string& rel, int64_t seconds) {
    Env::Default().SetFileTime(Path(rel), seconds * 1000000000);
  }
};

TEST_F(CopyRunTest, LogsEveryPhaseInOrder) {
  Write("src/a.txt", "a");
  Write("src/sub/b.txt", "b");
  Script(Source("src"));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "[Daily] === Starting script ===",
                            "[Daily] Retrieving filenames...",
                            "[Daily] Processing 2 directories...",
                            "[Daily] Processing 2 files...",
                            "[Daily] Copied 2 files...",
                            "[Daily] === Finished script ===",
                        }));
  EXPECT_EQ(Read(Mirror("src/sub/b.txt")), "b");
  EXPECT_TRUE(form_->ControlsEnabled);
  EXPECT_EQ(form_->CurrentScript, "");
  EXPECT_EQ(form_->pnlStatus->Caption(), kCreditLine);
}

TEST_F(CopyRunTest, FiltersSelectOrExclude) {
  Write("src/letter.doc", "1");
  Write("src/Report.DOC", "2");
  Write("src/notes.txt", "3");
  Write("src/README", "4");
  Write("src/old.docx", "5");
  const std::string umlaut = "umlaut.\xC3\xA4";  // a small a-umlaut
  Write("src/" + umlaut, "6");
  struct Case {
    std::string ext;
    bool incl;
    std::vector<std::string> copied;
  } cases[] = {
      {"", true, {"README", "Report.DOC", "letter.doc", "notes.txt", "old.docx", umlaut}},
      {"", false, {}},
      {"\"*.*\"", true, {"Report.DOC", "letter.doc", "notes.txt", "old.docx", umlaut}},
      {"\"*.DOC\"", true, {"Report.DOC", "letter.doc"}},  // the stored filter is lowered on reading
      {"\"*.doc\",\"readme\"", false, {"notes.txt", "old.docx", umlaut}},
      // Only A to Z are lowered: a capital A-umlaut in a filter never matches the small one.
      {"\"*.\xC3\x84\"", true, {}},
      {"\"*.\xC3\xA4\"", true, {umlaut}},
  };
  for (const Case& c : cases) {
    fs::remove_all(FsPath("dst"));
    Script(Source("src"), c.ext, c.incl);
    EXPECT_EQ(Run(), 0) << c.ext;
    EXPECT_EQ(CopiedFiles(), c.copied) << c.ext << (c.incl ? " incl" : " excl");
  }
}

TEST_F(CopyRunTest, AFolderListedTwiceYieldsEachFileOnceAndHiddenFoldersAreSkipped) {
  Write("src/a.txt", "a");
  Write("src/.profile", "p");
  Write("src/.cache/c.txt", "c");
  Write("src/sub/b.txt", "b");
  Script(Source("src") + ",\"0" + Path("src") + "\"");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(CopiedFiles(), (std::vector<std::string>{".profile", "a.txt", "b.txt"}));
  EXPECT_EQ(LogLines()[3], "[Daily] Processing 3 files...");
}

TEST_F(CopyRunTest, OnlyNewerFilesAreCopiedAgainAndReadOnlyCopiesAreReplaced) {
  Write("src/a.txt", "old a");
  Write("src/b.txt", "b");
  SetMTime("src/a.txt", 1600000000);
  SetMTime("src/b.txt", 1600000000);
  Script(Source("src"));
  EXPECT_EQ(Run(), 0);
  ASSERT_TRUE(Env::Default().SetAttributes(MirrorPath("src/a.txt"), faReadOnly | faArchive));

  Write("src/a.txt", "new a");
  SetMTime("src/a.txt", 1600000100);
  Write("src/b.txt", "same second");  // changed within the same two seconds: not copied again
  SetMTime("src/b.txt", 1600000001);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Read(Mirror("src/a.txt")), "new a");
  EXPECT_EQ(Read(Mirror("src/b.txt")), "b");
  EXPECT_EQ(LogLines()[10], "[Daily] Copied 1 files...");
}

TEST_F(CopyRunTest, DatedDestinationsAreSharedWithinOneMinute) {
  Write("src/a.txt", "a");
  Script(Source("src"), "", true, 0);
  EXPECT_EQ(Run(), 0);
  const std::string longDir = "dst/2004-03-15 14-07/";
  EXPECT_EQ(Read(longDir + PathWithoutDrive(Path("src/a.txt"))), "a");
  clock_->Set({2004, 3, 15, 14, 7, 59, 0});
  Write("src/b.txt", "b");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Read(longDir + PathWithoutDrive(Path("src/b.txt"))), "b");
  EXPECT_EQ(LogLines()[10], "[Daily] Copied 1 files...");

  Script(Source("src"), "", true, 1);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Read("dst/2004/03151407/" + PathWithoutDrive(Path("src/a.txt"))), "a");
}

TEST_F(CopyRunTest, ArchiveAttributeWidensTheSelectionAndIsClearedOnlyOnCopiedFiles) {
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  Write("src/a.txt", "a");
  Write("src/b.txt", "b");
  Script(Source("src"), "", true, 2, true, true);
  EXPECT_EQ(Run(), 0);
  Env& env = Env::Default();
  EXPECT_EQ(env.GetAttributes(Path("src/a.txt")), 0u);
  EXPECT_EQ(env.GetAttributes(MirrorPath("src/a.txt")), faArchive);

  // Not newer, but flagged again: copied because of the attribute alone.
  env.SetAttributes(Path("src/a.txt"), faArchive);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(LogLines()[10], "[Daily] Copied 1 files...");

  // Without the attribute rule a flagged file that is not newer keeps its flag.
  env.SetAttributes(Path("src/b.txt"), faArchive);
  Script(Source("src"), "", true, 2, false, true);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(env.GetAttributes(Path("src/b.txt")), faArchive);
}

// "Back up my home folder into ~/Backup": no run copies the copies of earlier runs.
TEST_F(CopyRunTest, ADestinationInsideASourceIsLeftOutOfEveryRun) {
  Write("src/a.txt", "a");
  for (int format : {2, 0}) {
    WriteIni({"[scripts]", "Daily=", "[script: Daily]", "DstPath=" + Path("src/backup"),
              "DstFormat=" + std::to_string(format), "SrcPath=" + Source("src")});
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Run(), 0);
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ(log[log.size() - 3], "[Daily] Processing 1 files...") << format;
    EXPECT_EQ(log[log.size() - 5],
              "[Daily] The destination " + Path("src/backup") + " lies inside a source and is left out of the backup")
        << format;
  }
}

// The language button works during a run: the lines after a click come in the new language.
TEST_F(CopyRunTest, SwitchingTheLanguageDuringARunChangesTheLinesThatFollow) {
  Write("src/a.txt", "a");
  Script(Source("src"));
  Start();
  FaultEnv faults(Env::Platform());
  faults.BeforeFirstRead([this](const std::string&) { form_->sbLang->Click(); },
                         [this](const std::string& path) { return path == Path("src/a.txt"); });
  ScopedEnv scoped(faults);
  EXPECT_EQ(Run(), 0);
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(log[3], "[Daily] Processing 1 files...");
  EXPECT_EQ(log[4], "[Daily] 1 Dateien kopiert...");
  EXPECT_EQ(log[5], "[Daily] === SkriptEnde ===");
}

// One folder that cannot be listed is one failed step; the folders beside it are backed up.
TEST_F(CopyRunTest, AnUnreadableFolderIsSkippedAndItsSiblingsBackedUp) {
  Write("src/a/1.txt", "1");
  Write("src/b/2.txt", "2");
  Write("src/c/3.txt", "3");
  Script(Source("src"));
  FaultEnv faults(Env::Platform());
  faults.FailWhen([this](const std::string& op, const std::string& path) {
    return op == "list" && path == Path("src/b/");
  });
  ScopedEnv scoped(faults);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(CopiedFiles(), (std::vector<std::string>{"1.txt", "3.txt"}));
  EXPECT_NE(LogLines()[2].find("### Exception during retrieving files from " + Path("src/b/")), std::string::npos)
      << LogLines()[2];
}

// A file system without extended attributes cannot keep a cleared archive bit: every run
// copies everything again, and each run says why, once.
TEST_F(CopyRunTest, AnArchiveAttributeThatCannotBeKeptIsSaidOncePerRun) {
  struct NoArchiveBitEnv : EnvWrapper {
    using EnvWrapper::EnvWrapper;
    bool KeepsArchiveAttribute(const std::string&) override { return false; }
  } env(Env::Platform());
  ScopedEnv scoped(env);
  Write("src/a.txt", "a");
  Write("other/b.txt", "b");
  Script(Source("src") + "," + Source("other"), "", true, 2, true, true);
  EXPECT_EQ(Run(), 0);
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "[Daily] The file system of " + Path("src") +
                           " cannot keep the archive attribute: its files are backed up again on every run"),
            1);
}

TEST_F(CopyRunTest, AFailedCopyKeepsThePreviousCopyAndIsRepeatedNextRun) {
  Write("src/big.bin", std::string(2 << 20, 'x'));
  SetMTime("src/big.bin", 1600000000);
  Script(Source("src"));
  EXPECT_EQ(Run(), 0);
  Write("src/big.bin", std::string(2 << 20, 'y'));
  SetMTime("src/big.bin", 1600000100);
  {
    FaultEnv faults(Env::Platform());
    faults.FailWritesAfter(1 << 20, [](const std::string& path) {
      return path.find(std::string(1, PathDelim) + "dst" + PathDelim) != std::string::npos;
    });
    ScopedEnv scoped(faults);
    EXPECT_EQ(Run(), 1);
  }
  EXPECT_EQ(Read(Mirror("src/big.bin")), std::string(2 << 20, 'x'));
  EXPECT_EQ(CopiedFiles(), std::vector<std::string>{"big.bin"});  // no temporary file left
  std::vector<std::string> log = LogLines();
  EXPECT_NE(log[10].find("### Exception during copying " + Path("src/big.bin") + " -> "), std::string::npos) << log[10];
  EXPECT_EQ(log[11], "[Daily] Copied 0 files...");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Read(Mirror("src/big.bin")), std::string(2 << 20, 'y'));
}

TEST_F(CopyRunTest, ArchiveBitStaysWhenTheSourceChangesDuringItsCopy) {
  // Under Wine the bit reads as set whatever happens, and the check could not fail.
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  Write("src/a.txt", "first");
  Script(Source("src"), "", true, 2, false, true);
  FaultEnv faults(Env::Platform());
  faults.BeforeFirstRead([this](const std::string&) { Write("src/a.txt", "changed meanwhile"); },
                         [this](const std::string& path) { return path == Path("src/a.txt"); });
  ScopedEnv scoped(faults);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Env::Default().GetAttributes(Path("src/a.txt")), faArchive);
}

TEST_F(CopyRunTest, LinksFifosAndNamesDifferingInCase) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no FIFOs, takes names differing only in case for one file, and its symbolic links "
                  "need a privilege that tests do not have";
#else
  Write("src/real.txt", "real");
  Write("src/Case.txt", "upper");
  Write("src/case.txt", "lower");
  Write("elsewhere/x.txt", "x");
  fs::create_symlink(Path("src/real.txt"), Path("src/link.txt"));
  fs::create_symlink(Path("nowhere"), Path("src/dangling.txt"));
  fs::create_directory_symlink(Path("elsewhere"), Path("src/linked-dir"));
  fs::create_directory_symlink(Path("src"), Path("src/loop"));
  ASSERT_EQ(::mkfifo(Path("src/pipe").c_str(), 0600), 0);
  Script(Source("src"));
  EXPECT_EQ(Run(), 1);  // the dangling link
  EXPECT_EQ(CopiedFiles(), (std::vector<std::string>{"Case.txt", "case.txt", "link.txt", "real.txt"}));
  EXPECT_EQ(Read(Mirror("src/link.txt")), "real");
  EXPECT_FALSE(fs::is_symlink(MirrorPath("src/link.txt")));
#endif
}

TEST_F(CopyRunTest, FilesDatedBefore1980AreCopiedOnceAndFilesAfter2043TooNot) {
  Write("src/old.txt", "1970");
  Write("src/future.txt", "2050");
  SetMTime("src/old.txt", 86400);
  SetMTime("src/future.txt", 2524608000);  // 2050-01-01
  Script(Source("src"));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(CopiedFiles(), (std::vector<std::string>{"future.txt", "old.txt"}));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(LogLines()[10], "[Daily] Copied 0 files...");
}

// A run that ends on an error box logs why, with the script's name, before its finish line,
// whether it was started from the command line or from the window.
TEST_F(CopyRunTest, ARunThatEndsOnAnErrorBoxLogsItInsideTheRun) {
  Write("src/a.txt", "a");
  Script(Source("src"), "", true, 7);
  TfrmMain& f = Start({"Daily"});
  f.Activate();
  EXPECT_EQ(f.ExitStatus(), 1);
  EXPECT_FALSE(fs::exists(FsPath("dst")));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "[Daily] === Starting script ===",
                            "[Daily] ### Exception during creating path " + Path("dst") + PathDelim +
                                " [Unknown destination format 7 (0, 1 or 2 expected)]",
                            "[Daily] === Finished script ===",
                        }));
  ASSERT_EQ(ui_->MessageBoxes().size(), 1u);
  EXPECT_EQ(ui_->MessageBoxes()[0].Text, "Unknown destination format 7 (0, 1 or 2 expected)");

  WriteIni({"[scripts]", "Daily=", "[script: Daily]", "SrcPath=" + Source("src")});  // no destination
  form_ = nullptr;
  EXPECT_EQ(Run(), 1);
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(log[log.size() - 2], "[Daily] ### Exception during creating path " + std::string(1, PathDelim) +
                                     " [No destination folder is set for this script]");
  EXPECT_EQ(form_->pnlStatus->Caption(), "Failed steps: 1 - the log has the details");
  EXPECT_TRUE(form_->sbRun->Enabled());
  form_->sbLangClick(nullptr);  // the next command puts the idle line back
  EXPECT_EQ(form_->pnlStatus->Caption(), kCreditLine);
}

TEST_F(CopyRunTest, AnEmptySourceItemAndAMissingFolderAreHandledPerItem) {
  Write("src/a.txt", "a");
  Script("\"\"," + Source("absent") + "," + Source("src"));
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(CopiedFiles(), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(LogLines()[2], "[Daily] ### Exception during retrieving files from  [Empty source entry]");
}

}  // namespace
}  // namespace dravello
