// Controls: the visual components of the window framework.
//
// The model is the single source of truth. A control holds its state (position, caption, enabled,
// items, ...) and raises its events; whatever draws it (a front end, see FrontEnd.h) observes the
// changes through TControlObserver and forwards the user's actions by calling the same methods
// that code calls: Click(), SetText(), SelectItem(), PressKey(), MouseMove(), SetFocus(),
// SetBounds(). Nothing here knows how a control is drawn.
//
// Owner and parent are two links. The owner (TComponent) decides the lifetime: a form owns all of
// its controls, however deeply nested. The parent (a TWinControl) is the visual container that
// positions the control and whose Enabled, Visible, Font and ShowHint the control follows.
// Destroying a TWinControl destroys the controls placed on it as well.
//
// Events are method references: the first argument is the sender, and an unassigned event is
// skipped. No event is raised while the control is loading (csLoading), that is while its form
// is being built; the form's Loaded phase and OnCreate come after.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/SysUtils.h"
#include "ui/Component.h"
#include "ui/Graphics.h"

namespace dravello {

class TControl;
class TWinControl;
class TForm;

// An operation that the control's state does not allow (focusing a disabled control, showing a
// visible form modally, ...).
class EInvalidOperation : public Exception {
  using Exception::Exception;
};

// ---- Shared types -----------------------------------------------------------------------------

struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool Contains(int32_t x, int32_t y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  bool operator==(const TRect&) const = default;
};

// Where a control docks inside its parent's client area.
enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

// Keyboard and mouse state, a set: bit n is element n of the names below.
using TShiftState = uint32_t;
inline constexpr TShiftState ssShift = 1u << 0, ssAlt = 1u << 1, ssCtrl = 1u << 2, ssLeft = 1u << 3,
                             ssRight = 1u << 4, ssMiddle = 1u << 5, ssDouble = 1u << 6;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)>;

// Binds a method of `object` as an event handler: BindEvent(this, &TfrmMain::sbAddClick).
template <class C, class... Args>
auto BindEvent(C* object, void (C::*method)(Args...)) {
  return [object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); };
}

// ---- Observation --------------------------------------------------------------------------------

// The properties whose changes a control announces to its observer. The setters name them and
// front ends switch over them, so a misspelt property does not compile. Some names serve several
// kinds of control (Style: combo box and bevel; Layout: label and speed button; Position: form and
// progress bar); the control's kind tells which is meant.
enum class TProperty : uint8_t {
  // Every control.
  Parent, Left, Top, Width, Height, Align, Caption, Enabled, Hint, ShowHint, Cursor, Color, Font,
  // Windowed controls.
  TabOrder, TabStop,
  // Labels, check and radio buttons, panels, speed buttons.
  Alignment, Layout, AutoSize, WordWrap,
  // Edits and combo boxes.
  Text, MaxLength, PasswordChar, ReadOnly,
  // Buttons, check and radio buttons.
  Default, Checked,
  // List controls.
  ItemIndex, Sorted, ItemHeight, TopIndex, Style, DropDownCount,
  // Progress bars.
  Min, Max, Position, Smooth,
  // Forms.
  BorderStyle, BorderIcons, FormStyle, Icon, ActiveControl,
  // Panels.
  BevelOuter, BevelInner, BevelWidth, BorderWidth,
  // Bevels.
  Shape,
  // Speed buttons.
  Flat, Glyph, Margin, Spacing,
};
inline constexpr int kPropertyCount = static_cast<int>(TProperty::Spacing) + 1;

// The property's published name ("Caption", "ItemIndex"), for records and messages.
std::string_view PropertyName(TProperty property);

class TControlObserver {
 public:
  virtual ~TControlObserver() = default;
  virtual void PropertyChanged(TControl& control, TProperty property) = 0;
  virtual void ItemsChanged(TControl& control) = 0;
  virtual void Shown(TControl& control) = 0;
  virtual void Hidden(TControl& control) = 0;
  virtual void Destroying(TControl& control) = 0;
};

// The observer that receives every control's changes: the front end in use (TApplication sets
// it), or nullptr.
TControlObserver* ControlObserver();
void SetControlObserver(TControlObserver* observer);

// ---- TControl -----------------------------------------------------------------------------------

class TControl : public TComponent {
  DV_CLASS(TControl)

 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  // The visual container; nullptr for a top-level window or a control not yet placed.
  TWinControl* Parent() const { return parent_; }
  void SetParent(TWinControl* parent);

  // Position relative to the parent's client area, and size.
  int32_t Left() const { return left_; }
  void SetLeft(int32_t v) { SetBounds(v, top_, width_, height_); }
  int32_t Top() const { return top_; }
  void SetTop(int32_t v) { SetBounds(left_, v, width_, height_); }
  int32_t Width() const { return width_; }
  void SetWidth(int32_t v) { SetBounds(left_, top_, v, height_); }
  int32_t Height() const { return height_; }
  void SetHeight(int32_t v) { SetBounds(left_, top_, width_, v); }
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  // The area inside the control's borders, in its own coordinates.
  virtual TRect ClientRect() const { return {0, 0, width_, height_}; }
  int32_t ClientWidth() const { return ClientRect().Width(); }
  int32_t ClientHeight() const { return ClientRect().Height(); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  // Enabled and Visible, and so is every parent below the top-level window: a user can reach it.
  bool CanInteract() const;

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool show);
  // True: ShowHint follows the parent's (the default); setting ShowHint turns it off.
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool value);
  // The hint to show while the pointer rests on this control: empty when ShowHint is off,
  // otherwise the first non-empty Hint of the control and then of its parents.
  std::string ActiveHint() const;

  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  int32_t Tag() const { return tag_; }
  void SetTag(int32_t tag) { tag_ = tag; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // The control's font. Assigning it (or changing it through Font()) turns ParentFont off;
  // nullptr restores the parent's font, or the default font without a parent.
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* font);
  // True: the font follows the parent's font (the default for controls, not for forms).
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);

  // ---- User actions (front ends call these; so may code and tests) ----
  // A click: does nothing unless CanInteract(); otherwise what a click does for this kind of
  // control, which raises OnClick.
  void Click();
  // The pointer moved to (x, y) in client coordinates: raises OnMouseMove (unless CanInteract()
  // is false: a disabled control gets no mouse input).
  void MouseMove(TShiftState shift, int32_t x, int32_t y);

  TNotifyEvent OnClick;
  TMouseMoveEvent OnMouseMove;

 protected:
  // Announces a change of a published property to the observer.
  void Changed(TProperty property);
  void NotifyItemsChanged();
  bool Loading() const { return (ComponentState() & csLoading) != 0; }
  // Raises OnClick unless loading.
  void RaiseClick();
  // What a user click does; the default raises OnClick.
  virtual void ClickAction() { RaiseClick(); }
  // The parent's font or ShowHint changed (called on children that follow it).
  void ParentFontChanged();
  void ParentShowHintChanged();
  // After the size changed (containers realign their children here).
  virtual void Resized() {}
  // After the control moved to another parent.
  virtual void ParentChanged() {}

 private:
  friend class TWinControl;
  friend class TForm;
  void FontChanged();

  TWinControl* parent_ = nullptr;
  int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  std::string hint_;
  bool showHint_ = false;
  bool parentShowHint_ = true;
  TCursor cursor_ = crDefault;
  int32_t tag_ = 0;
  TColor color_ = clBtnFace;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  bool followingParentFont_ = false;  // the font is being copied from the parent
};

// ---- TWinControl --------------------------------------------------------------------------------

// A control that can hold other controls and take the keyboard focus.
class TWinControl : public TControl {
  DV_CLASS(TWinControl)

 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  // The controls placed on this one, in the order they were placed.
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }

  // Position in the parent's tab order (0 first). Setting moves the control there, shifting the
  // others; values past the end go to the end, negative ones to the front. While loading, the
  // wanted position is applied again in Loaded(), when every sibling exists.
  int32_t TabOrder() const;
  void SetTabOrder(int32_t order);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value);
  // The windowed children in tab order.
  std::vector<TWinControl*> TabList() const { return tabList_; }

  // Focus: CanFocus is CanInteract for a windowed control. SetFocus makes this the active control
  // of its form; raises EInvalidOperation ("Cannot focus a disabled or invisible window") when
  // it cannot have the focus.
  bool CanFocus() const { return CanInteract(); }
  bool Focused() const;
  void SetFocus();

  // Lays out the children that have an Align other than alNone inside the client area: first
  // alTop (stacked downwards), then alBottom (upwards), alLeft, alRight, each kind in the order
  // the controls were placed, and alClient gets what remains. Runs by itself whenever the size,
  // a child's alignment, visibility or size changes.
  void AlignControls();

  // A character key typed while this control has the focus (a user action): with key preview
  // the form's OnKeyPress sees it first, then this control's OnKeyPress, then the form's dialog
  // keys (Enter clicks the focused or default button, Escape the cancel button). Any handler may
  // set the key to 0 to swallow it. Returns what is left of the key (0 when swallowed or used),
  // which a front end then hands to the native control.
  virtual char PressKey(char key);

  void Loaded() override;

  TKeyPressEvent OnKeyPress;

 protected:
  // Raises OnKeyPress unless loading.
  void DoKeyPress(char& key);
  void Resized() override { AlignControls(); }
  // Destroys every control placed on this one (destructors of containers call it first).
  void DestroyControls();

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);

  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  bool tabStop_ = false;
  int32_t wantedTabOrder_ = -1;
  bool aligning_ = false;
  bool destroying_ = false;
};

// A control without a window of its own: it cannot take the focus or hold controls.
class TGraphicControl : public TControl {
  DV_CLASS(TGraphicControl)

 public:
  explicit TGraphicControl(TComponent* owner);
};

// The form that contains the control (its top-level parent when that is a form), or nullptr.
TForm* GetParentForm(const TControl* control);

}  // namespace dravello
