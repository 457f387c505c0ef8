#include "app/u_frmMain.h"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "app/ScriptStore.h"
#include "app/u_frmConfig.h"
#include "ini/SectionIni.h"
#include "lang/u_language.h"
#include "runtime/Clock.h"
#include "runtime/CommandLine.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

const char* const kApplic = "applic";
const char* const kScripts = "scripts";

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

// One archive option bit per member of the add options set.
constexpr uint32_t Bit(AddOptsEnum member) { return 1u << member; }

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
  // The title carries percent done and time left, but a window this narrow shows little of it:
  // the bar's own hint says the same (empty, and so not shown, while idle).
  prbMain->SetShowHint(true);

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
  CreateFileFolders();
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

void TfrmMain::FormCloseQuery(TObject*, bool& CanClose) {
  CanClose = ControlsEnabled;
  if (CanClose) return;
  // Refused: say why, and keep it readable for a moment before the run's own messages return.
  ShowStatus(MessageText("fM_stbCloseRefused"));
  statusHeldUntil_ = Clock::Default().TickCount() + kRefusalShownFor;
  statusHeld_ = true;
}

void TfrmMain::FormClose(TObject*, TCloseAction&) {
  if (StartedWithParams) return;
  // Settings that cannot be written (a read-only INI) are said once; they are no reason to keep
  // the window from closing.
  try {
    SaveSettings();
  } catch (const std::exception& e) {
    Application->ShowException(e);
  }
}

// ---- Settings and script store -------------------------------------------------------------------

void TfrmMain::ResetScript(TBackupScript& script) { dravello::ResetScript(script); }
void TfrmMain::ReadScript(TBackupScript& script) { dravello::ReadScript(IniFileName, script); }
void TfrmMain::WriteScript(const TBackupScript& script) { dravello::WriteScript(IniFileName, script); }
void TfrmMain::DeleteScript(const std::string& name) { dravello::DeleteScript(IniFileName, name); }

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
  // A code the catalogue does not know (a hand-edited "lang=fr") would empty every message and
  // leave the captions as designed: English it is.
  const std::string used = CatalogueHasLanguage(code) ? code : "en";
  mlMessages().SetLanguage(used);
  mlMain->SetLanguage(used);
  Application->SetLanguage(used);
  sbLang->SetCaption(used == "en" ? "de" : "en");
}

std::string TfrmMain::GetLanguage() const { return mlMessages().Language(); }

// ---- Commands ------------------------------------------------------------------------------------

void TfrmMain::sbAddClick(TObject*) {
  ClearRunOutcome();
  TBackupScript script;
  ResetScript(script);
  for (;;) {
    if (!EditScript(script, ConfLeft, ConfTop)) return;
    if (script.Name.empty()) {
      Application->MessageBox(MessageText("fM_msgMis_txt"), MessageText("fM_msgMis_cap"), MB_ICONERROR | MB_OK);
    } else if (!IsStorableScriptName(script.Name)) {
      // A name the INI file would not give back unchanged: after a restart it would be another
      // script, or none.
      Application->MessageBox(MessageText("fM_msgBadName_txt"), MessageText("fM_msgBadName_cap"),
                              MB_ICONERROR | MB_OK);
    } else if (cbxScriptName->Items()->IndexOf(script.Name) < 0) {
      // Stored first: when the file cannot be written, the list stays as the file has it.
      WriteScript(script);
      cbxScriptName->SetItemIndex(cbxScriptName->Items()->Add(script.Name));
      return;
    } else {
      Application->MessageBox(MessageText("fM_msgDup_txt"), MessageText("fM_msgDup_cap"), MB_ICONERROR | MB_OK);
    }
    script.Name.clear();
  }
}

void TfrmMain::sbDelClick(TObject*) {
  ClearRunOutcome();
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
  ClearRunOutcome();
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

void TfrmMain::sbLangClick(TObject*) {
  ClearRunOutcome();
  SetLanguage(sbLang->Caption());
}

void TfrmMain::stbMainClick(TObject*) { Application->OpenAddress(kHomepage); }

// ---- The run -------------------------------------------------------------------------------------

TBackupRun& TfrmMain::Run() {
  if (!run_) run_ = std::make_unique<TBackupRun>(*this, *zipMain, IniFileName, AppDir, ChangeFileExt(IniFileName, ""));
  return *run_;
}

void TfrmMain::RunScript(const std::string& name) { Run().RunScript(name); }

std::string TfrmMain::BuildDestination(const std::string& path, uint8_t format, bool pack) {
  return Run().BuildDestination(path, format, pack);
}

void TfrmMain::RunScriptCopy(const std::string& destination, TStringList& files, TStringList& dirs, bool useArchive,
                             bool removeArchive) {
  Run().RunScriptCopy(destination, files, dirs, useArchive, removeArchive);
}

void TfrmMain::RunScriptPack(const std::string& archive, TStringList& files, bool useArchive, bool removeArchive) {
  Run().RunScriptPack(archive, files, useArchive, removeArchive);
}

void TfrmMain::zipMainProgress(TObject*, ProgressType ProgrType, const std::string& FileName, uint32_t FileSize) {
  Run().ZipProgress(ProgrType, FileName, FileSize);
}

void TfrmMain::StartPhase(int32_t steps) {
  prbMain->SetMax(steps);
  ResetProgress();
}

void TfrmMain::ShowErrorBox(const std::string& text, const std::string& caption) {
  Application->MessageBox(text, caption.empty() ? Application->Title() : caption, MB_ICONERROR | MB_OK);
}

void TfrmMain::ProcessMessages() { Application->ProcessMessages(); }

void TfrmMain::SetRunningScript(const std::string& script) {
  if (!script.empty()) {
    CurrentScript = script;
    EnableControls(false);
  } else {
    EnableControls(true);
    CurrentScript.clear();
  }
}

void TfrmMain::ShowRunFailures(int failed) {
  ShowStatus(MessageTextFmt("fM_stbRunFailed", {int64_t{failed}}));
  runOutcomeShown_ = true;
}

void TfrmMain::ClearRunOutcome() {
  if (!runOutcomeShown_) return;
  runOutcomeShown_ = false;
  ShowStatus("");
}

// ---- Feedback ------------------------------------------------------------------------------------

void TfrmMain::ShowStatus(const std::string& text) {
  if (statusHeld_ && !text.empty() && !ControlsEnabled &&
      static_cast<int32_t>(Clock::Default().TickCount() - statusHeldUntil_) < 0) {
    // The reason a close was refused stays up; the log still gets every line.
    Application->ProcessMessages();
    return;
  }
  statusHeld_ = false;
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
  // One entry, one line: a message's own line breaks (the box keeps them) become blanks.
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += ' ';
    } else {
      line += text[i];
    }
  }
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
  prbMain->SetHint("");
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
  const std::string progress = Format("%d%%, rem: %d:%.2d", {percent, remaining / 60, remaining % 60});
  SetCaption(Application->Title() + " (" + progress + ")");
  prbMain->SetHint(progress);
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
  Run().Guarded(description, work);
}

}  // namespace dravello
