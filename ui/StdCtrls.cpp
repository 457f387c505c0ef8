#include "ui/StdCtrls.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "ui/Forms.h"

namespace dravello {

namespace {

const std::vector<std::string> kAlignmentNames = {"taLeftJustify", "taRightJustify", "taCenter"};

}  // namespace

// ---- TLabel -------------------------------------------------------------------------------------

const TClass& TLabel::StaticClass() {
  static const TClass info("TLabel", &TGraphicControl::StaticClass(), {
      StringProp<TLabel>("Caption", &TLabel::Caption, &TLabel::SetCaption),
      EnumProp<TLabel, TAlignment>("Alignment", &TLabel::Alignment, &TLabel::SetAlignment, kAlignmentNames),
      EnumProp<TLabel, TTextLayout>("Layout", &TLabel::Layout, &TLabel::SetLayout, {"tlTop", "tlCenter", "tlBottom"}),
      BoolProp<TLabel>("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize),
      BoolProp<TLabel>("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap),
  });
  return info;
}

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 65, 13); }

void TLabel::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Changed(TProperty::Alignment);
}

void TLabel::SetLayout(TTextLayout value) {
  if (value == layout_) return;
  layout_ = value;
  Changed(TProperty::Layout);
}

void TLabel::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  Changed(TProperty::AutoSize);
}

void TLabel::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  wordWrap_ = value;
  Changed(TProperty::WordWrap);
}

// ---- TEdit --------------------------------------------------------------------------------------

const TClass& TEdit::StaticClass() {
  static const TClass info("TEdit", &TWinControl::StaticClass(), {
      StringProp<TEdit>("Text", &TEdit::Text, &TEdit::SetText),
      OrdProp<TEdit, int32_t>("MaxLength", &TEdit::MaxLength, &TEdit::SetMaxLength, 0),
      CharProp<TEdit>("PasswordChar", &TEdit::PasswordChar, &TEdit::SetPasswordChar),
      BoolProp<TEdit>("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly),
      OpaqueProp("OnChange", TTypeKind::tkMethod),
  });
  return info;
}

TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 121, 21);
  SetColor(clWindow);
  SetTabStop(true);
}

void TEdit::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Changed(TProperty::Text);
  if (OnChange && !Loading()) OnChange(this);
}

void TEdit::SetMaxLength(int32_t value) {
  value = std::max(0, value);
  if (value == maxLength_) return;
  maxLength_ = value;
  Changed(TProperty::MaxLength);
}

void TEdit::SetPasswordChar(char value) {
  if (value == passwordChar_) return;
  passwordChar_ = value;
  Changed(TProperty::PasswordChar);
}

void TEdit::SetReadOnly(bool value) {
  if (value == readOnly_) return;
  readOnly_ = value;
  Changed(TProperty::ReadOnly);
}

// ---- TButton ------------------------------------------------------------------------------------

const TClass& TButton::StaticClass() {
  static const TClass info("TButton", &TWinControl::StaticClass(), {
      StringProp<TButton>("Caption", &TButton::Caption, &TButton::SetCaption),
      OrdProp<TButton, TModalResult>("ModalResult", &TButton::ModalResult, &TButton::SetModalResult),
      BoolProp<TButton>("Default", &TButton::Default, &TButton::SetDefault),
      BoolProp<TButton>("Cancel", &TButton::Cancel, &TButton::SetCancel),
  });
  return info;
}

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 75, 25);
  SetTabStop(true);
}

void TButton::SetDefault(bool value) {
  if (value == default_) return;
  default_ = value;
  Changed(TProperty::Default);
}

void TButton::ClickAction() {
  if (TForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
  RaiseClick();
}

// ---- TCheckBox ----------------------------------------------------------------------------------

const TClass& TCheckBox::StaticClass() {
  static const TClass info("TCheckBox", &TWinControl::StaticClass(), {
      StringProp<TCheckBox>("Caption", &TCheckBox::Caption, &TCheckBox::SetCaption),
      BoolProp<TCheckBox>("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked),
      EnumProp<TCheckBox, TAlignment>("Alignment", &TCheckBox::Alignment, &TCheckBox::SetAlignment, kAlignmentNames),
  });
  return info;
}

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 97, 17);
  SetTabStop(true);
}

void TCheckBox::SetChecked(bool value) {
  if (value == checked_) return;
  checked_ = value;
  Changed(TProperty::Checked);
  RaiseClick();
}

void TCheckBox::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Changed(TProperty::Alignment);
}

// ---- TRadioButton -------------------------------------------------------------------------------

const TClass& TRadioButton::StaticClass() {
  static const TClass info("TRadioButton", &TWinControl::StaticClass(), {
      StringProp<TRadioButton>("Caption", &TRadioButton::Caption, &TRadioButton::SetCaption),
      BoolProp<TRadioButton>("Checked", &TRadioButton::Checked, &TRadioButton::SetChecked),
      EnumProp<TRadioButton, TAlignment>("Alignment", &TRadioButton::Alignment, &TRadioButton::SetAlignment,
                                         kAlignmentNames),
  });
  return info;
}

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 113, 17); }

void TRadioButton::SetChecked(bool value) {
  if (value == checked_) return;
  checked_ = value;
  // Only the checked button of a group is a tab stop, so Tab enters the group at its choice.
  SetTabStop(value);
  Changed(TProperty::Checked);
  if (!value) return;
  if (TWinControl* parent = Parent()) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      auto* sibling = dynamic_cast<TRadioButton*>(parent->Controls(i));
      if (sibling && sibling != this) sibling->SetChecked(false);
    }
  }
  RaiseClick();
}

void TRadioButton::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Changed(TProperty::Alignment);
}

// ---- TGroupBox ----------------------------------------------------------------------------------

const TClass& TGroupBox::StaticClass() {
  static const TClass info("TGroupBox", &TWinControl::StaticClass(), {
      StringProp<TGroupBox>("Caption", &TGroupBox::Caption, &TGroupBox::SetCaption),
  });
  return info;
}

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 185, 105); }

TRect TGroupBox::ClientRect() const {
  // The caption line on top, a two-pixel frame around.
  return {2, Font()->TextHeight() + 2, std::max(2, Width() - 2), std::max(2, Height() - 2)};
}

// ---- TCustomListControl -------------------------------------------------------------------------

const TClass& TCustomListControl::StaticClass() {
  static const TClass info("TCustomListControl", &TWinControl::StaticClass(), {
      ObjectProp<TCustomListControl, TStringList>("Items", &TCustomListControl::Items, &TCustomListControl::SetItems),
      OrdProp<TCustomListControl, int32_t>("ItemIndex", &TCustomListControl::ItemIndex,
                                           &TCustomListControl::SetItemIndex),
      BoolProp<TCustomListControl>("Sorted", &TCustomListControl::Sorted, &TCustomListControl::SetSorted),
  });
  return info;
}

TCustomListControl::TCustomListControl(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TStringList>(false, TDuplicates::dupAccept)) {
  items_->OnChange = [this](TStringList&) { ItemsChanged(); };
  SetColor(clWindow);
  SetTabStop(true);
}

TCustomListControl::~TCustomListControl() { items_->OnChange = nullptr; }

void TCustomListControl::SetItems(TStringList* items) {
  if (items)
    items_->Assign(*items);
  else
    items_->Clear();
}

void TCustomListControl::SetItemIndex(int32_t index) {
  if (index < -1 || index >= items_->Count()) index = -1;
  if (index == itemIndex_) return;
  itemIndex_ = index;
  ItemIndexChanged();
}

void TCustomListControl::ItemIndexChanged() { Changed(TProperty::ItemIndex); }

void TCustomListControl::SetSorted(bool value) {
  if (value == items_->Sorted()) return;
  items_->SetSorted(value);
  Changed(TProperty::Sorted);
}

void TCustomListControl::SetItemText(int32_t index, const std::string& text) {
  if (!items_->Sorted()) {
    items_->SetString(index, text);
    return;
  }
  // A sorted list refuses replacing in place: take the item out, add it back, and move it to
  // where it stood, all as one change.
  TObject* object = items_->Objects(index);
  items_->BeginUpdate();
  try {
    items_->Delete(index);
    int32_t added = items_->AddObject(text, object);
    items_->Move(added, index);
  } catch (...) {
    items_->EndUpdate();
    throw;
  }
  items_->EndUpdate();
}

void TCustomListControl::SelectItem(int32_t index) {
  if (!CanInteract()) return;
  SetItemIndex(index);
  if (!Loading()) SelectionAction();
}

void TCustomListControl::ItemsRemapped(const std::vector<int32_t>&) {}

void TCustomListControl::ItemsChanged() {
  // Work out where each former item went, so that the selection and item states follow their
  // items: an unchanged head and tail keep their places; in between, one replaced item keeps the
  // state of the one it replaced, and otherwise equal texts are paired in order (which is exact
  // for sorting, adding and deleting).
  const int32_t oldCount = static_cast<int32_t>(shadow_.size());
  const int32_t newCount = items_->Count();
  std::vector<int32_t> newToOld(static_cast<size_t>(newCount), -1);
  int32_t head = 0;
  while (head < oldCount && head < newCount && shadow_[static_cast<size_t>(head)] == items_->Strings(head)) {
    newToOld[static_cast<size_t>(head)] = head;
    ++head;
  }
  int32_t tail = 0;
  while (tail < oldCount - head && tail < newCount - head &&
         shadow_[static_cast<size_t>(oldCount - 1 - tail)] == items_->Strings(newCount - 1 - tail)) {
    newToOld[static_cast<size_t>(newCount - 1 - tail)] = oldCount - 1 - tail;
    ++tail;
  }
  const int32_t oldMid = oldCount - head - tail, newMid = newCount - head - tail;
  if (oldMid == 1 && newMid == 1) {
    newToOld[static_cast<size_t>(head)] = head;
  } else if (oldMid > 0 && newMid > 0) {
    std::unordered_map<std::string, std::deque<int32_t>> former;
    for (int32_t i = head; i < head + oldMid; ++i) former[shadow_[static_cast<size_t>(i)]].push_back(i);
    for (int32_t i = head; i < head + newMid; ++i) {
      auto it = former.find(items_->Strings(i));
      if (it == former.end() || it->second.empty()) continue;
      newToOld[static_cast<size_t>(i)] = it->second.front();
      it->second.pop_front();
    }
  }

  shadow_.assign(items_->begin(), items_->end());
  ItemsRemapped(newToOld);

  int32_t newIndex = -1;
  if (itemIndex_ >= 0) {
    auto it = std::find(newToOld.begin(), newToOld.end(), itemIndex_);
    if (it != newToOld.end()) newIndex = static_cast<int32_t>(it - newToOld.begin());
  }
  NotifyItemsChanged();
  if (newIndex != itemIndex_) {
    itemIndex_ = newIndex;
    ItemIndexChanged();
  }
  ItemsSettled();
}

// ---- TListBox -----------------------------------------------------------------------------------

const TClass& TListBox::StaticClass() {
  static const TClass info("TListBox", &TCustomListControl::StaticClass(), {
      OrdProp<TListBox, int32_t>("ItemHeight", &TListBox::ItemHeight, &TListBox::SetItemHeight),
  });
  return info;
}

TListBox::TListBox(TComponent* owner) : TCustomListControl(owner) { SetBounds(0, 0, 121, 97); }

TRect TListBox::ClientRect() const {
  // A sunken two-pixel border.
  return {0, 0, std::max(0, Width() - 4), std::max(0, Height() - 4)};
}

void TListBox::SetItemHeight(int32_t value) {
  value = std::max(1, value);
  if (value == itemHeight_) return;
  itemHeight_ = value;
  Changed(TProperty::ItemHeight);
}

void TListBox::SetTopIndex(int32_t value) {
  value = std::max(0, value);
  if (value == topIndex_) return;
  topIndex_ = value;
  Changed(TProperty::TopIndex);
}

int32_t TListBox::ItemAtPos(int32_t x, int32_t y, bool existing) const {
  if (!ClientRect().Contains(x, y)) return -1;
  int64_t index = static_cast<int64_t>(topIndex_) + y / itemHeight_;
  if (index < Items()->Count()) return static_cast<int32_t>(index);
  return existing ? -1 : Items()->Count();
}

// ---- TCheckListBox ------------------------------------------------------------------------------

const TClass& TCheckListBox::StaticClass() {
  static const TClass info("TCheckListBox", &TListBox::StaticClass(), {
      OpaqueProp("OnClickCheck", TTypeKind::tkMethod),
  });
  return info;
}

TCheckListBox::TCheckListBox(TComponent* owner) : TListBox(owner) {}

void TCheckListBox::CheckIndex(int32_t index) const {
  if (index < 0 || index >= Items()->Count())
    throw EListError(Format("List index out of bounds (%d)", {int64_t{index}}));
}

bool TCheckListBox::Checked(int32_t index) const {
  CheckIndex(index);
  return checked_[static_cast<size_t>(index)];
}

void TCheckListBox::SetChecked(int32_t index, bool checked) {
  CheckIndex(index);
  if (checked_[static_cast<size_t>(index)] == checked) return;
  checked_[static_cast<size_t>(index)] = checked;
  NotifyItemsChanged();
}

void TCheckListBox::ClickCheck(int32_t index) {
  CheckIndex(index);
  if (!CanInteract()) return;
  SetChecked(index, !Checked(index));
  if (OnClickCheck && !Loading()) OnClickCheck(this);
}

void TCheckListBox::ItemsRemapped(const std::vector<int32_t>& newToOld) {
  std::vector<bool> checked(newToOld.size(), false);
  for (size_t i = 0; i < newToOld.size(); ++i)
    if (newToOld[i] >= 0) checked[i] = checked_[static_cast<size_t>(newToOld[i])];
  checked_.swap(checked);
}

// ---- TComboBox ----------------------------------------------------------------------------------

const TClass& TComboBox::StaticClass() {
  static const TClass info("TComboBox", &TCustomListControl::StaticClass(), {
      EnumProp<TComboBox, TComboBoxStyle>(
          "Style", &TComboBox::Style, &TComboBox::SetStyle,
          {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable"}),
      StringProp<TComboBox>("Text", &TComboBox::Text, &TComboBox::SetText),
      OrdProp<TComboBox, int32_t>("DropDownCount", &TComboBox::DropDownCount, &TComboBox::SetDropDownCount),
      OpaqueProp("OnChange", TTypeKind::tkMethod),
  });
  return info;
}

TComboBox::TComboBox(TComponent* owner) : TCustomListControl(owner) { SetBounds(0, 0, 145, 21); }

const std::string& TComboBox::Text() const { return text_; }

void TComboBox::SetStyle(TComboBoxStyle value) {
  if (value == style_) return;
  style_ = value;
  Changed(TProperty::Style);
  SyncText();
}

void TComboBox::SetText(const std::string& text) {
  if (style_ == csDropDownList) {
    SetItemIndex(Items()->IndexOf(text));
    return;
  }
  if (text == text_) return;
  text_ = text;
  Changed(TProperty::Text);
  // Free text selects the item it equals exactly, and no item otherwise; the text stays.
  int32_t match = -1;
  for (int32_t i = 0; i < Items()->Count(); ++i)
    if (Items()->Strings(i) == text) {
      match = i;
      break;
    }
  SetItemIndex(match);
  RaiseChange();
}

void TComboBox::SetDropDownCount(int32_t value) {
  if (value == dropDownCount_) return;
  dropDownCount_ = value;
  Changed(TProperty::DropDownCount);
}

void TComboBox::ItemIndexChanged() {
  TCustomListControl::ItemIndexChanged();
  SyncText();
}

void TComboBox::SyncText() {
  std::string text = text_;
  if (ItemIndex() >= 0)
    text = Items()->Strings(ItemIndex());
  else if (style_ == csDropDownList)
    text.clear();
  if (text != text_) {
    text_ = text;
    Changed(TProperty::Text);
  }
}

void TComboBox::RaiseChange() {
  if (OnChange && !Loading()) OnChange(this);
}

void TComboBox::SelectionAction() {
  RaiseClick();
  RaiseChange();
}

}  // namespace dravello
