// Controls: ownership versus parent, radio groups, hints, fonts, alignment, progress bar and what
// the observer hears.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"

namespace dravello::testing {
namespace {

class ControlsTest : public UiTest {};

TEST_F(ControlsTest, AFormDestroysItsNestedControlsAndOwnsThemDirectly) {
  TForm* form = CreateForm<TForm>(app.get());
  form->SetName("frm");
  auto* group = Make<TGroupBox>(form, form, "gbxScript");
  auto* panel = Make<TPanel>(form, group, "pnlInner");
  auto* edit = Make<TEdit>(form, panel, "edtDeep");
  Make<TLabel>(form, panel, "lblDeep");

  // Nested three levels deep, still found by name in one step from the form.
  EXPECT_EQ(form->FindComponent("EDTDEEP"), edit);
  EXPECT_EQ(edit->Owner(), form);
  EXPECT_EQ(edit->Parent(), panel);
  EXPECT_EQ(panel->ControlCount(), 2);
  EXPECT_EQ(form->ComponentCount(), 4);

  delete form;
  for (const char* name : {"gbxScript", "pnlInner", "edtDeep", "lblDeep", "frm"})
    EXPECT_EQ(fe->Count(std::string(name) + ":destroying"), 1) << name;
  EXPECT_EQ(app->ComponentCount(), 0);
}

TEST_F(ControlsTest, AControlPlacedOnAFormButOwnedElsewhereGoesWithItsParent) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* stranger = Make<TButton>(app.get(), form, "btnStranger");
  EXPECT_EQ(app->ComponentCount(), 2);
  delete form;
  EXPECT_EQ(fe->Count("btnStranger:destroying"), 1);
  EXPECT_EQ(app->ComponentCount(), 0);
  (void)stranger;
}

TEST_F(ControlsTest, DestroyingAControlLeavesItsOwnerAndParent) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* box = Make<TGroupBox>(form, form, "box");
  auto* edit = Make<TEdit>(form, box, "edt");
  edit->SetFocus();
  app->SetStatusLine(edit);
  delete edit;
  EXPECT_EQ(box->ControlCount(), 0);
  EXPECT_EQ(form->FindComponent("edt"), nullptr);
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_EQ(app->StatusLine(), nullptr);
}

TEST_F(ControlsTest, ReparentingMovesTheControlAndRefusesCycles) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* a = Make<TPanel>(form, form, "a");
  auto* b = Make<TPanel>(form, a, "b");
  auto* edit = Make<TEdit>(form, a, "edt");
  edit->SetParent(b);
  EXPECT_EQ(a->ControlCount(), 1);
  EXPECT_EQ(b->Controls(0), edit);
  EXPECT_EQ(fe->Count("edt.Parent"), 2);
  EXPECT_THROW(a->SetParent(b), EInvalidOperation);
  EXPECT_THROW(a->SetParent(a), EInvalidOperation);
  EXPECT_EQ(a->Parent(), form);
}

TEST_F(ControlsTest, RadioButtonsFormOneGroupPerParent) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* g1 = Make<TGroupBox>(form, form, "g1");
  auto* g2 = Make<TGroupBox>(form, form, "g2");
  auto* copy = Make<TRadioButton>(form, g1, "rbCopy");
  auto* pack = Make<TRadioButton>(form, g1, "rbPack");
  auto* incl = Make<TRadioButton>(form, g2, "rbIncl");
  auto* excl = Make<TRadioButton>(form, g2, "rbExcl");
  std::vector<std::string> clicks;
  for (TRadioButton* rb : {copy, pack, incl, excl})
    rb->OnClick = [&clicks](TObject* s) { clicks.push_back(static_cast<TComponent*>(s)->Name()); };

  copy->SetChecked(true);
  incl->SetChecked(true);
  pack->Click();
  EXPECT_FALSE(copy->Checked());
  EXPECT_TRUE(pack->Checked());
  EXPECT_TRUE(incl->Checked());  // another parent, another group
  EXPECT_FALSE(excl->Checked());
  pack->Click();                 // already checked: nothing happens
  EXPECT_EQ(clicks, (std::vector<std::string>{"rbCopy", "rbIncl", "rbPack"}));
  // Tab enters a group at its checked button.
  EXPECT_TRUE(pack->TabStop());
  EXPECT_FALSE(copy->TabStop());
}

TEST_F(ControlsTest, CheckBoxClicksToggleAndEveryChangeRaisesOnClick) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* cbx = Make<TCheckBox>(form, form, "cbx");
  int clicks = 0;
  cbx->OnClick = [&](TObject*) { ++clicks; };
  cbx->Click();
  EXPECT_TRUE(cbx->Checked());
  cbx->SetChecked(true);
  cbx->SetChecked(false);
  EXPECT_EQ(clicks, 2);
  cbx->SetEnabled(false);
  cbx->Click();  // a disabled control cannot be clicked
  EXPECT_FALSE(cbx->Checked());
  EXPECT_EQ(clicks, 2);
}

TEST_F(ControlsTest, ClicksNeedEveryParentEnabledAndVisible) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* panel = Make<TPanel>(form, form, "pnl");
  auto* sb = Make<TSpeedButton>(form, panel, "sb");
  int clicks = 0;
  sb->OnClick = [&](TObject*) { ++clicks; };
  sb->Click();  // the form itself need not be shown
  panel->SetEnabled(false);
  sb->Click();
  panel->SetEnabled(true);
  panel->SetVisible(false);
  sb->Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_THROW(Make<TEdit>(form, panel, "hidden")->SetFocus(), EInvalidOperation);
}

TEST_F(ControlsTest, ShowHintFollowsTheParentAndHintsComeFromTheNearestParentWithOne) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* stb = Make<TPanel>(form, form, "stbMain");
  stb->SetHint("Send a mail to the author.");
  stb->SetShowHint(true);
  auto* status = Make<TPanel>(form, stb, "pnlStatus");
  auto* lang = Make<TSpeedButton>(form, stb, "sbLang");
  EXPECT_TRUE(status->ShowHint());
  EXPECT_EQ(lang->ActiveHint(), "Send a mail to the author.");
  status->SetHint("Visit the author's homepage");
  EXPECT_EQ(status->ActiveHint(), "Visit the author's homepage");

  stb->SetShowHint(false);  // during a run
  EXPECT_FALSE(lang->ShowHint());
  EXPECT_EQ(lang->ActiveHint(), "");
  EXPECT_EQ(fe->Count("sbLang.ShowHint"), 2);

  // A control given its own ShowHint stops following.
  lang->SetShowHint(true);
  EXPECT_FALSE(lang->ParentShowHint());
  stb->SetShowHint(true);
  stb->SetShowHint(false);
  EXPECT_TRUE(lang->ShowHint());
  lang->SetParentShowHint(true);
  EXPECT_FALSE(lang->ShowHint());
}

TEST_F(ControlsTest, FontsFollowTheParentUntilSetOnTheControl) {
  TForm* form = CreateForm<TForm>(app.get());
  form->Font()->SetName("Arial");
  auto* box = Make<TGroupBox>(form, form, "box");
  auto* label = Make<TLabel>(form, box, "lbl");
  EXPECT_EQ(label->Font()->Name(), "Arial");
  form->Font()->SetStyle(fsBold);
  EXPECT_EQ(label->Font()->Style(), fsBold);
  EXPECT_TRUE(label->ParentFont());

  label->Font()->SetHeight(-20);
  EXPECT_FALSE(label->ParentFont());
  form->Font()->SetName("Courier");
  EXPECT_EQ(box->Font()->Name(), "Courier");
  EXPECT_EQ(label->Font()->Name(), "Arial");
  label->SetFont(nullptr);  // back to the parent's
  EXPECT_EQ(label->Font()->Name(), "Courier");
  EXPECT_EQ(label->Font()->Height(), -11);
}

TEST_F(ControlsTest, AlignedControlsShareTheClientArea) {
  TForm* form = CreateForm<TForm>(app.get());
  form->SetBorderStyle(bsSingle);
  form->SetBounds(50, 50, 320, 135);
  EXPECT_EQ(form->ClientWidth(), 312);
  EXPECT_EQ(form->ClientHeight(), 108);

  auto* stb = Make<TPanel>(form, nullptr, "stbMain");
  stb->SetBevelOuter(bvNone);
  stb->SetBorderWidth(1);
  stb->SetHeight(20);
  stb->SetAlign(alBottom);
  stb->SetParent(form);
  auto* gbx = Make<TGroupBox>(form, form, "gbxScript");
  gbx->SetAlign(alClient);
  auto* status = Make<TPanel>(form, stb, "pnlStatus");
  status->SetWidth(288);
  status->SetAlign(alLeft);
  auto* lang = Make<TSpeedButton>(form, stb, "sbLang");
  lang->SetWidth(20);
  lang->SetAlign(alRight);

  EXPECT_EQ(stb->BoundsRect(), (TRect{0, 88, 312, 108}));
  EXPECT_EQ(gbx->BoundsRect(), (TRect{0, 0, 312, 88}));
  EXPECT_EQ(status->BoundsRect(), (TRect{1, 1, 289, 19}));
  EXPECT_EQ(lang->BoundsRect(), (TRect{291, 1, 311, 19}));

  // Resizing the window moves everything along.
  form->SetClientWidth(400);
  EXPECT_EQ(form->Width(), 408);
  EXPECT_EQ(stb->Width(), 400);
  EXPECT_EQ(lang->Left(), 379);
  // A hidden aligned control gives its room back, and so does a destroyed one.
  stb->SetVisible(false);
  EXPECT_EQ(gbx->Height(), 108);
  stb->SetVisible(true);
  EXPECT_EQ(gbx->Height(), 88);
  delete stb;
  EXPECT_EQ(gbx->Height(), 108);
}

TEST_F(ControlsTest, TopAlignedControlsStackInPlacementOrderInsideTheBorder) {
  TForm* form = CreateForm<TForm>(app.get());
  form->SetBorderStyle(bsToolWindow);
  form->SetClientWidth(412);
  form->SetClientHeight(332);
  auto* main = Make<TPanel>(form, form, "pnlMain");
  main->SetBevelOuter(bvNone);
  main->SetBorderWidth(4);
  main->SetAlign(alClient);
  auto* general = Make<TGroupBox>(form, main, "gbxGeneral");
  general->SetHeight(44);
  general->SetAlign(alTop);
  auto* source = Make<TGroupBox>(form, main, "gbxSource");
  source->SetHeight(140);
  source->SetAlign(alTop);
  EXPECT_EQ(general->BoundsRect(), (TRect{4, 4, 408, 48}));
  EXPECT_EQ(source->BoundsRect(), (TRect{4, 48, 408, 188}));
  // The border style keeps the client size.
  form->SetBorderStyle(bsSingle);
  EXPECT_EQ(form->ClientWidth(), 412);
  EXPECT_EQ(form->ClientHeight(), 332);
}

TEST_F(ControlsTest, TabOrderMovesSiblingsAndLoadedAppliesWhatWasWanted) {
  class TTabForm : public TForm {
   public:
    explicit TTabForm(TComponent* owner) : TForm(owner) {
      second = Make<TEdit>(this, this, "second");
      first = Make<TEdit>(this, this, "first");
      third = Make<TEdit>(this, this, "third");
      // As a stored form would list them: each wants its place before its siblings exist.
      third->SetTabOrder(2);
      second->SetTabOrder(1);
      first->SetTabOrder(0);
    }
    TEdit *first, *second, *third;
  };
  auto* form = CreateForm<TTabForm>(app.get());
  EXPECT_EQ(form->first->TabOrder(), 0);
  EXPECT_EQ(form->second->TabOrder(), 1);
  EXPECT_EQ(form->third->TabOrder(), 2);
  form->third->SetTabOrder(0);
  EXPECT_EQ(form->TabList(), (std::vector<TWinControl*>{form->third, form->first, form->second}));
  form->first->SetTabOrder(99);
  EXPECT_EQ(form->first->TabOrder(), 2);
}

TEST_F(ControlsTest, ProgressBarKeepsItsPositionInRange) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* prb = Make<TProgressBar>(form, form, "prbMain");
  prb->SetStep(1);
  prb->SetMax(4);
  prb->StepIt();
  EXPECT_EQ(prb->Position(), 1);
  prb->SetPosition(10);
  EXPECT_EQ(prb->Position(), 4);
  prb->StepIt();  // stays at the end instead of starting over
  EXPECT_EQ(prb->Position(), 4);
  prb->SetMax(2);
  EXPECT_EQ(prb->Position(), 2);
  prb->SetMax(0);
  EXPECT_EQ(prb->Position(), 0);
  EXPECT_THROW(prb->SetMax(-1), EInvalidOperation);
  EXPECT_THROW(prb->SetMin(1), EInvalidOperation);
}

TEST_F(ControlsTest, ObserverHearsOnlyRealChanges) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* lbl = Make<TLabel>(form, form, "lbl");
  fe->Notes.clear();
  lbl->SetCaption("a");
  lbl->SetCaption("a");
  lbl->SetEnabled(true);
  lbl->SetVisible(false);
  lbl->SetVisible(false);
  lbl->SetBounds(1, 2, 65, 13);
  EXPECT_EQ(fe->Notes, (std::vector<std::string>{"lbl.Caption", "lbl:hidden", "lbl.Left", "lbl.Top"}));
}

TEST(Events, BindEventPassesTheEventsArgumentsToTheMethod) {
  struct THandler {
    std::string seen;
    void KeyPress(TObject* sender, char& key) {
      seen += std::string(sender ? "sender " : "none ") + key;
      key = 0;
    }
  } handler;
  TKeyPressEvent event = BindEvent(&handler, &THandler::KeyPress);
  char key = 'a';
  event(nullptr, key);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(handler.seen, "none a");
}

}  // namespace
}  // namespace dravello::testing
