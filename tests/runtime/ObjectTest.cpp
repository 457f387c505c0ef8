#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "runtime/Classes.h"
#include "runtime/Object.h"

namespace dravello {
namespace {

enum class TShade : uint8_t { Light, Medium, Dark };

class TBase : public TObject {
  DV_CLASS(TBase)
 public:
  int32_t Width() const { return width_; }
  void SetWidth(int32_t v) { width_ = v; }
  int8_t Small() const { return small_; }
  void SetSmall(int8_t v) { small_ = v; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& v) { caption_ = v; }

 private:
  int32_t width_ = 0;
  int8_t small_ = 0;
  std::string caption_;
};

class TDerived : public TBase {
  DV_CLASS(TDerived)
 public:
  TShade Shade() const { return shade_; }
  void SetShade(TShade v) { shade_ = v; }
  bool Flag() const { return flag_; }
  void SetFlag(bool v) { flag_ = v; }
  int32_t Percent() const { return percent_; }
  void SetPercent(int32_t v) { percent_ = v; }
  const std::string& OtherCaption() const { return other_; }
  void SetOtherCaption(const std::string& v) { other_ = v; }

 private:
  TShade shade_ = TShade::Light;
  bool flag_ = false;
  int32_t percent_ = 0;
  std::string other_;
};

const TClass& TBase::StaticClass() {
  static const TClass info("TBase", &TObject::StaticClass(),
                           {
                               OrdProp<TBase, int32_t>("Width", &TBase::Width, &TBase::SetWidth),
                               OrdProp<TBase, int8_t>("Small", &TBase::Small, &TBase::SetSmall),
                               StringProp<TBase>("Caption", &TBase::Caption, &TBase::SetCaption),
                           });
  return info;
}

const TClass& TDerived::StaticClass() {
  static const TClass info("TDerived", &TBase::StaticClass(),
                           {
                               EnumProp<TDerived, TShade>("Shade", &TDerived::Shade, &TDerived::SetShade,
                                                          {"shLight", "shMedium", "shDark"}),
                               BoolProp<TDerived>("Flag", &TDerived::Flag, &TDerived::SetFlag),
                               OrdProp<TDerived, int32_t>("Percent", &TDerived::Percent, &TDerived::SetPercent, 0, 100),
                               // Declared again in the derived class: this one wins.
                               StringProp<TDerived>("Caption", &TDerived::OtherCaption, &TDerived::SetOtherCaption),
                           });
  return info;
}

TEST(ClassInfo, NamesAndInheritance) {
  TDerived d;
  TStringList list;
  EXPECT_EQ(d.ClassName(), "TDerived");
  EXPECT_EQ(list.ClassName(), "TStringList");
  EXPECT_TRUE(d.InheritsFrom(TBase::StaticClass()));
  EXPECT_TRUE(d.InheritsFrom(TObject::StaticClass()));
  EXPECT_FALSE(d.InheritsFrom(TStringList::StaticClass()));
  EXPECT_FALSE(TBase::StaticClass().InheritsFrom(TDerived::StaticClass()));
  EXPECT_EQ(TDerived::StaticClass().Parent(), &TBase::StaticClass());
}

TEST(ClassInfo, FindPropertyLooksUpTheChainIgnoringAsciiCase) {
  const TClass& c = TDerived::StaticClass();
  ASSERT_NE(c.FindProperty("width"), nullptr);
  EXPECT_EQ(c.FindProperty("WIDTH")->Name, "Width");
  EXPECT_EQ(c.FindProperty("shade")->Kind, TTypeKind::tkEnumeration);
  EXPECT_EQ(c.FindProperty("Missing"), nullptr);
  EXPECT_EQ(c.FindProperty(""), nullptr);
  EXPECT_EQ(TBase::StaticClass().FindProperty("Shade"), nullptr);

  TDerived d;
  c.FindProperty("caption")->SetStr(d, "derived");
  EXPECT_EQ(d.OtherCaption(), "derived");
  EXPECT_EQ(d.Caption(), "");
}

TEST(ClassInfo, OrdinalWritesAreClampedToTheRange) {
  TDerived d;
  const TClass& c = TDerived::StaticClass();
  const TPropInfo* small = c.FindProperty("Small");
  EXPECT_EQ(small->MinValue, -128);
  EXPECT_EQ(small->MaxValue, 127);
  small->SetOrd(d, 1000);
  EXPECT_EQ(d.Small(), 127);
  small->SetOrd(d, -1000);
  EXPECT_EQ(d.Small(), -128);

  const TPropInfo* width = c.FindProperty("Width");
  width->SetOrd(d, int64_t{1} << 40);
  EXPECT_EQ(d.Width(), INT32_MAX);
  width->SetOrd(d, -5);
  EXPECT_EQ(width->GetOrd(d), -5);

  const TPropInfo* percent = c.FindProperty("Percent");
  percent->SetOrd(d, 150);
  EXPECT_EQ(d.Percent(), 100);

  const TPropInfo* shade = c.FindProperty("Shade");
  EXPECT_EQ(shade->ValueNames.size(), 3u);
  shade->SetOrd(d, 2);
  EXPECT_EQ(d.Shade(), TShade::Dark);
  shade->SetOrd(d, 77);
  EXPECT_EQ(d.Shade(), TShade::Dark);

  const TPropInfo* flag = c.FindProperty("Flag");
  EXPECT_EQ(flag->ValueNames, (std::vector<std::string>{"False", "True"}));
  flag->SetOrd(d, 1);
  EXPECT_TRUE(d.Flag());
  EXPECT_EQ(flag->GetOrd(d), 1);
}

TEST(ClassInfo, TypeKindNames) {
  EXPECT_EQ(TypeKindName(TTypeKind::tkInteger), "tkInteger");
  EXPECT_EQ(TypeKindName(TTypeKind::tkMethod), "tkMethod");
  EXPECT_EQ(TypeKindName(TTypeKind::tkInt64), "tkInt64");
}

}  // namespace
}  // namespace dravello
