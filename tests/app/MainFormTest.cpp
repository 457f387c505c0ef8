// The main window's start, settings, script store, command line and feedback.
#include "ini/SectionIni.h"
#include "tests/app/AppFixture.h"
#include "tests/support/FaultEnv.h"

namespace dravello {
namespace {

using MainFormTest = AppFixture;

TEST_F(MainFormTest, FirstStartWithoutIniUsesDefaultsAndWritesOnlyTheSettings) {
  TfrmMain& f = Start();
  EXPECT_EQ(f.Left(), 50);
  EXPECT_EQ(f.Top(), 50);
  EXPECT_EQ(f.ConfLeft, 50);
  EXPECT_EQ(f.ConfTop, 50);
  EXPECT_EQ(f.cbxScriptName->Items()->Count(), 0);
  EXPECT_EQ(f.cbxScriptName->ItemIndex(), -1);
  EXPECT_EQ(f.GetLanguage(), "en");
  EXPECT_EQ(f.sbLang->Caption(), "de");
  EXPECT_EQ(f.Width(), 320);
  EXPECT_EQ(f.Height(), 135);
  EXPECT_EQ(f.Caption(), "Velmora's Dravello");
  EXPECT_TRUE(Exists("prog/dravello.log"));
  EXPECT_EQ(f.pnlStatus->Caption(), kCreditLine);
  EXPECT_EQ(f.pnlStatus->Hint(), "Visit the author's homepage");
  EXPECT_EQ(f.pnlStatus->Cursor(), crHandPoint);

  f.Close();
  EXPECT_EQ(Read("prog/dravello.ini"),
            "[applic]\r\nmain left=50\r\nmain top=50\r\nconf left=50\r\nconf top=50\r\nscript no=-1\r\nlang=en\r\n\r\n");
}

TEST_F(MainFormTest, SettingsAreRestoredAndAnOutOfRangeScriptNumberSelectsNothing) {
  WriteIni({"[applic]", "main left=353", "main top=200", "conf left=70", "conf top=80", "script no=2", "lang=de",
            "[scripts]", "weekly=", "Daily="});
  TfrmMain& f = Start();
  EXPECT_EQ(f.Left(), 353);
  EXPECT_EQ(f.Top(), 200);
  EXPECT_EQ(f.ConfLeft, 70);
  EXPECT_EQ(f.ConfTop, 80);
  ASSERT_EQ(f.cbxScriptName->Items()->Count(), 2);
  EXPECT_EQ(f.cbxScriptName->Items()->Strings(0), "Daily");  // sorted without regard to case
  EXPECT_EQ(f.cbxScriptName->ItemIndex(), -1);
  EXPECT_EQ(f.GetLanguage(), "de");
  EXPECT_EQ(f.sbLang->Caption(), "en");
  EXPECT_EQ(f.sbAdd->Caption(), "&Neu");
  EXPECT_EQ(f.gbxScript->Caption(), " Skript ");
  f.Close();
  TSectionIniFile ini(IniFileName);
  EXPECT_EQ(ini.ReadInteger("applic", "script no", 0), -1);
  EXPECT_EQ(ini.ReadText("applic", "lang", ""), "de");
}

TEST_F(MainFormTest, ScriptStoreNormalisesWhatItReads) {
  WriteIni({"[script: Daily]", "DstPath=" + NativePath("/backup"), "SrcPath=1/home/ann/Data", "SrcExt=*.DOC,*.Txt", "DstFormat=258",
            "[script: Empty]", "DstPath="});
  TfrmMain& f = Start();
  TBackupScript s;
  s.Name = "daily";  // sections are found without regard to case
  f.ReadScript(s);
  EXPECT_EQ(s.DstPath, NativePath("/backup/"));
  EXPECT_EQ(s.SrcPath, "\"1/home/ann/Data\"");
  EXPECT_EQ(s.SrcExt, "\"*.doc,*.txt\"");
  EXPECT_EQ(s.DstFormat, 2);  // kept in 8 bits
  EXPECT_TRUE(s.CopyFiles);
  EXPECT_TRUE(s.InclFiles);
  TStringList sources;
  sources.SetCommaText(s.SrcPath);
  ASSERT_EQ(sources.Count(), 1);
  EXPECT_EQ(sources[0], "1/home/ann/Data");

  TBackupScript empty;
  empty.Name = "Empty";
  f.ReadScript(empty);
  EXPECT_EQ(empty.DstPath, std::string(1, PathDelim));
}

TEST_F(MainFormTest, WriteScriptStoresKeysInTableOrderAndDeleteRemovesBoth) {
  TfrmMain& f = Start();
  TBackupScript s;
  s.Name = "Daily";
  s.DstPath = NativePath("/backup");
  s.SrcPath = "\"1/home/ann/Letters\",\"0/srv/work\"";
  s.SrcExt = "\"*.doc\",\"*.txt\"";
  f.WriteScript(s);
  EXPECT_EQ(Read("prog/dravello.ini"),
            "[script: Daily]\r\nCopyFiles=1\r\nDstPath=" + NativePath("/backup/") + "\r\nDstFormat=0\r\n"
            "SrcPath=\"1/home/ann/Letters\",\"0/srv/work\"\r\nSrcExt=\"*.doc\",\"*.txt\"\r\n"
            "UseArchiveAttrib=0\r\nRemArchiveAttrib=0\r\nInclFiles=1\r\n\r\n[scripts]\r\nDaily=\r\n\r\n");
  TBackupScript back;
  back.Name = "Daily";
  f.ReadScript(back);
  EXPECT_EQ(back.SrcPath, s.SrcPath);
  f.DeleteScript("Daily");
  EXPECT_EQ(Read("prog/dravello.ini"), "");
}

TEST_F(MainFormTest, CommandLineNameIsFoundWithoutRegardToCaseAndSettingsStayUntouched) {
  WriteIni({"[applic]", "main left=10", "[scripts]", "Daily=", "[script: Daily]", "DstPath=" + Path("dst"),
            "SrcPath=", "DstFormat=2"});
  const std::string before = Read("prog/dravello.ini");
  TfrmMain& f = Start({"DAILY"});
  f.Activate();
  EXPECT_EQ(f.cbxScriptName->Text(), "Daily");
  EXPECT_EQ(f.ExitStatus(), 0);
  EXPECT_TRUE(ui_->MessageBoxes().empty());
  std::vector<std::string> log = LogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "[DAILY] === Starting script ===");
  EXPECT_EQ(log.back(), "[DAILY] === Finished script ===");
  EXPECT_EQ(Read("prog/dravello.ini"), before);
}

class CommandLineErrorTest : public AppFixture {
 protected:
  // Starts with `params`, which the program must refuse with one error box whose text begins
  // with `textStart`, running nothing and leaving the INI as it was.
  void ExpectRefused(std::vector<std::string> params, const std::string& textStart) {
    WriteIni({"[scripts]", "Daily="});
    const std::string before = Read("prog/dravello.ini");
    TfrmMain& f = Start(std::move(params));
    f.Activate();
    ASSERT_EQ(ui_->MessageBoxes().size(), 1u);
    const THeadlessRecord box = ui_->MessageBoxes()[0];
    EXPECT_EQ(box.Caption, "Parameter error");
    EXPECT_EQ(box.Text.substr(0, textStart.size()), textStart);
    EXPECT_EQ(box.Icon(), MB_ICONERROR);
    EXPECT_EQ(f.ExitStatus(), 2);
    EXPECT_EQ(LogLines(), std::vector<std::string>{});
    EXPECT_EQ(Read("prog/dravello.ini"), before);
  }
};

TEST_F(CommandLineErrorTest, UnknownScript) {
  ExpectRefused({"No Such"}, "The following script does not exist:#CRLF#No Such\r\nPlease choose");
}

TEST_F(CommandLineErrorTest, TwoParameters) {
  ExpectRefused({"a", "b"}, "You specified more than one parameter.\r\nThe application");
}

TEST_F(MainFormTest, StepProgressShowsPercentAndThreeTimesTheElapsedTimeAtAQuarter) {
  TfrmMain& f = Start();
  f.prbMain->SetMax(4);
  f.ResetProgress();
  clock_->AdvanceTicks(21000);
  f.StepProgress();
  EXPECT_EQ(f.Caption(), "Velmora's Dravello (25%, rem: 1:03)");
  f.StepProgress();
  EXPECT_EQ(f.Caption(), "Velmora's Dravello (50%, rem: 0:21)");
  f.ResetProgress();
  EXPECT_EQ(f.Caption(), "Velmora's Dravello");
}

// A window this narrow cuts its title before the figures: the progress bar's hint has them too,
// and only while there is progress to tell.
TEST_F(MainFormTest, TheProgressBarsHintTellsPercentAndTimeLeftLikeTheTitle) {
  TfrmMain& f = Start();
  EXPECT_EQ(f.prbMain->ActiveHint(), "");
  f.prbMain->SetMax(4);
  f.ResetProgress();
  clock_->AdvanceTicks(21000);
  f.StepProgress();
  EXPECT_EQ(f.prbMain->ActiveHint(), "25%, rem: 1:03");
  f.EnableControls(false);  // as during a run: the status line's hints go, the bar's stays
  EXPECT_EQ(f.prbMain->ActiveHint(), "25%, rem: 1:03");
  EXPECT_EQ(f.pnlStatus->ActiveHint(), "");
  f.EnableControls(true);
  f.ResetProgress();
  EXPECT_EQ(f.prbMain->ActiveHint(), "");
}

TEST_F(MainFormTest, ARefusedCloseSaysWhyInTheCurrentLanguageForAMoment) {
  struct Row {
    const char* lang;
    const char* text;
  };
  const Row rows[] = {
      {"en", "A script is running - close the window when it has finished"},
      {"de", "Ein Skript l\xC3\xA4uft - schlie\xC3\x9F" "en Sie das Fenster, wenn es beendet ist"},
  };
  TfrmMain& f = Start();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lang);
    f.SetLanguage(row.lang);
    f.EnableControls(false);  // a run is in progress
    f.ShowStatus("Copying a.txt");
    EXPECT_FALSE(f.CloseQuery());
    EXPECT_EQ(f.pnlStatus->Caption(), row.text);
    // The run's next messages wait until it could be read...
    clock_->AdvanceTicks(2900);
    f.ShowAndLog("Copying b.txt");
    EXPECT_EQ(f.pnlStatus->Caption(), row.text);
    // ...but the log has them at once.
    EXPECT_EQ(LogLines().back(), "Copying b.txt");
    clock_->AdvanceTicks(200);
    f.ShowStatus("Copying c.txt");
    EXPECT_EQ(f.pnlStatus->Caption(), "Copying c.txt");
    // The end of a run always shows.
    EXPECT_FALSE(f.CloseQuery());
    f.ShowStatus("");
    EXPECT_EQ(f.pnlStatus->Caption(), kCreditLine);
    f.EnableControls(true);
    EXPECT_TRUE(f.CloseQuery());
    EXPECT_EQ(f.pnlStatus->Caption(), kCreditLine);
  }
  EXPECT_TRUE(ui_->MessageBoxes().empty());
}

TEST_F(MainFormTest, TheFrontEndLearnsTheLanguageAtStartAndOnEverySwitch) {
  WriteIni({"[applic]", "lang=de"});
  TfrmMain& f = Start();
  EXPECT_EQ(ui_->Language(), "de");
  f.sbLangClick(&f);
  EXPECT_EQ(ui_->Language(), "en");
  f.sbLangClick(&f);
  EXPECT_EQ(ui_->Language(), "de");
}

TEST_F(MainFormTest, StepProgressNeverDividesByZeroNorShowsNegativeTimes) {
  TfrmMain& f = Start();
  f.prbMain->SetMax(0);
  f.ResetProgress();
  f.StepProgress();
  EXPECT_EQ(f.Caption(), "Velmora's Dravello (100%, rem: 0:00)");
  // A tick count that wrapped round since the reset still gives a sane figure.
  f.prbMain->SetMax(1000000);
  f.ResetProgress();
  f.StartTick = 0xFFFFFF00u;
  f.StepProgress();
  EXPECT_EQ(f.Caption().find("rem: -"), std::string::npos);
  EXPECT_NE(f.Caption().find("(0%, rem: 5940:00)"), std::string::npos) << f.Caption();
}

TEST_F(MainFormTest, LanguageSwitchChangesCaptionsAndMessagesAndRoundTrips) {
  TfrmMain& f = Start();
  f.sbLang->Click();
  EXPECT_EQ(f.GetLanguage(), "de");
  EXPECT_EQ(f.sbRun->Caption(), "&Ausf.");
  EXPECT_EQ(MessageText("fM_stbScrStart"), "=== Skriptbeginn ===");
  EXPECT_EQ(f.pnlStatus->Hint(), "Visit the author's homepage");  // until the idle line returns
  f.sbLang->Click();
  EXPECT_EQ(f.GetLanguage(), "en");
  EXPECT_EQ(f.sbRun->Caption(), "&Run");
}

// A hand-edited "lang=fr" would empty every message, so runs would log bare time stamps.
TEST_F(MainFormTest, AnUnknownLanguageFallsBackToEnglish) {
  WriteIni({"[applic]", "lang=fr"});
  TfrmMain& f = Start();
  EXPECT_EQ(f.GetLanguage(), "en");
  EXPECT_EQ(f.sbAdd->Caption(), "&Add");
  EXPECT_EQ(f.sbLang->Caption(), "de");
  EXPECT_EQ(MessageText("fM_stbScrStart"), "=== Starting script ===");
}

// A script whose settings cannot be read still ends the run: finish line, controls back.
TEST_F(MainFormTest, AScriptThatCannotBeReadStillEndsTheRun) {
  WriteIni({"[scripts]", "Daily="});
  TfrmMain& f = Start();
  FaultEnv faults(Env::Platform());
  faults.FailWhen([](const std::string& op, const std::string& path) { return op == "open" && path == IniFileName; });
  ScopedEnv scoped(faults);
  f.RunScript("Daily");
  EXPECT_TRUE(f.sbRun->Enabled());
  EXPECT_EQ(f.CurrentScript, "");
  EXPECT_EQ(f.FailureCount, 1);
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1].substr(0, 45), "[Daily] ### Exception during reading ini file");
  EXPECT_EQ(log[2], "[Daily] === Finished script ===");
  EXPECT_EQ(ui_->MessageBoxes().size(), 1u);
}

TEST_F(MainFormTest, LogLinesCarryTheScriptNameAndFailuresAreLoggedAndCounted) {
  TfrmMain& f = Start();
  f.CurrentScript = "Daily";
  f.ShowAndLog("Hello");
  f.Guarded([] { return std::string("doing things"); }, [] { throw EInOutError("disk on fire", 5); });
  f.CurrentScript.clear();
  f.ShowAndLog("Idle line");
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"[Daily] Hello", "[Daily] ### Exception during doing things [disk on fire]",
                                                  "Idle line"}));
  EXPECT_EQ(Read("prog/dravello.log").substr(0, 20), "2004-03-15 14:07:33 ");
  EXPECT_EQ(f.FailureCount, 1);
  EXPECT_EQ(f.ExitStatus(), 1);
  EXPECT_NE(out_.str().find("[Daily] Hello"), std::string::npos);
}

TEST_F(MainFormTest, ADeletedLogLosesLinesSilently) {
  TfrmMain& f = Start();
  std::filesystem::remove(Path("prog/dravello.log"));
  f.ShowAndLog("lost");
  EXPECT_FALSE(Exists("prog/dravello.log"));
  EXPECT_EQ(f.FailureCount, 0);
  EXPECT_TRUE(ui_->MessageBoxes().empty());
}

TEST_F(MainFormTest, NoClosingWhileARunIsInProgress) {
  TfrmMain& f = Start();
  f.EnableControls(false);
  EXPECT_FALSE(f.CloseQuery());
  EXPECT_FALSE(f.sbRun->Enabled());
  EXPECT_FALSE(f.cbxScriptName->Enabled());
  EXPECT_TRUE(f.sbLang->Enabled());
  EXPECT_FALSE(f.stbMain->ShowHint());
  f.EnableControls(true);
  EXPECT_TRUE(f.CloseQuery());
}

}  // namespace
}  // namespace dravello
