// The main window's commands and the script editor, driven through scripted dialogs.
#include "app/ScriptStore.h"
#include "app/u_frmConfig.h"
#include "ini/SectionIni.h"
#include "tests/app/AppFixture.h"

namespace dravello {
namespace {

using CommandsTest = AppFixture;

// A modal action that fills the editor's name and closes it with OK.
std::function<void(TForm&)> NameAndOk(const std::string& name) {
  return [name](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    d.edtScriptName->SetText(name);
    d.sbOk->Click();
  };
}

std::vector<std::string> Items(const TComboBox& c) { return {c.Items()->begin(), c.Items()->end()}; }

TEST_F(CommandsTest, AddRefusesMissingAndDuplicateNamesUntilAUsableOneIsGiven) {
  WriteIni({"[scripts]", "Daily="});
  TfrmMain& f = Start();
  ui_->QueueModal([](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    d.edtDstPath->SetText(NativePath("/kept/"));
    d.sbOk->Click();  // no name
  });
  ui_->QueueModal([](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    EXPECT_EQ(d.edtDstPath->Text(), NativePath("/kept/"));  // reopened as the user left it
    EXPECT_EQ(d.Caption(), "Add script");
    d.edtScriptName->SetText("DAILY");  // differs from an existing name only in case
    d.sbOk->Click();
  });
  ui_->QueueModal([](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    EXPECT_EQ(d.edtScriptName->Text(), "");
    EXPECT_EQ(d.edtDstPath->Text(), NativePath("/kept/"));
    d.edtScriptName->SetText("Weekly");
    d.sbOk->Click();
  });
  f.sbAddClick(nullptr);
  std::vector<THeadlessRecord> boxes = ui_->MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].Caption, "Error: Missing script name");
  EXPECT_EQ(boxes[0].Text, "A script name must be specified.");
  EXPECT_EQ(boxes[1].Caption, "Error: Duplicate Name");
  EXPECT_EQ(Items(*f.cbxScriptName), (std::vector<std::string>{"Daily", "Weekly"}));
  EXPECT_EQ(f.cbxScriptName->Text(), "Weekly");
  TSectionIniFile ini(IniFileName);
  EXPECT_TRUE(ini.ValueExists("scripts", "Weekly"));
  EXPECT_EQ(ini.ReadText("script: Weekly", "DstPath", ""), NativePath("/kept/"));
}

TEST_F(CommandsTest, CancelAfterARefusedNameAddsNothing) {
  TfrmMain& f = Start();
  ui_->QueueModal(NameAndOk(""));
  ui_->QueueModal([](TForm& form) { static_cast<TfrmConfig&>(form).sbCancel->Click(); });
  f.sbAddClick(nullptr);
  EXPECT_EQ(f.cbxScriptName->Items()->Count(), 0);
  EXPECT_FALSE(Exists("prog/dravello.ini"));
}

class DeleteTest : public AppFixture {
 protected:
  TfrmMain& WithThree() {
    WriteIni({"[scripts]", "A=", "B=", "C=", "[script: A]", "DstPath=/a/", "[script: B]", "DstPath=/b/",
              "[script: C]", "DstPath=/c/"});
    return Start();
  }
};

TEST_F(DeleteTest, SelectionMovesToTheNextOrTheNewLastItem) {
  TfrmMain& f = WithThree();
  f.cbxScriptName->SetItemIndex(2);
  ui_->QueueMessageBoxResult(IDYES);
  f.sbDelClick(nullptr);
  EXPECT_EQ(Items(*f.cbxScriptName), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(f.cbxScriptName->ItemIndex(), 1);
  const THeadlessRecord box = ui_->MessageBoxes().at(0);
  EXPECT_EQ(box.Text, "Do you really want to delete the script \"C\"?");
  EXPECT_EQ(box.Icon(), MB_ICONQUESTION);
  EXPECT_EQ(box.Buttons(), (std::vector<int>{IDYES, IDNO}));

  f.cbxScriptName->SetItemIndex(0);
  ui_->QueueMessageBoxResult(IDYES);
  f.sbDelClick(nullptr);
  EXPECT_EQ(f.cbxScriptName->Text(), "B");
  TSectionIniFile ini(IniFileName);
  EXPECT_FALSE(ini.SectionExists("script: A"));
  EXPECT_FALSE(ini.SectionExists("script: C"));
  EXPECT_TRUE(ini.SectionExists("script: B"));
}

TEST_F(DeleteTest, NoKeepsEverythingAndTheOnlyItemLeavesNoSelection) {
  TfrmMain& f = WithThree();
  f.cbxScriptName->SetItemIndex(1);
  ui_->QueueMessageBoxResult(IDNO);
  f.sbDelClick(nullptr);
  EXPECT_EQ(f.cbxScriptName->Items()->Count(), 3);
  for (int i = 0; i < 3; ++i) {
    f.cbxScriptName->SetItemIndex(0);
    ui_->QueueMessageBoxResult(IDYES);
    f.sbDelClick(nullptr);
  }
  EXPECT_EQ(f.cbxScriptName->Items()->Count(), 0);
  EXPECT_EQ(f.cbxScriptName->ItemIndex(), -1);
}

TEST_F(CommandsTest, RunEditAndDeleteWithoutSelectionDoNothing) {
  TfrmMain& f = Start();
  ASSERT_EQ(f.cbxScriptName->ItemIndex(), -1);
  ui_->ClearHistory();  // showing the main window is recorded too
  f.sbRunClick(nullptr);
  f.sbEdtClick(nullptr);
  f.sbDelClick(nullptr);
  EXPECT_TRUE(ui_->History().empty());
  EXPECT_TRUE(ui_->MessageBoxes().empty());
  EXPECT_EQ(LogLines(), std::vector<std::string>{});
}

TEST_F(CommandsTest, EditRoundTripKeepsSortedSourcesWithFlagsQuotesAndCommas) {
  WriteIni({"[scripts]", "Daily=", "[script: Daily]", "DstPath=/backup/",
            R"(SrcPath="1/zeta","0/alpha ""quoted"", with comma")", R"(SrcExt="*.doc","*.txt")"});
  TfrmMain& f = Start();
  f.cbxScriptName->SetItemIndex(0);
  ui_->QueueModal([](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    EXPECT_EQ(d.Caption(), "Edit script");
    EXPECT_FALSE(d.edtScriptName->Enabled());
    EXPECT_EQ(d.ActiveControl(), d.edtDstPath);
    ASSERT_EQ(d.lbSrcPath->Items()->Count(), 2);
    EXPECT_EQ(d.lbSrcPath->Items()->Strings(0), "/alpha \"quoted\", with comma");
    EXPECT_FALSE(d.lbSrcPath->Checked(0));
    EXPECT_TRUE(d.lbSrcPath->Checked(1));
    d.sbOk->Click();
  });
  f.sbEdtClick(nullptr);
  TBackupScript s;
  s.Name = "Daily";
  f.ReadScript(s);
  EXPECT_EQ(s.SrcPath, R"("0/alpha ""quoted"", with comma","1/zeta")");
  EXPECT_EQ(s.SrcExt, R"("*.doc","*.txt")");
  EXPECT_EQ(f.cbxScriptName->Text(), "Daily");
}

TEST_F(CommandsTest, CancelLeavesTheRecordButReturnsTheNewPosition) {
  Start();
  TBackupScript s;
  s.Name = "Daily";
  s.DstPath = "/x/";
  int32_t left = 50, top = 60;
  ui_->QueueModal([](TForm& form) {
    form.SetBounds(200, 210, form.Width(), form.Height());
    static_cast<TfrmConfig&>(form).edtDstPath->SetText("/changed/");
    form.PressKey(27);
  });
  EXPECT_FALSE(EditScript(s, left, top));
  EXPECT_EQ(s.DstPath, "/x/");
  EXPECT_EQ(left, 200);
  EXPECT_EQ(top, 210);
}

TEST_F(CommandsTest, EditorAddModeEnterAndPathExamples) {
  Start();
  TBackupScript s;
  int32_t left = 50, top = 50;
  ui_->QueueModal([](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    EXPECT_EQ(d.Caption(), "Add script");
    EXPECT_TRUE(d.edtScriptName->Enabled());
    EXPECT_EQ(d.ActiveControl(), d.edtScriptName);
    EXPECT_EQ(d.rbLongPath->Caption(), NativePath(".../2004-03-15 14-07/[files]  (NT, Win9x)"));
    EXPECT_EQ(d.rbShortPath->Caption(), NativePath(".../2004/03151407/[files]  (DOS, Novell)"));
    EXPECT_EQ(d.rbFixedPath->Caption(), NativePath("/[files]"));
    d.edtDstPath->SetText(NativePath("/b"));
    EXPECT_EQ(d.rbFixedPath->Caption(), NativePath("/b/[files]"));
    d.rbPack->Click();
    EXPECT_EQ(d.rbFixedPath->Caption(), NativePath("/b.zip"));
    EXPECT_EQ(d.rbLongPath->Caption(), NativePath(".../2004-03-15 14-07.zip  (NT, Win9x)"));
    d.edtScriptName->SetText("New");
    d.PressKey(13);
  });
  EXPECT_TRUE(EditScript(s, left, top));
  EXPECT_EQ(s.Name, "New");
  EXPECT_FALSE(s.CopyFiles);
  EXPECT_EQ(s.DstPath, NativePath("/b"));
  EXPECT_EQ(s.SrcPath, "");
  EXPECT_EQ(s.SrcExt, "");
}

TEST_F(CommandsTest, EditorListsFoldersFiltersAndHints) {
  Start();
  InitialFolder.clear();
  TBackupScript s;
  s.Name = "Daily";
  s.SrcPath = "\"1" + NativePath("/srv/b/") + "\"";
  s.SrcExt = R"("*.doc")";
  int32_t left = 50, top = 50;
  // Where names ignore case, "/srv/B" is "/srv/b" again: another folder stands in for it.
  const std::string other = NativePath(FileNamesIgnoreCase ? "/srv/c" : "/srv/B");
  ui_->QueueFolder(NativePath("/srv/a"));  // added, checked, selected
  ui_->QueueFolder(NativePath("/srv/b"));  // already listed: nothing
  ui_->QueueFolder(other);                 // another folder (on a case-sensitive file system, by case alone)
  ui_->QueueFolder(NativePath("/srv/a"));  // editing that one into a duplicate leaves two equal lines
  ui_->QueueInput("*.DOC");         // the same filter in other case: ignored
  ui_->QueueInput("*.txt");
  ui_->QueueInput(std::string());   // an edited filter cleared to empty
  ui_->QueueModal([other](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    d.sbSrcPathAdd->Click();
    EXPECT_EQ(d.lbSrcPath->ItemIndex(), 0);
    EXPECT_TRUE(d.lbSrcPath->Checked(0));
    EXPECT_EQ(InitialFolder, NativePath("/srv/a"));
    d.sbSrcPathAdd->Click();
    d.sbSrcPathAdd->Click();
    ASSERT_EQ(d.lbSrcPath->Items()->Count(), 3);
    EXPECT_EQ(d.lbSrcPath->Items()->Strings(2), other + PathDelim);
    d.lbSrcPath->SetItemIndex(2);
    d.sbSrcPathEdit->Click();
    d.sbSrcExtAdd->Click();
    d.sbSrcExtAdd->Click();
    d.lbSrcExt->SetItemIndex(0);
    d.sbSrcExtEdit->Click();
    d.lbSrcPath->MouseMove(0, 2, 2);
    EXPECT_EQ(d.lbSrcPath->Hint(), d.lbSrcPath->Items()->Strings(0));
    d.lbSrcPath->MouseMove(0, 2, 110);  // below the last line
    EXPECT_EQ(d.lbSrcPath->Hint(), "");
    d.lbSrcExt->SetItemIndex(1);
    d.sbSrcExtDel->Click();  // the last line: the one before it is selected
    EXPECT_EQ(d.lbSrcExt->ItemIndex(), 0);
    d.sbOk->Click();
  });
  EXPECT_TRUE(EditScript(s, left, top));
  const std::string a = "\"1" + NativePath("/srv/a/") + "\"", b = "\"1" + NativePath("/srv/b/") + "\"";
  EXPECT_EQ(s.SrcPath, a + "," + b + "," + a);
  EXPECT_EQ(s.SrcExt, R"("")");
  EXPECT_EQ(ui_->PendingAnswers(), 0u);
  // The chooser opened at the last folder added or edited.
  std::vector<THeadlessRecord> choosers = ui_->Records(THeadlessRecord::TKind::FolderChooser);
  ASSERT_EQ(choosers.size(), 4u);
  EXPECT_EQ(choosers[0].Text, "");
  EXPECT_EQ(choosers[1].Text, NativePath("/srv/a"));
  EXPECT_EQ(choosers[0].Caption, "Select backup destination");
}

}  // namespace
}  // namespace dravello

namespace dravello {
namespace {

// Names the INI file would not give back unchanged are refused like a missing name: the editor
// opens again, and nothing is stored.
TEST_F(CommandsTest, AddRefusesNamesTheStoreCannotKeep) {
  TfrmMain& f = Start();
  const std::vector<std::string> refused = {"a=b", "two\nlines", "cr\rname", "tab\tname", " leading", "trailing ",
                                            std::string("eof\x1A"), std::string("del\x7F")};
  for (const std::string& name : refused) ui_->QueueModal(NameAndOk(name));
  ui_->QueueModal(NameAndOk("Usable"));
  f.sbAddClick(nullptr);
  const std::vector<THeadlessRecord> boxes = ui_->MessageBoxes();
  ASSERT_EQ(boxes.size(), refused.size());
  for (const THeadlessRecord& box : boxes) EXPECT_EQ(box.Caption, "Error: Invalid script name");
  EXPECT_EQ(Items(*f.cbxScriptName), std::vector<std::string>{"Usable"});
  f.SetLanguage("de");
  EXPECT_EQ(MessageText("fM_msgBadName_cap"), "Fehler: Ungültiger Skriptname");
}

// Every name Add accepts comes back from the file as the same script.
TEST_F(CommandsTest, AcceptedNamesComeBackFromTheFileUnchanged) {
  const std::vector<std::string> names = {"Daily",     "a;b",        ";comment-like", "[bracketed]", "x]", "[x",
                                          "\xC3\xA4 \xC3\xB6", "#hash", "two  blanks",  "100%",        "q\"uote",
                                          "back\\slash", "comma,name", "'single'"};
  for (size_t i = 0; i < names.size(); ++i) {
    ASSERT_TRUE(IsStorableScriptName(names[i])) << names[i];
    TBackupScript s;
    s.Name = names[i];
    s.DstPath = NativePath("/d/" + std::to_string(i) + "/");
    WriteScript(IniFileName, s);
  }
  TSectionIniFile ini(IniFileName);
  TStringList listed;
  ini.ReadSection("scripts", listed);
  EXPECT_EQ(std::vector<std::string>(listed.begin(), listed.end()), names);
  for (size_t i = 0; i < names.size(); ++i) {
    TBackupScript back;
    back.Name = names[i];
    ReadScript(IniFileName, back);
    EXPECT_EQ(back.DstPath, NativePath("/d/" + std::to_string(i) + "/")) << names[i];
  }
}

// A read-only INI: the failed Add leaves no phantom script, and the window closes after one box.
TEST_F(CommandsTest, AReadOnlyIniDoesNotTrapTheUser) {
  WriteIni({"[scripts]", "Daily="});
  TfrmMain& f = Start();
  std::filesystem::permissions(Path("prog/dravello.ini"), std::filesystem::perms::owner_read);
  ui_->QueueModal(NameAndOk("Weekly"));
  app_->HandleUserAction([&] { f.sbAddClick(nullptr); });
  EXPECT_EQ(Items(*f.cbxScriptName), std::vector<std::string>{"Daily"});
  ASSERT_EQ(ui_->MessageBoxes().size(), 1u);
  f.cbxScriptName->SetItemIndex(0);
  app_->HandleUserAction([&] { f.Close(); });
  EXPECT_TRUE(app_->Terminated());
  EXPECT_EQ(ui_->MessageBoxes().size(), 2u);
}

TEST_F(CommandsTest, DeletingTheOnlyLineOfAnEditorListLeavesItEmpty) {
  Start();
  TBackupScript s;
  s.Name = "Daily";
  s.SrcExt = R"("*.doc")";
  int32_t left = 50, top = 50;
  ui_->QueueModal([](TForm& form) {
    auto& d = static_cast<TfrmConfig&>(form);
    d.lbSrcExt->SetItemIndex(0);
    d.sbSrcExtDel->Click();
    EXPECT_EQ(d.lbSrcExt->Items()->Count(), 0);
    EXPECT_EQ(d.lbSrcExt->ItemIndex(), -1);
    d.sbSrcExtDel->Click();  // nothing left to delete
    d.sbOk->Click();
  });
  EXPECT_TRUE(EditScript(s, left, top));
  EXPECT_EQ(s.SrcExt, "");
}

}  // namespace
}  // namespace dravello
