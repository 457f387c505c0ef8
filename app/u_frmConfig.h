// The script editor: a modal dialog that shows one backup script, lets the user change it, and
// writes it back on OK. It neither reads nor writes the INI file and checks nothing; the caller
// decides what an empty or duplicate name means.
#pragma once

#include <cstdint>
#include <string>

#include "app/u_types.h"
#include "lang/Localizer.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace dravello {

// Shows the editor for `script` at (left, top). On OK the record receives the dialog's content;
// in every case left and top receive the dialog's last position. True when closed with OK.
bool EditScript(TBackupScript& script, int32_t& left, int32_t& top);

// The folder the folder chooser selects when it opens; empty at program start, then the last
// source folder added or edited (or the destination being browsed for).
extern std::string InitialFolder;

class TfrmConfig : public TForm {
  DV_CLASS(TfrmConfig)

 public:
  explicit TfrmConfig(TComponent* owner);

  TPanel* pnlButton;
  TSpeedButton* sbOk;
  TSpeedButton* sbCancel;
  TPanel* pnlMain;
  TGroupBox* gbxGeneral;
  TLabel* lblScriptName;
  TEdit* edtScriptName;
  TLabel* lblCopyOrPack;
  TRadioButton* rbCopy;
  TRadioButton* rbPack;
  TGroupBox* gbxSource;
  TLabel* lblSrcPath;
  TCheckListBox* lbSrcPath;
  TSpeedButton* sbSrcPathAdd;
  TSpeedButton* sbSrcPathEdit;
  TSpeedButton* sbSrcPathDel;
  TBevel* bvlSrc1;
  TListBox* lbSrcExt;
  TLabel* lblSrcExt;
  TRadioButton* rbInclFiles;
  TRadioButton* rbExclFiles;
  TSpeedButton* sbSrcExtAdd;
  TSpeedButton* sbSrcExtEdit;
  TSpeedButton* sbSrcExtDel;
  TGroupBox* gbxDestination;
  TLabel* lblDstPath;
  TEdit* edtDstPath;
  TSpeedButton* sbDstPath;
  TRadioButton* rbLongPath;
  TRadioButton* rbShortPath;
  TRadioButton* rbFixedPath;
  TCheckBox* cbxUseArchiveAttrib;
  TCheckBox* cbxRemArchiveAttrib;
  TEdit* edtKeepBackups;   // how many dated backups to keep (0: all)
  TLabel* lblKeepBackups;
  TLocalizer* mlConfig;

  void FormCreate(TObject* Sender);
  void FormKeyPress(TObject* Sender, char& Key);
  void rbCopyPackClick(TObject* Sender);
  // A path style was chosen: the number of backups to keep applies to the dated ones only.
  void rbPathStyleClick(TObject* Sender);
  void edtDstPathChange(TObject* Sender);
  void lbSrcPathMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y);
  void lbSrcExtMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y);
  void sbOkClick(TObject* Sender);
  void sbCancelClick(TObject* Sender);
  void sbDstPathClick(TObject* Sender);
  void sbSrcPathAddClick(TObject* Sender);
  void sbSrcPathEditClick(TObject* Sender);
  void sbSrcPathDelClick(TObject* Sender);
  void sbSrcExtAddClick(TObject* Sender);
  void sbSrcExtEditClick(TObject* Sender);
  void sbSrcExtDelClick(TObject* Sender);

  // Rewrites the three path-style captions as examples of the destination a run would build.
  void UpdatePathCaptions();

 private:
  void BuildControls();
  // Runs the folder chooser at InitialFolder: the chosen folder with a trailing separator.
  std::optional<std::string> ChooseFolder();
};

}  // namespace dravello
