#include "ui/Controls.h"

#include <algorithm>
#include <iterator>

#include "ui/Forms.h"

namespace dravello {

namespace {
TControlObserver* g_observer = nullptr;

const std::vector<std::string> kAlignNames = {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"};
}  // namespace

TControlObserver* ControlObserver() { return g_observer; }
void SetControlObserver(TControlObserver* observer) { g_observer = observer; }

// ---- TControl -----------------------------------------------------------------------------------

const TClass& TControl::StaticClass() {
  static const TClass info("TControl", &TComponent::StaticClass(), {
      OrdProp<TControl, int32_t>("Left", &TControl::Left, &TControl::SetLeft),
      OrdProp<TControl, int32_t>("Top", &TControl::Top, &TControl::SetTop),
      OrdProp<TControl, int32_t>("Width", &TControl::Width, &TControl::SetWidth),
      OrdProp<TControl, int32_t>("Height", &TControl::Height, &TControl::SetHeight),
      EnumProp<TControl, TAlign>("Align", &TControl::Align, &TControl::SetAlign, kAlignNames),
      BoolProp<TControl>("Enabled", &TControl::Enabled, &TControl::SetEnabled),
      BoolProp<TControl>("Visible", &TControl::Visible, &TControl::SetVisible),
      StringProp<TControl>("Hint", &TControl::Hint, &TControl::SetHint),
      BoolProp<TControl>("ShowHint", &TControl::ShowHint, &TControl::SetShowHint),
      BoolProp<TControl>("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint),
      OrdProp<TControl, TCursor>("Cursor", &TControl::Cursor, &TControl::SetCursor),
      OrdProp<TControl, int32_t>("Tag", &TControl::Tag, &TControl::SetTag),
      OrdProp<TControl, TColor>("Color", &TControl::Color, &TControl::SetColor),
      ObjectProp<TControl, TFont>("Font", &TControl::Font, &TControl::SetFont),
      BoolProp<TControl>("ParentFont", &TControl::ParentFont, &TControl::SetParentFont),
      OpaqueProp("OnClick", TTypeKind::tkMethod),
      OpaqueProp("OnMouseMove", TTypeKind::tkMethod),
  });
  return info;
}

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
  font_->OnChange = [this] { FontChanged(); };
}

TControl::~TControl() {
  if (g_observer) g_observer->Destroying(*this);
  if (TForm* form = GetParentForm(this); form && form != this) form->ControlRemoving(this);
  if (Application) Application->ControlDestroying(this);
  if (parent_) {
    parent_->RemoveControl(this);
    if (align_ != alNone && !parent_->destroying_) parent_->AlignControls();
  }
  font_->OnChange = nullptr;
}

std::string_view PropertyName(TProperty property) {
  static constexpr std::string_view kNames[] = {
      "Parent",     "Left",       "Top",         "Width",     "Height",      "Align",       "Caption",
      "Enabled",    "Hint",       "ShowHint",    "Cursor",    "Color",       "Font",        "TabOrder",
      "TabStop",    "Alignment",  "Layout",      "AutoSize",  "WordWrap",    "Text",        "MaxLength",
      "PasswordChar", "ReadOnly", "Default",     "Checked",   "ItemIndex",   "Sorted",      "ItemHeight",
      "TopIndex",   "Style",      "DropDownCount", "Min",     "Max",         "Position",    "Smooth",
      "BorderStyle", "BorderIcons", "FormStyle", "Icon",      "ActiveControl", "BevelOuter", "BevelInner",
      "BevelWidth", "BorderWidth", "Shape",      "Flat",      "Glyph",       "Margin",      "Spacing",
  };
  static_assert(std::size(kNames) == kPropertyCount, "one name per property");
  const auto index = static_cast<size_t>(property);
  return index < std::size(kNames) ? kNames[index] : std::string_view();
}

void TControl::Changed(TProperty property) {
  if (g_observer) g_observer->PropertyChanged(*this, property);
}

void TControl::NotifyItemsChanged() {
  if (g_observer) g_observer->ItemsChanged(*this);
}

void TControl::RaiseClick() {
  if (OnClick && !Loading()) OnClick(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (const TControl* p = parent; p; p = p->parent_)
    if (p == this) throw EInvalidOperation("A control cannot be placed inside itself");
  if (parent_) {
    if (TForm* form = GetParentForm(this); form && form != this) form->ControlRemoving(this);
    TWinControl* old = parent_;
    old->RemoveControl(this);
    parent_ = nullptr;
    if (align_ != alNone) old->AlignControls();
  }
  parent_ = parent;
  if (parent_) parent_->InsertControl(this);
  Changed(TProperty::Parent);
  if (parentFont_) ParentFontChanged();
  if (parentShowHint_) ParentShowHintChanged();
  ParentChanged();
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  bool moved = left != left_ || top != top_;
  bool sized = width != width_ || height != height_;
  if (!moved && !sized) return;
  bool l = left != left_, t = top != top_, w = width != width_, h = height != height_;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (l) Changed(TProperty::Left);
  if (t) Changed(TProperty::Top);
  if (w) Changed(TProperty::Width);
  if (h) Changed(TProperty::Height);
  if (sized) Resized();
  if (parent_ && align_ != alNone && !parent_->aligning_) parent_->AlignControls();
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  Changed(TProperty::Align);
  if (parent_) parent_->AlignControls();
}

void TControl::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Changed(TProperty::Caption);
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed(TProperty::Enabled);
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (g_observer) {
    if (visible)
      g_observer->Shown(*this);
    else
      g_observer->Hidden(*this);
  }
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

bool TControl::CanInteract() const {
  for (const TControl* c = this; c; c = c->parent_) {
    if (!c->enabled_) return false;
    if (c->parent_ && !c->visible_) return false;
  }
  return true;
}

void TControl::SetHint(const std::string& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  Changed(TProperty::Hint);
}

void TControl::SetShowHint(bool show) {
  parentShowHint_ = false;
  if (show == showHint_) return;
  showHint_ = show;
  Changed(TProperty::ShowHint);
  if (auto* self = dynamic_cast<TWinControl*>(this))
    for (TControl* child : self->controls_) child->ParentShowHintChanged();
}

void TControl::SetParentShowHint(bool value) {
  if (value == parentShowHint_) return;
  parentShowHint_ = value;
  if (value) ParentShowHintChanged();
}

void TControl::ParentShowHintChanged() {
  if (!parentShowHint_ || !parent_ || parent_->showHint_ == showHint_) return;
  showHint_ = parent_->showHint_;
  Changed(TProperty::ShowHint);
  if (auto* self = dynamic_cast<TWinControl*>(this))
    for (TControl* child : self->controls_) child->ParentShowHintChanged();
}

std::string TControl::ActiveHint() const {
  if (!showHint_) return std::string();
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->hint_.empty()) return c->hint_;
  return std::string();
}

void TControl::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  Changed(TProperty::Cursor);
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed(TProperty::Color);
}

void TControl::SetFont(TFont* font) {
  if (font) {
    font_->Assign(*font);
  } else if (parent_) {
    SetParentFont(true);
  } else {
    TFont defaults;
    font_->Assign(defaults);
  }
}

void TControl::SetParentFont(bool value) {
  if (value == parentFont_) return;
  parentFont_ = value;
  if (value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!parentFont_ || !parent_) return;
  followingParentFont_ = true;
  try {
    font_->Assign(*parent_->font_);
  } catch (...) {
    followingParentFont_ = false;
    throw;
  }
  followingParentFont_ = false;
}

void TControl::FontChanged() {
  if (!followingParentFont_) parentFont_ = false;
  Changed(TProperty::Font);
  if (auto* self = dynamic_cast<TWinControl*>(this))
    for (TControl* child : self->controls_) child->ParentFontChanged();
}

void TControl::Click() {
  if (!CanInteract()) return;
  ClickAction();
}

void TControl::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  if (OnMouseMove && !Loading() && CanInteract()) OnMouseMove(this, shift, x, y);
}

// ---- TWinControl --------------------------------------------------------------------------------

const TClass& TWinControl::StaticClass() {
  static const TClass info("TWinControl", &TControl::StaticClass(), {
      OrdProp<TWinControl, int32_t>("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder, -1, 32767),
      BoolProp<TWinControl>("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop),
      OpaqueProp("OnKeyPress", TTypeKind::tkMethod),
  });
  return info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() { DestroyControls(); }

void TWinControl::DestroyControls() {
  // Each child takes itself out of controls_ as it goes; the rest need no new places.
  destroying_ = true;
  while (!controls_.empty()) delete controls_.back();
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  if (auto* win = dynamic_cast<TWinControl*>(control)) {
    tabList_.push_back(win);
    if (win->wantedTabOrder_ >= 0) win->SetTabOrder(win->wantedTabOrder_);
  }
}

void TWinControl::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), control), tabList_.end());
}

int32_t TWinControl::TabOrder() const {
  TWinControl* parent = Parent();
  if (!parent) return -1;
  const auto& list = parent->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int32_t>(it - list.begin());
}

void TWinControl::SetTabOrder(int32_t order) {
  TWinControl* parent = Parent();
  // Remembered while loading (applied again in Loaded) and while unplaced (applied on placing).
  wantedTabOrder_ = Loading() || !parent ? order : -1;
  if (!parent) return;
  auto& list = parent->tabList_;
  int32_t current = TabOrder();
  if (current < 0) return;
  int32_t last = static_cast<int32_t>(list.size()) - 1;
  int32_t target = std::clamp(order, 0, last);
  if (target == current) return;
  list.erase(list.begin() + current);
  list.insert(list.begin() + target, this);
  Changed(TProperty::TabOrder);
}

void TWinControl::SetTabStop(bool value) {
  if (value == tabStop_) return;
  tabStop_ = value;
  Changed(TProperty::TabStop);
}

bool TWinControl::Focused() const {
  TForm* form = GetParentForm(this);
  return form && form->ActiveControl() == this;
}

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  TForm* form = GetParentForm(this);
  if (form && form != this) form->SetActiveControl(this);
}

void TWinControl::AlignControls() {
  if (aligning_) return;
  aligning_ = true;
  try {
    TRect r = ClientRect();
    for (TAlign kind : {alTop, alBottom, alLeft, alRight, alClient}) {
      for (TControl* c : controls_) {
        if (c->align_ != kind || !c->visible_) continue;
        int32_t w = std::max(0, r.Width()), h = std::max(0, r.Height());
        switch (kind) {
          case alTop:
            c->SetBounds(r.Left, r.Top, w, c->height_);
            r.Top += c->height_;
            break;
          case alBottom:
            c->SetBounds(r.Left, r.Bottom - c->height_, w, c->height_);
            r.Bottom -= c->height_;
            break;
          case alLeft:
            c->SetBounds(r.Left, r.Top, c->width_, h);
            r.Left += c->width_;
            break;
          case alRight:
            c->SetBounds(r.Right - c->width_, r.Top, c->width_, h);
            r.Right -= c->width_;
            break;
          case alClient:
            c->SetBounds(r.Left, r.Top, w, h);
            break;
          case alNone:
            break;
        }
      }
    }
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

void TWinControl::DoKeyPress(char& key) {
  if (OnKeyPress && !Loading()) OnKeyPress(this, key);
}

char TWinControl::PressKey(char key) {
  TForm* form = GetParentForm(this);
  if (form && form != this && form->KeyPreview()) form->DoKeyPress(key);
  if (key != 0) DoKeyPress(key);
  if (key != 0 && form) key = form->DialogKey(key);
  return key;
}

void TWinControl::Loaded() {
  TControl::Loaded();
  if (wantedTabOrder_ >= 0 && Parent()) SetTabOrder(wantedTabOrder_);
  AlignControls();
}

// ---- TGraphicControl ----------------------------------------------------------------------------

const TClass& TGraphicControl::StaticClass() {
  static const TClass info("TGraphicControl", &TControl::StaticClass());
  return info;
}

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {}

TForm* GetParentForm(const TControl* control) {
  if (!control) return nullptr;
  while (control->Parent()) control = control->Parent();
  return dynamic_cast<TForm*>(const_cast<TControl*>(control));
}

}  // namespace dravello
