// Further controls: panel, bevel, speed button (a flat button with a glyph) and progress bar.
#pragma once

#include <memory>
#include <string>

#include "ui/Controls.h"
#include "ui/Graphics.h"

namespace dravello {

// ---- TPanel -------------------------------------------------------------------------------------

enum TPanelBevel : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };

// A container with an optional caption and bevels. Its client area lies inside BorderWidth and
// the width of each bevel that is not bvNone.
class TPanel : public TWinControl {
  DV_CLASS(TPanel)

 public:
  explicit TPanel(TComponent* owner);

  TRect ClientRect() const override;
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TPanelBevel BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TPanelBevel value);
  TPanelBevel BevelInner() const { return bevelInner_; }
  void SetBevelInner(TPanelBevel value);
  int32_t BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int32_t value);
  int32_t BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int32_t value);

 private:
  void FrameChanged(TProperty property);

  TAlignment alignment_ = taCenter;
  TPanelBevel bevelOuter_ = bvRaised;
  TPanelBevel bevelInner_ = bvNone;
  int32_t bevelWidth_ = 1;
  int32_t borderWidth_ = 0;
};

// ---- TBevel -------------------------------------------------------------------------------------

enum TBevelShape : uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle : uint8_t { bsLowered, bsRaised };

// A drawn line or frame.
class TBevel : public TGraphicControl {
  DV_CLASS(TBevel)

 public:
  explicit TBevel(TComponent* owner);

  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape value);
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle value);

 private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

// ---- TSpeedButton -------------------------------------------------------------------------------

enum TButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// A button without a window of its own (it never takes the focus), with a caption and a glyph
// placed as Layout says. Flat: no border until the pointer is over it. A click raises OnClick.
class TSpeedButton : public TGraphicControl {
  DV_CLASS(TSpeedButton)

 public:
  explicit TSpeedButton(TComponent* owner);

  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  // The picture; change it in place (Glyph()->LoadFromResourceName("PLUS")) or assign one;
  // nullptr empties it.
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* glyph);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout value);
  // Pixels between the edge and the glyph (-1: centred) and between glyph and caption.
  int32_t Margin() const { return margin_; }
  void SetMargin(int32_t value);
  int32_t Spacing() const { return spacing_; }
  void SetSpacing(int32_t value);

 private:
  bool flat_ = false;
  std::unique_ptr<TBitmap> glyph_;
  TButtonLayout layout_ = blGlyphLeft;
  int32_t margin_ = -1;
  int32_t spacing_ = 4;
};

// ---- TProgressBar -------------------------------------------------------------------------------

// A progress bar. Position always lies within Min .. Max: values outside are clamped, and
// stepping stops at Max. Setting Max below Min (or Min above Max) raises EInvalidOperation.
class TProgressBar : public TWinControl {
  DV_CLASS(TProgressBar)

 public:
  explicit TProgressBar(TComponent* owner);

  int32_t Min() const { return min_; }
  void SetMin(int32_t value);
  int32_t Max() const { return max_; }
  void SetMax(int32_t value);
  int32_t Position() const { return position_; }
  void SetPosition(int32_t value);
  int32_t Step() const { return step_; }
  void SetStep(int32_t value) { step_ = value; }
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool value);

  // Position advances by Step, or by delta.
  void StepIt() { StepBy(step_); }
  void StepBy(int32_t delta);

 private:
  int32_t min_ = 0;
  int32_t max_ = 100;
  int32_t position_ = 0;
  int32_t step_ = 10;
  bool smooth_ = false;
};

}  // namespace dravello
