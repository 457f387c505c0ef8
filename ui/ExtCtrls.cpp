#include "ui/ExtCtrls.h"

#include <algorithm>

#include "ui/BindingTable.h"

namespace dravello {

namespace {
const std::vector<std::string> kPanelBevelNames = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
}  // namespace

// ---- TPanel -------------------------------------------------------------------------------------

const TClass& TPanel::StaticClass() {
  static const TClass info("TPanel", &TWinControl::StaticClass(), {
      StringProp<TPanel>("Caption", &TPanel::Caption, &TPanel::SetCaption),
      EnumProp<TPanel, TAlignment>("Alignment", &TPanel::Alignment, &TPanel::SetAlignment,
                                   {"taLeftJustify", "taRightJustify", "taCenter"}),
      EnumProp<TPanel, TPanelBevel>("BevelOuter", &TPanel::BevelOuter, &TPanel::SetBevelOuter, kPanelBevelNames),
      EnumProp<TPanel, TPanelBevel>("BevelInner", &TPanel::BevelInner, &TPanel::SetBevelInner, kPanelBevelNames),
      OrdProp<TPanel, int32_t>("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth, 1),
      OrdProp<TPanel, int32_t>("BorderWidth", &TPanel::BorderWidth, &TPanel::SetBorderWidth, 0),
  });
  return info;
}

TPanel::TPanel(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 185, 41); }

TRect TPanel::ClientRect() const {
  int32_t inset = borderWidth_;
  if (bevelOuter_ != bvNone) inset += bevelWidth_;
  if (bevelInner_ != bvNone) inset += bevelWidth_;
  return {inset, inset, std::max(inset, Width() - inset), std::max(inset, Height() - inset)};
}

void TPanel::FrameChanged(TProperty property) {
  Changed(property);
  AlignControls();
}

void TPanel::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Changed(TProperty::Alignment);
}

void TPanel::SetBevelOuter(TPanelBevel value) {
  if (value == bevelOuter_) return;
  bevelOuter_ = value;
  FrameChanged(TProperty::BevelOuter);
}

void TPanel::SetBevelInner(TPanelBevel value) {
  if (value == bevelInner_) return;
  bevelInner_ = value;
  FrameChanged(TProperty::BevelInner);
}

void TPanel::SetBevelWidth(int32_t value) {
  value = std::max(1, value);
  if (value == bevelWidth_) return;
  bevelWidth_ = value;
  FrameChanged(TProperty::BevelWidth);
}

void TPanel::SetBorderWidth(int32_t value) {
  value = std::max(0, value);
  if (value == borderWidth_) return;
  borderWidth_ = value;
  FrameChanged(TProperty::BorderWidth);
}

// ---- TBevel -------------------------------------------------------------------------------------

const TClass& TBevel::StaticClass() {
  static const TClass info("TBevel", &TGraphicControl::StaticClass(), {
      EnumProp<TBevel, TBevelShape>(
          "Shape", &TBevel::Shape, &TBevel::SetShape,
          {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"}),
      EnumProp<TBevel, TBevelStyle>("Style", &TBevel::Style, &TBevel::SetStyle, {"bsLowered", "bsRaised"}),
  });
  return info;
}

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 50, 50); }

void TBevel::SetShape(TBevelShape value) {
  if (value == shape_) return;
  shape_ = value;
  Changed(TProperty::Shape);
}

void TBevel::SetStyle(TBevelStyle value) {
  if (value == style_) return;
  style_ = value;
  Changed(TProperty::Style);
}

// ---- TSpeedButton -------------------------------------------------------------------------------

const TClass& TSpeedButton::StaticClass() {
  static const TClass info("TSpeedButton", &TGraphicControl::StaticClass(), {
      StringProp<TSpeedButton>("Caption", &TSpeedButton::Caption, &TSpeedButton::SetCaption),
      BoolProp<TSpeedButton>("Flat", &TSpeedButton::Flat, &TSpeedButton::SetFlat),
      ObjectProp<TSpeedButton, TBitmap>("Glyph", &TSpeedButton::Glyph, &TSpeedButton::SetGlyph),
      EnumProp<TSpeedButton, TButtonLayout>("Layout", &TSpeedButton::Layout, &TSpeedButton::SetLayout,
                                            {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"}),
      OrdProp<TSpeedButton, int32_t>("Margin", &TSpeedButton::Margin, &TSpeedButton::SetMargin, -1),
      OrdProp<TSpeedButton, int32_t>("Spacing", &TSpeedButton::Spacing, &TSpeedButton::SetSpacing, -1),
  });
  return info;
}

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner), glyph_(std::make_unique<TBitmap>()) {
  glyph_->OnChange = [this] { Changed(TProperty::Glyph); };
  SetBounds(0, 0, 23, 22);
}

void TSpeedButton::SetFlat(bool value) {
  if (value == flat_) return;
  flat_ = value;
  Changed(TProperty::Flat);
}

void TSpeedButton::SetGlyph(TBitmap* glyph) { glyph_->Assign(glyph); }

void TSpeedButton::SetLayout(TButtonLayout value) {
  if (value == layout_) return;
  layout_ = value;
  Changed(TProperty::Layout);
}

void TSpeedButton::SetMargin(int32_t value) {
  if (value == margin_) return;
  margin_ = value;
  Changed(TProperty::Margin);
}

void TSpeedButton::SetSpacing(int32_t value) {
  if (value == spacing_) return;
  spacing_ = value;
  Changed(TProperty::Spacing);
}

// ---- TProgressBar -------------------------------------------------------------------------------

const TClass& TProgressBar::StaticClass() {
  static const TClass info("TProgressBar", &TWinControl::StaticClass(), {
      OrdProp<TProgressBar, int32_t>("Min", &TProgressBar::Min, &TProgressBar::SetMin),
      OrdProp<TProgressBar, int32_t>("Max", &TProgressBar::Max, &TProgressBar::SetMax),
      OrdProp<TProgressBar, int32_t>("Position", &TProgressBar::Position, &TProgressBar::SetPosition),
      OrdProp<TProgressBar, int32_t>("Step", &TProgressBar::Step, &TProgressBar::SetStep),
      BoolProp<TProgressBar>("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth),
  });
  return info;
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 150, 16); }

void TProgressBar::SetMin(int32_t value) {
  if (value == min_) return;
  if (value > max_) throw EInvalidOperation(Format("Property value out of range (%s.Min)", {ClassName()}));
  min_ = value;
  Changed(TProperty::Min);
  SetPosition(position_);
}

void TProgressBar::SetMax(int32_t value) {
  if (value == max_) return;
  if (value < min_) throw EInvalidOperation(Format("Property value out of range (%s.Max)", {ClassName()}));
  max_ = value;
  Changed(TProperty::Max);
  SetPosition(position_);
}

void TProgressBar::SetPosition(int32_t value) {
  value = std::clamp(value, min_, max_);
  if (value == position_) return;
  position_ = value;
  Changed(TProperty::Position);
}

void TProgressBar::StepBy(int32_t delta) {
  int64_t target = static_cast<int64_t>(position_) + delta;
  SetPosition(static_cast<int32_t>(std::clamp<int64_t>(target, min_, max_)));
}

void TProgressBar::SetSmooth(bool value) {
  if (value == smooth_) return;
  smooth_ = value;
  Changed(TProperty::Smooth);
}

int StackingLayer(const TControl& control) {
  if (control.InheritsFrom(TBevel::StaticClass())) return 0;
  return control.InheritsFrom(TGraphicControl::StaticClass()) ? 1 : 2;
}

}  // namespace dravello
