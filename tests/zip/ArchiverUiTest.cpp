// The archiver on the real application object with the headless front end: message boxes, the
// run-time password dialog, message processing and the busy cursor.
#include <gtest/gtest.h>

#include <sstream>

#include "ZipBuilder.h"
#include "ZipTestSupport.h"
#include "runtime/Clock.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "ui/headless/HeadlessFrontEnd.h"
#include "zip/ZipArchiver.h"

namespace dravello {
namespace {

using namespace ziptest;

class ZipArchiverUiTest : public ::testing::Test {
 protected:
  ZipArchiverUiTest() : clock_(), scopedClock_(clock_) {
    auto fe = std::make_unique<THeadlessFrontEnd>(out_, err_);
    fe_ = fe.get();
    app_.SetTitle("Dravello");
    app_.SetFrontEnd(std::move(fe));
  }

  template <class C>
  static C* Find(TForm& form, const char* name) {
    C* c = dynamic_cast<C*>(form.FindComponent(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }

  ManualClock clock_;
  ScopedClock scopedClock_;
  std::ostringstream out_, err_;
  TApplication app_;
  THeadlessFrontEnd* fe_ = nullptr;
  TZipArchiver z{&app_};
};

struct ButtonSpec {
  const char* name;
  int left;
  const char* caption;
  TModalResult result;
};

void ExpectButtons(TForm& form, const std::vector<ButtonSpec>& specs) {
  int buttons = 0;
  for (int i = 0; i < form.ComponentCount(); ++i) buttons += dynamic_cast<TButton*>(form.Components(i)) ? 1 : 0;
  EXPECT_EQ(buttons, static_cast<int>(specs.size()));
  for (const ButtonSpec& s : specs) {
    auto* b = dynamic_cast<TButton*>(form.FindComponent(s.name));
    ASSERT_NE(b, nullptr) << s.name;
    EXPECT_EQ(b->Left(), s.left) << s.name;
    EXPECT_EQ(b->Top(), 72) << s.name;
    EXPECT_EQ(b->Width(), 114) << s.name;
    EXPECT_EQ(b->Height(), 28) << s.name;
    EXPECT_EQ(b->Caption(), s.caption) << s.name;
    EXPECT_EQ(b->ModalResult(), s.result) << s.name;
  }
}

TEST_F(ZipArchiverUiTest, ExtractPasswordDialogLayout) {
  fe_->QueueModal([&](TForm& form) {
    EXPECT_EQ(form.ClassName(), "TPasswordDlg");
    EXPECT_EQ(form.Caption(), "Password");
    EXPECT_EQ(form.Font()->Name(), "Arial");
    EXPECT_EQ(form.Font()->Height(), -12);
    EXPECT_EQ(form.Font()->Style(), fsBold);
    EXPECT_EQ(form.BorderStyle(), bsDialog);
    EXPECT_EQ(form.Position(), poScreenCenter);
    EXPECT_EQ(form.Width(), 124 * 3 + 35);
    EXPECT_EQ(form.Height(), 137);
    auto* label = Find<TLabel>(form, "lblPrompt");
    EXPECT_EQ(label->Caption(), "Enter Password ");
    EXPECT_FALSE(label->AutoSize());
    EXPECT_EQ(label->Left(), 20);
    EXPECT_EQ(label->Top(), 8);
    EXPECT_EQ(label->Width(), 297);
    EXPECT_EQ(label->Height(), 18);
    auto* edit = Find<TEdit>(form, "edtPassword");
    EXPECT_EQ(edit->Left(), 20);
    EXPECT_EQ(edit->Top(), 40);
    EXPECT_EQ(edit->Width(), 124 * 3 - 10);
    EXPECT_EQ(edit->PasswordChar(), '*');
    EXPECT_EQ(edit->MaxLength(), 80);
    ExpectButtons(form, {{"btnOk", 20, "&Ok", mrOk}, {"btnCancel", 144, "&Cancel", mrCancel},
                         {"btnCancelAll", 268, "Cancel all", 9}});
    edit->SetText("opensesame");
    Find<TButton>(form, "btnOk")->Click();
  });
  z.SetUnattended(false);
  EXPECT_EQ(z.AskExtractPassword(), "opensesame");
  EXPECT_EQ(z.LastPasswordModalResult(), mrOk);
  EXPECT_EQ(fe_->PendingAnswers(), 0u);
}

TEST_F(ZipArchiverUiTest, CancelAllAndAbortReachTheEngine) {
  z.SetUnattended(false);
  fe_->QueueModal([&](TForm& form) {
    Find<TEdit>(form, "edtPassword")->SetText("typed");
    Find<TButton>(form, "btnCancelAll")->Click();
  });
  ZipCallbackData d;
  std::memset(static_cast<void*>(&d), 0, sizeof d);
  d.ComponentRef = &z;
  d.ActionCode = zcaPassword;
  d.FileSize = 3;
  EXPECT_EQ(EngineCallback(&d), 0);
  EXPECT_EQ(d.ActionCode, 0) << "cancel all";
  EXPECT_EQ(d.ActionArg, 0);
  EXPECT_EQ(d.FileSize, 0u);

  // Abort is offered only when asked for; it stops the engine.
  fe_->QueueModal([&](TForm& form) {
    ExpectButtons(form, {{"btnOk", 20, "&Ok", mrOk}, {"btnCancel", 144, "&Cancel", mrCancel},
                         {"btnCancelAll", 268, "Cancel all", 9}, {"btnAbort", 392, "Abort", mrAbort}});
    EXPECT_EQ(form.Width(), 124 * 4 + 35);
    Find<TButton>(form, "btnAbort")->Click();
  });
  EXPECT_EQ(z.PasswordDialog("T", "P", SetOf(pbCancel) | SetOf(pbCancelAll) | SetOf(pbAbort)), "");
  EXPECT_EQ(z.LastPasswordModalResult(), mrAbort);
  EXPECT_EQ(PasswordButtonOf(z.LastPasswordModalResult()), pbAbort);
}

TEST_F(ZipArchiverUiTest, AddPasswordUsesTwoTwoButtonDialogs) {
  z.SetUnattended(false);
  for (const char* typed : {"Same", "Same"}) {
    fe_->QueueModal([&, typed](TForm& form) {
      EXPECT_EQ(form.Width(), 124 * 2 + 35);
      ExpectButtons(form, {{"btnOk", 20, "&Ok", mrOk}, {"btnCancel", 144, "&Cancel", mrCancel}});
      Find<TEdit>(form, "edtPassword")->SetText(typed);
      Find<TButton>(form, "btnOk")->Click();
    });
  }
  EXPECT_EQ(z.AskAddPassword(), "Same");

  // Closing the window is a cancel: no second question, no answer.
  fe_->QueueModal([](TForm&) {});
  EXPECT_EQ(z.AskAddPassword(), "");
  EXPECT_EQ(fe_->Records(THeadlessRecord::TKind::Form).size(), 3u);
}

TEST_F(ZipArchiverUiTest, ReportsGoToMessageBoxesUnlessUnattended) {
  z.SetUnattended(false);
  z.FSpecArgs()->Clear();
  EXPECT_EQ(z.Add(), 10301);
  ASSERT_EQ(fe_->MessageBoxes().size(), 1u);
  EXPECT_EQ(fe_->MessageBoxes()[0].Text, "Error - no files to zip!");
  EXPECT_EQ(fe_->MessageBoxes()[0].Caption, "Dravello");
  z.SetUnattended(true);
  z.Add();
  EXPECT_EQ(fe_->MessageBoxes().size(), 1u);
}

TEST_F(ZipArchiverUiTest, CallbacksProcessWaitingMessages) {
  const int before = fe_->ProcessMessagesCount();
  for (int i = 0; i < 3; ++i) {
    clock_.AdvanceTicks(25);
    z.DispatchCallback(zcaTick, 0, "", 0, nullptr);
  }
  EXPECT_EQ(fe_->ProcessMessagesCount(), before + 3);
  z.OnAfterCallback = [](TObject*, bool&) {};
  clock_.AdvanceTicks(25);
  z.DispatchCallback(zcaTick, 0, "", 0, nullptr);
  EXPECT_EQ(fe_->ProcessMessagesCount(), before + 3);
}

TEST_F(ZipArchiverUiTest, ListingShowsTheBusyCursorOverTheProgramsWindow) {
  TempDir dir;
  ZipBuilder b;
  b.entries = {Entry("a")};
  WriteBytes(dir / "a.zip", b.Build());
  TForm* form = app_.CreateForm<TForm>();
  form->Show();
  Screen->SetCursor(crDefault);
  TCursor during = crDefault;
  z.OnNewName = [&](TObject*, int32_t, const ZipDirEntry&) { during = Screen->Cursor(); };
  z.SetUnattended(true);
  z.SetZipFileName(dir / "a.zip");
  EXPECT_EQ(during, crHourGlass);
  EXPECT_EQ(Screen->Cursor(), crDefault);
  EXPECT_EQ(fe_->ScreenCursor(), crDefault);
}

}  // namespace
}  // namespace dravello
