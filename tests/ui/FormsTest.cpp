// Forms: the creation bracket, modal forms with scripted users, key preview and dialog keys,
// activation, the message loop and the standard error report.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "UiTestSupport.h"
#include "runtime/Clock.h"
#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"

namespace dravello::testing {
namespace {

std::vector<std::string> g_log;

// A non-visual component that notes when it completes, as a language component does.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }
  void Loaded() override {
    TComponent::Loaded();
    g_log.push_back("Loaded " + Name());
  }
};

class TBuiltForm : public TForm {
 public:
  explicit TBuiltForm(TComponent* owner) : TForm(owner) {
    first = new TProbe(this, "first");
    edt = Make<TEdit>(this, this, "edt");
    edt->OnChange = [](TObject*) { g_log.push_back("change"); };
    edt->SetText("typed while building");
    second = new TProbe(this, "second");
    OnCreate = [this](TObject*) {
      g_log.push_back("create");
      stillLoading = (ComponentState() | edt->ComponentState() | second->ComponentState()) & csLoading;
    };
    builtLoading = first->ComponentState() & edt->ComponentState() & second->ComponentState() & csLoading;
  }
  void Loaded() override {
    g_log.push_back("Loaded form");
    TForm::Loaded();
  }
  TProbe *first, *second;
  TEdit* edt;
  bool builtLoading = false;
  bool stillLoading = true;
};

class FormsTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    g_log.clear();
  }
};

TEST_F(FormsTest, CreateFormCompletesEveryComponentInCreationOrderThenRaisesOnCreate) {
  auto* form = CreateForm<TBuiltForm>(app.get());
  EXPECT_TRUE(form->builtLoading);
  EXPECT_FALSE(form->stillLoading);
  // No event while building; the edit's text is there, and its events work afterwards.
  EXPECT_EQ(g_log, (std::vector<std::string>{"Loaded form", "Loaded first", "Loaded second", "create"}));
  EXPECT_EQ(form->edt->Text(), "typed while building");
  form->edt->SetText("later");
  EXPECT_EQ(g_log.back(), "change");
  EXPECT_EQ(app->MainForm(), nullptr);  // only TApplication::CreateForm names the main form
}

TEST_F(FormsTest, AFormNotMadeByCreateFormCannotBeShown) {
  auto form = std::make_unique<TForm>(nullptr);
  EXPECT_TRUE(form->ComponentState() & csLoading);
  EXPECT_THROW(form->Show(), EInvalidOperation);
  EXPECT_THROW(form->ShowModal(), EInvalidOperation);
  EXPECT_FALSE(form->Visible());
}

TEST_F(FormsTest, AFailureWhileCompletingDestroysTheFormAndPassesOn) {
  class TFailingProbe : public TComponent {
   public:
    using TComponent::TComponent;
    void Loaded() override {
      TComponent::Loaded();
      throw EConvertError("Invalid property element: Bogus");
    }
  };
  class TBadForm : public TForm {
   public:
    explicit TBadForm(TComponent* owner) : TForm(owner) { new TFailingProbe(this); }
  };
  EXPECT_THROW(CreateForm<TBadForm>(app.get()), EConvertError);
  EXPECT_EQ(app->ComponentCount(), 0);
}

TEST_F(FormsTest, AFailureInOnCreateGoesToTheStandardErrorReport) {
  class TCreateFails : public TForm {
   public:
    explicit TCreateFails(TComponent* owner) : TForm(owner) {
      OnCreate = [](TObject*) { throw EInOutError("Cannot create file", 13); };
    }
  };
  TForm* form = CreateForm<TCreateFails>(app.get());
  ASSERT_NE(form, nullptr);
  auto boxes = fe->MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Cannot create file");
  EXPECT_EQ(boxes[0].Caption, "Test App");
  EXPECT_EQ(boxes[0].Icon(), MB_ICONERROR);
  EXPECT_EQ(boxes[0].Buttons(), std::vector<int>{IDOK});
}

// A dialog built entirely at run time, as the archiver's password prompt is.
class TPasswordLikeDlg : public TForm {
 public:
  TPasswordLikeDlg(TComponent* owner, const std::string& prompt, int buttons) : TForm(owner) {
    SetCaption("Password");
    Font()->SetName("Arial");
    Font()->SetHeight(-12);
    Font()->SetStyle(fsBold);
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetBounds(0, 0, 124 * buttons + 35, 137);
    auto* lbl = Make<TLabel>(this, this, "lblPrompt");
    lbl->SetAutoSize(false);
    lbl->SetBounds(20, 8, 297, 18);
    lbl->SetCaption(prompt);
    edt = Make<TEdit>(this, this, "edtEntry");
    edt->SetBounds(20, 40, 124 * buttons - 10, 21);
    edt->SetPasswordChar('*');
    edt->SetMaxLength(80);
    const char* captions[] = {"OK", "Cancel", "Cancel all"};
    const TModalResult results[] = {mrOk, mrCancel, 9};
    for (int k = 0; k < buttons; ++k) {
      auto* b = Make<TButton>(this, this, std::string("btn") + std::to_string(k));
      b->SetBounds(20 + 124 * k, 72, 114, 28);
      b->SetCaption(captions[k]);
      b->SetModalResult(results[k]);
      button.push_back(b);
    }
    button[0]->SetDefault(true);
    if (buttons > 1) button[1]->SetCancel(true);
  }
  TEdit* edt;
  std::vector<TButton*> button;
};

TEST_F(FormsTest, ModalDialogTakesTheScriptedUsersAnswer) {
  std::unique_ptr<TPasswordLikeDlg> dlg(CreateForm<TPasswordLikeDlg>(nullptr, "Enter password", 3));
  EXPECT_EQ(dlg->Font()->Style(), fsBold);
  EXPECT_EQ(dlg->edt->Font()->Name(), "Arial");

  fe->QueueModal([](TForm& f) {
    auto& d = static_cast<TPasswordLikeDlg&>(f);
    EXPECT_TRUE(d.Modal());
    EXPECT_TRUE(d.Visible());
    d.edt->SetText("secret");
    d.button[0]->Click();
  });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_EQ(dlg->edt->Text(), "secret");
  EXPECT_FALSE(dlg->Visible());
  EXPECT_FALSE(dlg->Modal());
  // Centred on the screen when shown.
  EXPECT_EQ(dlg->Left(), (1024 - (124 * 3 + 35)) / 2);
  EXPECT_EQ(dlg->Top(), (768 - 137) / 2);

  fe->QueueModal([](TForm& f) { static_cast<TPasswordLikeDlg&>(f).button[2]->Click(); });
  EXPECT_EQ(dlg->ShowModal(), 9);
  EXPECT_EQ(dlg->ShowModal(), mrCancel);  // nobody there: closes with Cancel

  auto forms = fe->Records(THeadlessRecord::TKind::Form);
  ASSERT_EQ(forms.size(), 3u);
  EXPECT_EQ(forms[0].Caption, "Password");
  EXPECT_TRUE(forms[0].Modal);
  EXPECT_EQ(fe->PendingAnswers(), 0u);
}

TEST_F(FormsTest, EnterAndEscapeClickTheDefaultAndCancelButtons) {
  std::unique_ptr<TPasswordLikeDlg> dlg(CreateForm<TPasswordLikeDlg>(nullptr, "p", 2));
  fe->QueueModal([](TForm& f) {
    auto& d = static_cast<TPasswordLikeDlg&>(f);
    d.edt->SetFocus();
    EXPECT_EQ(d.PressKey('x'), 'x');  // an ordinary key is left for the edit
    EXPECT_EQ(d.PressKey('\r'), 0);
  });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  fe->QueueModal([](TForm& f) { EXPECT_EQ(f.PressKey('\x1b'), 0); });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  // A disabled default button is not clicked.
  dlg->button[0]->SetEnabled(false);
  fe->QueueModal([](TForm& f) { EXPECT_EQ(f.PressKey('\r'), '\r'); });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
}

TEST_F(FormsTest, CloseQueryCanRefuseAModalClose) {
  std::unique_ptr<TPasswordLikeDlg> dlg(CreateForm<TPasswordLikeDlg>(nullptr, "p", 2));
  int asked = 0;
  std::vector<TModalResult> closing;
  dlg->OnCloseQuery = [&](TObject*, bool& canClose) {
    closing.push_back(dlg->ModalResult());
    canClose = ++asked > 1;
  };
  fe->QueueModal([](TForm& f) { static_cast<TPasswordLikeDlg&>(f).button[0]->Click(); });
  // OK is refused; the user then closes the window, which means Cancel.
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  EXPECT_EQ(closing, (std::vector<TModalResult>{mrOk, mrCancel}));

  // A form that never agrees cannot be closed headless: that is an error, not a hang.
  dlg->OnCloseQuery = [](TObject*, bool& canClose) { canClose = false; };
  EXPECT_THROW(dlg->ShowModal(), EInvalidOperation);
  EXPECT_FALSE(dlg->Visible());
  EXPECT_FALSE(dlg->Modal());
}

TEST_F(FormsTest, ShowingAVisibleFormModallyIsRefused) {
  TForm* form = CreateForm<TForm>(app.get());
  form->Show();
  EXPECT_THROW(form->ShowModal(), EInvalidOperation);
}

TEST_F(FormsTest, KeyPreviewLetsTheFormSeeKeysFirst) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* edt = Make<TEdit>(form, form, "edt");
  std::vector<std::string> seen;
  form->OnKeyPress = [&](TObject*, char& key) {
    seen.push_back(std::string("form ") + key);
    if (key == '#') key = 0;
  };
  edt->OnKeyPress = [&](TObject*, char& key) { seen.push_back(std::string("edit ") + key); };
  edt->SetFocus();
  EXPECT_TRUE(edt->Focused());

  EXPECT_EQ(form->PressKey('a'), 'a');  // without preview the form is not asked
  form->SetKeyPreview(true);
  EXPECT_EQ(form->PressKey('b'), 'b');
  EXPECT_EQ(form->PressKey('#'), 0);  // swallowed by the form
  EXPECT_EQ(seen, (std::vector<std::string>{"edit a", "form b", "edit b", "form #"}));

  // No focused control: the key is the form's own.
  seen.clear();
  form->SetActiveControl(nullptr);
  form->PressKey('c');
  EXPECT_EQ(seen, (std::vector<std::string>{"form c"}));
}

TEST_F(FormsTest, ActiveControlMustBelongToTheFormAndBeFocusable) {
  TForm* form = CreateForm<TForm>(app.get());
  TForm* other = CreateForm<TForm>(app.get());
  auto* mine = Make<TEdit>(form, form, "mine");
  auto* theirs = Make<TEdit>(other, other, "theirs");
  EXPECT_THROW(form->SetActiveControl(theirs), EInvalidOperation);
  mine->SetEnabled(false);
  EXPECT_THROW(form->SetActiveControl(mine), EInvalidOperation);
  EXPECT_THROW(mine->SetFocus(), EInvalidOperation);
  EXPECT_EQ(form->ActiveControl(), nullptr);
}

TEST_F(FormsTest, ModalFormsTakeAndGiveBackActivation) {
  TForm* main = app->CreateForm<TForm>();
  main->SetName("main");
  std::unique_ptr<TForm> dlg(CreateForm<TForm>(nullptr));
  dlg->SetName("dlg");
  for (TForm* f : {main, dlg.get()}) {
    f->OnShow = [&g = g_log, f](TObject*) { g.push_back(f->Name() + " show"); };
    f->OnActivate = [&g = g_log, f](TObject*) { g.push_back(f->Name() + " activate"); };
    f->OnDeactivate = [&g = g_log, f](TObject*) { g.push_back(f->Name() + " deactivate"); };
    f->OnHide = [&g = g_log, f](TObject*) { g.push_back(f->Name() + " hide"); };
  }
  main->Show();
  EXPECT_TRUE(main->Active());
  dlg->ShowModal();
  EXPECT_TRUE(main->Active());
  EXPECT_EQ(g_log, (std::vector<std::string>{"main show", "main activate", "dlg show", "main deactivate",
                                             "dlg activate", "dlg hide", "dlg deactivate", "main activate"}));
}

TEST_F(FormsTest, DestroyingAShownFormRaisesNoEventsOfItsOwnAndHandsOnActivation) {
  // Handlers of a real form would use its fields, which are destroyed before TForm's destructor.
  class TNoisyForm : public TForm {
   public:
    explicit TNoisyForm(TComponent* owner) : TForm(owner) {
      OnDeactivate = [](TObject*) { g_log.push_back("noisy deactivate"); };
      OnHide = [](TObject*) { g_log.push_back("noisy hide"); };
    }
  };
  TForm* main = app->CreateForm<TForm>();
  main->OnActivate = [](TObject*) { g_log.push_back("main activate"); };
  main->Show();
  auto* noisy = CreateForm<TNoisyForm>(app.get());
  noisy->SetName("noisy");
  noisy->Show();
  g_log.clear();
  delete noisy;
  EXPECT_EQ(g_log, std::vector<std::string>{"main activate"});
  EXPECT_EQ(fe->Count("noisy:hidden"), 1);
  EXPECT_EQ(Screen->ActiveForm(), main);
  EXPECT_EQ(Screen->FormCount(), 1);
}

TEST_F(FormsTest, RunShowsTheMainFormAndEndsWhenItCloses) {
  TForm* main = app->CreateForm<TForm>();
  EXPECT_EQ(app->MainForm(), main);
  main->OnShow = [](TObject*) { g_log.push_back("show"); };
  main->OnActivate = [](TObject*) { g_log.push_back("activate"); };
  main->OnCloseQuery = [](TObject*, bool&) { g_log.push_back("closequery"); };
  main->OnClose = [](TObject*, TCloseAction&) { g_log.push_back("close"); };
  fe->QueueIdle([] { g_log.push_back("idle 1"); });
  fe->QueueIdle([] { throw std::runtime_error("idle 2 failed"); });
  app->Run();
  EXPECT_TRUE(app->Terminated());
  EXPECT_EQ(g_log, (std::vector<std::string>{"show", "activate", "idle 1", "closequery", "close"}));
  auto boxes = fe->MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "idle 2 failed");
}

TEST_F(FormsTest, ClosingTheMainFormTerminatesUnlessRefused) {
  TForm* main = app->CreateForm<TForm>();
  TForm* other = app->CreateForm<TForm>();
  main->Show();
  other->Show();
  bool allow = false;
  main->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = allow; };
  main->Close();
  EXPECT_FALSE(app->Terminated());
  allow = true;
  main->OnClose = [](TObject*, TCloseAction& action) { action = caNone; };
  main->Close();
  EXPECT_FALSE(app->Terminated());
  other->Close();
  EXPECT_FALSE(other->Visible());
  EXPECT_FALSE(app->Terminated());
  main->OnClose = nullptr;
  main->Close();
  EXPECT_TRUE(app->Terminated());
}

TEST_F(FormsTest, AReleasedFormIsDestroyedByTheMessageLoop) {
  TForm* main = app->CreateForm<TForm>();
  TForm* other = app->CreateForm<TForm>();
  other->SetName("other");
  other->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  fe->QueueIdle([&] {
    other->Show();
    other->Close();
    EXPECT_EQ(fe->Count("other:destroying"), 0);  // not while its own code may still run
  });
  fe->QueueIdle([&] { EXPECT_EQ(fe->Count("other:destroying"), 1); });
  app->Run();
  EXPECT_EQ(app->ComponentCount(), 1);
  (void)main;
}

TEST_F(FormsTest, HandleUserActionReportsEveryKindOfFailure) {
  app->HandleUserAction([] { throw EOSError("Access denied", 5); });
  app->HandleUserAction([] { throw std::out_of_range("index 7"); });
  app->HandleUserAction([] { throw 42; });
  app->HandleUserAction([] {});
  auto boxes = fe->MessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].Text, "Access denied");
  EXPECT_EQ(boxes[1].Text, "index 7");
  EXPECT_EQ(boxes[2].Text, "An unknown failure occurred");
  for (const auto& b : boxes) EXPECT_EQ(b.Flags, MB_OK | MB_ICONERROR);
}

TEST_F(FormsTest, ProcessMessagesReachesTheFrontEndAtMostEveryTwentyMilliseconds) {
  ManualClock clock;
  ScopedClock scoped(clock);
  app->ProcessMessages();
  app->ProcessMessages();
  EXPECT_EQ(fe->ProcessMessagesCount(), 1);
  clock.AdvanceTicks(19);
  app->ProcessMessages();
  EXPECT_EQ(fe->ProcessMessagesCount(), 1);
  clock.AdvanceTicks(1);
  app->ProcessMessages();
  app->ProcessMessages();
  EXPECT_EQ(fe->ProcessMessagesCount(), 2);
  // Across the wrap of the 32-bit tick count.
  clock.AdvanceTicks(0xFFFFFFFFu - 1005);
  app->ProcessMessages();
  EXPECT_EQ(fe->ProcessMessagesCount(), 3);
  clock.AdvanceTicks(10);
  app->ProcessMessages();
  EXPECT_EQ(fe->ProcessMessagesCount(), 3);
  clock.AdvanceTicks(10);
  app->ProcessMessages();
  EXPECT_EQ(fe->ProcessMessagesCount(), 4);
}

// A run started with a script name prints its log lines and boxes whatever front end shows them.
TEST_F(FormsTest, ConsoleEchoCopiesLogLinesAndBoxesAndStillShowsThem) {
  std::ostringstream out, err;
  app->SetConsoleEcho(&out, &err);
  app->LogLine("2004-03-15 14:07:33 [Daily] === Starting script ===");
  app->MessageBox("No destination folder", "Velmora's Dravello", MB_OK | MB_ICONERROR);
  app->SetConsoleEcho(nullptr, nullptr);
  app->LogLine("not echoed");
  EXPECT_EQ(out.str(), "2004-03-15 14:07:33 [Daily] === Starting script ===\n");
  EXPECT_EQ(err.str(), "Velmora's Dravello: No destination folder\n");
  EXPECT_EQ(fe->MessageBoxes().size(), 1u);
}

TEST_F(FormsTest, ScreenCursorGoesToTheFrontEnd) {
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(fe->ScreenCursor(), crHourGlass);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(fe->ScreenCursor(), crDefault);
}

TEST(Application, IsTheRootOfTheOwnershipTreeAndUnique) {
  {
    TApplication app;
    EXPECT_EQ(ApplicationRoot(), &app);
    EXPECT_EQ(Application, &app);
    EXPECT_NE(Screen, nullptr);
    EXPECT_THROW(TApplication second, EInvalidOperation);
    EXPECT_EQ(Application, &app);
    // Without a front end of its own, questions get the answer that changes nothing.
    EXPECT_EQ(app.MessageBox("Delete?", "Confirm", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(app.InputBox("c", "p", "default"), "default");
  }
  EXPECT_EQ(ApplicationRoot(), nullptr);
  EXPECT_EQ(Application, nullptr);
  EXPECT_EQ(Screen, nullptr);
}

TEST(KeepOnScreen, MovesAWindowByAsLittleAsItTakesToBeReachable) {
  const TRect area{0, 0, 800, 574};  // a screen of 800 by 600 with a task bar of 26 at the bottom
  struct Row {
    const char* what;
    TRect bounds, expected;
  };
  const Row rows[] = {
      {"inside", {50, 50, 370, 185}, {50, 50, 370, 185}},
      {"touching every edge", {0, 0, 800, 574}, {0, 0, 800, 574}},
      {"crept off the top left", {-20, -40, 400, 319}, {0, 0, 420, 359}},
      {"far off the left", {-5000, 100, -4580, 459}, {0, 100, 420, 459}},
      {"off the right and the bottom", {700, 500, 1120, 859}, {380, 215, 800, 574}},
      {"behind the task bar", {100, 560, 420, 695}, {100, 439, 420, 574}},
      {"wider than the screen: its caption stays", {-50, -50, 950, 700}, {0, 0, 1000, 750}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const TRect kept = KeepOnScreen(row.bounds, area);
    EXPECT_EQ(kept, row.expected);
    EXPECT_EQ(kept.Width(), row.bounds.Width());
    EXPECT_EQ(kept.Height(), row.bounds.Height());
  }
  // A work area that does not start at 0 (a task bar at the top, a second screen).
  EXPECT_EQ(KeepOnScreen({0, 0, 100, 100}, {1024, 30, 2048, 768}), (TRect{1024, 30, 1124, 130}));
}

}  // namespace
}  // namespace dravello::testing
