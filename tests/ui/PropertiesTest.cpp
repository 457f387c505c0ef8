// Published property tables (what the form translation walks), fonts and the glyph resources.
#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string_view>

#include "UiTestSupport.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace dravello::testing {
namespace {

constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

struct KindCase {
  const TClass* cls;
  const char* property;  // written in another case than the table on purpose
  TTypeKind kind;
  int64_t min, max;      // ordinal kinds only
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.cls->Name() << "." << c.property; }

class PropertyKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(PropertyKindTest, FoundInAnyCaseWithItsKindAndRange) {
  const KindCase& c = GetParam();
  const TPropInfo* p = c.cls->FindProperty(c.property);
  ASSERT_NE(p, nullptr) << c.cls->Name() << "." << c.property;
  EXPECT_EQ(p->Kind, c.kind) << c.property;
  if (p->GetOrd) {
    EXPECT_EQ(p->MinValue, c.min) << c.property;
    EXPECT_EQ(p->MaxValue, c.max) << c.property;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, PropertyKindTest,
    ::testing::Values(
        KindCase{&TSpeedButton::StaticClass(), "cursor", TTypeKind::tkInteger, -32768, 32767},
        KindCase{&TSpeedButton::StaticClass(), "LEFT", TTypeKind::tkInteger, kIntMin, kIntMax},
        KindCase{&TLabel::StaticClass(), "color", TTypeKind::tkInteger, kIntMin, kIntMax},
        KindCase{&TFont::StaticClass(), "charset", TTypeKind::tkInteger, 0, 255},
        KindCase{&TEdit::StaticClass(), "passwordchar", TTypeKind::tkChar, 0, 255},
        KindCase{&TEdit::StaticClass(), "MaxLength", TTypeKind::tkInteger, 0, kIntMax},
        KindCase{&TEdit::StaticClass(), "TABORDER", TTypeKind::tkInteger, -1, 32767},
        KindCase{&TPanel::StaticClass(), "bevelwidth", TTypeKind::tkInteger, 1, kIntMax},
        KindCase{&TPanel::StaticClass(), "BevelOuter", TTypeKind::tkEnumeration, 0, 3},
        KindCase{&TPanel::StaticClass(), "align", TTypeKind::tkEnumeration, 0, 5},
        KindCase{&TCheckBox::StaticClass(), "checked", TTypeKind::tkEnumeration, 0, 1},
        KindCase{&TComboBox::StaticClass(), "style", TTypeKind::tkEnumeration, 0, 4},
        KindCase{&TForm::StaticClass(), "bordericons", TTypeKind::tkSet, 0, 0xFFFFFFFF},
        KindCase{&TFont::StaticClass(), "STYLE", TTypeKind::tkSet, 0, 0xFFFFFFFF},
        KindCase{&TForm::StaticClass(), "caption", TTypeKind::tkLString, 0, 0},
        KindCase{&TComboBox::StaticClass(), "text", TTypeKind::tkLString, 0, 0},
        KindCase{&TListBox::StaticClass(), "items", TTypeKind::tkClass, 0, 0},
        KindCase{&TSpeedButton::StaticClass(), "glyph", TTypeKind::tkClass, 0, 0},
        KindCase{&TLabel::StaticClass(), "font", TTypeKind::tkClass, 0, 0},
        KindCase{&TForm::StaticClass(), "activecontrol", TTypeKind::tkClass, 0, 0},
        KindCase{&TSpeedButton::StaticClass(), "onclick", TTypeKind::tkMethod, 0, 0},
        KindCase{&TForm::StaticClass(), "OnKeyPress", TTypeKind::tkMethod, 0, 0},
        KindCase{&TCheckListBox::StaticClass(), "onclickcheck", TTypeKind::tkMethod, 0, 0},
        KindCase{&TComponent::StaticClass(), "name", TTypeKind::tkString, 0, 0}),
    [](const ::testing::TestParamInfo<KindCase>& p) {
      return p.param.cls->Name() + "_" + p.param.property;
    });

TEST(PropertyTable, ObjectPropertiesNameTheirClass) {
  EXPECT_EQ(TListBox::StaticClass().FindProperty("Items")->PropClass(), &TStringList::StaticClass());
  EXPECT_EQ(TSpeedButton::StaticClass().FindProperty("Glyph")->PropClass(), &TBitmap::StaticClass());
  EXPECT_EQ(TButton::StaticClass().FindProperty("Font")->PropClass(), &TFont::StaticClass());
  EXPECT_EQ(TForm::StaticClass().FindProperty("ActiveControl")->PropClass(), &TWinControl::StaticClass());
}

TEST(PropertyTable, OnlyCaptionedControlsPublishCaption) {
  for (const TClass* c : {&TLabel::StaticClass(), &TButton::StaticClass(), &TSpeedButton::StaticClass(),
                          &TRadioButton::StaticClass(), &TCheckBox::StaticClass(), &TGroupBox::StaticClass(),
                          &TPanel::StaticClass(), &TForm::StaticClass()})
    EXPECT_NE(c->FindProperty("Caption"), nullptr) << c->Name();
  for (const TClass* c : {&TEdit::StaticClass(), &TListBox::StaticClass(), &TComboBox::StaticClass(),
                          &TProgressBar::StaticClass(), &TBevel::StaticClass()})
    EXPECT_EQ(c->FindProperty("Caption"), nullptr) << c->Name();
  EXPECT_EQ(TEdit::StaticClass().FindProperty("NoSuchThing"), nullptr);
}

// Every published property has the accessors its kind needs, and enumerations and sets name
// every value of their range.
TEST(PropertyTable, EveryPropertyHasTheAccessorsOfItsKind) {
  const TClass* classes[] = {&TForm::StaticClass(),        &TLabel::StaticClass(),       &TEdit::StaticClass(),
                             &TButton::StaticClass(),      &TCheckBox::StaticClass(),    &TRadioButton::StaticClass(),
                             &TGroupBox::StaticClass(),    &TListBox::StaticClass(),     &TCheckListBox::StaticClass(),
                             &TComboBox::StaticClass(),    &TPanel::StaticClass(),       &TBevel::StaticClass(),
                             &TSpeedButton::StaticClass(), &TProgressBar::StaticClass(), &TFont::StaticClass(),
                             &TApplication::StaticClass()};
  int checked = 0;
  for (const TClass* leaf : classes) {
    for (const TClass* c = leaf; c; c = c->Parent()) {
      for (const TPropInfo& p : c->OwnProperties()) {
        ++checked;
        SCOPED_TRACE(c->Name() + "." + p.Name);
        switch (p.Kind) {
          case TTypeKind::tkInteger:
          case TTypeKind::tkChar:
          case TTypeKind::tkInt64:
            EXPECT_TRUE(p.GetOrd);
            EXPECT_LE(p.MinValue, p.MaxValue);
            break;
          case TTypeKind::tkEnumeration:
            EXPECT_TRUE(p.GetOrd && p.SetOrd);
            EXPECT_EQ(p.MinValue, 0);
            EXPECT_EQ(p.MaxValue + 1, static_cast<int64_t>(p.ValueNames.size()));
            break;
          case TTypeKind::tkSet:
            EXPECT_TRUE(p.GetOrd && p.SetOrd);
            EXPECT_FALSE(p.ValueNames.empty());
            break;
          case TTypeKind::tkString:
          case TTypeKind::tkLString:
            EXPECT_TRUE(p.GetStr && p.SetStr);
            break;
          case TTypeKind::tkClass:
            EXPECT_TRUE(p.GetObj && p.SetObj);
            EXPECT_NE(p.PropClass(), nullptr);
            break;
          case TTypeKind::tkMethod:
            EXPECT_EQ(p.Name.rfind("On", 0), 0u);
            break;
          default:
            ADD_FAILURE() << "unexpected kind " << TypeKindName(p.Kind);
        }
      }
    }
  }
  EXPECT_GT(checked, 100);
}

class PropertyAccessTest : public UiTest {};

TEST_F(PropertyAccessTest, AccessorsReachTheControlsState) {
  TForm* form = CreateForm<TForm>(app.get());
  auto* edit = Make<TEdit>(form, form, "edtName");
  auto* panel = Make<TPanel>(form, form, "pnlStatus");
  auto* sb = Make<TSpeedButton>(form, panel, "sbOk");
  auto* list = Make<TListBox>(form, form, "lbPaths");

  const TPropInfo* caption = sb->ClassType().FindProperty("caption");
  caption->SetStr(*sb, "&OK");
  EXPECT_EQ(sb->Caption(), "&OK");
  EXPECT_EQ(caption->GetStr(*sb), "&OK");
  EXPECT_EQ(fe->Count("sbOk.Caption"), 1);

  panel->ClassType().FindProperty("Cursor")->SetOrd(*panel, crHandPoint);
  EXPECT_EQ(panel->Cursor(), crHandPoint);
  panel->ClassType().FindProperty("BevelOuter")->SetOrd(*panel, bvLowered);
  EXPECT_EQ(panel->BevelOuter(), bvLowered);
  panel->ClassType().FindProperty("Alignment")->SetOrd(*panel, taLeftJustify);
  EXPECT_EQ(panel->Alignment(), taLeftJustify);

  edit->ClassType().FindProperty("PasswordChar")->SetOrd(*edit, '*');
  EXPECT_EQ(edit->PasswordChar(), '*');
  edit->ClassType().FindProperty("Text")->SetStr(*edit, "secret");
  EXPECT_EQ(edit->Text(), "secret");

  // Object-valued: the font is reached through its property and set through its own table.
  TObject* font = edit->ClassType().FindProperty("Font")->GetObj(*edit);
  ASSERT_EQ(font, edit->Font());
  font->ClassType().FindProperty("Style")->SetOrd(*font, fsBold | fsItalic);
  font->ClassType().FindProperty("NAME")->SetStr(*font, "Arial");
  EXPECT_EQ(edit->Font()->Style(), fsBold | fsItalic);
  EXPECT_EQ(edit->Font()->Name(), "Arial");
  EXPECT_GE(fe->Count("edtName.Font"), 2);

  // A string list property hands out the control's own list; assigning copies lines.
  const TPropInfo* items = list->ClassType().FindProperty("Items");
  EXPECT_EQ(items->GetObj(*list), list->Items());
  TStringList other;
  other.Add("b");
  other.Add("a");
  items->SetObj(*list, &other);
  EXPECT_EQ(list->Items()->CommaText(), "\"b\",\"a\"");
  items->SetObj(*list, nullptr);
  EXPECT_EQ(list->Items()->Count(), 0);

  form->ClassType().FindProperty("ActiveControl")->SetObj(*form, edit);
  EXPECT_EQ(form->ActiveControl(), edit);
  form->ClassType().FindProperty("BorderIcons")->SetOrd(*form, biSystemMenu | biMinimize);
  EXPECT_EQ(form->BorderIcons(), biSystemMenu | biMinimize);

  sb->Glyph()->LoadFromResourceName("OK");
  sb->ClassType().FindProperty("Glyph")->SetObj(*sb, nullptr);
  EXPECT_TRUE(sb->Glyph()->Empty());
}

TEST(Fonts, SizeAndHeightConvertAtNinetySixDots) {
  TFont f;
  EXPECT_EQ(f.Name(), "MS Sans Serif");
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(f.Size(), 8);
  f.SetSize(10);
  EXPECT_EQ(f.Height(), -13);
  f.SetHeight(-12);
  EXPECT_EQ(f.Size(), 9);
  int changes = 0;
  f.OnChange = [&] { ++changes; };
  f.SetHeight(-12);
  TFont same;
  same.Assign(f);
  f.Assign(same);
  EXPECT_EQ(changes, 0);
  same.SetStyle(fsBold);
  f.Assign(same);
  EXPECT_EQ(changes, 1);
}

TEST(Resources, EveryGlyphIsASixteenBySixteenPicture) {
  std::vector<std::string> expected = {"PLUS", "MINUS", "EDIT", "RUN", "OK", "CANCEL", "FOLDER"};
  EXPECT_EQ(BitmapResourceNames(), expected);
  for (const std::string& name : expected) {
    SCOPED_TRACE(name);
    std::unique_ptr<TBitmap> b = LoadBitmapResource(name);
    ASSERT_EQ(b->Width(), 16);
    ASSERT_EQ(b->Height(), 16);
    EXPECT_EQ(b->Pixels().size(), 16u * 16u * 4u);
    EXPECT_EQ(b->ResourceName(), name);
    int opaque = 0, clear = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        TRGBA p = b->Pixel(x, y);
        EXPECT_NE(p, (TRGBA{255, 0, 255, 255})) << "letter missing from the palette at " << x << "," << y;
        (p.A == 0 ? clear : opaque)++;
      }
    EXPECT_GT(opaque, 10);
    EXPECT_GT(clear, 10);
  }
}

TEST(Resources, NamesAreCaseInsensitiveAndUnknownOnesRaise) {
  EXPECT_EQ(LoadBitmapResource("folder")->ResourceName(), "FOLDER");
  EXPECT_NE(LoadBitmapResource("PLUS")->Pixels(), LoadBitmapResource("MINUS")->Pixels());
  try {
    LoadBitmapResource("NOPE");
    FAIL() << "no exception";
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "Resource NOPE not found");
  }
  TBitmap kept;
  kept.LoadFromResourceName("RUN");
  EXPECT_THROW(kept.LoadFromResourceName("missing"), EResNotFound);
  EXPECT_EQ(kept.ResourceName(), "RUN");
  EXPECT_THROW(kept.Pixel(16, 0), ERangeError);
}

TEST_F(PropertyAccessTest, LoadingAGlyphIsAnnounced) {
  auto* sb = new TSpeedButton(app.get());
  sb->SetName("sbAdd");
  sb->Glyph()->LoadFromResourceName("PLUS");
  EXPECT_EQ(fe->Count("sbAdd.Glyph"), 1);
  EXPECT_EQ(sb->Glyph()->Width(), 16);
}

// A published property set through its table announces itself under its own name: the setter
// names the right member of TProperty, and that member's name is the published one.
TEST_F(UiTest, ASetterAnnouncesThePropertyItSets) {
  TForm* form = CreateForm<TForm>(app.get());
  struct Row {
    TControl* control;
    const char* property;
    int64_t value;       // ordinal properties
    const char* text;    // string properties (nullptr: ordinal)
  };
  auto* edit = Make<TEdit>(form, form, "edt");
  auto* combo = Make<TComboBox>(form, form, "cbx");
  combo->Items()->Add("one");
  auto* list = Make<TListBox>(form, form, "lb");
  auto* bar = Make<TProgressBar>(form, form, "prb");
  auto* panel = Make<TPanel>(form, form, "pnl");
  auto* speed = Make<TSpeedButton>(form, form, "sb");
  auto* label = Make<TLabel>(form, form, "lbl");
  auto* bevel = Make<TBevel>(form, form, "bvl");
  auto* radio = Make<TRadioButton>(form, form, "rb");
  const Row rows[] = {
      {edit, "Left", 7, nullptr},           {edit, "Top", 9, nullptr},
      {edit, "Width", 70, nullptr},         {edit, "Height", 23, nullptr},
      {edit, "Enabled", 0, nullptr},        {edit, "Hint", 0, "tip"},
      {edit, "ShowHint", 1, nullptr},       {edit, "Cursor", crHandPoint, nullptr},
      {edit, "Text", 0, "typed"},           {edit, "MaxLength", 12, nullptr},
      {edit, "PasswordChar", '*', nullptr}, {edit, "ReadOnly", 1, nullptr},
      {edit, "TabOrder", 3, nullptr},       {edit, "TabStop", 0, nullptr},
      {combo, "ItemIndex", 0, nullptr},     {combo, "DropDownCount", 4, nullptr},
      {list, "Sorted", 1, nullptr},         {list, "ItemHeight", 17, nullptr},
      {bar, "Min", 5, nullptr},             {bar, "Max", 50, nullptr},
      {bar, "Position", 20, nullptr},       {bar, "Smooth", 1, nullptr},
      {panel, "Caption", 0, "status"},      {panel, "Alignment", taLeftJustify, nullptr},
      {panel, "BevelOuter", bvNone, nullptr}, {panel, "BevelInner", bvLowered, nullptr},
      {panel, "BevelWidth", 2, nullptr},    {panel, "BorderWidth", 1, nullptr},
      {speed, "Flat", 1, nullptr},          {speed, "Layout", blGlyphRight, nullptr},
      {speed, "Margin", 2, nullptr},        {speed, "Spacing", 6, nullptr},
      {label, "AutoSize", 0, nullptr},      {label, "WordWrap", 1, nullptr},
      {bevel, "Style", bsRaised, nullptr},  {radio, "Checked", 1, nullptr},
      {form, "BorderIcons", 0, nullptr},    {form, "FormStyle", fsStayOnTop, nullptr},
      {form, "Icon", 0, "MAINICON"},        {form, "Position", poScreenCenter, nullptr},
  };
  for (const Row& row : rows) {
    const TPropInfo* info = row.control->ClassType().FindProperty(row.property);
    ASSERT_NE(info, nullptr) << row.control->Name() << "." << row.property;
    const std::string note = row.control->Name() + "." + row.property;
    const int before = fe->Count(note);
    if (row.text)
      info->SetStr(*row.control, row.text);
    else
      info->SetOrd(*row.control, row.value);
    EXPECT_EQ(fe->Count(note), before + 1) << note;
  }
}

TEST(PropertyNames, EveryPropertyHasANameOfItsOwn) {
  std::set<std::string_view> seen;
  for (int i = 0; i < kPropertyCount; ++i) {
    std::string_view name = PropertyName(static_cast<TProperty>(i));
    EXPECT_FALSE(name.empty()) << i;
    EXPECT_TRUE(seen.insert(name).second) << name;
  }
  EXPECT_EQ(PropertyName(TProperty::Caption), "Caption");
  EXPECT_EQ(PropertyName(TProperty::Spacing), "Spacing");
}

}  // namespace
}  // namespace dravello::testing
