// The Win32 front end's own parts: scaling to the DPI, accelerators, the glyph and icon resources,
// and which native window shows which kind of control.
#include <memory>

#include "Win32TestSupport.h"
#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"
#include "ui/win32/Win32FrontEnd.h"

namespace dravello::win32test {
namespace {

TEST(Win32Scale, DesignPixelsFollowTheDpi) {
  struct Case {
    int design, dpi, screen;
  } const cases[] = {
      {312, 96, 312}, {312, 144, 468}, {312, 192, 624}, {108, 120, 135}, {11, 144, 17},  // 16.5 rounds up
      {1, 144, 2},    {0, 192, 0},     {-11, 144, -17},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(win32::Scale(c.design, c.dpi), c.screen) << c.design << " at " << c.dpi;
    // Back again: the design length, whatever the rounding was.
    EXPECT_EQ(win32::Unscale(c.screen, c.dpi), c.design) << c.screen << " at " << c.dpi;
  }
}

TEST(Win32Scale, ControlsThatMeetAtDesignMeetOnTheScreen) {
  // sbAdd ends at 76, sbDel starts at 84: the 8-pixel gap is scaled as a gap at every DPI, and two
  // edges at the same design pixel stay one edge.
  for (int dpi : {96, 120, 144, 168, 192}) {
    const int addRight = win32::ScaleEdge(8 + 68, dpi), delLeft = win32::ScaleEdge(84, dpi);
    EXPECT_EQ(delLeft - addRight, win32::ScaleEdge(84, dpi) - win32::ScaleEdge(76, dpi)) << dpi;
    EXPECT_EQ(win32::ScaleEdge(288, dpi), win32::ScaleEdge(1 + 287, dpi)) << dpi;
  }
}

TEST(Win32Accelerators, TheAmpersandMarksTheKey) {
  struct Case {
    const char* caption;
    char key;
  } const cases[] = {
      {"&Add", 'a'},    {"&Löschen", 'l'}, {"Ab&brechen", 'b'}, {"R&&D", 0}, {"R&&&D", 'd'}, {"No key", 0},
      {"Trailing&", 0}, {"", 0},           {"&1st", '1'},
  };
  for (const Case& c : cases) EXPECT_EQ(win32::AcceleratorOf(c.caption), c.key) << c.caption;
}

TEST(Win32Glyphs, ScalingKeepsEveryPixelCrisp) {
  // A 2 x 2 picture: each quarter one colour.
  const std::vector<uint8_t> picture = {1, 0, 0, 255, 2, 0, 0, 255, 3, 0, 0, 255, 4, 0, 0, 0};
  const std::vector<uint8_t> doubled = win32::ScalePixels(picture, 2, 2, 4, 4);
  const int expectedRed[4][4] = {{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(doubled[static_cast<size_t>(y * 4 + x) * 4], expectedRed[y][x]) << x << "," << y;
  // 16 to 24 pixels (150 %): the picture's last pixel still ends the row.
  std::vector<uint8_t> row(16 * 4);
  for (int x = 0; x < 16; ++x) row[static_cast<size_t>(x) * 4] = static_cast<uint8_t>(x);
  const std::vector<uint8_t> wider = win32::ScalePixels(row, 16, 1, 24, 1);
  EXPECT_EQ(wider[0], 0);
  EXPECT_EQ(wider[23 * 4], 15);
}

TEST(Win32Resources, EveryGlyphIsABitmapResourceWithTheProgramsPicture) {
  for (const std::string& name : BitmapResourceNames()) {
    int width = 0, height = 0;
    auto pixels = win32::ResourceBitmapPixels(name, &width, &height);
    ASSERT_TRUE(pixels.has_value()) << "no bitmap resource " << name;
    const auto picture = LoadBitmapResource(name);
    EXPECT_EQ(width, picture->Width()) << name;
    EXPECT_EQ(height, picture->Height()) << name;
    EXPECT_TRUE(*pixels == picture->Pixels()) << name << ": the resource differs from the picture";
  }
  int width = 0, height = 0;
  EXPECT_FALSE(win32::ResourceBitmapPixels("NOSUCHGLYPH", &width, &height).has_value());
}

TEST(Win32Resources, TheIconAndTheVersionAreThere) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  for (int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(LoadImageW(self, L"MAINICON", IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  HRSRC version = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  EXPECT_NE(version, nullptr);
  HRSRC manifest = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  EXPECT_NE(manifest, nullptr);
}

// A form with one control of every kind, shown: each kind is shown by its native class.
class KindsForm : public TForm {
 public:
  explicit KindsForm(TComponent* owner) : TForm(owner) {
    SetName("frmKinds");
    SetClientWidth(300);
    SetClientHeight(200);
    auto place = [this](TControl* c, const char* name, TWinControl* parent, int top) {
      c->SetName(name);
      c->SetParent(parent);
      c->SetBounds(8, top, 120, 20);
      return c;
    };
    group = static_cast<TGroupBox*>(place(new TGroupBox(this), "group", this, 100));
    group->SetBounds(150, 0, 140, 190);
    place(new TEdit(this), "edit", this, 0);
    place(new TButton(this), "button", this, 20);
    place(new TCheckBox(this), "check", this, 40);
    place(new TRadioButton(this), "radio", group, 20);
    place(new TListBox(this), "list", group, 40);
    place(new TCheckListBox(this), "checks", group, 60);
    place(new TComboBox(this), "combo", this, 60);
    place(new TLabel(this), "label", this, 80);
    place(new TBevel(this), "bevel", this, 100);
    place(new TProgressBar(this), "bar", this, 120);
    place(new TPanel(this), "panel", this, 140);
    place(new TSpeedButton(this), "speed", this, 160);
    auto* listStyle = new TComboBox(this);
    place(listStyle, "pick", group, 80);
    listStyle->SetStyle(csDropDownList);
  }
  TGroupBox* group;
};

class Win32Kinds : public Win32Fixture {};

TEST_F(Win32Kinds, EachKindIsShownByItsNativeClass) {
  auto* form = app_->CreateForm<KindsForm>();
  form->Show();
  Pump();
  struct Case {
    const char* control;
    const char* windowClass;
    LONG_PTR styleMask, style;  // bits of the style that tell the kind apart
  } const cases[] = {
      {"frmKinds", "DravelloForm", 0, 0},
      {"edit", "Edit", 0, 0},
      {"button", "Button", BS_TYPEMASK, BS_PUSHBUTTON},
      {"check", "Button", BS_TYPEMASK, BS_CHECKBOX},
      {"radio", "Button", BS_TYPEMASK, BS_RADIOBUTTON},
      {"group", "Button", BS_TYPEMASK, BS_GROUPBOX},
      {"list", "ListBox", LBS_NOTIFY, LBS_NOTIFY},
      {"checks", "SysListView32", LVS_TYPEMASK, LVS_REPORT},
      {"combo", "ComboBox", 3, CBS_DROPDOWN},
      {"pick", "ComboBox", 3, CBS_DROPDOWNLIST},
      {"label", "Static", SS_NOTIFY, SS_NOTIFY},
      {"bevel", "Static", SS_TYPEMASK, SS_ETCHEDFRAME},
      {"bar", "msctls_progress32", 0, 0},
      {"panel", "DravelloPanel", 0, 0},
      {"speed", "DravelloSpeedButton", 0, 0},
  };
  for (const Case& c : cases) {
    TControl* control = c.control == std::string("frmKinds") ? form
                                                             : static_cast<TControl*>(form->FindComponent(c.control));
    ASSERT_NE(control, nullptr) << c.control;
    HWND hwnd = Hwnd(control);
    ASSERT_NE(hwnd, nullptr) << c.control << " has no window";
    EXPECT_STREQ(ClassOf(hwnd).c_str(), c.windowClass) << c.control;
    EXPECT_EQ(Style(hwnd) & c.styleMask, c.style) << c.control;
    if (control != form) {
      EXPECT_EQ(ui_->ControlOf(hwnd), control) << c.control;
    }
  }
  // The check list box shows check boxes, and the controls on the group box are its children.
  EXPECT_TRUE(ListView_GetExtendedListViewStyle(Hwnd(static_cast<TControl*>(form->FindComponent("checks")))) &
              LVS_EX_CHECKBOXES);
  EXPECT_EQ(GetParent(Hwnd(static_cast<TControl*>(form->FindComponent("radio")))), Hwnd(form->group));
  delete form;
}

TEST_F(Win32Kinds, ModelChangesReachTheWindowsAndUserActionsReachTheModel) {
  auto* form = app_->CreateForm<KindsForm>();
  form->Show();
  Pump();
  auto* edit = static_cast<TEdit*>(form->FindComponent("edit"));
  auto* check = static_cast<TCheckBox*>(form->FindComponent("check"));
  auto* list = static_cast<TListBox*>(form->FindComponent("list"));
  auto* checks = static_cast<TCheckListBox*>(form->FindComponent("checks"));
  auto* bar = static_cast<TProgressBar*>(form->FindComponent("bar"));

  // Model to window.
  edit->SetText("Grüße");
  EXPECT_EQ(TextOf(Hwnd(edit)), "Grüße");
  check->SetChecked(true);
  EXPECT_EQ(SendMessageW(Hwnd(check), BM_GETCHECK, 0, 0), BST_CHECKED);
  list->Items()->Add("one");
  list->Items()->Add("two");
  list->SetItemIndex(1);
  EXPECT_EQ(SendMessageW(Hwnd(list), LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(Hwnd(list), LB_GETCURSEL, 0, 0), 1);
  checks->Items()->Add("a");
  checks->Items()->Add("b");
  checks->SetChecked(1, true);
  EXPECT_FALSE(ListView_GetCheckState(Hwnd(checks), 0));
  EXPECT_TRUE(ListView_GetCheckState(Hwnd(checks), 1));
  bar->SetPosition(40);
  EXPECT_EQ(SendMessageW(Hwnd(bar), PBM_GETPOS, 0, 0), 40);
  auto* speed = static_cast<TSpeedButton*>(form->FindComponent("speed"));
  speed->SetCaption("&Go");
  EXPECT_EQ(TextOf(Hwnd(speed)), "&Go");

  // Window to model: what a user does arrives as the model's own action.
  SetWindowTextW(Hwnd(edit), L"typed");
  EXPECT_EQ(edit->Text(), "typed");
  int clicks = 0;
  check->OnClick = [&](TObject*) { ++clicks; };
  SendMessageW(Hwnd(check), BM_CLICK, 0, 0);
  EXPECT_FALSE(check->Checked());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(SendMessageW(Hwnd(check), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  ListView_SetCheckState(Hwnd(checks), 0, TRUE);
  EXPECT_TRUE(checks->Checked(0));
  int speedClicks = 0;
  speed->OnClick = [&](TObject*) { ++speedClicks; };
  SendMessageW(Hwnd(speed), BM_CLICK, 0, 0);
  EXPECT_EQ(speedClicks, 1);
  // A disabled control takes no clicks.
  speed->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(Hwnd(speed)));
  SendMessageW(Hwnd(speed), BM_CLICK, 0, 0);
  EXPECT_EQ(speedClicks, 1);
  delete form;
}

TEST_F(Win32Kinds, ADestroyedControlTakesItsWindowWithIt) {
  auto* form = app_->CreateForm<KindsForm>();
  form->Show();
  Pump();
  HWND edit = Hwnd(static_cast<TControl*>(form->FindComponent("edit")));
  delete form->FindComponent("edit");
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(ui_->ControlOf(edit), nullptr);
  delete form;
}

}  // namespace
}  // namespace dravello::win32test
