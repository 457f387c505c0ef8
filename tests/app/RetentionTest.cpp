// Keeping the last N backups: which names count as dated backups, and runs that remove the old
// ones from a destination that also holds things that only look like them.
#include "app/Retention.h"
#include "app/ScriptStore.h"
#include "app/u_frmConfig.h"
#include "runtime/SysUtils.h"
#include "tests/app/AppFixture.h"
#include "tests/support/FaultEnv.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

TEST(DatedBackupStamp, TakesExactlyTheNamesThePathStyleMakes) {
  struct Case {
    const char* Name;
    uint8_t Format;
    bool Pack;
    const char* Year;
    const char* Stamp;  // "" when the name is no dated backup
  };
  const Case cases[] = {
      {"2004-03-15 14-07", 0, false, "", "200403151407"},
      {"2004-03-15 14-07.zip", 0, true, "", "200403151407"},
      {"2004-03-15 14-07.zip", 0, false, "", ""},  // an archive's name is no copy folder's
      {"2004-03-15 14-07", 0, true, "", ""},       // nor the other way round
      {"1999-12-31 23-59", 0, false, "", "199912312359"},
      {"2004-03-15 14-07 (old)", 0, false, "", ""},
      {"2004-03-15 14-07.zip.bak", 0, true, "", ""},
      {" 2004-03-15 14-07", 0, false, "", ""},
      {"2004-03-15_14-07", 0, false, "", ""},
      {"2004-3-15 14-07", 0, false, "", ""},
      {"2004-03-15 14-7", 0, false, "", ""},
      {"2004-13-15 14-07", 0, false, "", ""},  // no 13th month
      {"2004-00-15 14-07", 0, false, "", ""},
      {"2004-03-32 14-07", 0, false, "", ""},
      {"2004-03-15 24-00", 0, false, "", ""},
      {"2004-03-15 14-60", 0, false, "", ""},
      {"2OO4-03-15 14-07", 0, false, "", ""},
      {"03151407", 1, false, "2004", "200403151407"},
      {"03151407.zip", 1, true, "2004", "200403151407"},
      {"03151407", 1, true, "2004", ""},
      {"03151407", 1, false, "04", ""},      // the year folder has four digits
      {"03151407", 1, false, "20041", ""},
      {"03151407", 1, false, "2OO4", ""},
      {"0315140", 1, false, "2004", ""},
      {"031514071", 1, false, "2004", ""},
      {"13151407", 1, false, "2004", ""},
      {"03151460", 1, false, "2004", ""},
      {"2004-03-15 14-07", 1, false, "2004", ""},
      {"03151407", 0, false, "", ""},
      {"2004-03-15 14-07", 2, false, "", ""},  // a fixed destination has no dated backups
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " format " + std::to_string(c.Format) + (c.Pack ? " pack" : " copy") + " in " +
                 c.Year);
    EXPECT_EQ(DatedBackupStamp(c.Name, c.Format, c.Pack, c.Year), c.Stamp);
  }
}

TEST(BackupsBeyond, KeepsTheNewestAndAlwaysTheOneJustWritten) {
  const std::vector<TDatedBackup> all = {{"/d/a", "200401010000"}, {"/d/b", "200402010000"},
                                         {"/d/c", "200403010000"}, {"/d/d", "200404010000"}};
  auto paths = [](const std::vector<TDatedBackup>& v) {
    std::vector<std::string> p;
    for (const TDatedBackup& b : v) p.push_back(b.Path);
    return p;
  };
  const std::string sep(1, PathDelim);  // a trailing separator, as a written folder has it
  EXPECT_EQ(paths(BackupsBeyond(all, 2, "/d/d" + sep)), (std::vector<std::string>{"/d/a", "/d/b"}));
  EXPECT_EQ(paths(BackupsBeyond(all, 1, "/d/d")), (std::vector<std::string>{"/d/a", "/d/b", "/d/c"}));
  // A clock set back: the backup just written is not the newest by name, and still stays.
  EXPECT_EQ(paths(BackupsBeyond(all, 2, "/d/a" + sep)), (std::vector<std::string>{"/d/b", "/d/c"}));
  // Nothing written by this run (nothing new to pack): the newest stay.
  EXPECT_EQ(paths(BackupsBeyond(all, 3, "/d/elsewhere.zip")), std::vector<std::string>{"/d/a"});
  EXPECT_EQ(paths(BackupsBeyond(all, 4, "/d/d")), std::vector<std::string>{});
  EXPECT_EQ(paths(BackupsBeyond(all, 0, "/d/d")), std::vector<std::string>{});
}

class RetentionTest : public AppFixture {
 protected:
  void Script(bool pack, int format, int keep, const std::string& src = "src") {
    WriteIni({"[scripts]", "Daily=", "[script: Daily]", std::string("CopyFiles=") + (pack ? "0" : "1"),
              "DstPath=" + Path("dst"), "DstFormat=" + std::to_string(format), "SrcPath=\"1" + Path(src) + "\"",
              "KeepBackups=" + std::to_string(keep)});
  }
  int Run() {
    if (!form_) Start();
    form_->FailureCount = 0;
    form_->RunScript("Daily");
    return form_->FailureCount;
  }
  // The names in dst/, sorted; folders end with "/", symbolic links with "@".
  std::vector<std::string> Listing() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(Path("dst")))
      found.push_back(e.path().filename().string() + (e.is_symlink() ? "@" : e.is_directory() ? "/" : ""));
    std::sort(found.begin(), found.end());
    return found;
  }
  std::vector<std::string> Removed() const {
    std::vector<std::string> lines;
    for (const std::string& l : LogLines())
      if (l.find("Removed old backup") != std::string::npos || l.find("###") != std::string::npos) lines.push_back(l);
    return lines;
  }
};

// Dated copy folders among look-alikes: the run (at 2004-03-15 14-07) keeps itself and the two
// newest before it, and touches nothing that is not exactly a long-style folder.
TEST_F(RetentionTest, ACopyRunRemovesOnlyTheOldestDatedFoldersBeyondTheNewestN) {
  Write("src/a.txt", "a");
  for (const char* dated : {"2003-01-01 10-00", "2003-06-30 23-59", "2004-01-01 00-00", "2004-03-15 14-06"})
    Write(std::string("dst/") + dated + "/x/copy.txt", "old");
  Write("dst/2002-01-01 10-00.zip", "an archive of a pack script");      // a file, not a folder
  Write("dst/2002-01-01 10-00 (keep)/k.txt", "look-alike");
  Write("dst/2002-13-01 10-00/k.txt", "no such month");
  Write("dst/notes/n.txt", "n");
  Write("dst/2002/01011000/k.txt", "a short-style backup");
  fs::create_directories(Path("elsewhere/2001-01-01 10-00"));
  // A link named like the oldest backup must not lead the removal elsewhere (Windows: links need
  // a privilege tests do not have).
  const bool links = PathDelim == '/';
  if (links) fs::create_directory_symlink(Path("elsewhere/2001-01-01 10-00"), Path("dst/2001-01-01 10-00"));
  Script(false, 0, 3);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Removed(), (std::vector<std::string>{"[Daily] Removed old backup " + Path("dst/2003-01-01 10-00"),
                                                 "[Daily] Removed old backup " + Path("dst/2003-06-30 23-59")}));
  std::vector<std::string> kept = {"2002-01-01 10-00 (keep)/", "2002-01-01 10-00.zip", "2002-13-01 10-00/",
                                   "2002/", "2004-01-01 00-00/", "2004-03-15 14-06/", "2004-03-15 14-07/",
                                   "notes/"};
  if (links) kept.insert(kept.begin(), "2001-01-01 10-00@");
  EXPECT_EQ(Listing(), kept);
  EXPECT_TRUE(fs::exists(Path("elsewhere/2001-01-01 10-00")));
  // The log says so after the copy and before the end.
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(log[log.size() - 3], "[Daily] Removed old backup " + Path("dst/2003-01-01 10-00"));
}

// Short-style archives: only "MMDDHHNN.zip" files in four-digit year folders count.
TEST_F(RetentionTest, APackRunRemovesOnlyDatedArchivesInYearFolders) {
  Write("src/a.txt", "a");
  Write("dst/2003/12311200.zip", "old");
  Write("dst/2003/12311201.zip", "old");
  Write("dst/2003/12311202", "a file without the suffix");
  Write("dst/2003/12311203/c.txt", "a copy folder");
  Write("dst/2004/01011000.zip", "old");
  Write("dst/04/01011000.zip", "not a year folder");
  Write("dst/20031/01011000.zip", "not a year folder");
  Write("dst/2003/01011000.zip.part", "not an archive's name");
  Script(true, 1, 2);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Removed(), (std::vector<std::string>{"[Daily] Removed old backup " + Path("dst/2003/12311200.zip"),
                                                 "[Daily] Removed old backup " + Path("dst/2003/12311201.zip")}));
  EXPECT_TRUE(fs::exists(Path("dst/2004/03151407.zip")));
  EXPECT_TRUE(fs::exists(Path("dst/2004/01011000.zip")));
  for (const char* kept : {"dst/2003/12311202", "dst/2003/12311203/c.txt", "dst/04/01011000.zip",
                           "dst/20031/01011000.zip", "dst/2003/01011000.zip.part"})
    EXPECT_TRUE(fs::exists(Path(kept))) << kept;
}

// A run with a failed step removes nothing; nor does a script that keeps all or has a fixed path.
TEST_F(RetentionTest, NothingIsRemovedAfterAFailureOrWithoutTheSetting) {
  struct Case {
    const char* What;
    bool Pack;
    int Format;
    int Keep;
    bool Fails;
  };
  const Case cases[] = {
      {"a failed copy run", false, 0, 1, true},
      {"a failed pack run", true, 0, 1, true},
      {"keep all (0)", false, 0, 0, false},
      {"a fixed path", false, 2, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    fs::remove_all(Path("dst"));
    fs::remove_all(Path("src"));
    Write("src/a.txt", "a");
    Write("src/sub/b.txt", "b");
    Write(c.Pack ? "dst/2003-01-01 10-00.zip" : "dst/2003-01-01 10-00/old.txt", "old");
    Script(c.Pack, c.Format, c.Keep);
    // A failing run: a folder of the source cannot be listed.
    FaultEnv faults(Env::Platform());
    faults.FailWhen([&](const std::string& op, const std::string& path) {
      return c.Fails && op == "list" && path == Path("src/sub") + PathDelim;
    });
    ScopedEnv scoped(faults);
    EXPECT_EQ(Run() > 0, c.Fails);
    EXPECT_TRUE(fs::exists(Path(c.Pack ? "dst/2003-01-01 10-00.zip" : "dst/2003-01-01 10-00/old.txt")));
    for (const std::string& l : LogLines()) EXPECT_EQ(l.find("Removed old backup"), std::string::npos) << l;
  }
}

// A backup that cannot be removed is one failed step; the others still go.
TEST_F(RetentionTest, ARemovalThatFailsIsAFailedStep) {
  Write("src/a.txt", "a");
  Write("dst/2003-01-01 10-00/a/old.txt", "old");
  Write("dst/2003-02-01 10-00/a/old.txt", "old");
  Script(false, 0, 1);
  Start();
  FaultEnv faults(Env::Platform());
  const std::string stuck = Path("dst/2003-01-01 10-00/a/old.txt");
  faults.FailWhen([&](const std::string& op, const std::string& path) { return op == "delete" && path == stuck; });
  ScopedEnv scoped(faults);
  EXPECT_EQ(Run(), 1);
  const std::vector<std::string> removed = Removed();
  ASSERT_EQ(removed.size(), 2u);
  EXPECT_EQ(removed[0].rfind("[Daily] ### Exception during removing old backup " + Path("dst/2003-01-01 10-00") + " [", 0), 0u)
      << removed[0];
  EXPECT_EQ(removed[1], "[Daily] Removed old backup " + Path("dst/2003-02-01 10-00"));
  EXPECT_TRUE(fs::exists(stuck));
  EXPECT_FALSE(fs::exists(Path("dst/2003-02-01 10-00")));
}

// The setting as the INI keeps it: written only when it keeps fewer than all, read leniently.
TEST_F(RetentionTest, TheScriptStoreKeepsTheSettingOnlyWhenItIsUsed) {
  TBackupScript s;
  s.Name = "Daily";
  s.DstPath = "/d/";
  WriteScript(IniFileName, s);
  EXPECT_EQ(Read("prog/dravello.ini").find("KeepBackups"), std::string::npos);
  s.KeepBackups = 7;
  WriteScript(IniFileName, s);
  EXPECT_NE(Read("prog/dravello.ini").find("KeepBackups=7\r\n"), std::string::npos);
  TBackupScript back;
  back.Name = "Daily";
  ReadScript(IniFileName, back);
  EXPECT_EQ(back.KeepBackups, 7);
  s.KeepBackups = 0;
  WriteScript(IniFileName, s);
  EXPECT_EQ(Read("prog/dravello.ini").find("KeepBackups"), std::string::npos);
  WriteIni({"[scripts]", "Daily=", "[script: Daily]", "KeepBackups=-3"});
  ReadScript(IniFileName, back);
  EXPECT_EQ(back.KeepBackups, 0);
}

// The editor's number field: enabled for the dated styles only, in both languages, and what it
// holds when OK is pressed.
TEST_F(RetentionTest, TheEditorOffersTheNumberForDatedStylesOnly) {
  Start();
  struct Case {
    const char* Typed;
    int Expected;
  };
  for (const Case& c : {Case{"5", 5}, Case{" 12 ", 12}, Case{"0", 0}, Case{"-2", 0}, Case{"many", 0}}) {
    SCOPED_TRACE(c.Typed);
    TBackupScript s;
    s.Name = "Daily";
    s.DstFormat = 2;
    s.KeepBackups = 3;
    int32_t left = 50, top = 50;
    ui_->QueueModal([&](TForm& form) {
      auto& d = static_cast<TfrmConfig&>(form);
      EXPECT_EQ(d.edtKeepBackups->Text(), "3");
      EXPECT_FALSE(d.edtKeepBackups->Enabled());
      EXPECT_FALSE(d.lblKeepBackups->Enabled());
      d.rbShortPath->Click();
      EXPECT_TRUE(d.edtKeepBackups->Enabled());
      d.rbFixedPath->Click();
      EXPECT_FALSE(d.edtKeepBackups->Enabled());
      d.rbLongPath->Click();
      EXPECT_TRUE(d.edtKeepBackups->Enabled());
      EXPECT_TRUE(d.lblKeepBackups->Enabled());
      EXPECT_EQ(d.lblKeepBackups->Caption(), "Keep the last N backups (0 = all)");
      d.edtKeepBackups->SetText(c.Typed);
      d.sbOk->Click();
    });
    EXPECT_TRUE(EditScript(s, left, top));
    EXPECT_EQ(s.KeepBackups, c.Expected);
    EXPECT_EQ(s.DstFormat, 0);
  }
  form_->SetLanguage("de");
  TBackupScript s;
  s.Name = "Daily";
  int32_t left = 50, top = 50;
  ui_->QueueModal([](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    EXPECT_EQ(d.lblKeepBackups->Caption(), "Nur die letzten N Sicherungen behalten (0 = alle)");
    EXPECT_TRUE(d.edtKeepBackups->Enabled());  // a new script's style is the long one
    d.sbCancel->Click();
  });
  EXPECT_FALSE(EditScript(s, left, top));
}

}  // namespace
}  // namespace dravello
