#include "app/u_frmConfig.h"

#include <memory>
#include <utility>

#include "lang/u_language.h"
#include "runtime/Clock.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

std::string InitialFolder;

namespace {

// Control name, English and German caption, in the order of the dialog's language script.
struct CaptionEntry {
  const char* control;
  const char* en;
  const char* de;
};

const CaptionEntry kCaptions[] = {
    {"cbxRemArchiveAttrib", "Remove achive attribute", "Entferne Archivattribut"},
    {"cbxUseArchiveAttrib", "Use archive attribute", "nur gesetztes Archivattr."},
    {"gbxGeneral", " General settings ", " Allgemeine Einstellungen "},
    {"gbxSource", " What files in which paths to include (checked = recursive) ",
     " Welche Dateien in welchen Verzeichnissen einbeziehen (Haken = rekursiv) "},
    {"gbxDestination", " Where to store the backup ", " Wo soll die Sicherung gespeichert werden "},
    {"lblCopyOrPack", "How to treat the files:", "Sicherungsdateien..."},
    {"lblDstPath", "Directory", "Pfad"},
    {"lblKeepBackups", "Keep the last N backups (0 = all)", "Nur die letzten N Sicherungen behalten (0 = alle)"},
    {"lblScriptName", "Script Name", "Skriptname"},
    {"lblSrcExt", "Filter", "Filter"},
    {"lblSrcPath", "Directory", "Pfad"},
    {"rbCopy", "Copy files", "kopieren"},
    {"rbExclFiles", "Excl.", "ohne"},
    {"rbFixedPath", "(shows the fixed path)", "(shows the fixed path)"},
    {"rbInclFiles", "Incl.", "nur"},
    {"rbLongPath", "(shows the long path)", "(shows the long path)"},
    {"rbPack", "Zip files", "packen"},
    {"rbShortPath", "(shows the short path)", "(shows the short path)"},
    {"sbCancel", "Cancel", "Abbrechen"},
    {"sbDstPath", "Browse", "Ausw."},
    {"sbOk", "OK", "OK"},
    {"sbSrcExtAdd", "Add", "Neu"},
    {"sbSrcExtDel", "Del", "L\xC3\xB6s."},
    {"sbSrcExtEdit", "Edit", "\xC3\x84nd."},
    {"sbSrcPathAdd", "Add", "Neu"},
    {"sbSrcPathDel", "Del", "L\xC3\xB6s."},
    {"sbSrcPathEdit", "Edit", "\xC3\x84nd."},
};

const char* EnglishCaption(const char* control) {
  for (const CaptionEntry& c : kCaptions)
    if (std::string_view(c.control) == control) return c.en;
  return "";
}

// Two folder paths name the same folder: case matters where the file system says it does.
bool SameFolder(const std::string& a, const std::string& b) {
  return FileNamesIgnoreCase ? AnsiSameText(a, b) : a == b;
}

// The folder chooser cannot be handed more than a classic path's length; a longer text opens it
// at its own default place rather than at a truncated, different folder.
constexpr size_t kMaxInitialFolder = 259;

}  // namespace

const TClass& TfrmConfig::StaticClass() {
  static const TClass info("TfrmConfig", &TForm::StaticClass());
  return info;
}

TfrmConfig::TfrmConfig(TComponent* owner) : TForm(owner) {
  BuildControls();
  OnCreate = BindEvent(this, &TfrmConfig::FormCreate);
  OnKeyPress = BindEvent(this, &TfrmConfig::FormKeyPress);
}

void TfrmConfig::BuildControls() {
  SetName("frmConfig");
  SetBorderStyle(bsToolWindow);
  SetBorderIcons(0);
  SetKeyPreview(true);
  SetScaled(false);
  SetPosition(poDesigned);
  Font()->SetName("MS Sans Serif");
  Font()->SetHeight(-11);
  SetClientWidth(412);
  SetClientHeight(356);

  // Every control is created with its design values; `place` sets what they all share.
  auto place = [](auto* control, const char* name, TWinControl* parent, int32_t l, int32_t t, int32_t w, int32_t h) {
    control->SetName(name);
    control->SetParent(parent);
    control->SetBounds(l, t, w, h);
    control->SetCaption(EnglishCaption(name));
    return control;
  };
  auto speed = [&](const char* name, TWinControl* parent, int32_t l, int32_t t, int32_t w, int32_t h) {
    TSpeedButton* b = place(new TSpeedButton(this), name, parent, l, t, w, h);
    b->SetFlat(true);
    return b;
  };

  pnlButton = place(new TPanel(this), "pnlButton", this, 0, 328, 412, 28);
  pnlButton->SetAlign(alBottom);
  pnlButton->SetBevelOuter(bvNone);
  pnlButton->SetTabOrder(1);
  sbOk = speed("sbOk", pnlButton, 212, 0, 96, 24);
  sbCancel = speed("sbCancel", pnlButton, 312, 0, 96, 24);

  pnlMain = place(new TPanel(this), "pnlMain", this, 0, 0, 412, 328);
  pnlMain->SetAlign(alClient);
  pnlMain->SetBevelOuter(bvNone);
  pnlMain->SetBorderWidth(4);
  pnlMain->SetTabOrder(0);

  gbxGeneral = place(new TGroupBox(this), "gbxGeneral", pnlMain, 4, 4, 404, 44);
  gbxGeneral->SetAlign(alTop);
  gbxGeneral->SetTabOrder(0);
  lblScriptName = place(new TLabel(this), "lblScriptName", gbxGeneral, 8, 16, 64, 20);
  edtScriptName = place(new TEdit(this), "edtScriptName", gbxGeneral, 72, 16, 148, 20);
  edtScriptName->SetTabOrder(0);
  lblCopyOrPack = place(new TLabel(this), "lblCopyOrPack", gbxGeneral, 228, 16, 108, 20);
  rbCopy = place(new TRadioButton(this), "rbCopy", gbxGeneral, 332, 10, 68, 16);
  rbCopy->SetTabOrder(1);
  rbPack = place(new TRadioButton(this), "rbPack", gbxGeneral, 332, 26, 68, 16);
  rbPack->SetTabOrder(2);

  gbxSource = place(new TGroupBox(this), "gbxSource", pnlMain, 4, 48, 404, 140);
  gbxSource->SetAlign(alTop);
  gbxSource->SetTabOrder(1);
  lblSrcPath = place(new TLabel(this), "lblSrcPath", gbxSource, 8, 16, 48, 20);
  lbSrcPath = place(new TCheckListBox(this), "lbSrcPath", gbxSource, 56, 16, 176, 116);
  lbSrcPath->SetSorted(true);
  lbSrcPath->SetShowHint(true);
  lbSrcPath->SetTabOrder(0);
  sbSrcPathAdd = speed("sbSrcPathAdd", gbxSource, 8, 72, 44, 20);
  sbSrcPathEdit = speed("sbSrcPathEdit", gbxSource, 8, 92, 44, 20);
  sbSrcPathDel = speed("sbSrcPathDel", gbxSource, 8, 112, 44, 20);
  for (TSpeedButton* b : {sbSrcPathAdd, sbSrcPathEdit, sbSrcPathDel}) b->SetLayout(blGlyphRight);
  bvlSrc1 = place(new TBevel(this), "bvlSrc1", gbxSource, 240, 16, 12, 116);
  bvlSrc1->SetShape(bsLeftLine);
  lbSrcExt = place(new TListBox(this), "lbSrcExt", gbxSource, 252, 16, 96, 116);
  lbSrcExt->SetShowHint(true);
  lbSrcExt->SetTabOrder(1);
  lblSrcExt = place(new TLabel(this), "lblSrcExt", gbxSource, 352, 16, 28, 20);
  rbInclFiles = place(new TRadioButton(this), "rbInclFiles", gbxSource, 352, 36, 48, 16);
  rbInclFiles->SetTabOrder(2);
  rbExclFiles = place(new TRadioButton(this), "rbExclFiles", gbxSource, 352, 52, 48, 16);
  rbExclFiles->SetTabOrder(3);
  sbSrcExtAdd = speed("sbSrcExtAdd", gbxSource, 352, 72, 44, 20);
  sbSrcExtEdit = speed("sbSrcExtEdit", gbxSource, 352, 92, 44, 20);
  sbSrcExtDel = speed("sbSrcExtDel", gbxSource, 352, 112, 44, 20);

  gbxDestination = place(new TGroupBox(this), "gbxDestination", pnlMain, 4, 188, 404, 136);
  gbxDestination->SetAlign(alTop);
  gbxDestination->SetTabOrder(2);
  lblDstPath = place(new TLabel(this), "lblDstPath", gbxDestination, 8, 16, 64, 20);
  edtDstPath = place(new TEdit(this), "edtDstPath", gbxDestination, 56, 16, 272, 20);
  edtDstPath->SetTabOrder(0);
  sbDstPath = speed("sbDstPath", gbxDestination, 332, 16, 64, 20);
  rbLongPath = place(new TRadioButton(this), "rbLongPath", gbxDestination, 56, 40, 340, 16);
  rbLongPath->SetTabOrder(1);
  rbShortPath = place(new TRadioButton(this), "rbShortPath", gbxDestination, 56, 56, 340, 16);
  rbShortPath->SetTabOrder(2);
  rbFixedPath = place(new TRadioButton(this), "rbFixedPath", gbxDestination, 56, 72, 340, 16);
  rbFixedPath->SetTabOrder(3);
  cbxUseArchiveAttrib = place(new TCheckBox(this), "cbxUseArchiveAttrib", gbxDestination, 56, 92, 140, 16);
  cbxUseArchiveAttrib->SetTabOrder(4);
  cbxRemArchiveAttrib = place(new TCheckBox(this), "cbxRemArchiveAttrib", gbxDestination, 204, 92, 140, 16);
  cbxRemArchiveAttrib->SetTabOrder(5);
  edtKeepBackups = place(new TEdit(this), "edtKeepBackups", gbxDestination, 56, 112, 40, 20);
  edtKeepBackups->SetMaxLength(4);
  edtKeepBackups->SetTabOrder(6);
  lblKeepBackups = place(new TLabel(this), "lblKeepBackups", gbxDestination, 102, 114, 294, 16);

  sbOk->OnClick = BindEvent(this, &TfrmConfig::sbOkClick);
  sbCancel->OnClick = BindEvent(this, &TfrmConfig::sbCancelClick);
  sbDstPath->OnClick = BindEvent(this, &TfrmConfig::sbDstPathClick);
  sbSrcPathAdd->OnClick = BindEvent(this, &TfrmConfig::sbSrcPathAddClick);
  sbSrcPathEdit->OnClick = BindEvent(this, &TfrmConfig::sbSrcPathEditClick);
  sbSrcPathDel->OnClick = BindEvent(this, &TfrmConfig::sbSrcPathDelClick);
  sbSrcExtAdd->OnClick = BindEvent(this, &TfrmConfig::sbSrcExtAddClick);
  sbSrcExtEdit->OnClick = BindEvent(this, &TfrmConfig::sbSrcExtEditClick);
  sbSrcExtDel->OnClick = BindEvent(this, &TfrmConfig::sbSrcExtDelClick);
  rbCopy->OnClick = BindEvent(this, &TfrmConfig::rbCopyPackClick);
  rbPack->OnClick = BindEvent(this, &TfrmConfig::rbCopyPackClick);
  for (TRadioButton* style : {rbLongPath, rbShortPath, rbFixedPath})
    style->OnClick = BindEvent(this, &TfrmConfig::rbPathStyleClick);
  edtDstPath->OnChange = BindEvent(this, &TfrmConfig::edtDstPathChange);
  lbSrcPath->OnMouseMove = BindEvent(this, &TfrmConfig::lbSrcPathMouseMove);
  lbSrcExt->OnMouseMove = BindEvent(this, &TfrmConfig::lbSrcExtMouseMove);

  mlConfig = new TLocalizer(this);
  mlConfig->SetName("mlConfig");
  TStringList* script = mlConfig->Script();
  script->Add("[en]");
  for (const CaptionEntry& c : kCaptions) script->Add(std::string(c.control) + ".Caption = '" + c.en + "'");
  script->Add("");
  script->Add("[de]");
  for (const CaptionEntry& c : kCaptions) script->Add(std::string(c.control) + ".Caption = '" + c.de + "'");
  mlConfig->SetLanguage("en");
}

void TfrmConfig::FormCreate(TObject*) {
  const std::pair<TSpeedButton*, const char*> glyphs[] = {
      {sbOk, "OK"},           {sbCancel, "CANCEL"},      {sbDstPath, "FOLDER"},
      {sbSrcPathAdd, "PLUS"}, {sbSrcPathEdit, "EDIT"},   {sbSrcPathDel, "MINUS"},
      {sbSrcExtAdd, "PLUS"},  {sbSrcExtEdit, "EDIT"},    {sbSrcExtDel, "MINUS"},
  };
  for (const auto& [button, name] : glyphs) button->SetGlyph(LoadBitmapResource(name).get());
  mlConfig->SetLanguage(mlMessages().Language());
}

void TfrmConfig::UpdatePathCaptions() {
  const TDateTimeParts now = Clock::Default().Now();
  const std::string longDate = FormatDateTime("yyyy-mm-dd hh-nn", now);
  const std::string shortDate = FormatDateTime("yyyy", now) + PathDelim + FormatDateTime("mmddhhnn", now);
  const std::string dst = ExcludeTrailingPathDelimiter(edtDstPath->Text());
  const std::string dots = std::string("...") + PathDelim;
  const std::string tail = rbCopy->Checked() ? std::string(1, PathDelim) + "[files]" : std::string(".zip");
  rbLongPath->SetCaption(dots + longDate + tail + "  (NT, Win9x)");
  rbShortPath->SetCaption(dots + shortDate + tail + "  (DOS, Novell)");
  rbFixedPath->SetCaption(dst + tail);
}

void TfrmConfig::rbCopyPackClick(TObject*) { UpdatePathCaptions(); }

void TfrmConfig::rbPathStyleClick(TObject*) {
  const bool dated = !rbFixedPath->Checked();
  edtKeepBackups->SetEnabled(dated);
  lblKeepBackups->SetEnabled(dated);
}
void TfrmConfig::edtDstPathChange(TObject*) { UpdatePathCaptions(); }

void TfrmConfig::FormKeyPress(TObject*, char& Key) {
  if (Key == 13) sbOkClick(this);
  if (Key == 27) sbCancelClick(this);
}

void TfrmConfig::sbOkClick(TObject*) { SetModalResult(mrOk); }
void TfrmConfig::sbCancelClick(TObject*) { SetModalResult(mrCancel); }

std::optional<std::string> TfrmConfig::ChooseFolder() {
  const std::string initial = InitialFolder.size() <= kMaxInitialFolder ? InitialFolder : std::string();
  std::optional<std::string> folder = Application->BrowseForFolder(MessageText("fC_SelDest"), initial);
  if (!folder || folder->empty()) return std::nullopt;
  return IncludeTrailingPathDelimiter(*folder);
}

void TfrmConfig::sbDstPathClick(TObject*) {
  InitialFolder = ExcludeTrailingPathDelimiter(edtDstPath->Text());
  if (std::optional<std::string> folder = ChooseFolder()) edtDstPath->SetText(*folder);
}

void TfrmConfig::sbSrcPathAddClick(TObject*) {
  std::optional<std::string> folder = ChooseFolder();
  if (!folder) return;
  TStringList& items = *lbSrcPath->Items();
  for (const std::string& line : items)
    if (SameFolder(line, *folder)) return;
  int index = items.Add(*folder);
  lbSrcPath->SetChecked(index, true);
  lbSrcPath->SetItemIndex(index);
  InitialFolder = ExcludeTrailingPathDelimiter(*folder);
}

void TfrmConfig::sbSrcPathEditClick(TObject*) {
  int index = lbSrcPath->ItemIndex();
  if (index < 0) return;
  InitialFolder = ExcludeTrailingPathDelimiter(lbSrcPath->Items()->Strings(index));
  if (std::optional<std::string> folder = ChooseFolder()) {
    lbSrcPath->SetItemText(index, *folder);
    InitialFolder = ExcludeTrailingPathDelimiter(*folder);
  }
}

namespace {

// Deletes the selected line; the line now at its place is selected, or the one before it when
// the last line went.
void DeleteSelectedLine(TCustomListControl& list) {
  int index = list.ItemIndex();
  if (index < 0) return;
  list.Items()->Delete(index);
  int count = list.Items()->Count();
  list.SetItemIndex(index < count ? index : count - 1);
}

}  // namespace

void TfrmConfig::sbSrcPathDelClick(TObject*) { DeleteSelectedLine(*lbSrcPath); }
void TfrmConfig::sbSrcExtDelClick(TObject*) { DeleteSelectedLine(*lbSrcExt); }

void TfrmConfig::sbSrcExtAddClick(TObject*) {
  std::string filter = Application->InputBox(Application->Title(), MessageText("fC_SelFilter"), "");
  if (filter.empty()) return;
  for (const std::string& line : *lbSrcExt->Items())
    if (AnsiSameText(line, filter)) return;
  lbSrcExt->Items()->Add(filter);
}

void TfrmConfig::sbSrcExtEditClick(TObject*) {
  int index = lbSrcExt->ItemIndex();
  if (index < 0) return;
  std::string filter = lbSrcExt->Items()->Strings(index);
  if (Application->InputQuery(Application->Title(), MessageText("fC_EdtFilter"), filter))
    lbSrcExt->SetItemText(index, filter);
}

void TfrmConfig::lbSrcPathMouseMove(TObject*, TShiftState, int32_t X, int32_t Y) {
  int index = lbSrcPath->ItemAtPos(X, Y, true);
  lbSrcPath->SetHint(index >= 0 ? lbSrcPath->Items()->Strings(index) : std::string());
}

void TfrmConfig::lbSrcExtMouseMove(TObject*, TShiftState, int32_t X, int32_t Y) {
  int index = lbSrcExt->ItemAtPos(X, Y, true);
  lbSrcExt->SetHint(index >= 0 ? lbSrcExt->Items()->Strings(index) : std::string());
}

bool EditScript(TBackupScript& script, int32_t& left, int32_t& top) {
  std::unique_ptr<TfrmConfig> dialog(CreateForm<TfrmConfig>(nullptr));
  TfrmConfig& d = *dialog;
  d.SetLeft(left);
  d.SetTop(top);
  if (script.Name.empty()) {
    d.edtScriptName->SetEnabled(true);
    d.SetActiveControl(d.edtScriptName);
    d.SetCaption(MessageText("fC_frmConfigAdd"));
  } else {
    d.edtScriptName->SetEnabled(false);
    d.SetActiveControl(d.edtDstPath);
    d.SetCaption(MessageText("fC_frmConfigEdt"));
  }
  d.edtDstPath->SetText(script.DstPath);
  d.edtScriptName->SetText(script.Name);
  (script.CopyFiles ? d.rbCopy : d.rbPack)->SetChecked(true);
  d.UpdatePathCaptions();  // whatever was checked before, the captions follow this record
  if (script.DstFormat == 0) d.rbLongPath->SetChecked(true);
  if (script.DstFormat == 1) d.rbShortPath->SetChecked(true);
  if (script.DstFormat == 2) d.rbFixedPath->SetChecked(true);
  d.edtKeepBackups->SetText(std::to_string(script.KeepBackups));
  d.rbPathStyleClick(&d);

  TCheckListBox& sources = *d.lbSrcPath;
  sources.SetSorted(false);
  sources.Items()->SetCommaText(script.SrcPath);
  for (int i = 0; i < sources.Items()->Count(); ++i) {
    const std::string item = sources.Items()->Strings(i);
    sources.SetItemText(i, item.empty() ? item : item.substr(1));
    sources.SetChecked(i, !item.empty() && item[0] == '1');
  }
  sources.SetSorted(true);

  d.cbxUseArchiveAttrib->SetChecked(script.UseArchiveAttrib);
  d.cbxRemArchiveAttrib->SetChecked(script.RemArchiveAttrib);
  (script.InclFiles ? d.rbInclFiles : d.rbExclFiles)->SetChecked(true);
  d.lbSrcExt->Items()->SetCommaText(script.SrcExt);

  const bool ok = d.ShowModal() == mrOk;
  if (ok) {
    script.Name = d.edtScriptName->Text();
    script.CopyFiles = d.rbCopy->Checked();
    script.DstPath = d.edtDstPath->Text();
    if (d.rbLongPath->Checked()) script.DstFormat = 0;
    else if (d.rbShortPath->Checked()) script.DstFormat = 1;
    else if (d.rbFixedPath->Checked()) script.DstFormat = 2;
    TStringList items;
    for (int i = 0; i < sources.Items()->Count(); ++i)
      items.Add((sources.Checked(i) ? "1" : "0") + sources.Items()->Strings(i));
    script.SrcPath = items.CommaText();
    script.SrcExt = d.lbSrcExt->Items()->CommaText();
    script.UseArchiveAttrib = d.cbxUseArchiveAttrib->Checked();
    script.RemArchiveAttrib = d.cbxRemArchiveAttrib->Checked();
    script.InclFiles = d.rbInclFiles->Checked();
    // Anything but a whole number of at least 1 keeps every backup: the safe reading of a typo.
    const std::optional<int32_t> keep = TryStrToInt(Trim(d.edtKeepBackups->Text()));
    script.KeepBackups = keep && *keep > 0 ? *keep : 0;
  }
  left = d.Left();
  top = d.Top();
  return ok;
}

}  // namespace dravello
