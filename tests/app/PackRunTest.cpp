// Pack-mode runs end to end: the main window, the archiver component and the real engine
// library, checked with Info-ZIP's unzip.
#include <cstdio>

#include "tests/app/AppFixture.h"
#include "tests/support/Shell.h"
#include "tests/support/ZipReader.h"
#include "tests/support/Wine.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

class PackRunTest : public AppFixture {
 protected:
  void Script(const std::string& dstPath, int format, bool useArchive = false, bool removeArchive = false,
              const std::string& srcExt = "") {
    WriteIni({"[scripts]", "Weekly=", "[script: Weekly]", "CopyFiles=0", "DstPath=" + dstPath,
              "DstFormat=" + std::to_string(format), "SrcPath=\"1" + Path("src") + "\"", "SrcExt=" + srcExt,
              "UseArchiveAttrib=" + std::string(useArchive ? "1" : "0"),
              "RemArchiveAttrib=" + std::string(removeArchive ? "1" : "0")});
  }
  int Run() {
    if (!form_) Start();
    form_->FailureCount = 0;
    form_->RunScript("Weekly");
    return form_->FailureCount;
  }
  // The entry names of an archive as unzip lists them, sorted; "" when unzip -t finds a fault. On
  // Windows, where unzip is not there, the tests' own reader lists and checks them.
  static std::vector<std::string> Entries(const std::string& archive) {
    std::vector<std::string> names;
#ifdef _WIN32
    if (!testing::ZipReaderFaults(archive).empty()) return {"<damaged>"};
    for (const testing::ZipReaderEntry& e : testing::ParseZip(testing::ReadBytes(archive)).Entries)
      names.push_back(e.Name.substr(e.Name.rfind('/') + 1));
    std::sort(names.begin(), names.end());
    return names;
#else
    if (std::system(("unzip -tqq '" + archive + "' >/dev/null 2>&1").c_str()) != 0) return {"<damaged>"};
    FILE* p = ::popen(("unzip -Z1 '" + archive + "'").c_str(), "r");
    char line[4096];
    while (p && std::fgets(line, sizeof line, p)) {
      std::string s(line);
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
      names.push_back(s.substr(s.rfind('/') + 1));
    }
    if (p) ::pclose(p);
    std::sort(names.begin(), names.end());
    return names;
#endif
  }
};

TEST_F(PackRunTest, FixedPathPacksBesideTheFolderAndEveryRunExtendsTheArchive) {
  Write("src/a.txt", "a");
  Write("src/sub/b.doc", "b");
  Write("src/.hidden", "h");
  Script(Path("out/Backup/"), 2);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "[Weekly] === Starting script ===",
                            "[Weekly] Retrieving filenames...",
                            "[Weekly] Packing 3 files...",
                            "[Weekly] Verifying 3 files...",
                            "[Weekly] Verified 3 files.",
                            "[Weekly] Packing done.",
                            "[Weekly] === Finished script ===",
                        }));
  EXPECT_EQ(Entries(Path("out/Backup.zip")), (std::vector<std::string>{".hidden", "a.txt", "b.doc"}));
  EXPECT_FALSE(fs::exists(FsPath("out/Backup")));
  EXPECT_EQ(form_->zipMain->ErrCode(), 0);

  Write("src/c.txt", "c");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Entries(Path("out/Backup.zip")), (std::vector<std::string>{".hidden", "a.txt", "b.doc", "c.txt"}));
}

TEST_F(PackRunTest, DatedArchivesAreSharedWithinOneMinuteAndShortPathsMakeTheYearFolder) {
  Write("src/a.txt", "a");
  Script(Path("out/"), 0);
  EXPECT_EQ(Run(), 0);
  clock_->Set({2004, 3, 15, 14, 7, 50, 0});
  Write("src/b.txt", "b");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Entries(Path("out/2004-03-15 14-07.zip")), (std::vector<std::string>{"a.txt", "b.txt"}));

  Script(Path("out/"), 1);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Entries(Path("out/2004/03151407.zip")), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(PackRunTest, ArchiveAttributeIsAConditionAndIsClearedOnPackedFilesOnly) {
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  Write("src/flagged.txt", "1");
  Write("src/plain.txt", "2");
  Write("src/left.log", "3");
  Env& env = Env::Default();
  env.SetAttributes(Path("src/plain.txt"), 0);
  Script(Path("out/Backup/"), 2, true, true, "\"*.txt\"");
  env.SetAttributes(Path("src/left.log"), faArchive);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(LogLines()[2], "[Weekly] Packing 2 files...");
  EXPECT_EQ(Entries(Path("out/Backup.zip")), std::vector<std::string>{"flagged.txt"});
  EXPECT_EQ(env.GetAttributes(Path("src/flagged.txt")), 0u);
  EXPECT_EQ(env.GetAttributes(Path("src/left.log")), faArchive);  // filtered out: untouched
}

TEST_F(PackRunTest, AnEmptySelectionWritesNoArchiveAndIsNoFailure) {
  Write("src/a.txt", "a");
  Script(Path("out/Backup/"), 2, false, false, "\"*.none\"");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(LogLines()[2], "[Weekly] Packing 0 files...");
  EXPECT_EQ(LogLines()[3], "[Weekly] Packing done.");
  EXPECT_FALSE(fs::exists(FsPath("out/Backup.zip")));
}

TEST_F(PackRunTest, ProgressRunsOverThePackedFiles) {
  Write("src/a.txt", "a");
  Write("src/b.txt", "b");
  Script(Path("out/Backup/"), 2);
  Start();
  std::vector<std::string> statuses;
  std::vector<std::string> titles;
  auto previous = form_->zipMain->OnProgress;
  form_->zipMain->OnProgress = [&](TObject* sender, ProgressType kind, const std::string& name, uint32_t size) {
    previous(sender, kind, name, size);
    if (kind == ptFileBegin) {
      statuses.push_back(form_->pnlStatus->Caption());
      titles.push_back(form_->Caption());
    }
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(statuses, (std::vector<std::string>{"Packing a.txt", "Packing b.txt"}));
  ASSERT_EQ(titles.size(), 2u);
  EXPECT_NE(titles[0].find("(50%"), std::string::npos) << titles[0];
  EXPECT_NE(titles[1].find("(100%"), std::string::npos) << titles[1];
}

// The check reads back the whole archive: its progress runs over every file in it, not over the
// files packed, and the window's title counts it afresh. In German too.
TEST_F(PackRunTest, ReadingBackIsAProgressPhaseOfItsOwnOverTheWholeArchive) {
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  Write("src/a.txt", "a");
  Write("src/b.txt", "b");
  Write("src/c.txt", "c");
  Script(Path("out/Backup/"), 2, true, true);
  EXPECT_EQ(Run(), 0);
  Write("src/d.txt", "d");
  form_->SetLanguage("de");
  std::vector<int32_t> maxima;
  auto previous = form_->zipMain->OnProgress;
  form_->zipMain->OnProgress = [&](TObject* sender, ProgressType kind, const std::string& name, uint32_t size) {
    previous(sender, kind, name, size);
    if (kind == ptFileBegin) maxima.push_back(form_->prbMain->Max());
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(maxima, std::vector<int32_t>{1});         // packing: the one new file
  EXPECT_EQ(form_->prbMain->Max(), 4);               // reading back: all four in the archive
  const std::vector<std::string> log = LogLines();
  const std::vector<std::string> tail(log.end() - 5, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"[Weekly] Packe 4 Dateien...", "[Weekly] Prüfe 4 Dateien...",
                                            "[Weekly] 4 Dateien geprüft.", "[Weekly] Packvorgang beendet.",
                                            "[Weekly] === SkriptEnde ==="}));
  EXPECT_FALSE(Env::Default().GetAttributes(Path("src/d.txt")).value() & faArchive);
}

TEST_F(PackRunTest, AMissingEngineShowsItsBoxPacksNothingAndCountsAsAFailure) {
  Write("src/a.txt", "a");
  Script(Path("out/Backup/"), 2);
  Start();
  fs::create_directories(FsPath("no-engine"));
  form_->zipMain->SetDLLDirectory(Path("no-engine"));
  EXPECT_EQ(Run(), 1);
  ASSERT_EQ(ui_->MessageBoxes().size(), 1u);
  EXPECT_EQ(ui_->MessageBoxes()[0].Caption, "DLL error");
  EXPECT_FALSE(fs::exists(FsPath("out")));
  std::vector<std::string> log = LogLines();
  EXPECT_EQ(log.front(), "[Weekly] === Starting script ===");
  EXPECT_EQ(log.back(), "[Weekly] === Finished script ===");
  // The box's text keeps its line breaks; its log entry is one line.
  EXPECT_EQ(log[1],
            "[Weekly] ### Exception during ZIPENGINE.DLL [The necessary ZIPENGINE.DLL could not be found. Please make "
            "sure these files are located in the same directory as the application is.]");
}

// With the archive attribute, a second run finds nothing new: a normal outcome, neither a
// failure nor a new (empty) dated archive.
TEST_F(PackRunTest, NothingNewToPackIsNoFailure) {
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  Write("src/a.txt", "a");
  Script(Path("out/"), 0, true, true);
  EXPECT_EQ(Run(), 0);
  const std::string first = Read("out/2004-03-15 14-07.zip");
  EXPECT_EQ(Run(), 0);
  clock_->Set({2004, 3, 15, 14, 9, 0, 0});
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Read("out/2004-03-15 14-07.zip"), first);
  EXPECT_FALSE(fs::exists(FsPath("out/2004-03-15 14-09.zip")));
  for (const std::string& line : LogLines()) EXPECT_EQ(line.find("###"), std::string::npos) << line;
}

TEST_F(PackRunTest, ADamagedFileAtTheArchivePathIsRefusedWithTheReadersReason) {
  Write("src/a.txt", "a");
  Write("out/Backup.zip", std::string(300, 'x'));
  Script(Path("out/Backup/"), 2);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(Read("out/Backup.zip"), std::string(300, 'x'));
  EXPECT_EQ(LogLines()[3], "[Weekly] ### Exception during adding files to zip [This archive is not a valid Zip archive]");
}

// Dated archives in a folder below the source: no run packs the archives of earlier runs.
TEST_F(PackRunTest, ArchivesInsideTheSourceAreNotPackedAgain) {
  Write("src/a.txt", "a");
  Script(Path("src/backup/"), 0);
  EXPECT_EQ(Run(), 0);
  clock_->Set({2004, 3, 15, 14, 9, 0, 0});
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Entries(Path("src/backup/2004-03-15 14-09.zip")), std::vector<std::string>{"a.txt"});
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "[Weekly] The destination " + Path("src/backup") + " lies inside a source and is left out of the backup"),
            1);
}

}  // namespace
}  // namespace dravello
