#include "TestForm.h"

namespace dravello::test {

const TClass& TTestFont::StaticClass() {
  static const TClass info("TTestFont", &TPersistent::StaticClass(),
                           {
                               OrdProp<TTestFont, int32_t>("Size", &TTestFont::Size, &TTestFont::SetSize),
                               StringProp<TTestFont>("Name", &TTestFont::FaceName, &TTestFont::SetFaceName),
                           });
  return info;
}

const TClass& TTestColumn::StaticClass() {
  static const TClass info("TTestColumn", &TCollectionItem::StaticClass(),
                           {
                               StringProp<TTestColumn>("Title", &TTestColumn::Title, &TTestColumn::SetTitle),
                               ObjectProp<TTestColumn, TTestFont>("Font", &TTestColumn::Font, nullptr),
                           });
  return info;
}

const TClass& TTestColumns::StaticClass() {
  static const TClass info("TTestColumns", &TCollection::StaticClass());
  return info;
}

const TClass& TTestControl::StaticClass() {
  using C = TTestControl;
  static const TClass info(
      "TTestControl", &TComponent::StaticClass(),
      {
          StringProp<C>("Caption", &C::Caption, &C::SetCaption, TTypeKind::tkString),
          OrdProp<C, int8_t>("Level", &C::Level, &C::SetLevel),
          OrdProp<C, int32_t>("Percent", &C::Percent, &C::SetPercent, 0, 100),
          OrdProp<C, TColor>("Color", &C::Color, &C::SetColor),
          OrdProp<C, TCursor>("Cursor", &C::Cursor, &C::SetCursor),
          EnumProp<C, TAlign>("Align", &C::Align, &C::SetAlign, {"alNone", "alTop", "alBottom", "alClient"}),
          BoolProp<C>("Visible", &C::Visible, &C::SetVisible),
          SetProp<C>("Anchors", &C::Anchors, &C::SetAnchors, {"akLeft", "akTop", "akRight", "akBottom"}),
          CharProp<C>("Accel", &C::Accel, &C::SetAccel),
          Int64Prop<C>("Size", &C::Size, &C::SetSize),
          FloatProp<C>("Ratio", &C::Ratio, &C::SetRatio),
          StringProp<C>("Value", &C::Value, &C::SetValue, TTypeKind::tkVariant),
          StringProp<C>("Fixed", &C::Fixed, nullptr),
          OrdProp<C, int32_t>("FixedNumber", &C::FixedNumber, nullptr),
          ObjectProp<C, TStringList>("Items", &C::Items, &C::SetItems),
          ObjectProp<C, TTestFont>("Font", &C::Font, nullptr),
          ObjectProp<C, TTestColumns>("Columns", &C::Columns, nullptr),
          ObjectProp<C, TObject>("Anything", &C::Anything, &C::SetAnything),
          OpaqueProp("OnClick", TTypeKind::tkMethod),
          OpaqueProp("Bounds", TTypeKind::tkRecord),
      });
  return info;
}

TTestControl::TTestControl(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }
TTestControl::~TTestControl() = default;

const TClass& TTestButton::StaticClass() {
  static const TClass info("TTestButton", &TTestControl::StaticClass(),
                           {
                               BoolProp<TTestButton>("Flat", &TTestButton::Flat, &TTestButton::SetFlat),
                               // Declared here rather than on TTestControl: a class's property table
                               // cannot name the class itself (its information is built on first use).
                               ObjectProp<TTestButton, TTestControl>("Partner", &TTestButton::Partner,
                                                                     &TTestButton::SetPartner),
                           });
  return info;
}

const TClass& TTestForm::StaticClass() {
  static const TClass info(
      "TTestForm", &TComponent::StaticClass(),
      {StringProp<TTestForm>("Caption", &TTestForm::Caption, &TTestForm::SetCaption, TTypeKind::tkString)});
  return info;
}

TTestForm::TTestForm(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }

}  // namespace dravello::test
