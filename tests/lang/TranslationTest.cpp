#include <gtest/gtest.h>

#include "TestForm.h"
#include "lang/Localizer.h"

namespace dravello {
namespace {

using test::TAlign;
using test::TTestButton;
using test::TTestControl;
using test::TTestForm;

std::vector<std::string> Items(const TStringList& l) { return {l.begin(), l.end()}; }

std::unique_ptr<TStringList> Lines(std::initializer_list<std::string> lines) {
  auto l = std::make_unique<TStringList>();
  for (const std::string& s : lines) l->Add(s);
  return l;
}

// Expects `f` to raise E with exactly `message`.
template <class E, class F>
void ExpectError(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

// A window with a few controls and its language component, set to "en".
class TranslationTest : public ::testing::Test {
 protected:
  TranslationTest() {
    ml->SetName("mlTest");
    ml->OnTranslate = [this](TLocalizer&) { ++translations; };
    ml->SetLanguage("en");
    translations = 0;
  }

  // Translates the window with a script whose "[en]" section holds `entries`.
  void Translate(std::initializer_list<std::string> entries) {
    auto script = Lines({"[en]"});
    for (const std::string& e : entries) script->Add(e);
    ml->SetScript(*script);
  }

  TTestForm form{nullptr, "frmTest"};
  TTestButton* sbOk = new TTestButton(&form, "sbOk");
  TTestControl* lbl = new TTestControl(&form, "lblInfo");
  TTestControl* other = new TTestControl(&form, "lbOther");
  TTestForm* frame = new TTestForm(&form, "pnlFrame");
  TTestControl* deep = new TTestControl(frame, "lblDeep");
  TLocalizer* ml = new TLocalizer(&form);
  int translations = 0;
};

TEST_F(TranslationTest, CaptionsOfControlsAndOfTheWindowByAnyLetterCase) {
  Translate({"sbOk.Caption = 'OK'", "LBLINFO.CAPTION = Info", "Caption = 'Window'", "lbother.caption = ' x '"});
  EXPECT_EQ(sbOk->Caption(), "OK");
  EXPECT_EQ(lbl->Caption(), "Info");
  EXPECT_EQ(form.Caption(), "Window");
  EXPECT_EQ(other->Caption(), " x ");
  EXPECT_EQ(translations, 1);
}

TEST_F(TranslationTest, EntriesThatReachNothingAreIgnoredAndLaterOnesApplied) {
  other->Items()->Add("kept");
  Translate({
      "sbNope.Caption = 'x'",          // no such control
      "sbOk.NoSuchProp = 'x'",         // no such property
      "sbOk.Font.NoSuch = 'x'",        // no such property on a sub-object
      "sbOk.Missing.Caption = 'x'",    // no such object property
      "sbOk.Caption.Length = 3",       // not object-valued
      "sbOk.Partner.Caption = 'x'",    // object property holding none
      "sbOk.Color = notacolour",       // integer text that does not convert
      "sbOk.Fixed = 'changed'",        // no setter
      "sbOk.FixedNumber = 3",          // no setter
      "lblDeep.Caption = 'x'",         // owned by the frame, not the window
      "sbOk. = 'x'",                   // empty property name
      "line without equals sign",
      "sbOk.Caption = 'after'",
  });
  EXPECT_EQ(sbOk->Caption(), "after");
  EXPECT_EQ(sbOk->Color(), clBtnFace);
  EXPECT_EQ(sbOk->Fixed(), "fixed");
  EXPECT_EQ(deep->Caption(), "");
  EXPECT_EQ(Items(*other->Items()), std::vector<std::string>{"kept"});
  EXPECT_EQ(translations, 1);
}

TEST_F(TranslationTest, LineBreaksSplitStringListsAndStayInCaptions) {
  lbl->Items()->Add("old");
  Translate({R"(lblInfo.Items = 'one\ntwo\n\nfour')", R"(lblInfo.Caption = 'a\nb')"});
  EXPECT_EQ(Items(*lbl->Items()), (std::vector<std::string>{"one", "two", "", "four"}));
  EXPECT_EQ(lbl->Caption(), "a\r\nb");
}

TEST_F(TranslationTest, LaterEntryForTheSamePropertyWins) {
  Translate({"sbOk.Caption = 'first'", "SBOK.caption = 'second'"});
  EXPECT_EQ(sbOk->Caption(), "second");
}

TEST_F(TranslationTest, OwnedComponentsAreWalkedStepByStep) {
  Translate({"pnlFrame.lblDeep.Caption = 'deep'", "pnlFrame.Caption = 'frame'"});
  EXPECT_EQ(deep->Caption(), "deep");
  EXPECT_EQ(frame->Caption(), "frame");
}

TEST_F(TranslationTest, IntegersFromNamesAndHexFormsAreClampedToTheirType) {
  Translate({"sbOk.Color = clRed", "lblInfo.Color = $FF", "lbOther.Color = #FF"});
  EXPECT_EQ(sbOk->Color(), clRed);
  EXPECT_EQ(lbl->Color(), 0xFF);
  EXPECT_EQ(other->Color(), 0xFF);

  Translate({"sbOk.Level = 1000", "lblInfo.Level = -1000", "lbOther.Level = $7F", "sbOk.Percent = 150",
             "lblInfo.Percent = -3", "lbOther.Percent = 42", "sbOk.Cursor = crHourGlass", "lblInfo.Cursor = 100000",
             "lbOther.Color = clBtnFace"});
  EXPECT_EQ(sbOk->Level(), 127);
  EXPECT_EQ(lbl->Level(), -128);
  EXPECT_EQ(other->Level(), 127);
  EXPECT_EQ(sbOk->Percent(), 100);
  EXPECT_EQ(lbl->Percent(), 0);
  EXPECT_EQ(other->Percent(), 42);
  EXPECT_EQ(sbOk->Cursor(), crHourGlass);
  EXPECT_EQ(lbl->Cursor(), 32767);
  EXPECT_EQ(other->Color(), clBtnFace);
}

TEST(TextToInt, ConvertsInTheDocumentedOrder) {
  struct Case {
    std::string text;
    std::optional<int32_t> value;
  } cases[] = {
      {"0", 0},
      {"  42", 42},
      {"-42", -42},
      {"+7", 7},
      {"$FF", 255},
      {"0xff", 255},
      {"x10", 16},
      {"$FFFFFFFF", -1},
      {"#FF", 255},
      {"#ff", 255},
      {"#FFFFFFFF", -1},
      {"#00FF00", 0x00FF00},  // no byte order change
      {"#123456", 0x123456},
      {"crHourGlass", -11},
      {"CRHOURGLASS", -11},
      {"clBtnFace", clBtnFace},
      {"clred", clRed},
      {"ANSI_CHARSET", 0},
      {"oem_charset", 255},
      {"", std::nullopt},
      {"#", std::nullopt},
      {"#G1", std::nullopt},
      {"# FF", std::nullopt},
      {"#-1", std::nullopt},
      {"#$FF", std::nullopt},
      {"#100000000", std::nullopt},
      {"12abc", std::nullopt},
      {"2147483648", std::nullopt},
      {"1.5", std::nullopt},
      {"clNoSuchColour", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToInt(c.text), c.value) << "'" << c.text << "'";
}

TEST_F(TranslationTest, EnumerationsAndBooleansByNameInAnyCase) {
  Translate({"sbOk.Align = alclient", "sbOk.Visible = false", "sbOk.Flat = TRUE", "lblInfo.Align = ALTOP"});
  EXPECT_EQ(sbOk->Align(), TAlign::alClient);
  EXPECT_FALSE(sbOk->Visible());
  EXPECT_TRUE(sbOk->Flat());
  EXPECT_EQ(lbl->Align(), TAlign::alTop);
}

TEST_F(TranslationTest, UnknownEnumerationNameStopsTheTranslation) {
  ExpectError<EPropertyConvertError>(
      [&] { Translate({"sbOk.Caption = 'first'", "sbOk.Align = alMiddle", "lblInfo.Caption = 'never'"}); },
      "Invalid property element: alMiddle");
  EXPECT_EQ(sbOk->Caption(), "first");
  EXPECT_EQ(sbOk->Align(), TAlign::alNone);
  EXPECT_EQ(lbl->Caption(), "");
  EXPECT_EQ(translations, 0);

  // The same failure reaches whoever wrote the language.
  ExpectError<EPropertyConvertError>([&] { ml->SetLanguage("en"); }, "Invalid property element: alMiddle");
  ExpectError<EPropertyConvertError>([&] { Translate({"sbOk.Visible = yes"}); },
                                     "Invalid property element: yes");
  EXPECT_EQ(translations, 0);
}

TEST_F(TranslationTest, SetsTakeExactlyTheNamedElements) {
  using test::akBottom;
  using test::akLeft;
  using test::akRight;
  using test::akTop;
  struct Case {
    std::string text;
    uint32_t value;
  } cases[] = {
      {"[akRight, akBottom]", akRight | akBottom},
      {"akLeft akTop", akLeft | akTop},
      {"akleft,,AKTOP", akLeft | akTop},
      {"[ akRight ]", akRight},
      {"akBottom", akBottom},
      {"[]", 0},
      {"", 0},
  };
  for (const Case& c : cases) {
    sbOk->SetAnchors(akLeft | akTop | akRight | akBottom);
    Translate({"sbOk.Anchors = " + c.text});
    EXPECT_EQ(sbOk->Anchors(), c.value) << c.text;
  }
  ExpectError<EPropertyConvertError>([&] { Translate({"sbOk.Anchors = [akLeft, akMiddle]"}); },
                                     "Invalid property element: akMiddle");
  ExpectError<EPropertyConvertError>([&] { Translate({"sbOk.Anchors = akLeft]"}); },
                                     "Invalid property element: akLeft]");
}

TEST_F(TranslationTest, CharsAndInt64NeedANumber) {
  Translate({"sbOk.Accel = 65", "lblInfo.Accel = 300", "lbOther.Accel = $41", "sbOk.Size = 9223372036854775807",
             "lblInfo.Size = -5", "lbOther.Size = $7FFFFFFFFFFFFFFF"});
  EXPECT_EQ(sbOk->Accel(), 'A');
  EXPECT_EQ(static_cast<unsigned char>(lbl->Accel()), 255);
  EXPECT_EQ(other->Accel(), 'A');
  EXPECT_EQ(sbOk->Size(), INT64_MAX);
  EXPECT_EQ(lbl->Size(), -5);
  EXPECT_EQ(other->Size(), INT64_MAX);

  ExpectError<EConvertError>([&] { Translate({"sbOk.Accel = A", "sbOk.Caption = 'never'"}); },
                             "'A' is not a valid integer value");
  EXPECT_EQ(sbOk->Caption(), "");
  ExpectError<EConvertError>([&] { Translate({"sbOk.Size = 12x"}); }, "'12x' is not a valid integer value");
  ExpectError<EConvertError>([&] { Translate({"sbOk.Size = clRed"}); }, "'clRed' is not a valid integer value");
}

TEST_F(TranslationTest, FloatsNeedADecimalNumber) {
  struct Case {
    std::string text;
    double value;
  } good[] = {{"1.5", 1.5}, {"-2.5e3", -2500}, {"+.5", 0.5}, {"5.", 5}, {"7", 7}, {"1E-2", 0.01}};
  for (const Case& c : good) {
    Translate({"sbOk.Ratio = " + c.text});
    EXPECT_DOUBLE_EQ(sbOk->Ratio(), c.value) << c.text;
  }
  for (const std::string text : {"1,5", "inf", "nan", "''", "1e", ".", "0x10", "1.5.2", "- 1"}) {
    ExpectError<EConvertError>([&] { Translate({"sbOk.Ratio = " + text}); },
                               "'" + SplitLine("k = " + text).Value + "' is not a valid floating point value");
  }
}

TEST_F(TranslationTest, VariantsTakeTheTextAndEventsAreRefused) {
  Translate({"sbOk.Value = ' v '"});
  EXPECT_EQ(sbOk->Value(), " v ");
  ExpectError<EPropertyError>([&] { Translate({"sbOk.OnClick = sbOkClick", "sbOk.Caption = 'never'"}); },
                              "Invalid property type: tkMethod");
  EXPECT_EQ(sbOk->Caption(), "");
  ExpectError<EPropertyError>([&] { Translate({"sbOk.Bounds = 1"}); }, "Invalid property type: tkRecord");
  ExpectError<EPropertyError>([&] { Translate({"mlTest.OnTranslate = x"}); }, "Invalid property type: tkMethod");
  EXPECT_EQ(translations, 1);
}

TEST_F(TranslationTest, ComponentReferencesAreCheckedAgainstThePropertyClass) {
  Translate({"sbOk.Partner = LBOTHER"});
  EXPECT_EQ(sbOk->Partner(), other);
  Translate({"sbOk.Partner = mlTest"});  // a language component is no TTestControl: kept
  EXPECT_EQ(sbOk->Partner(), other);
  Translate({"sbOk.Partner = pnlFrame.lblDeep"});
  EXPECT_EQ(sbOk->Partner(), deep);
  Translate({"sbOk.Anything = mlTest"});
  EXPECT_EQ(sbOk->Anything(), ml);
  Translate({"sbOk.Partner = noSuchControl"});  // none is assigned
  EXPECT_EQ(sbOk->Partner(), nullptr);
  // Once set, a reference is walked like any object property.
  Translate({"sbOk.Partner = lbOther", "sbOk.Partner.Caption = 'via partner'"});
  EXPECT_EQ(other->Caption(), "via partner");
}

TEST_F(TranslationTest, ObjectPropertiesAndCollectionItemsAreWalked) {
  sbOk->Columns()->Add();
  sbOk->Columns()->Add();
  auto* col0 = static_cast<test::TTestColumn*>(sbOk->Columns()->Item(0));
  auto* col1 = static_cast<test::TTestColumn*>(sbOk->Columns()->Item(1));
  Translate({"sbOk.Font.Size = 12", "sbOk.Columns[1].Title = 'second'", "sbok.COLUMNS[0].font.name = 'Mono'",
             "sbOk.Columns[x].Title = 'no index, no Title on the collection'",
             "sbOk.Font[0].Name = 'index ignored off a collection'"});
  EXPECT_EQ(sbOk->Font()->Size(), 12);
  EXPECT_EQ(col1->Title(), "second");
  EXPECT_EQ(col0->Font()->FaceName(), "Mono");
  EXPECT_EQ(col0->Title(), "");
  EXPECT_EQ(sbOk->Font()->FaceName(), "index ignored off a collection");

  ExpectError<EListError>([&] { Translate({"sbOk.Columns[2].Title = 'x'", "sbOk.Caption = 'never'"}); },
                          "List index out of bounds (2)");
  ExpectError<EListError>([&] { Translate({"sbOk.Columns[-1].Title = 'x'"}); }, "List index out of bounds (-1)");
  EXPECT_EQ(sbOk->Caption(), "");
}

TEST_F(TranslationTest, EveryWriteOfLanguageOrScriptAppliesAllEntriesAgain) {
  Translate({"sbOk.Caption = 'OK'"});
  EXPECT_EQ(translations, 1);
  sbOk->SetCaption("changed by the window");
  ml->SetLanguage("en");
  EXPECT_EQ(sbOk->Caption(), "OK");
  sbOk->SetCaption("changed again");
  ml->SetLanguage("en");
  EXPECT_EQ(sbOk->Caption(), "OK");
  EXPECT_EQ(translations, 3);

  // A language without a section changes nothing but still counts as a translation.
  ml->SetLanguage("fr");
  EXPECT_EQ(sbOk->Caption(), "OK");
  EXPECT_EQ(ml->Language(), "fr");
  EXPECT_EQ(ml->SelectedLines().Count(), 0);
  EXPECT_EQ(translations, 4);
}

TEST_F(TranslationTest, ScriptFilledLineByLineTranslatesOnlyWhenLoaded) {
  ml->Script()->Add("[en]");
  ml->Script()->Add("sbOk.Caption = 'OK'");
  EXPECT_EQ(sbOk->Caption(), "");
  EXPECT_EQ(translations, 0);
  ml->SetComponentState(csLoading);
  ml->Loaded();
  EXPECT_EQ(ml->ComponentState() & csLoading, 0u);
  EXPECT_EQ(sbOk->Caption(), "OK");
  EXPECT_EQ(translations, 1);
  EXPECT_EQ(Items(ml->SelectedLines()), std::vector<std::string>{"sbOk.Caption = 'OK'"});
}

TEST_F(TranslationTest, ScriptAndLanguageArePublishedAndWritableByEntries) {
  EXPECT_EQ(TLocalizer::StaticClass().FindProperty("script")->Kind, TTypeKind::tkClass);
  EXPECT_EQ(TLocalizer::StaticClass().FindProperty("LANGUAGE")->Kind, TTypeKind::tkLString);
  EXPECT_EQ(TLocalizer::StaticClass().FindProperty("OnCreate")->Kind, TTypeKind::tkMethod);
  // An entry that writes this component's own Language re-selects without looping forever.
  Translate({"mlTest.Language = en", "sbOk.Caption = 'OK'"});
  EXPECT_EQ(sbOk->Caption(), "OK");
  EXPECT_EQ(translations, 1);
}

TEST(Localizer, OnCreateGetsTheFinishedComponent) {
  TTestForm form(nullptr, "frm");
  TLocalizer* seen = nullptr;
  bool listsReady = false;
  auto* ml = new TLocalizer(&form, [&](TLocalizer& l) {
    seen = &l;
    listsReady = l.Script() != nullptr && l.Script()->Empty() && l.SelectedLines().Empty() && l.Language().empty();
  });
  EXPECT_EQ(seen, ml);
  EXPECT_TRUE(listsReady);
  EXPECT_EQ(ml->Owner(), &form);
}

TEST(Localizer, WithoutOwnerSelectsButAppliesNothing) {
  TLocalizer ml(nullptr);
  int translations = 0;
  ml.OnTranslate = [&](TLocalizer&) { ++translations; };
  ml.SetScript(*Lines({"[en]", "Caption = 'x'", "Name = 'renamed'", "OnCreate = y"}));
  ml.SetLanguage("EN");
  EXPECT_EQ(ml.Lookup("Caption"), "x");
  EXPECT_EQ(ml.Name(), "");
  EXPECT_EQ(translations, 2);
  ml.SetScript(nullptr);
  EXPECT_TRUE(ml.Script()->Empty());
  EXPECT_EQ(ml.Lookup("Caption"), "");
}

// ---- Synchronised languages over the application's ownership tree --------------------------

class SyncTest : public ::testing::Test {
 protected:
  struct Window {
    TTestForm* form;
    TTestControl* label;
    TLocalizer* ml;
    int translations = 0;
  };

  SyncTest() : previousRoot_(ApplicationRoot()) { SetApplicationRoot(&app); }
  ~SyncTest() override { SetApplicationRoot(previousRoot_); }

  // A window owned by `owner` whose label says "<language> <n>".
  std::unique_ptr<Window> MakeWindow(TComponent* owner, int n) {
    auto w = std::make_unique<Window>();
    w->form = new TTestForm(owner, "frm" + std::to_string(n));
    w->label = new TTestControl(w->form, "lbl");
    w->ml = new TLocalizer(w->form);
    const std::string num = std::to_string(n);
    w->ml->SetScript(*Lines({"[en]", "lbl.Caption = 'en " + num + "'", "[de]", "lbl.Caption = 'de " + num + "'"}));
    Window* raw = w.get();
    w->ml->OnTranslate = [raw](TLocalizer&) { ++raw->translations; };
    return w;
  }

  TTestForm app{nullptr, "app"};

 private:
  TComponent* previousRoot_;
};

TEST_F(SyncTest, OneLanguageForEveryLocalizerInTheTree) {
  auto w1 = MakeWindow(&app, 1);
  auto w2 = MakeWindow(&app, 2);
  TTestForm editor(nullptr, "editor");  // a window without owner, like the script editor
  auto w3 = MakeWindow(&editor, 3);
  auto* sync = new TLocalizerSync(w1->form);
  EXPECT_EQ(TLocalizer::FindSync(), sync);

  w2->ml->SetLanguage("de");
  EXPECT_EQ(sync->Language(), "de");
  for (Window* w : {w1.get(), w2.get(), w3.get()}) EXPECT_EQ(w->ml->Language(), "de");
  EXPECT_EQ(w1->label->Caption(), "de 1");
  EXPECT_EQ(w2->label->Caption(), "de 2");
  EXPECT_EQ(w1->translations, 1);
  EXPECT_EQ(w2->translations, 1);
  // The window outside the tree is not translated by the sync.
  EXPECT_EQ(w3->label->Caption(), "");
  EXPECT_EQ(w3->translations, 0);

  // Writing the sync itself translates the tree.
  sync->SetLanguage("en");
  EXPECT_EQ(w1->label->Caption(), "en 1");
  EXPECT_EQ(w2->label->Caption(), "en 2");
  EXPECT_EQ(w3->translations, 0);

  // Removing the sync brings back each component's own language: only the one written kept it.
  delete sync;
  EXPECT_EQ(TLocalizer::FindSync(), nullptr);
  EXPECT_EQ(w1->ml->Language(), "");
  EXPECT_EQ(w2->ml->Language(), "de");
}

TEST_F(SyncTest, ComponentOutsideTheTreeStillFollowsWhatIsWrittenToIt) {
  auto w1 = MakeWindow(&app, 1);
  TTestForm editor(nullptr, "editor");
  auto w3 = MakeWindow(&editor, 3);
  TLocalizer loose(nullptr);
  loose.SetScript(*Lines({"[en]", "k = 'english'", "[de]", "k = 'deutsch'"}));
  new TLocalizerSync(&app);

  w3->ml->SetLanguage("de");
  EXPECT_EQ(w3->label->Caption(), "de 3");
  EXPECT_EQ(w3->translations, 1);
  EXPECT_EQ(w1->label->Caption(), "de 1");

  loose.SetLanguage("en");
  EXPECT_EQ(loose.Lookup("k"), "english");
  EXPECT_EQ(w1->label->Caption(), "en 1");
  EXPECT_EQ(w3->label->Caption(), "de 3");  // not reached by the sync
  EXPECT_EQ(w1->translations, 2);
}

TEST_F(SyncTest, FindSyncSearchesDepthFirst) {
  auto w1 = MakeWindow(&app, 1);
  auto* nested = new TTestForm(w1->form, "nested");
  auto* direct = new TLocalizerSync(&app);  // nearer the root, but after w1 in order
  auto* deep = new TLocalizerSync(nested);
  EXPECT_EQ(TLocalizer::FindSync(), deep);
  delete deep;
  EXPECT_EQ(TLocalizer::FindSync(), direct);
}

TEST_F(SyncTest, NoRootNoSync) {
  auto w1 = MakeWindow(&app, 1);
  new TLocalizerSync(&app);
  SetApplicationRoot(nullptr);
  EXPECT_EQ(TLocalizer::FindSync(), nullptr);
  RetranslateAll(nullptr);
  w1->ml->SetLanguage("de");
  EXPECT_EQ(w1->label->Caption(), "de 1");
}

}  // namespace
}  // namespace dravello
