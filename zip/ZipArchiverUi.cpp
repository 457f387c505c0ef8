// The archiver's window-framework services on the application object of ui/, and the password
// dialog, a form built entirely at run time. Without an application object (a tool without
// windows) there is nothing to show: message boxes are dropped and the dialog is cancelled.
#include "zip/ZipArchiverUi.h"

#include <memory>

#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipMessages.h"

namespace dravello {

namespace {

// The password prompt: a label, an edit that hides what is typed, and a row of buttons.
class TPasswordDlg : public TForm {
  DV_CLASS(TPasswordDlg)

 public:
  TPasswordDlg(TComponent* owner, const std::string& title, const std::string& prompt, uint32_t buttons)
      : TForm(owner) {
    SetName("PasswordDlg");
    buttons |= SetOf(pbOk);
    int count = 0;
    for (uint32_t b = pbOk; b <= pbAbort; ++b) count += InSet(buttons, b) ? 1 : 0;

    SetCaption(title);
    Font()->SetName("Arial");
    Font()->SetHeight(-12);
    Font()->SetStyle(fsBold);
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetBounds(Left(), Top(), 124 * count + 35, 137);

    auto* label = new TLabel(this);
    label->SetName("lblPrompt");
    label->SetParent(this);
    label->SetAutoSize(false);
    label->SetBounds(20, 8, 297, 18);
    label->SetCaption(prompt);

    edit_ = new TEdit(this);
    edit_->SetName("edtPassword");
    edit_->SetParent(this);
    edit_->SetBounds(20, 40, 124 * count - 10, edit_->Height());
    edit_->SetPasswordChar('*');
    edit_->SetMaxLength(80);
    edit_->SetText("");

    struct Kind {
      TPasswordButton button;
      int32_t textId;
      TModalResult result;
      const char* name;
    };
    int k = 0;
    for (const Kind& kind : {Kind{pbOk, zmOkCaption, mrOk, "btnOk"}, Kind{pbCancel, zmCancelCaption, mrCancel, "btnCancel"},
                             Kind{pbCancelAll, zmCancelAllCaption, kPasswordResultCancelAll, "btnCancelAll"},
                             Kind{pbAbort, zmAbortCaption, mrAbort, "btnAbort"}}) {
      if (!InSet(buttons, kind.button)) continue;
      auto* button = new TButton(this);
      button->SetName(kind.name);
      button->SetParent(this);
      button->SetBounds(20 + 124 * k++, 72, 114, 28);
      button->SetCaption(StringTableText(kind.textId));
      button->SetModalResult(kind.result);
      if (kind.button == pbOk) button->SetDefault(true);
      if (kind.button == pbCancel) button->SetCancel(true);
    }
    SetActiveControl(edit_);
  }

  std::string Entry() const { return edit_->Text(); }

 private:
  TEdit* edit_ = nullptr;
};

const TClass& TPasswordDlg::StaticClass() {
  static const TClass info("TPasswordDlg", &TForm::StaticClass());
  return info;
}

class ApplicationUi final : public TZipArchiverUi {
 public:
  // The program's windows have no handle an engine could use on this platform.
  uintptr_t OwnerWindow() override { return 0; }

  void ShowMessage(const std::string& text) override {
    if (Application) Application->MessageBox(text, Application->Title(), MB_OK);
  }

  void ProcessMessages() override {
    if (Application) Application->ProcessMessages();
  }

  bool ActiveWindowIsOurs() override { return Screen != nullptr && Screen->ActiveForm() != nullptr; }
  int16_t ScreenCursor() override { return Screen ? Screen->Cursor() : crDefault; }
  void SetScreenCursor(int16_t cursor) override {
    if (Screen) Screen->SetCursor(cursor);
  }

  int32_t ShowPasswordDialog(const std::string& title, const std::string& prompt, uint32_t buttons,
                             std::string* entry) override {
    if (!Application) return mrCancel;
    std::unique_ptr<TPasswordDlg> dialog(CreateForm<TPasswordDlg>(nullptr, title, prompt, buttons));
    const TModalResult result = dialog->ShowModal();
    if (result == mrOk) *entry = dialog->Entry();
    return result;
  }
};

}  // namespace

TZipArchiverUi& TZipArchiverUi::Default() {
  static ApplicationUi ui;
  return ui;
}

}  // namespace dravello
