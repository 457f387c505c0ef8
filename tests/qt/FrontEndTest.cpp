// The Qt front end renders the model's forms and hands the user's actions back to the model:
// window frames and sizes, widget kinds and places, clicks, typing with key preview, radio
// groups, mirrored changes, hints, cursors, modal forms, and controls that come and go.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "QtTestSupport.h"
#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"
#include "ui/qt/QtControls.h"

namespace dravello::qttest {
namespace {

// A small window laid out like the program's main window.
class TMainLike : public TForm {
 public:
  explicit TMainLike(TComponent* owner) : TForm(owner) {
    SetName("frmMainLike");
    SetBorderStyle(bsSingle);
    SetBorderIcons(biSystemMenu | biMinimize);
    SetClientWidth(312);
    SetClientHeight(108);
    SetCaption("Main Like");

    stbMain = Make<TPanel>(this, this, "stbMain");
    stbMain->SetAlign(alBottom);
    stbMain->SetHeight(20);
    stbMain->SetBevelOuter(bvNone);
    stbMain->SetBorderWidth(1);
    stbMain->SetShowHint(true);
    stbMain->SetHint("Mail the author");
    pnlStatus = Make<TPanel>(this, stbMain, "pnlStatus");
    pnlStatus->SetAlign(alLeft);
    pnlStatus->SetBounds(1, 1, 288, 18);
    pnlStatus->SetBevelOuter(bvLowered);
    pnlStatus->SetAlignment(taLeftJustify);
    sbLang = Make<TSpeedButton>(this, stbMain, "sbLang");
    sbLang->SetAlign(alRight);
    sbLang->SetBounds(291, 1, 20, 19);
    sbLang->SetFlat(true);
    sbLang->SetCaption("de");

    gbxScript = Make<TGroupBox>(this, this, "gbxScript");
    gbxScript->SetAlign(alClient);
    gbxScript->SetCaption(" Script ");
    cbxScriptName = Make<TComboBox>(this, gbxScript, "cbxScriptName");
    cbxScriptName->SetBounds(8, 16, 296, 21);
    cbxScriptName->SetStyle(csDropDownList);
    cbxScriptName->SetSorted(true);
    sbAdd = Make<TSpeedButton>(this, gbxScript, "sbAdd");
    sbAdd->SetBounds(8, 40, 68, 24);
    sbAdd->SetFlat(true);
    sbAdd->SetCaption("&Add");
    sbAdd->Glyph()->LoadFromResourceName("PLUS");
    sbAdd->OnClick = [this](TObject*) { ++addClicks; };
    sbRun = Make<TSpeedButton>(this, gbxScript, "sbRun");
    sbRun->SetBounds(236, 40, 68, 24);
    sbRun->SetFlat(true);
    sbRun->SetCaption("&Run");
    sbRun->SetLayout(blGlyphRight);
    sbRun->Glyph()->LoadFromResourceName("RUN");
    prbMain = Make<TProgressBar>(this, gbxScript, "prbMain");
    prbMain->SetAlign(alBottom);
    prbMain->SetHeight(16);
    bvlProgBar = Make<TBevel>(this, gbxScript, "bvlProgBar");
    bvlProgBar->SetAlign(alClient);
    bvlProgBar->SetShape(bsBottomLine);
  }

  TPanel *stbMain, *pnlStatus;
  TSpeedButton *sbLang, *sbAdd, *sbRun;
  TGroupBox* gbxScript;
  TComboBox* cbxScriptName;
  TProgressBar* prbMain;
  TBevel* bvlProgBar;
  int addClicks = 0;
};

// A tool window without system menu, with key preview: Enter is OK, Escape is Cancel.
class TEditorLike : public TForm {
 public:
  explicit TEditorLike(TComponent* owner) : TForm(owner) {
    SetName("frmEditorLike");
    SetBorderStyle(bsToolWindow);
    SetBorderIcons(0);
    SetClientWidth(412);
    SetClientHeight(332);
    SetKeyPreview(true);
    SetCaption("Editor Like");
    gbxA = Make<TGroupBox>(this, this, "gbxA");
    gbxA->SetBounds(4, 4, 200, 80);
    rbA1 = Make<TRadioButton>(this, gbxA, "rbA1");
    rbA1->SetBounds(8, 16, 100, 16);
    rbA1->SetCaption("A one");
    rbA2 = Make<TRadioButton>(this, gbxA, "rbA2");
    rbA2->SetBounds(8, 36, 100, 16);
    rbA2->SetCaption("A two");
    gbxB = Make<TGroupBox>(this, this, "gbxB");
    gbxB->SetBounds(208, 4, 200, 80);
    rbB1 = Make<TRadioButton>(this, gbxB, "rbB1");
    rbB1->SetBounds(8, 16, 100, 16);
    rbB1->SetCaption("B one");
    rbB2 = Make<TRadioButton>(this, gbxB, "rbB2");
    rbB2->SetBounds(8, 36, 100, 16);
    rbB2->SetCaption("B two");
    rbA1->SetChecked(true);
    rbB1->SetChecked(true);
    cbxFlag = Make<TCheckBox>(this, this, "cbxFlag");
    cbxFlag->SetBounds(4, 90, 140, 16);
    cbxFlag->SetCaption("Flag");
    lblName = Make<TLabel>(this, this, "lblName");
    lblName->SetBounds(4, 112, 64, 20);
    lblName->SetCaption("&Name");
    edtName = Make<TEdit>(this, this, "edtName");
    edtName->SetBounds(72, 112, 148, 20);
    edtName->OnChange = [this](TObject*) { ++changes; };
    lbPaths = Make<TCheckListBox>(this, this, "lbPaths");
    lbPaths->SetBounds(4, 140, 176, 116);
    lbPaths->SetShowHint(true);
    lbPaths->OnClickCheck = [this](TObject*) { ++checkClicks; };
    lbPaths->OnClick = [this](TObject*) { ++listClicks; };
    lbPaths->OnMouseMove = [this](TObject*, TShiftState, int32_t x, int32_t y) {
      int32_t index = lbPaths->ItemAtPos(x, y, true);
      lbPaths->SetHint(index >= 0 ? lbPaths->Items()->Strings(index) : std::string());
    };
    btnOk = Make<TButton>(this, this, "btnOk");
    btnOk->SetBounds(212, 300, 96, 24);
    btnOk->SetCaption("OK");
    btnOk->SetModalResult(mrOk);
    OnKeyPress = [this](TObject*, char& key) {
      keys += key;
      if (key == '\r') SetModalResult(mrOk);
      if (key == '\x1b') SetModalResult(mrCancel);
      if (key == 'x') key = 0;
      if (key == 'a') key = 'A';
    };
  }

  TGroupBox *gbxA, *gbxB;
  TRadioButton *rbA1, *rbA2, *rbB1, *rbB2;
  TCheckBox* cbxFlag;
  TLabel* lblName;
  TEdit* edtName;
  TCheckListBox* lbPaths;
  TButton* btnOk;
  std::string keys;
  int changes = 0, checkClicks = 0, listClicks = 0;
};

class FrontEndTest : public QtTest {};

QImage ImageOf(const TBitmap& bitmap) {
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGBA8888);
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      TRGBA p = bitmap.Pixel(x, y);
      image.setPixelColor(x, y, QColor(p.R, p.G, p.B, p.A));
    }
  return image.convertToFormat(QImage::Format_ARGB32);
}

TEST_F(FrontEndTest, FormsOpenAtTheirClientSizeWithTheFrameTheirBorderStyleAsksFor) {
  auto* main = CreateForm<TMainLike>(app.get());
  main->Show();
  QWidget* window = W(main);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Main Like");
  EXPECT_EQ(window->size(), QSize(312, 108));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());  // fixed in size
  EXPECT_EQ(main->Width(), 320);
  EXPECT_EQ(main->Height(), 135);
  Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window->font().pixelSize(), 11);
  EXPECT_EQ(window->font().families().value(0), "MS Sans Serif");

  auto* editor = CreateForm<TEditorLike>(app.get());
  editor->Show();
  QWidget* tool = W(editor);
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->size(), QSize(412, 332));
  EXPECT_EQ(tool->minimumSize(), tool->maximumSize());
  EXPECT_EQ(tool->windowType(), Qt::Tool);
  EXPECT_FALSE(tool->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(tool->windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_EQ(tool->windowTitle(), "Editor Like");
}

TEST_F(FrontEndTest, EveryControlIsANativeWidgetAtItsModelBounds) {
  auto* f = CreateForm<TMainLike>(app.get());
  f->Show();
  struct Row {
    TControl* control;
    bool (*kind)(QWidget*);
  };
  const Row rows[] = {
      {f->stbMain, [](QWidget* w) { return dynamic_cast<qtui::TPanelWidget*>(w) != nullptr; }},
      {f->pnlStatus, [](QWidget* w) { return dynamic_cast<qtui::TPanelWidget*>(w) != nullptr; }},
      {f->sbLang, [](QWidget* w) { return dynamic_cast<qtui::TSpeedButtonWidget*>(w) != nullptr; }},
      {f->gbxScript, [](QWidget* w) { return dynamic_cast<QGroupBox*>(w) != nullptr; }},
      {f->cbxScriptName, [](QWidget* w) { return dynamic_cast<QComboBox*>(w) != nullptr; }},
      {f->sbAdd, [](QWidget* w) { return dynamic_cast<qtui::TSpeedButtonWidget*>(w) != nullptr; }},
      {f->prbMain, [](QWidget* w) { return dynamic_cast<QProgressBar*>(w) != nullptr; }},
      {f->bvlProgBar, [](QWidget* w) { return dynamic_cast<qtui::TBevelWidget*>(w) != nullptr; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.control->Name());
    QWidget* w = W(row.control);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(row.kind(w));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->geometry(), QRect(row.control->Left(), row.control->Top(), row.control->Width(),
                                   row.control->Height()));
    EXPECT_EQ(w->parentWidget(), W(row.control->Parent()));
  }
  EXPECT_EQ(W(f->sbAdd)->geometry(), QRect(8, 40, 68, 24));
  EXPECT_EQ(W(f->pnlStatus)->geometry(), QRect(1, 1, 288, 18));
  EXPECT_EQ(W(f->stbMain)->geometry(), QRect(0, 88, 312, 20));

  // The bevel fills the box but lies below the buttons and takes no clicks.
  QWidget* box = W(f->gbxScript);
  EXPECT_EQ(box->childAt(W(f->sbAdd)->geometry().center()), W(f->sbAdd));
  EXPECT_EQ(box->childAt(W(f->cbxScriptName)->geometry().center()), W(f->cbxScriptName));
  EXPECT_EQ(As<QGroupBox>(f->gbxScript)->title(), " Script ");
  // Its caption sits on the frame's top line, above the first row of controls.
  auto* group = As<qtui::TGroupBoxWidget>(f->gbxScript);
  ASSERT_NE(group, nullptr);
  EXPECT_FALSE(group->CaptionRect().isEmpty());
  EXPECT_LT(group->CaptionRect().bottom(), W(f->cbxScriptName)->y());

  // Speed buttons are flat, keep their glyph and place it as their layout says.
  auto* add = As<qtui::TSpeedButtonWidget>(f->sbAdd);
  auto* run = As<qtui::TSpeedButtonWidget>(f->sbRun);
  EXPECT_TRUE(add->Flat());
  EXPECT_EQ(add->Glyph().size(), QSize(16, 16));
  EXPECT_EQ(add->Glyph().toImage().pixelColor(0, 0).alpha(), f->sbAdd->Glyph()->Pixel(0, 0).A);
  EXPECT_LT(add->GlyphRect().right(), add->TextRect().left());
  EXPECT_GT(run->GlyphRect().left(), run->TextRect().right());
  EXPECT_TRUE(add->rect().contains(add->TextRect()));
  EXPECT_EQ(add->focusPolicy(), Qt::NoFocus);
}

TEST_F(FrontEndTest, AClickOnARenderedButtonReachesTheModelsHandlerOnlyWhileUsable) {
  auto* f = CreateForm<TMainLike>(app.get());
  f->Show();
  QTest::mouseClick(W(f->sbAdd), Qt::LeftButton);
  EXPECT_EQ(f->addClicks, 1);
  f->sbAdd->SetEnabled(false);
  EXPECT_FALSE(W(f->sbAdd)->isEnabled());
  QTest::mouseClick(W(f->sbAdd), Qt::LeftButton);
  EXPECT_EQ(f->addClicks, 1);
  f->sbAdd->SetEnabled(true);
  f->gbxScript->SetEnabled(false);  // a disabled parent disables what it holds
  QTest::mouseClick(W(f->sbAdd), Qt::LeftButton);
  EXPECT_EQ(f->addClicks, 1);
}

TEST_F(FrontEndTest, TheAcceleratorOfACaptionClicksItsButton) {
  auto* f = CreateForm<TMainLike>(app.get());
  ShowActive(f);
  QTest::keyClick(W(f), Qt::Key_A, Qt::AltModifier);
  EXPECT_TRUE(WaitFor([&] { return f->addClicks == 1; }));
}

TEST_F(FrontEndTest, TypingGoesThroughTheModelsKeyPreviewAndRaisesOnChange) {
  auto* f = CreateForm<TEditorLike>(app.get());
  ShowActive(f);
  f->edtName->SetFocus();
  QWidget* edit = W(f->edtName);
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == edit; }));
  QTest::keyClicks(edit, "bxa1");
  // The form saw every key first; "x" was swallowed and "a" became "A".
  EXPECT_EQ(f->keys, "bxa1");
  EXPECT_EQ(f->edtName->Text(), "bA1");
  EXPECT_EQ(static_cast<QLineEdit*>(edit)->text(), "bA1");
  EXPECT_EQ(f->changes, 3);
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(f->edtName->Text(), "bA");
  EXPECT_EQ(f->keys, "bxa1\b");
}

TEST_F(FrontEndTest, FocusFollowsTheModelAndTheUser) {
  auto* f = CreateForm<TEditorLike>(app.get());
  f->SetActiveControl(f->edtName);
  ShowActive(f);
  EXPECT_TRUE(WaitFor([&] { return QApplication::focusWidget() == W(f->edtName); }));
  QTest::mouseClick(W(f->lbPaths)->findChild<QWidget*>("qt_scrollarea_viewport"), Qt::LeftButton);
  EXPECT_TRUE(WaitFor([&] { return f->ActiveControl() == f->lbPaths; }));
  // A label's "&" is its accelerator mark, not text.
  EXPECT_EQ(As<QLabel>(f->lblName)->text(), "Name");
}

TEST_F(FrontEndTest, RadioButtonsAreExclusivePerParentAndOnlyTheModelChangesThem) {
  auto* f = CreateForm<TEditorLike>(app.get());
  f->Show();
  auto* a1 = As<QRadioButton>(f->rbA1);
  auto* a2 = As<QRadioButton>(f->rbA2);
  auto* b1 = As<QRadioButton>(f->rbB1);
  ASSERT_TRUE(a1 && a2 && b1);
  EXPECT_TRUE(a1->isChecked());
  QTest::mouseClick(a2, Qt::LeftButton);
  EXPECT_TRUE(f->rbA2->Checked());
  EXPECT_FALSE(f->rbA1->Checked());
  EXPECT_TRUE(a2->isChecked());
  EXPECT_FALSE(a1->isChecked());
  EXPECT_TRUE(f->rbB1->Checked());  // the other box keeps its choice
  EXPECT_TRUE(b1->isChecked());
  // Clicking the checked one keeps it checked; code may leave a group with none checked.
  QTest::mouseClick(a2, Qt::LeftButton);
  EXPECT_TRUE(a2->isChecked());
  f->rbA2->SetChecked(false);
  EXPECT_FALSE(a2->isChecked());
  EXPECT_FALSE(a1->isChecked());

  auto* flag = As<QCheckBox>(f->cbxFlag);
  QTest::mouseClick(flag, Qt::LeftButton);
  EXPECT_TRUE(f->cbxFlag->Checked());
  EXPECT_TRUE(flag->isChecked());
  f->cbxFlag->SetEnabled(false);
  QTest::mouseClick(flag, Qt::LeftButton);
  EXPECT_TRUE(f->cbxFlag->Checked());
  EXPECT_TRUE(flag->isChecked());
}

TEST_F(FrontEndTest, ChangesInTheModelShowInTheWidgets) {
  auto* f = CreateForm<TMainLike>(app.get());
  f->Show();
  ASSERT_NE(ImageOf(*LoadBitmapResource("RUN")), ImageOf(*LoadBitmapResource("CANCEL")));
  struct Row {
    const char* what;
    std::function<void()> change;
    std::function<bool()> shown;
  };
  auto* status = As<qtui::TPanelWidget>(f->pnlStatus);
  auto* combo = As<QComboBox>(f->cbxScriptName);
  auto* bar = As<QProgressBar>(f->prbMain);
  const Row rows[] = {
      {"form caption", [&] { f->SetCaption("Test App (45%, rem: 1:05)"); },
       [&] { return W(f)->windowTitle() == "Test App (45%, rem: 1:05)"; }},
      {"button caption", [&] { f->sbAdd->SetCaption("&Neu"); },
       [&] { return As<QAbstractButton>(f->sbAdd)->text() == "&Neu"; }},
      {"group caption", [&] { f->gbxScript->SetCaption(" Skript "); },
       [&] { return As<QGroupBox>(f->gbxScript)->title() == " Skript "; }},
      {"status text", [&] { f->pnlStatus->SetCaption("Copying a&b.txt"); },
       [&] { return status->Caption() == "Copying a&b.txt"; }},
      {"enabled", [&] { f->cbxScriptName->SetEnabled(false); }, [&] { return !combo->isEnabled(); }},
      {"items", [&] { f->cbxScriptName->Items()->Add("Weekly"), f->cbxScriptName->Items()->Add("Daily"); },
       [&] { return combo->count() == 2 && combo->itemText(0) == "Daily" && combo->itemText(1) == "Weekly"; }},
      {"item index", [&] { f->cbxScriptName->SetItemIndex(1); },
       [&] { return combo->currentIndex() == 1 && combo->currentText() == "Weekly"; }},
      {"item deleted", [&] { f->cbxScriptName->Items()->Delete(1); },
       [&] { return combo->count() == 1 && combo->currentIndex() == -1; }},
      {"progress", [&] { f->prbMain->SetMax(4), f->prbMain->SetPosition(1); },
       [&] { return bar->maximum() == 4 && bar->value() == 1; }},
      {"hidden", [&] { f->sbRun->SetVisible(false); }, [&] { return !W(f->sbRun)->isVisible(); }},
      {"shown", [&] { f->sbRun->SetVisible(true); }, [&] { return W(f->sbRun)->isVisible(); }},
      {"moved", [&] { f->sbRun->SetLeft(200); }, [&] { return W(f->sbRun)->x() == 200; }},
      {"cursor", [&] { f->pnlStatus->SetCursor(crHandPoint); },
       [&] { return status->cursor().shape() == Qt::PointingHandCursor; }},
      {"cursor back", [&] { f->pnlStatus->SetCursor(crDefault); },
       [&] { return !status->testAttribute(Qt::WA_SetCursor); }},
      {"glyph", [&] { f->sbRun->Glyph()->LoadFromResourceName("CANCEL"); },
       [&] { return As<qtui::TSpeedButtonWidget>(f->sbRun)->Glyph().toImage().convertToFormat(QImage::Format_ARGB32) ==
                       ImageOf(*f->sbRun->Glyph()); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.change();
    EXPECT_TRUE(row.shown());
  }
}

TEST_F(FrontEndTest, TooltipsFollowTheActiveHint) {
  auto* f = CreateForm<TMainLike>(app.get());
  f->Show();
  // The language button has no hint of its own and shows its parent's.
  EXPECT_EQ(W(f->sbLang)->toolTip(), "Mail the author");
  EXPECT_EQ(W(f->pnlStatus)->toolTip(), "Mail the author");
  f->pnlStatus->SetHint("Visit the homepage");
  EXPECT_EQ(W(f->pnlStatus)->toolTip(), "Visit the homepage");
  f->stbMain->SetHint("Write to the author");
  EXPECT_EQ(W(f->sbLang)->toolTip(), "Write to the author");
  // Hints off, as during a run: no tooltip anywhere below.
  f->stbMain->SetShowHint(false);
  EXPECT_EQ(W(f->sbLang)->toolTip(), "");
  EXPECT_EQ(W(f->pnlStatus)->toolTip(), "");
  f->stbMain->SetShowHint(true);
  EXPECT_EQ(W(f->pnlStatus)->toolTip(), "Visit the homepage");
  // Controls outside the panel never showed hints.
  EXPECT_EQ(W(f->sbAdd)->toolTip(), "");
}

TEST_F(FrontEndTest, ListsMirrorTheirItemsAndMarksAndReportTheRowUnderThePointer) {
  auto* f = CreateForm<TEditorLike>(app.get());
  f->lbPaths->Items()->Add("/home/ann/Data/");
  f->lbPaths->Items()->Add("/srv/share/");
  f->lbPaths->SetChecked(0, true);
  f->Show();
  auto* view = As<QListWidget>(f->lbPaths);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->count(), 2);
  EXPECT_EQ(view->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(view->item(1)->checkState(), Qt::Unchecked);
  // An unchecked row shows an empty box, not none at all.
  EXPECT_TRUE(view->item(1)->data(Qt::CheckStateRole).isValid());
  EXPECT_TRUE(view->item(1)->flags() & Qt::ItemIsUserCheckable);

  // The rows are drawn as high as the model counts them.
  EXPECT_EQ(view->visualItemRect(view->item(1)).top(), f->lbPaths->ItemHeight());

  // The user ticks the second path.
  view->item(1)->setCheckState(Qt::Checked);
  EXPECT_TRUE(f->lbPaths->Checked(1));
  EXPECT_EQ(f->checkClicks, 1);

  // The user selects a row.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(view->item(1)).center());
  EXPECT_EQ(f->lbPaths->ItemIndex(), 1);
  EXPECT_GE(f->listClicks, 1);

  // The pointer over a row makes the row its hint; below the last row there is none.
  auto move = [&](QPoint at) {
    QMouseEvent event(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &event);
  };
  move(view->visualItemRect(view->item(1)).center());
  EXPECT_EQ(view->toolTip(), "/srv/share/");
  move(view->visualItemRect(view->item(0)).center());
  EXPECT_EQ(view->toolTip(), "/home/ann/Data/");
  move(QPoint(5, view->viewport()->height() - 3));
  EXPECT_EQ(view->toolTip(), "");

  // Items changed by code keep their marks with them.
  f->lbPaths->SetSorted(true);
  f->lbPaths->Items()->Add("/a/");
  ASSERT_EQ(view->count(), 3);
  EXPECT_EQ(view->item(0)->text(), "/a/");
  EXPECT_TRUE(view->item(0)->data(Qt::CheckStateRole).isValid());
  EXPECT_EQ(view->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(view->item(2)->checkState(), Qt::Checked);
  EXPECT_EQ(view->item(0)->checkState(), Qt::Unchecked);
}

TEST_F(FrontEndTest, AComboSelectionByTheUserReachesTheModel) {
  auto* f = CreateForm<TMainLike>(app.get());
  f->cbxScriptName->Items()->Add("Daily");
  f->cbxScriptName->Items()->Add("Weekly");
  int changes = 0;
  f->cbxScriptName->OnChange = [&](TObject*) { ++changes; };
  ShowActive(f);
  QWidget* combo = W(f->cbxScriptName);
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(f->cbxScriptName->ItemIndex(), 0);
  EXPECT_EQ(f->cbxScriptName->Text(), "Daily");
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(f->cbxScriptName->Text(), "Weekly");
  EXPECT_EQ(changes, 2);
}

TEST_F(FrontEndTest, AModalFormClosesByTheModalResultItsButtonOrCodeSets) {
  auto* f = CreateForm<TEditorLike>(app.get());
  WhenModal([&](QWidget* dialog) {
    EXPECT_EQ(dialog, W(f));
    QTest::mouseClick(W(f->btnOk), Qt::LeftButton);
  });
  EXPECT_EQ(f->ShowModal(), mrOk);
  EXPECT_FALSE(W(f)->isVisible());

  WhenModal([&](QWidget*) { f->SetModalResult(mrAbort); });
  EXPECT_EQ(f->ShowModal(), mrAbort);

  // The window's close request is the model's Close: Cancel for a modal form.
  WhenModal([&](QWidget* dialog) { dialog->close(); });
  EXPECT_EQ(f->ShowModal(), mrCancel);
  EXPECT_FALSE(W(f)->isVisible());
}

TEST_F(FrontEndTest, EnterAndEscapeReachTheFormsKeyPreviewWhateverHasTheFocus) {
  auto* f = CreateForm<TEditorLike>(app.get());
  f->SetActiveControl(f->edtName);
  WhenModal([&](QWidget*) {
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == W(f->edtName); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  EXPECT_EQ(f->ShowModal(), mrOk);
  // A new window, as the program makes one per edit (Qt's offscreen platform does not activate
  // a window shown a second time).
  auto* g = CreateForm<TEditorLike>(app.get());
  g->SetActiveControl(g->lbPaths);
  WhenModal([&](QWidget*) {
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == W(g->lbPaths); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(g->ShowModal(), mrCancel);
  EXPECT_EQ(g->keys, "\x1b");
}

TEST_F(FrontEndTest, TheMainWindowsCloseBoxAsksTheModel) {
  auto* f = app->CreateForm<TMainLike>();
  bool allow = false;
  f->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = allow; };
  f->Show();
  W(f)->close();
  EXPECT_FALSE(app->Terminated());
  EXPECT_TRUE(W(f)->isVisible());
  allow = true;
  W(f)->close();
  EXPECT_TRUE(app->Terminated());
}

TEST_F(FrontEndTest, TheMainLoopHandlesTheUsersActionsUntilTheMainWindowCloses) {
  auto* f = app->CreateForm<TMainLike>();
  Soon([&] {
    QTest::mouseClick(W(f->sbAdd), Qt::LeftButton);
    Soon([&] { W(f)->close(); });
  });
  app->Run();
  EXPECT_EQ(f->addClicks, 1);
  EXPECT_TRUE(app->Terminated());
}

TEST_F(FrontEndTest, MovingTheWindowMovesTheForm) {
  auto* f = CreateForm<TEditorLike>(app.get());
  f->SetBounds(40, 50, f->Width(), f->Height());
  f->Show();
  // Moved once it is on the screen, where the user can reach it.
  ASSERT_TRUE(QTest::qWaitForWindowExposed(W(f)));
  // The window system places the client area; the form's corner lies its own frame outside.
  const QPoint before = W(f)->geometry().topLeft();
  W(f)->move(150, 90);
  EXPECT_TRUE(WaitFor([&] { return W(f)->geometry().topLeft() != before; }));
  EXPECT_TRUE(WaitFor([&] {
    return f->Left() == W(f)->geometry().x() - 4 && f->Top() == W(f)->geometry().y() - 19;
  }));
  EXPECT_NE(QPoint(f->Left(), f->Top()), QPoint(40, 50));
  EXPECT_EQ(f->ClientWidth(), 412);
}

// While the window system is still putting a window on the screen, what it reports is not the
// user's doing, and need not be true: IceWM reports a modal window's client area a title bar's
// height lower than it maps it. Such a report moves neither the form (the editor would creep at
// every opening) nor, once the window is on the screen, the window: it is put back where the form
// is, so that the toolkit's idea of the position is right again.
TEST_F(FrontEndTest, APositionReportedWhileTheWindowIsPlacedMovesNeitherFormNorWindow) {
  auto* f = CreateForm<TEditorLike>(app.get());
  f->SetBounds(40, 50, f->Width(), f->Height());
  f->Show();
  const QRect asked = W(f)->geometry();
  EXPECT_EQ(asked.topLeft(), QPoint(40 + 4, 50 + 19));
  // Before the window is exposed: the toolkit learns of another position.
  W(f)->move(asked.left(), asked.top() + 19);
  ASSERT_NE(W(f)->geometry().topLeft(), asked.topLeft());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(W(f)));
  EXPECT_TRUE(WaitFor([&] { return W(f)->geometry() == asked; })) << W(f)->geometry().y();
  QTest::qWait(20);
  EXPECT_EQ(W(f)->geometry(), asked);
  EXPECT_EQ(QPoint(f->Left(), f->Top()), QPoint(40, 50));
  // From then on, a move is the user's: the form follows.
  W(f)->move(asked.left() + 30, asked.top() + 30);
  EXPECT_TRUE(WaitFor([&] { return QPoint(f->Left(), f->Top()) != QPoint(40, 50); }));
  EXPECT_EQ(QPoint(f->Left() + 4, f->Top() + 19), W(f)->geometry().topLeft());
  delete f;
}

// Reopened ten times, as the program reopens its editor at the position it was left at: the
// position does not creep, whatever frame the window system draws.
TEST_F(FrontEndTest, AFormReopenedWhereItWasClosedStaysThere) {
  struct Row {
    const char* what;
    TFormBorderStyle border;
  };
  const Row rows[] = {{"tool window", bsToolWindow}, {"single frame", bsSingle}, {"no frame", bsNone}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    int32_t left = 60, top = 70;
    QPoint first;
    for (int round = 0; round < 10; ++round) {
      auto* f = CreateForm<TEditorLike>(app.get());
      f->SetBorderStyle(row.border);
      f->SetBounds(left, top, f->Width(), f->Height());
      f->Show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(W(f)));
      if (round == 0) first = W(f)->geometry().topLeft();
      EXPECT_EQ(W(f)->geometry().topLeft(), first) << round;
      QTest::qWait(1);
      left = f->Left();
      top = f->Top();
      delete f;
    }
    EXPECT_EQ(QPoint(left, top), QPoint(60, 70));
  }
}

TEST_F(FrontEndTest, AFormThatWouldOpenOffTheScreenOpensOnIt) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  struct Row {
    int32_t left, top;
  };
  const Row rows[] = {{-20, -40}, {-5000, 100}, {area.right() + 500, area.bottom() + 500}, {100, -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.left << "," << row.top);
    auto* f = CreateForm<TEditorLike>(app.get());
    f->SetBounds(row.left, row.top, f->Width(), f->Height());
    f->Show();
    // The whole frame the form counts with lies on the screen, and the form knows where.
    EXPECT_GE(f->Left(), area.left());
    EXPECT_GE(f->Top(), area.top());
    EXPECT_LE(f->Left() + f->Width(), area.right() + 1);
    EXPECT_LE(f->Top() + f->Height(), area.bottom() + 1);
    EXPECT_TRUE(area.contains(W(f)->geometry()));
    delete f;
  }
  // One already on the screen stays where it is.
  auto* f = CreateForm<TEditorLike>(app.get());
  f->SetBounds(30, 40, f->Width(), f->Height());
  f->Show();
  EXPECT_EQ(QPoint(f->Left(), f->Top()), QPoint(30, 40));
}

TEST_F(FrontEndTest, ControlsPlacedLaterGetWidgetsAndDestroyedOnesLoseThem) {
  auto* f = CreateForm<TMainLike>(app.get());
  f->Show();
  auto* late = Make<TLabel>(f, f->gbxScript, "lblLate");
  late->SetCaption("Late");
  ASSERT_NE(As<QLabel>(late), nullptr);
  EXPECT_EQ(As<QLabel>(late)->text(), "Late");
  EXPECT_TRUE(W(late)->isVisible());
  EXPECT_EQ(W(late)->parentWidget(), W(f->gbxScript));
  // Moved to another parent: it follows.
  late->SetParent(f->stbMain);
  EXPECT_EQ(W(late)->parentWidget(), W(f->stbMain));
  QPointer<QWidget> widget = W(late);
  delete late;
  EXPECT_EQ(widget, nullptr);

  // A button that takes itself away in its own click handler.
  f->sbAdd->OnClick = [&](TObject*) { delete f->sbAdd; f->sbAdd = nullptr; };
  QPointer<QWidget> add = W(f->sbAdd);
  QTest::mouseClick(add, Qt::LeftButton);
  EXPECT_EQ(f->sbAdd, nullptr);
  ASSERT_TRUE(add);  // kept until no handler of it runs any more
  EXPECT_FALSE(add->isVisible());
  app->ProcessMessages();
  EXPECT_EQ(add, nullptr);
}

TEST_F(FrontEndTest, TheScreenCursorCoversEveryWindowUntilItIsTheDefaultAgain) {
  Screen->SetCursor(crHourGlass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(FrontEndTest, AutoSizedLabelsTakeTheSizeOfTheirText) {
  auto* f = CreateForm<TEditorLike>(app.get());
  f->Show();
  auto* label = As<QLabel>(f->lblName);
  // Wide and high enough for the whole text, whatever the font: nothing is clipped.
  EXPECT_GE(f->lblName->Width(), label->sizeHint().width());
  EXPECT_GE(f->lblName->Height(), label->sizeHint().height());
  EXPECT_LT(f->lblName->Width(), 64);
  int shortWidth = f->lblName->Width();
  f->lblName->SetCaption("A much longer name than before");
  EXPECT_GE(f->lblName->Width(), label->sizeHint().width());
  EXPECT_GT(f->lblName->Width(), shortWidth);
  EXPECT_EQ(label->geometry(), QRect(f->lblName->Left(), f->lblName->Top(), f->lblName->Width(), f->lblName->Height()));
  // Right-aligned labels keep their right edge.
  int right = f->lblName->Left() + f->lblName->Width();
  f->lblName->SetAlignment(taRightJustify);
  f->lblName->SetCaption("Name");
  EXPECT_EQ(f->lblName->Left() + f->lblName->Width(), right);
}

}  // namespace
}  // namespace dravello::qttest
