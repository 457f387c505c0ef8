#include "app/u_frmMain.h"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "app/RunJournal.h"
#include "app/u_frmConfig.h"
#include "ini/SectionIni.h"
#include "lang/u_language.h"
#include "zip/ZipMessages.h"
#include "runtime/Clock.h"
#include "runtime/CommandLine.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

const char* const kApplic = "applic";
const char* const kScripts = "scripts";
const char* const kScriptPrefix = "script: ";

// The window's language script: "[en]", its entries, an empty line, "[de]" and its entries.
const char* const kMainLanguageScript[] = {
    "[en]",
    "sbAdd.Caption = '&Add'",
    "sbDel.Caption = '&Delete'",
    "sbEdt.Caption = '&Edit'",
    "sbRun.Caption = '&Run'",
    "gbxScript.Caption = ' Script '",
    "",
    "[de]",
    "sbAdd.Caption = '&Neu'",
    "sbDel.Caption = '&L\xC3\xB6schen'",
    "sbEdt.Caption = '&Bearb.'",
    "sbRun.Caption = '&Ausf.'",
    "gbxScript.Caption = ' Skript '",
};

std::string ErrorText(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown failure";
  }
}

// One archive option bit per member of the add options set.
constexpr uint32_t Bit(AddOptsEnum member) { return 1u << member; }

// MS-DOS ages compared as the unsigned numbers they are: dates from 2044 on have the top bit set
// and would otherwise count as older than everything. -1 means "no file" and is older than any.
bool Newer(int32_t age, int32_t than) {
  if (than == -1) return age != -1;
  if (age == -1) return false;
  return static_cast<uint32_t>(age) > static_cast<uint32_t>(than);
}

}  // namespace

const TClass& TfrmMain::StaticClass() {
  static const TClass info("TfrmMain", &TForm::StaticClass());
  return info;
}

TfrmMain::TfrmMain(TComponent* owner) : TForm(owner) {
  BuildControls();
  OnCreate = BindEvent(this, &TfrmMain::FormCreate);
  OnShow = BindEvent(this, &TfrmMain::FormShow);
  OnActivate = BindEvent(this, &TfrmMain::FormActivate);
  OnCloseQuery = BindEvent(this, &TfrmMain::FormCloseQuery);
  OnClose = BindEvent(this, &TfrmMain::FormClose);
}

// The window as designed: what a stored form would hold.
void TfrmMain::BuildControls() {
  SetName("frmMain");
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetScaled(false);
  SetPosition(poDesigned);
  Font()->SetName("MS Sans Serif");
  Font()->SetHeight(-11);
  SetClientWidth(312);
  SetClientHeight(108);

  stbMain = new TPanel(this);
  stbMain->SetName("stbMain");
  stbMain->SetParent(this);
  stbMain->SetAlign(alBottom);
  stbMain->SetHeight(20);
  stbMain->SetBevelOuter(bvNone);
  stbMain->SetBorderWidth(1);
  stbMain->SetShowHint(true);
  stbMain->SetHint("Send a mail to the author.");
  stbMain->SetCaption("");

  pnlStatus = new TPanel(this);
  pnlStatus->SetName("pnlStatus");
  pnlStatus->SetParent(stbMain);
  pnlStatus->SetAlign(alLeft);
  pnlStatus->SetBounds(1, 1, 288, 18);
  pnlStatus->SetBevelOuter(bvLowered);
  pnlStatus->SetAlignment(taLeftJustify);
  pnlStatus->SetCaption("");

  sbLang = new TSpeedButton(this);
  sbLang->SetName("sbLang");
  sbLang->SetParent(stbMain);
  sbLang->SetAlign(alRight);
  sbLang->SetBounds(291, 1, 20, 19);
  sbLang->SetFlat(true);
  sbLang->SetCaption("de");
  sbLang->OnClick = BindEvent(this, &TfrmMain::sbLangClick);

  gbxScript = new TGroupBox(this);
  gbxScript->SetName("gbxScript");
  gbxScript->SetParent(this);
  gbxScript->SetAlign(alClient);
  gbxScript->SetCaption(" Script ");

  cbxScriptName = new TComboBox(this);
  cbxScriptName->SetName("cbxScriptName");
  cbxScriptName->SetParent(gbxScript);
  cbxScriptName->SetBounds(8, 16, 296, 21);
  cbxScriptName->SetStyle(csDropDownList);
  cbxScriptName->SetSorted(true);

  auto button = [this](TSpeedButton*& b, const char* name, int32_t left, const char* caption) {
    b = new TSpeedButton(this);
    b->SetName(name);
    b->SetParent(gbxScript);
    b->SetBounds(left, 40, 68, 24);
    b->SetFlat(true);
    b->SetCaption(caption);
  };
  button(sbAdd, "sbAdd", 8, "&Add");
  button(sbDel, "sbDel", 84, "&Delete");
  button(sbEdt, "sbEdt", 160, "&Edit");
  button(sbRun, "sbRun", 236, "&Run");
  sbAdd->OnClick = BindEvent(this, &TfrmMain::sbAddClick);
  sbDel->OnClick = BindEvent(this, &TfrmMain::sbDelClick);
  sbEdt->OnClick = BindEvent(this, &TfrmMain::sbEdtClick);
  sbRun->OnClick = BindEvent(this, &TfrmMain::sbRunClick);

  prbMain = new TProgressBar(this);
  prbMain->SetName("prbMain");
  prbMain->SetParent(gbxScript);
  prbMain->SetAlign(alBottom);
  prbMain->SetHeight(16);
  prbMain->SetMin(0);
  prbMain->SetMax(100);
  prbMain->SetStep(1);

  bvlProgBar = new TBevel(this);
  bvlProgBar->SetName("bvlProgBar");
  bvlProgBar->SetParent(gbxScript);
  bvlProgBar->SetAlign(alClient);
  bvlProgBar->SetShape(bsBottomLine);

  zipMain = new TZipArchiver(this);
  zipMain->SetName("zipMain");
  zipMain->SetAddCompLevel(9);
  zipMain->SetAddOptions(Bit(AddDirNames) | Bit(AddHiddenFiles));
  AddStoreExts suffixes = 0;
  for (uint32_t m = assGIF; m <= assJAR; ++m) suffixes |= 1u << m;
  zipMain->SetAddStoreSuffixes(suffixes);
  zipMain->SetUnattended(true);
  zipMain->SetMinZipEngineVers(172);
  zipMain->SetMinUnzEngineVers(172);
  zipMain->SetVerbose(false);
  zipMain->SetTrace(false);
  zipMain->OnProgress = BindEvent(this, &TfrmMain::zipMainProgress);

  mlMain = new TLocalizer(this);
  mlMain->SetName("mlMain");
  for (const char* line : kMainLanguageScript) mlMain->Script()->Add(line);
  mlMain->SetLanguage("en");

  Application->SetStatusLine(pnlStatus);
}

// ---- Window events -----------------------------------------------------------------------------

void TfrmMain::FormCreate(TObject*) {
  LogEnabled = true;
  SetIcon(Application->Icon());
  SetCaption(Application->Title());
  SetBounds(Left(), Top(), 320, 135);
  sbAdd->SetGlyph(LoadBitmapResource("PLUS").get());
  sbDel->SetGlyph(LoadBitmapResource("MINUS").get());
  sbEdt->SetGlyph(LoadBitmapResource("EDIT").get());
  sbRun->SetGlyph(LoadBitmapResource("RUN").get());
  CurrentScript.clear();
  // A log that cannot be created is no reason to refuse the window: its lines are then lost one
  // by one, as when the log disappears while the program runs.
  try {
    Env& env = Env::Default();
    if (!env.FileExists(LogFileName)) env.NewWritableFile(LogFileName)->Close();
  } catch (const std::exception&) {
  }
  EnableControls(true);
  AppDir = IncludeTrailingPathDelimiter(ExtractFilePath(Env::Default().ProgramFileName()));
  StartedWithParams = ParamCount() >= 1;
}

void TfrmMain::FormShow(TObject*) {
  Guarded([] { return MessageText("fM_stbIniReadErr"); }, [this] { LoadSettings(); });
  ShowAndLog("");
}

void TfrmMain::FormActivate(TObject*) {
  Application->ProcessMessages();
  if (ParamCount() >= 1) {
    RunCommandLine();
    Close();
  }
}

void TfrmMain::FormCloseQuery(TObject*, bool& CanClose) { CanClose = ControlsEnabled; }

void TfrmMain::FormClose(TObject*, TCloseAction&) {
  if (!StartedWithParams) SaveSettings();
}

// ---- Settings and script store -------------------------------------------------------------------

void TfrmMain::ResetScript(TBackupScript& script) { script = TBackupScript{}; }

void TfrmMain::ReadScript(TBackupScript& script) {
  TSectionIniFile ini(IniFileName);
  const std::string section = kScriptPrefix + script.Name;
  script.CopyFiles = ini.ReadBool(section, "CopyFiles", true);
  script.DstPath = AddBackslash(ini.ReadText(section, "DstPath", ""));
  script.DstFormat = static_cast<uint8_t>(ini.ReadInteger(section, "DstFormat", 0));
  script.SrcPath = ini.ReadText(section, "SrcPath", "");
  script.SrcExt = LowerCaseAscii(ini.ReadText(section, "SrcExt", ""));
  script.UseArchiveAttrib = ini.ReadBool(section, "UseArchiveAttrib", false);
  script.RemArchiveAttrib = ini.ReadBool(section, "RemArchiveAttrib", false);
  script.InclFiles = ini.ReadBool(section, "InclFiles", true);
  // A hand-written single item without quotes still parses as one item.
  for (std::string* value : {&script.SrcPath, &script.SrcExt}) {
    if (value->empty()) continue;
    if (value->back() != '"') *value += '"';
    if (value->front() != '"') value->insert(value->begin(), '"');
  }
}

void TfrmMain::WriteScript(const TBackupScript& script) {
  TSectionIniFile ini(IniFileName);
  const std::string section = kScriptPrefix + script.Name;
  ini.WriteBool(section, "CopyFiles", script.CopyFiles);
  ini.WriteText(section, "DstPath", AddBackslash(script.DstPath));
  ini.WriteInteger(section, "DstFormat", script.DstFormat);
  ini.WriteText(section, "SrcPath", script.SrcPath);
  ini.WriteText(section, "SrcExt", script.SrcExt);
  ini.WriteBool(section, "UseArchiveAttrib", script.UseArchiveAttrib);
  ini.WriteBool(section, "RemArchiveAttrib", script.RemArchiveAttrib);
  ini.WriteBool(section, "InclFiles", script.InclFiles);
  ini.WriteText(kScripts, script.Name, "");
  ini.UpdateFile();
}

void TfrmMain::DeleteScript(const std::string& name) {
  TSectionIniFile ini(IniFileName);
  ini.EraseSection(kScriptPrefix + name);
  ini.DeleteKey(kScripts, name);
  ini.UpdateFile();
}

void TfrmMain::LoadSettings() {
  TSectionIniFile ini(IniFileName);
  SetLeft(ini.ReadInteger(kApplic, "main left", 50));
  SetTop(ini.ReadInteger(kApplic, "main top", 50));
  ConfLeft = ini.ReadInteger(kApplic, "conf left", 50);
  ConfTop = ini.ReadInteger(kApplic, "conf top", 50);
  TStringList names;
  ini.ReadSection(kScripts, names);
  cbxScriptName->Items()->BeginUpdate();
  for (const std::string& name : names) cbxScriptName->Items()->Add(name);
  cbxScriptName->Items()->EndUpdate();
  int32_t index = ini.ReadInteger(kApplic, "script no", -1);
  cbxScriptName->SetItemIndex(index >= 0 && index < cbxScriptName->Items()->Count() ? index : -1);
  SetLanguage(ini.ReadText(kApplic, "lang", "en"));
}

void TfrmMain::SaveSettings() {
  TSectionIniFile ini(IniFileName);
  ini.WriteInteger(kApplic, "main left", Left());
  ini.WriteInteger(kApplic, "main top", Top());
  ini.WriteInteger(kApplic, "conf left", ConfLeft);
  ini.WriteInteger(kApplic, "conf top", ConfTop);
  ini.WriteInteger(kApplic, "script no", cbxScriptName->ItemIndex());
  ini.WriteText(kApplic, "lang", GetLanguage());
  ini.UpdateFile();
}

void TfrmMain::EnableControls(bool enabled) {
  ControlsEnabled = enabled;
  for (TControl* c : std::initializer_list<TControl*>{sbAdd, sbDel, sbEdt, sbRun, cbxScriptName}) c->SetEnabled(enabled);
  stbMain->SetShowHint(enabled);
  Application->ProcessMessages();
}

void TfrmMain::RunCommandLine() {
  if (ParamCount() == 1) {
    const std::string name = ParamStr(1);
    if (cbxScriptName->Items()->IndexOf(name) < 0) {
      ParameterError = true;
      Application->MessageBox(MessageTextFmt("fM_msgNoScript_txt", {name}), MessageText("fM_msgNoScript_cap"),
                              MB_ICONERROR | MB_OK);
      return;
    }
    Guarded([] { return MessageText("fM_stbShowScript"); },
            [&] { cbxScriptName->SetItemIndex(cbxScriptName->Items()->IndexOf(name)); });
    Guarded([] { return std::string("RunScript"); }, [&] { RunScript(name); });
  } else {
    ParameterError = true;
    Application->MessageBox(MessageText("fM_msgCLP_txt"), MessageText("fM_msgCLP_cap"), MB_ICONERROR | MB_OK);
  }
}

void TfrmMain::SetLanguage(const std::string& code) {
  mlMessages().SetLanguage(code);
  mlMain->SetLanguage(code);
  sbLang->SetCaption(code == "en" ? "de" : "en");
}

std::string TfrmMain::GetLanguage() const { return mlMessages().Language(); }

// ---- Commands ------------------------------------------------------------------------------------

void TfrmMain::sbAddClick(TObject*) {
  TBackupScript script;
  ResetScript(script);
  for (;;) {
    if (!EditScript(script, ConfLeft, ConfTop)) return;
    if (script.Name.empty()) {
      Application->MessageBox(MessageText("fM_msgMis_txt"), MessageText("fM_msgMis_cap"), MB_ICONERROR | MB_OK);
    } else if (cbxScriptName->Items()->IndexOf(script.Name) < 0) {
      int index = cbxScriptName->Items()->Add(script.Name);
      WriteScript(script);
      cbxScriptName->SetItemIndex(index);
      return;
    } else {
      Application->MessageBox(MessageText("fM_msgDup_txt"), MessageText("fM_msgDup_cap"), MB_ICONERROR | MB_OK);
    }
    script.Name.clear();
  }
}

void TfrmMain::sbDelClick(TObject*) {
  if (cbxScriptName->ItemIndex() < 0) return;
  const std::string name = cbxScriptName->Text();
  if (Application->MessageBox(MessageTextFmt("fM_msgDel_txt", {name}), MessageText("fM_msgDel_cap"),
                              MB_ICONQUESTION | MB_YESNO) != IDYES)
    return;
  int index = cbxScriptName->ItemIndex();
  cbxScriptName->Items()->Delete(index);
  int count = cbxScriptName->Items()->Count();
  cbxScriptName->SetItemIndex(index < count ? index : count - 1);
  DeleteScript(name);
}

void TfrmMain::sbEdtClick(TObject*) {
  if (cbxScriptName->ItemIndex() < 0) return;
  TBackupScript script;
  ResetScript(script);
  script.Name = cbxScriptName->Text();
  ReadScript(script);
  if (EditScript(script, ConfLeft, ConfTop)) {
    WriteScript(script);
    cbxScriptName->SetItemIndex(cbxScriptName->Items()->IndexOf(script.Name));
  }
}

void TfrmMain::sbRunClick(TObject*) {
  if (cbxScriptName->ItemIndex() < 0) return;
  RunScript(cbxScriptName->Text());
}

void TfrmMain::sbLangClick(TObject*) { SetLanguage(sbLang->Caption()); }

void TfrmMain::stbMainClick(TObject*) { Application->OpenAddress(kHomepage); }

// ---- The run -------------------------------------------------------------------------------------

void TfrmMain::RunScript(const std::string& name) {
  CurrentScript = name;
  ShowAndLog(MessageText("fM_stbScrStart"));
  TBackupScript script;
  script.Name = name;
  ReadScript(script);

  TStringList filters;
  TStringList sources;
  TStringList files;
  TStringList dirs;
  filters.SetDuplicates(TDuplicates::dupAccept);
  sources.SetDuplicates(TDuplicates::dupAccept);
  EnableControls(false);

  struct EndSteps {
    TfrmMain& form;
    ~EndSteps() {
      form.ShowAndLog(MessageText("fM_stbScrFinish"));
      form.ShowAndLog("");
      form.EnableControls(true);
      form.CurrentScript.clear();
    }
  } endSteps{*this};

  // What runs killed midway left under temporary names where no later run of theirs looks.
  const std::string journalStem = ChangeFileExt(IniFileName, "");
  TRunJournal::TidyAfterEndedRuns(journalStem);

  if (!script.CopyFiles) {
    std::string dir = zipMain->DLLDirectory().empty() ? AppDir : AddBackslash(zipMain->DLLDirectory());
    if (!Env::Default().FileExists(dir + "ZIPENGINE.DLL")) {
      const std::string text = MessageText("fM_msgDLL_txt");
      Application->MessageBox(text, MessageText("fM_msgDLL_cap"), MB_ICONERROR | MB_OK);
      ReportError("ZIPENGINE.DLL", text);
      return;
    }
  }

  const std::string destination = BuildDestination(script.DstPath, script.DstFormat, !script.CopyFiles);
  std::optional<TRunJournal> journal;
  if (script.CopyFiles) {
    journal.emplace(journalStem, std::vector<std::string>{destination}, std::vector<std::string>{});
  } else {
    std::vector<std::string> archives{destination};
    if (!zipMain->TempDir().empty()) archives.push_back(AddBackslash(zipMain->TempDir()) + ExtractFileName(destination));
    journal.emplace(journalStem, std::vector<std::string>{}, archives);
  }
  ShowAndLog(MessageText("fM_stbRetrieving"));

  // Both lists end up sorted by the locale comparison with duplicates ignored. They are filled
  // unsorted and sorted once, which gives the same result as sorted insertion in O(n log n).
  files.SetExactDuplicates(!FileNamesIgnoreCase);
  dirs.SetExactDuplicates(!FileNamesIgnoreCase);
  filters.SetCommaText(script.SrcExt);
  if (filters.Count() == 0) filters.Add("*");
  sources.SetCommaText(script.SrcPath);

  for (const std::string& item : sources) {
    Guarded([&] { return MessageTextFmt("fM_stbRetrievingErr", {item.empty() ? item : item.substr(1)}); },
            [&] {
              Application->ProcessMessages();
              if (item.empty()) throw EConvertError("Empty source entry");
              CollectFiles(files, item.substr(1), item[0] == '1');
            });
  }
  files.SetSorted(true);

  // Walked from the last entry to the first; what is decided stays decided even when a later
  // entry fails, so the list is used as it stands at that moment.
  std::vector<char> remove(static_cast<size_t>(files.Count()), 0);
  Guarded([] { return MessageText("fM_stbSortErr"); },
          [&] {
            for (int i = files.Count() - 1; i >= 0; --i) {
              if (i % 25 == 0) Application->ProcessMessages();
              remove[static_cast<size_t>(i)] = FileNameMatchesAny(files[i], filters) != script.InclFiles;
            }
          });
  files.DeleteWhere([&](int i) { return remove[static_cast<size_t>(i)] != 0; });

  if (script.CopyFiles) {
    Application->ProcessMessages();
    dirs.Clear();
    for (const std::string& file : files) {
      dirs.Add(ExtractFilePath(file));
      Application->ProcessMessages();
    }
    dirs.SetSorted(true);
    Guarded([] { return std::string("RunScriptCopy"); },
            [&] { RunScriptCopy(destination, files, dirs, script.UseArchiveAttrib, script.RemArchiveAttrib); });
  } else {
    Guarded([] { return std::string("RunScriptPack"); },
            [&] { RunScriptPack(destination, files, script.UseArchiveAttrib, script.RemArchiveAttrib); });
  }
}

std::string TfrmMain::BuildDestination(const std::string& path, uint8_t format, bool pack) {
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
  Env& env = Env::Default();
  if (!env.DirectoryExists(result)) env.ForceDirectories(result);
  return AddBackslash(result);
}

void TfrmMain::RunScriptCopy(const std::string& destination, TStringList& files, TStringList& dirs, bool useArchive,
                             bool removeArchive) {
  Env& env = Env::Default();
  ShowAndLog(MessageTextFmt("fM_stbProcPath", {int64_t{dirs.Count()}}));
  prbMain->SetMax(dirs.Count());
  ResetProgress();
  for (const std::string& dir : dirs) {
    StepProgress();
    const std::string target = destination + PathWithoutDrive(dir);
    Guarded([&] { return MessageTextFmt("fM_stbCreatePathErr", {target}); },
            [&] {
              if (!env.DirectoryExists(target))
                env.ForceDirectories(target);
              else  // copies of a run that was killed midway, which no rename will ever complete
                env.RemoveStaleTempFiles(target);
            });
  }

  ShowAndLog(MessageTextFmt("fM_stbProcFile", {int64_t{files.Count()}}));
  prbMain->SetMax(files.Count());
  ResetProgress();
  int copied = 0;
  for (const std::string& src : files) {
    const std::string dst = destination + PathWithoutDrive(src);
    Guarded([&] { return MessageTextFmt("fM_stbCopyingErr", {src, dst}); },
            [&] {
              StepProgress();
              ShowStatus(MessageTextFmt("fM_stbCopying", {ExtractFileName(src)}));
              Application->ProcessMessages();
              const FileStat srcStat = env.Stat(src);
              if (srcStat.Kind != FileKind::Regular)
                throw EInOutError("Cannot open \"" + src + "\": the file no longer exists or is no regular file", 0);
              bool copy = Newer(env.FileAgeOf(srcStat), env.FileAge(dst));
              if (!copy && useArchive) {
                std::optional<uint32_t> attrs = env.GetAttributes(src);
                copy = attrs && (*attrs & faArchive);
              }
              if (!copy) return;
              const CopiedFile done = CopyFileSafely(env, src, dst);
              // Cleared only when the source is unchanged since it was read for this copy: a
              // change made meanwhile must be picked up by the next run.
              if (removeArchive && (done.SourceAttributes & faArchive) &&
                  env.Stat(src).SameContentStamp(done.Source))
                env.SetAttributes(src, done.SourceAttributes & ~faArchive, &done.Source);
              ++copied;
            });
  }
  ShowAndLog(MessageTextFmt("fM_stbCopied", {int64_t{copied}}));
}

void TfrmMain::RunScriptPack(const std::string& archive, TStringList& files, bool useArchive, bool removeArchive) {
  Env& env = Env::Default();
  const std::string dir = ExtractFilePath(archive);
  if (!dir.empty() && !env.DirectoryExists(dir)) env.ForceDirectories(dir);
  ShowAndLog(MessageTextFmt("fM_stbPacking", {int64_t{files.Count()}}));
  zipMain->SetZipFileName(archive);
  AddOpts options = Bit(AddDirNames) | Bit(AddHiddenFiles);
  if (useArchive) options |= Bit(AddArchiveOnly);
  if (removeArchive) options |= Bit(AddResetArchive);
  zipMain->SetAddOptions(options);
  zipMain->SetFSpecArgs(&files);
  zipMain->SetTrace(false);
  zipMain->SetVerbose(false);
  // The engine tells of a file it had to leave out (unreadable, vanished since the listing) only
  // in a message carrying a code, and the directory re-read after a successful add clears ErrCode
  // again: such a file would drop out of the backup without a trace. Each such message is logged
  // and counted, as a copy run logs a file it cannot copy. The handler lives only for this add.
  std::vector<std::string> engineReports;
  zipMain->OnMessage = [&engineReports](TObject*, int32_t errCode, const std::string& message) {
    if (errCode != 0) engineReports.push_back(message);
  };
  struct DetachHandler {
    TZipArchiver* zip;
    ~DetachHandler() { zip->OnMessage = nullptr; }
  } detach{zipMain};
  Guarded([] { return MessageText("fM_stbPackingErr"); },
          [&] {
            int32_t result = zipMain->Add();
            for (const std::string& report : engineReports) ReportError(MessageText("fM_stbPackingErr"), report);
            // The archiver reports its own failures (an engine that failed as a whole, say) with
            // no code in the message, so they are not among the reports; a backup that packed
            // nothing must still show up in the log and the exit status, once. "Nothing to zip"
            // is no failure of a backup.
            const bool alreadyLogged = !engineReports.empty() && engineReports.back() == zipMain->Message();
            if (result != 0 && result != zmNoFilesToZip && !alreadyLogged)
              ReportError(MessageText("fM_stbPackingErr"), zipMain->Message());
          });
  ShowAndLog(MessageText("fM_stbPackDone"));
}

void TfrmMain::zipMainProgress(TObject*, ProgressType ProgrType, const std::string& FileName, uint32_t FileSize) {
  switch (ProgrType) {
    case ptFileBegin:
      Guarded([] { return MessageText("fM_stbStepProgBarErr"); },
              [&] {
                StepProgress();
                ShowStatus(MessageTextFmt("fM_stbPackingFile", {ExtractFileName(FileName)}));
              });
      break;
    case ptTotalFiles:
      Guarded([] { return MessageText("fM_stbResetProgBarErr"); },
              [&] {
                if (FileSize > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
                  throw ERangeError("Range check error");
                prbMain->SetMax(static_cast<int32_t>(FileSize));
                ResetProgress();
              });
      break;
    default:
      break;
  }
}

// ---- Feedback ------------------------------------------------------------------------------------

void TfrmMain::ShowStatus(const std::string& text) {
  if (!text.empty()) {
    pnlStatus->SetHint("");
    pnlStatus->OnClick = nullptr;
    pnlStatus->SetCursor(crDefault);
    pnlStatus->SetCaption(text);
  } else {
    pnlStatus->SetCaption(kCreditLine);
    pnlStatus->SetHint(MessageText("fM_stbHint"));
    pnlStatus->OnClick = BindEvent(this, &TfrmMain::stbMainClick);
    pnlStatus->SetCursor(crHandPoint);
    ResetProgress();
  }
  Application->ProcessMessages();
}

void TfrmMain::ShowAndLog(const std::string& text) {
  ShowStatus(text);
  if (LogEnabled && !text.empty()) WriteLog(text);
}

void TfrmMain::WriteLog(const std::string& text) {
  std::string line = FormatDateTime("yyyy-mm-dd hh:nn:ss", Clock::Default().Now()) + " ";
  if (!CurrentScript.empty()) line += "[" + CurrentScript + "] ";
  line += text;
  Application->LogLine(line);
  // A line that cannot be written is lost without a report: reporting it would mean writing
  // another line to the same log.
  try {
    std::unique_ptr<WritableFile> log = Env::Default().NewAppendableFile(LogFileName);
    log->Append(line + "\r\n");
    log->Close();
  } catch (const std::exception&) {
  }
}

void TfrmMain::ResetProgress() {
  SetCaption(Application->Title());
  prbMain->SetPosition(0);
  StartTick = Clock::Default().TickCount();
}

void TfrmMain::StepProgress() {
  prbMain->StepIt();
  const double position = prbMain->Position();
  const double maximum = prbMain->Max();
  // An empty phase, or a bar already full, is done: no division by zero, no negative time.
  const double fraction = maximum > 0 ? std::clamp(position / maximum, 0.0, 1.0) : 1.0;
  const double elapsed = static_cast<uint32_t>(Clock::Default().TickCount() - StartTick);
  int64_t remaining = 0;
  if (fraction > 0) {
    // Rounded to the nearest millisecond, then whole seconds; capped at 99 hours so that an
    // early, tiny fraction cannot show an absurd figure.
    double ms = std::nearbyint(elapsed / fraction - elapsed);
    remaining = static_cast<int64_t>(std::min(ms, 99.0 * 3600 * 1000)) / 1000;
  }
  const auto percent = static_cast<int64_t>(std::nearbyint(fraction * 100));  // half to even
  SetCaption(Format("%s (%d%%, rem: %d:%.2d)", {Application->Title(), percent, remaining / 60, remaining % 60}));
  Application->ProcessMessages();
}

void TfrmMain::ReportError(const std::string& description, const std::string& failure) {
  ++FailureCount;
  if (reportingError_) return;  // a failure while reporting a failure goes no further
  reportingError_ = true;
  try {
    WriteLog(MessageTextFmt("fM_stbStatusError", {description, failure}));
  } catch (const std::exception&) {
  }
  reportingError_ = false;
}

void TfrmMain::Guarded(const std::function<std::string()>& description, const std::function<void()>& work) {
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
    ReportError(what, failure);
  }
}

}  // namespace dravello
