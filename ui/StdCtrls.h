// The standard controls: label, edit, button, check box, radio button, group box, and the list
// controls (list box, list box with check marks, combo box).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "ui/Controls.h"

namespace dravello {

// ---- TLabel -------------------------------------------------------------------------------------

enum TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };

class TLabel : public TGraphicControl {
  DV_CLASS(TLabel)

 public:
  explicit TLabel(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout value);
  // Whether the front end sizes the label to its text.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);

 private:
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool autoSize_ = true;
  bool wordWrap_ = false;
};

// ---- TEdit --------------------------------------------------------------------------------------

// A one-line text field. OnChange is raised after every change of the text, typed or set by code.
class TEdit : public TWinControl {
  DV_CLASS(TEdit)

 public:
  explicit TEdit(TComponent* owner);

  const std::string& Text() const { return text_; }
  // Also the user action "the text now reads ...".
  void SetText(const std::string& text);
  // The most characters the user may type (0: no limit); text set by code is not cut.
  int32_t MaxLength() const { return maxLength_; }
  void SetMaxLength(int32_t value);
  // Shown instead of every character when not 0 (password fields).
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);

  TNotifyEvent OnChange;

 private:
  std::string text_;
  int32_t maxLength_ = 0;
  char passwordChar_ = 0;
  bool readOnly_ = false;
};

// ---- TButton ------------------------------------------------------------------------------------

// The modal results: a form's ShowModal returns one; a button's ModalResult closes its modal form.
using TModalResult = int32_t;
inline constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                              mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

// A push button. A click sets the form's ModalResult to the button's (which closes a modal
// form when not mrNone), then raises OnClick. Default: Enter anywhere in the form clicks it;
// Cancel: Escape does.
class TButton : public TWinControl {
  DV_CLASS(TButton)

 public:
  explicit TButton(TComponent* owner);

  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }

 protected:
  void ClickAction() override;

 private:
  TModalResult modalResult_ = mrNone;
  bool default_ = false;
  bool cancel_ = false;
};

// ---- TCheckBox, TRadioButton ----------------------------------------------------------------------

// A check box. Every change of Checked, by a click or by code, raises OnClick.
class TCheckBox : public TWinControl {
  DV_CLASS(TCheckBox)

 public:
  explicit TCheckBox(TComponent* owner);

  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  // taRightJustify: the text right of the box (the default); taLeftJustify: left of it.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);

 protected:
  void ClickAction() override { SetChecked(!checked_); }

 private:
  bool checked_ = false;
  TAlignment alignment_ = taRightJustify;
};

// A radio button. The radio buttons placed on the same parent form one group: checking one
// unchecks the others. Checking (by a click or by code) raises OnClick of the button that became
// checked; unchecking raises nothing. A click on a checked button changes nothing.
class TRadioButton : public TWinControl {
  DV_CLASS(TRadioButton)

 public:
  explicit TRadioButton(TComponent* owner);

  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);

 protected:
  void ClickAction() override { SetChecked(true); }

 private:
  bool checked_ = false;
  TAlignment alignment_ = taRightJustify;
};

// ---- TGroupBox ----------------------------------------------------------------------------------

// A framed container with a caption; its client area starts below the caption.
class TGroupBox : public TWinControl {
  DV_CLASS(TGroupBox)

 public:
  explicit TGroupBox(TComponent* owner);
  TRect ClientRect() const override;
};

// ---- List controls ------------------------------------------------------------------------------

// The common part of list boxes and combo boxes: a list of items and one selected item.
//
// Items is the control's own string list (duplicates allowed); change it directly, the control
// follows (do not replace its OnChange). When Sorted, added items go to their alphabetical place
// (the list's locale order, case-insensitive). The selection and any per-item state (check
// marks) stay with their item when items are added, deleted, sorted or replaced one at a time;
// a deleted selected item leaves no selection.
class TCustomListControl : public TWinControl {
  DV_CLASS(TCustomListControl)

 public:
  explicit TCustomListControl(TComponent* owner);
  ~TCustomListControl() override;

  TStringList* Items() const { return items_.get(); }
  // Replaces the items with a copy of `items`' lines; nullptr empties the list.
  void SetItems(TStringList* items);
  // -1: no selection. Setting an index outside the items selects nothing. Setting by code
  // raises no event.
  int32_t ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int32_t index);
  bool Sorted() const { return items_->Sorted(); }
  void SetSorted(bool value);
  // Replaces the text of one item where it stands, keeping its position, selection and state,
  // also in a sorted list (which may then be out of order until the next sort). Raises
  // EListError for a bad index.
  void SetItemText(int32_t index, const std::string& text);

  // User action: the user selected the item at `index` (-1: none). Sets ItemIndex, then raises
  // the control's selection events. Nothing happens unless CanInteract().
  void SelectItem(int32_t index);

 protected:
  // The selection events of a user selection.
  virtual void SelectionAction() = 0;
  // After the items changed: newToOld[i] is the former index of item i, or -1 for a new item.
  virtual void ItemsRemapped(const std::vector<int32_t>& newToOld);
  // After ItemIndex changed (by code, user or item changes).
  virtual void ItemIndexChanged();
  // At the end of every change of the items (the selected item's text may have changed).
  virtual void ItemsSettled() {}

 private:
  void ItemsChanged();

  std::unique_ptr<TStringList> items_;
  std::vector<std::string> shadow_;  // the items as last seen, to follow them through changes
  int32_t itemIndex_ = -1;
};

// A list of items; a user selection raises OnClick.
class TListBox : public TCustomListControl {
  DV_CLASS(TListBox)

 public:
  explicit TListBox(TComponent* owner);

  TRect ClientRect() const override;
  // The height of one item in pixels; the front end sets what it really draws.
  int32_t ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int32_t value);
  // The first visible item (scrolling); the front end reports it.
  int32_t TopIndex() const { return topIndex_; }
  void SetTopIndex(int32_t value);
  // The item at client position (x, y): -1 outside the client area; below the last item -1 when
  // `existing`, else Count.
  int32_t ItemAtPos(int32_t x, int32_t y, bool existing) const;

 protected:
  void SelectionAction() override { RaiseClick(); }

 private:
  int32_t itemHeight_ = 13;
  int32_t topIndex_ = 0;
};

// A list box with a check mark per item. The marks stay with their items.
class TCheckListBox : public TListBox {
  DV_CLASS(TCheckListBox)

 public:
  explicit TCheckListBox(TComponent* owner);

  // Raise EListError for a bad index. Setting by code raises no event.
  bool Checked(int32_t index) const;
  void SetChecked(int32_t index, bool checked);
  // User action: the user toggled the mark of item `index`; raises OnClickCheck. Nothing
  // happens unless CanInteract().
  void ClickCheck(int32_t index);

  TNotifyEvent OnClickCheck;

 protected:
  void ItemsRemapped(const std::vector<int32_t>& newToOld) override;

 private:
  void CheckIndex(int32_t index) const;
  std::vector<bool> checked_;
};

enum TComboBoxStyle : uint8_t { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

// A drop-down list. With csDropDownList the Text is the selected item (empty when none) and
// setting Text selects the item equal to it; otherwise Text is free and selecting an item copies
// its text. A user selection raises OnClick, then OnChange; typing free text raises OnChange.
class TComboBox : public TCustomListControl {
  DV_CLASS(TComboBox)

 public:
  explicit TComboBox(TComponent* owner);

  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle value);
  const std::string& Text() const;
  // csDropDownList: selects the item equal to the text (none when there is none), raising no
  // event. Otherwise also the user action "typed this text": raises OnChange when it changed.
  void SetText(const std::string& text);
  int32_t DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int32_t value);

  TNotifyEvent OnChange;

 protected:
  void SelectionAction() override;
  void ItemIndexChanged() override;
  void ItemsSettled() override { SyncText(); }

 private:
  void RaiseChange();
  void SyncText();

  TComboBoxStyle style_ = csDropDown;
  std::string text_;
  int32_t dropDownCount_ = 8;
};

}  // namespace dravello
