// A small window for the translation tests: components with published properties of every kind
// the form translation knows, built without the real controls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/Classes.h"
#include "ui/Component.h"
#include "ui/Graphics.h"

namespace dravello::test {

class TTestFont : public TPersistent {
  DV_CLASS(TTestFont)

 public:
  int32_t Size() const { return size_; }
  void SetSize(int32_t v) { size_ = v; }
  const std::string& FaceName() const { return faceName_; }
  void SetFaceName(const std::string& v) { faceName_ = v; }

 private:
  int32_t size_ = 8;
  std::string faceName_ = "Sans";
};

class TTestColumn : public TCollectionItem {
  DV_CLASS(TTestColumn)

 public:
  using TCollectionItem::TCollectionItem;
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& v) { title_ = v; }
  TTestFont* Font() const { return font_.get(); }

 private:
  std::string title_;
  std::unique_ptr<TTestFont> font_ = std::make_unique<TTestFont>();
};

class TTestColumns : public TCollection {
  DV_CLASS(TTestColumns)

 public:
  TCollectionItem* Add() override { return new TTestColumn(this); }
};

enum class TAlign : uint8_t { alNone, alTop, alBottom, alClient };

// Bits of the Anchors set.
inline constexpr uint32_t akLeft = 1, akTop = 2, akRight = 4, akBottom = 8;

class TTestControl : public TComponent {
  DV_CLASS(TTestControl)

 public:
  explicit TTestControl(TComponent* owner, const std::string& name = "");
  ~TTestControl() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& v) { caption_ = v; }
  int8_t Level() const { return level_; }
  void SetLevel(int8_t v) { level_ = v; }
  int32_t Percent() const { return percent_; }
  void SetPercent(int32_t v) { percent_ = v; }
  TColor Color() const { return color_; }
  void SetColor(TColor v) { color_ = v; }
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor v) { cursor_ = v; }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign v) { align_ = v; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  uint32_t Anchors() const { return anchors_; }
  void SetAnchors(uint32_t v) { anchors_ = v; }
  char Accel() const { return accel_; }
  void SetAccel(char v) { accel_ = v; }
  int64_t Size() const { return size_; }
  void SetSize(int64_t v) { size_ = v; }
  double Ratio() const { return ratio_; }
  void SetRatio(double v) { ratio_ = v; }
  const std::string& Value() const { return value_; }
  void SetValue(const std::string& v) { value_ = v; }
  const std::string& Fixed() const { return fixed_; }
  int32_t FixedNumber() const { return 7; }

  TStringList* Items() const { return items_.get(); }
  void SetItems(TStringList* v) { items_->Assign(*v); }
  TTestControl* Partner() const { return partner_; }
  void SetPartner(TTestControl* v) { partner_ = v; }
  TTestFont* Font() const { return font_.get(); }
  TTestColumns* Columns() const { return columns_.get(); }
  TObject* Anything() const { return anything_; }
  void SetAnything(TObject* v) { anything_ = v; }

  void Notification(TComponent* component) override {
    if (component == partner_) partner_ = nullptr;
  }

 private:
  std::string caption_;
  int8_t level_ = 0;
  int32_t percent_ = 50;
  TColor color_ = clBtnFace;
  TCursor cursor_ = crDefault;
  TAlign align_ = TAlign::alNone;
  bool visible_ = true;
  uint32_t anchors_ = akLeft | akTop;
  char accel_ = 0;
  int64_t size_ = 0;
  double ratio_ = 0;
  std::string value_;
  std::string fixed_ = "fixed";
  std::unique_ptr<TStringList> items_ = std::make_unique<TStringList>();
  TTestControl* partner_ = nullptr;
  std::unique_ptr<TTestFont> font_ = std::make_unique<TTestFont>();
  std::unique_ptr<TTestColumns> columns_ = std::make_unique<TTestColumns>();
  TObject* anything_ = nullptr;
};

// A derived control: its properties include everything of TTestControl.
class TTestButton : public TTestControl {
  DV_CLASS(TTestButton)

 public:
  using TTestControl::TTestControl;
  bool Flat() const { return flat_; }
  void SetFlat(bool v) { flat_ = v; }

 private:
  bool flat_ = false;
};

class TTestForm : public TComponent {
  DV_CLASS(TTestForm)

 public:
  explicit TTestForm(TComponent* owner, const std::string& name = "");
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& v) { caption_ = v; }

 private:
  std::string caption_;
};

}  // namespace dravello::test
