// The bindings of the Win32 front end: for each kind of control, the window that shows it, how each
// of its properties is shown, and which of the window's notifications are the user's actions. All
// of them are registered in MakeBindings at the end of this file; the file comment of
// Win32FrontEndImpl.h lists which window class shows which kind.
// <windows.h> first: the headers of the common controls and the shell build on it.
#include "ui/win32/Win32Util.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cassert>
#include <functional>

#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"
#include "ui/win32/Win32FrontEndImpl.h"

namespace dravello {

using win32::Scale;
using win32::Unscale;
using win32::W;

namespace {

// Window properties that keep a drawn control's pointer state.
constexpr const wchar_t* kHotProp = L"DravelloHot";
constexpr const wchar_t* kPressedProp = L"DravelloPressed";

// A glyph's size in design pixels, and the gap the speed button keeps inside its edge.
constexpr int kGlyphDesignSize = 16;
constexpr int kButtonInset = 2;
// Pixels between a panel's inner edge and its caption.
constexpr int kPanelTextInset = 2;
// The rows a combo box's drop-down list shows at most are this high, in design pixels.
constexpr int kDropDownRowHeight = 16;
// A closed combo box is its selection field plus this frame, in screen pixels.
constexpr int kComboFrame = 6;
// The height of an etched line.
constexpr int kEtchedLine = 2;

HWND MakeChild(const wchar_t* windowClass, DWORD style, DWORD exStyle, HWND parent) {
  return CreateWindowExW(exStyle, windowClass, L"", style | WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

void SetStyleBits(HWND hwnd, LONG_PTR mask, LONG_PTR bits) {
  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  const LONG_PTR wanted = (style & ~mask) | bits;
  if (wanted != style) {
    SetWindowLongPtrW(hwnd, GWL_STYLE, wanted);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    InvalidateRect(hwnd, nullptr, TRUE);
  }
}

bool Flag(HWND hwnd, const wchar_t* name) { return GetPropW(hwnd, name) != nullptr; }
void SetFlag(HWND hwnd, const wchar_t* name, bool on) {
  if (on)
    SetPropW(hwnd, name, reinterpret_cast<HANDLE>(1));
  else
    RemovePropW(hwnd, name);
}

void FillFace(HDC dc, const RECT& r) { FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE)); }

// ---- The typed frame of every binding -------------------------------------------------------------

// A binding for controls of class Control. The casts below are safe by construction: the front
// end hands a binding only windows it made, for controls of a class that found this binding.
template <class Control>
class TKindBinding : public TWin32Binding {
 public:
  using ControlType = Control;
  explicit TKindBinding(TWin32FrontEnd& frontEnd) : fe_(frontEnd) {}

  HWND Create(TControl& control, HWND parent) const final {
    assert(control.InheritsFrom(Control::StaticClass()));
    return Make(static_cast<Control&>(control), parent);
  }
  void Apply(TControl& control, HWND hwnd, TProperty property) const final {
    if (!Show(static_cast<Control&>(control), hwnd, property)) fe_.ApplyCommon(control, hwnd, property);
  }
  void ApplyItems(TControl& control, HWND hwnd) const final { ShowItems(static_cast<Control&>(control), hwnd); }
  void Command(TControl& control, HWND hwnd, UINT code) const final {
    OnCommand(static_cast<Control&>(control), hwnd, code);
  }
  bool Notify(TControl& control, HWND hwnd, const NMHDR& header, LRESULT& result) const final {
    return OnNotify(static_cast<Control&>(control), hwnd, header, result);
  }
  bool Message(TControl& control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) const final {
    return OnMessage(static_cast<Control&>(control), hwnd, message, wParam, lParam, result);
  }

 protected:
  virtual HWND Make(Control& control, HWND parent) const = 0;
  // Shows a property the kind shows its own way; false leaves it to TWin32FrontEnd::ApplyCommon.
  virtual bool Show(Control&, HWND, TProperty) const { return false; }
  virtual void ShowItems(Control&, HWND) const {}
  virtual void OnCommand(Control&, HWND, UINT) const {}
  virtual bool OnNotify(Control&, HWND, const NMHDR&, LRESULT&) const { return false; }
  virtual bool OnMessage(Control&, HWND, UINT, WPARAM, LPARAM, LRESULT&) const { return false; }

  // The control's Click, as a user action.
  void ForwardClick(Control& control) const {
    Control* c = &control;
    fe_.Forward([c] { c->Click(); });
  }

  TWin32FrontEnd& fe_;
};

// ---- Kinds ------------------------------------------------------------------------------------------

// Any control without a binding of its own: an empty panel that takes clicks.
class TPlainBinding : public TKindBinding<TControl> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TControl&, HWND parent) const override { return MakeChild(win32::kPanelClass, 0, 0, parent); }
};

DWORD FormStyle(const TForm& form, DWORD& exStyle) {
  DWORD style = WS_CLIPCHILDREN;
  exStyle = WS_EX_CONTROLPARENT;
  const TBorderIcons icons = form.BorderIcons();
  const DWORD systemMenu = (icons & biSystemMenu) ? WS_SYSMENU : 0;
  switch (form.BorderStyle()) {
    case bsNone:
      style |= WS_POPUP;
      break;
    case bsSingle:
    case bsSizeable:
      style |= WS_OVERLAPPED | WS_CAPTION | systemMenu;
      if (systemMenu && (icons & biMinimize)) style |= WS_MINIMIZEBOX;
      if (form.BorderStyle() == bsSizeable) {
        style |= WS_THICKFRAME;
        if (systemMenu && (icons & biMaximize)) style |= WS_MAXIMIZEBOX;
      }
      break;
    case bsDialog:
      style |= WS_POPUP | WS_CAPTION | systemMenu;
      exStyle |= WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
    case bsSizeToolWin:
      style |= WS_POPUP | WS_CAPTION | systemMenu;
      if (form.BorderStyle() == bsSizeToolWin) style |= WS_THICKFRAME;
      exStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (form.FormStyle() == fsStayOnTop) exStyle |= WS_EX_TOPMOST;
  return style;
}

class TFormBinding : public TKindBinding<TForm> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TForm& form, HWND) const override {
    DWORD exStyle = 0;
    const DWORD style = FormStyle(form, exStyle);
    return CreateWindowExW(exStyle, win32::kFormClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }

  bool Show(TForm& form, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Left:
      case TProperty::Top:
      case TProperty::Width:
      case TProperty::Height:
      case TProperty::Align:
        fe_.ApplyFormGeometry(form, hwnd);
        return true;
      case TProperty::BorderStyle:
      case TProperty::BorderIcons:
      case TProperty::FormStyle: {
        DWORD exStyle = 0;
        const DWORD style = FormStyle(form, exStyle);
        SetWindowLongPtrW(hwnd, GWL_STYLE,
                          static_cast<LONG_PTR>(style) | (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE));
        SetWindowLongPtrW(hwnd, GWL_EXSTYLE, exStyle);
        SetWindowPos(hwnd, (exStyle & WS_EX_TOPMOST) ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        fe_.ApplyFormGeometry(form, hwnd);
        return true;
      }
      case TProperty::ActiveControl:
        fe_.ApplyActiveControl(form);
        return true;
      case TProperty::Icon:      // the window class carries the program's icon
      case TProperty::TabOrder:  // a window is in no tab order
      case TProperty::TabStop:
      case TProperty::Hint:
      case TProperty::ShowHint:
        return true;
      default:
        return false;
    }
  }
};

class TEditBinding : public TKindBinding<TEdit> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TEdit&, HWND parent) const override {
    return MakeChild(WC_EDITW, ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, parent);
  }
  bool Show(TEdit& edit, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Text:
        if (win32::WindowText(hwnd) != edit.Text()) SetWindowTextW(hwnd, W(edit.Text()).c_str());
        return true;
      case TProperty::Caption:
        return true;  // an edit shows its Text
      case TProperty::MaxLength:
        SendMessageW(hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(std::max(0, edit.MaxLength())), 0);
        return true;
      case TProperty::PasswordChar:
        SendMessageW(hwnd, EM_SETPASSWORDCHAR, static_cast<unsigned char>(edit.PasswordChar()), 0);
        InvalidateRect(hwnd, nullptr, TRUE);
        return true;
      case TProperty::ReadOnly:
        SendMessageW(hwnd, EM_SETREADONLY, edit.ReadOnly(), 0);
        return true;
      default:
        return false;
    }
  }
  void OnCommand(TEdit& edit, HWND hwnd, UINT code) const override {
    if (code != EN_CHANGE) return;
    TEdit* e = &edit;
    fe_.Forward([e, text = win32::WindowText(hwnd)] { e->SetText(text); });
  }
};

class TButtonBinding : public TKindBinding<TButton> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TButton&, HWND parent) const override { return MakeChild(WC_BUTTONW, BS_PUSHBUTTON, 0, parent); }
  bool Show(TButton& button, HWND hwnd, TProperty p) const override {
    if (p != TProperty::Default) return false;
    SendMessageW(hwnd, BM_SETSTYLE, button.Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    return true;
  }
  void OnCommand(TButton& button, HWND, UINT code) const override {
    if (code == BN_CLICKED) ForwardClick(button);
  }
};

// Check boxes and radio buttons: the window never changes its own state; a click asks the model,
// and the window shows what the model decided.
template <class Box, DWORD kKind>
class TCheckBinding : public TKindBinding<Box> {
  using Base = TKindBinding<Box>;

 public:
  using Base::Base;
  HWND Make(Box& box, HWND parent) const override {
    return MakeChild(WC_BUTTONW, kKind | (box.Alignment() == taLeftJustify ? BS_LEFTTEXT : 0), 0, parent);
  }
  bool Show(Box& box, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Checked:
        SendMessageW(hwnd, BM_SETCHECK, box.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
        return true;
      case TProperty::Alignment:
        SetStyleBits(hwnd, BS_LEFTTEXT, box.Alignment() == taLeftJustify ? BS_LEFTTEXT : 0);
        return true;
      default:
        return false;
    }
  }
  void OnCommand(Box& box, HWND hwnd, UINT code) const override {
    if (code != BN_CLICKED) return;
    this->ForwardClick(box);
    // A refused click leaves the mark as the model has it.
    if (ControlAlive(hwnd)) SendMessageW(hwnd, BM_SETCHECK, box.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
  }

 private:
  bool ControlAlive(HWND hwnd) const { return this->fe_.ControlOf(hwnd) != nullptr; }
};
using TCheckBoxBinding = TCheckBinding<TCheckBox, BS_CHECKBOX>;
using TRadioButtonBinding = TCheckBinding<TRadioButton, BS_RADIOBUTTON>;

class TGroupBoxBinding : public TKindBinding<TGroupBox> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TGroupBox&, HWND parent) const override {
    return MakeChild(WC_BUTTONW, BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent);
  }
  bool OnMessage(TGroupBox&, HWND hwnd, UINT message, WPARAM wParam, LPARAM, LRESULT& result) const override {
    if (message != WM_ERASEBKGND) return false;
    // The group box draws only its frame and caption; the face under the controls is ours.
    RECT r;
    GetClientRect(hwnd, &r);
    FillFace(reinterpret_cast<HDC>(wParam), r);
    result = TRUE;
    return true;
  }
};

// The model's row height in design pixels from the row height drawn, rounded down: so a point below
// the last row never counts as a row (see ReportPointer).
void ReportRowHeight(TListBox& list, int nativeHeight, int dpi) {
  if (nativeHeight <= 0) return;
  const int design = std::max(1, nativeHeight * win32::kDesignDpi / dpi);
  if (design != list.ItemHeight()) list.SetItemHeight(design);
}

// A pointer move over a list, in design pixels: on a row, the middle of that row as the model
// counts rows; elsewhere the position itself. So the model's ItemAtPos finds the row the user
// sees at any DPI.
void ReportPointer(TWin32FrontEnd& fe, TListBox& list, int top, int row, LPARAM lParam, WPARAM wParam) {
  if (!list.OnMouseMove) return;
  const int dpi = fe.DpiOf(list);
  if (list.TopIndex() != top) list.SetTopIndex(top);
  int x = Unscale(GET_X_LPARAM(lParam), dpi), y = Unscale(GET_Y_LPARAM(lParam), dpi);
  if (row >= top && row < list.Items()->Count()) y = (row - top) * list.ItemHeight() + list.ItemHeight() / 2;
  TShiftState shift = (wParam & MK_LBUTTON) ? ssLeft : 0;
  if (wParam & MK_SHIFT) shift |= ssShift;
  if (wParam & MK_CONTROL) shift |= ssCtrl;
  TListBox* l = &list;
  fe.Forward([l, shift, x, y] { l->MouseMove(shift, x, y); });
}

bool SameItems(const TStringList& items, int count, const std::function<std::string(int)>& textOf) {
  if (count != items.Count()) return false;
  for (int i = 0; i < count; ++i)
    if (textOf(i) != items.Strings(i)) return false;
  return true;
}

class TListBoxBinding : public TKindBinding<TListBox> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TListBox&, HWND parent) const override {
    return MakeChild(WC_LISTBOXW, LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, WS_EX_CLIENTEDGE, parent);
  }
  bool Show(TListBox& list, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::ItemIndex:
        SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(list.ItemIndex()), 0);
        return true;
      case TProperty::TopIndex:
        if (SendMessageW(hwnd, LB_GETTOPINDEX, 0, 0) != list.TopIndex())
          SendMessageW(hwnd, LB_SETTOPINDEX, static_cast<WPARAM>(list.TopIndex()), 0);
        return true;
      case TProperty::Font:
        fe_.ApplyFont(list, hwnd);
        ReportRowHeight(list, static_cast<int>(SendMessageW(hwnd, LB_GETITEMHEIGHT, 0, 0)), fe_.DpiOf(list));
        return true;
      case TProperty::ItemHeight:
      case TProperty::Sorted:
      case TProperty::Caption:
        return true;  // the model's; the window draws its own rows
      default:
        return false;
    }
  }
  void ShowItems(TListBox& list, HWND hwnd) const override {
    const TStringList& items = *list.Items();
    const int count = static_cast<int>(SendMessageW(hwnd, LB_GETCOUNT, 0, 0));
    auto textOf = [hwnd](int i) {
      std::wstring text(static_cast<size_t>(SendMessageW(hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, L'\0');
      const auto n = SendMessageW(hwnd, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
      text.resize(static_cast<size_t>(std::max<LRESULT>(0, n)));
      return win32::U8(text);
    };
    if (!SameItems(items, count, textOf)) {
      SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
      SendMessageW(hwnd, LB_RESETCONTENT, 0, 0);
      for (int i = 0; i < items.Count(); ++i)
        SendMessageW(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(items.Strings(i)).c_str()));
      SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(hwnd, nullptr, TRUE);
    }
    SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(list.ItemIndex()), 0);
  }
  void OnCommand(TListBox& list, HWND hwnd, UINT code) const override {
    if (code != LBN_SELCHANGE) return;
    const int index = static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0));
    TListBox* l = &list;
    fe_.Forward([l, index] { l->SelectItem(index); });
  }
  bool OnMessage(TListBox& list, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT&) const override {
    if (message != WM_MOUSEMOVE) return false;
    const LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lParam);
    const int row = HIWORD(hit) ? -1 : static_cast<int>(LOWORD(hit));
    ReportPointer(fe_, list, static_cast<int>(SendMessageW(hwnd, LB_GETTOPINDEX, 0, 0)), row, lParam, wParam);
    return false;
  }
};

// A list with check marks: a list view in report view with one column and no header.
class TCheckListBoxBinding : public TKindBinding<TCheckListBox> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TCheckListBox&, HWND parent) const override {
    HWND hwnd = MakeChild(WC_LISTVIEWW, LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                          WS_EX_CLIENTEDGE, parent);
    ListView_SetExtendedListViewStyle(hwnd, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 0;
    ListView_InsertColumn(hwnd, 0, &column);
    return hwnd;
  }
  bool Show(TCheckListBox& list, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Left:
      case TProperty::Top:
      case TProperty::Width:
      case TProperty::Height:
      case TProperty::Align:
        fe_.ApplyGeometry(list, hwnd);
        FitColumn(hwnd);
        return true;
      case TProperty::ItemIndex:
        ShowSelection(list, hwnd);
        return true;
      case TProperty::TopIndex:
        if (list.TopIndex() >= 0 && list.TopIndex() < list.Items()->Count())
          ListView_EnsureVisible(hwnd, list.TopIndex(), FALSE);
        return true;
      case TProperty::Font:
        fe_.ApplyFont(list, hwnd);
        ReportRows(list, hwnd);
        return true;
      case TProperty::ItemHeight:
      case TProperty::Sorted:
      case TProperty::Caption:
        return true;
      default:
        return false;
    }
  }
  void ShowItems(TCheckListBox& list, HWND hwnd) const override {
    const TStringList& items = *list.Items();
    auto textOf = [hwnd](int i) {
      wchar_t buffer[1024] = {};
      ListView_GetItemText(hwnd, i, 0, buffer, static_cast<int>(std::size(buffer)));
      return win32::U8(buffer);
    };
    if (!SameItems(items, ListView_GetItemCount(hwnd), textOf)) {
      SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
      ListView_DeleteAllItems(hwnd);
      for (int i = 0; i < items.Count(); ++i) {
        std::wstring text = W(items.Strings(i));
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = text.data();
        SendMessageW(hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      }
      SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
    }
    for (int i = 0; i < items.Count(); ++i)
      if ((ListView_GetCheckState(hwnd, i) != 0) != list.Checked(i)) ListView_SetCheckState(hwnd, i, list.Checked(i));
    FitColumn(hwnd);
    ShowSelection(list, hwnd);
    ReportRows(list, hwnd);
  }
  bool OnNotify(TCheckListBox& list, HWND hwnd, const NMHDR& header, LRESULT&) const override {
    if (header.code != LVN_ITEMCHANGED) return false;
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    if (!(change.uChanged & LVIF_STATE) || change.iItem < 0) return false;
    const int index = change.iItem;
    const UINT changed = change.uNewState ^ change.uOldState;
    TCheckListBox* l = &list;
    // A mark the user toggled (a change from no mark at all is the list view setting up a row).
    if ((changed & LVIS_STATEIMAGEMASK) && (change.uOldState & LVIS_STATEIMAGEMASK) && index < list.Items()->Count()) {
      const bool marked = ((change.uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
      if (list.Checked(index) != marked) fe_.Forward([l, index] { l->ClickCheck(index); });
      if (fe_.ControlOf(hwnd) == l) fe_.ItemsChanged(*l);  // what the model decided is shown
    }
    if ((changed & LVIS_SELECTED) && (change.uNewState & LVIS_SELECTED) && list.ItemIndex() != index)
      fe_.Forward([l, index] { l->SelectItem(index); });
    return true;
  }
  bool OnMessage(TCheckListBox& list, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT&) const override {
    if (message != WM_MOUSEMOVE) return false;
    LVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const int row = ListView_HitTest(hwnd, &hit);
    ReportPointer(fe_, list, ListView_GetTopIndex(hwnd), row, lParam, wParam);
    return false;
  }

 private:
  static void FitColumn(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    ListView_SetColumnWidth(hwnd, 0, r.right - r.left);
  }
  void ShowSelection(TCheckListBox& list, HWND hwnd) const {
    const int index = list.ItemIndex();
    ListView_SetItemState(hwnd, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (index >= 0 && index < ListView_GetItemCount(hwnd)) {
      ListView_SetItemState(hwnd, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      ListView_EnsureVisible(hwnd, index, FALSE);
    }
  }
  void ReportRows(TCheckListBox& list, HWND hwnd) const {
    RECT row{};
    if (ListView_GetItemCount(hwnd) > 0 && ListView_GetItemRect(hwnd, 0, &row, LVIR_BOUNDS))
      ReportRowHeight(list, row.bottom - row.top, fe_.DpiOf(list));
  }
};

class TComboBoxBinding : public TKindBinding<TComboBox> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TComboBox& combo, HWND parent) const override {
    const bool editable = combo.Style() == csDropDown || combo.Style() == csSimple;
    return MakeChild(WC_COMBOBOXW,
                     (editable ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST) | CBS_HASSTRINGS | WS_VSCROLL, 0,
                     parent);
  }
  bool Show(TComboBox& combo, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Left:
      case TProperty::Top:
      case TProperty::Width:
      case TProperty::Height:
      case TProperty::Align:
      case TProperty::DropDownCount: {
        // The window's height includes the opened list; the closed box is the design height.
        TRect bounds = combo.BoundsRect();
        bounds.Bottom += std::max(1, combo.DropDownCount()) * kDropDownRowHeight;
        fe_.ApplyGeometry(combo, hwnd, bounds);
        const int field = Scale(combo.Height(), fe_.DpiOf(combo)) - kComboFrame;
        if (field > 0) SendMessageW(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        return true;
      }
      case TProperty::ItemIndex:
        SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
        return true;
      case TProperty::Text:
        if ((GetWindowLongPtrW(hwnd, GWL_STYLE) & 3) == CBS_DROPDOWN && win32::WindowText(hwnd) != combo.Text())
          SetWindowTextW(hwnd, W(combo.Text()).c_str());
        return true;
      case TProperty::Font:
        fe_.ApplyFont(combo, hwnd);
        Show(combo, hwnd, TProperty::Height);
        return true;
      case TProperty::Style:  // fixed when the window is made
      case TProperty::Sorted:
      case TProperty::Caption:
      case TProperty::ItemHeight:
        return true;
      default:
        return false;
    }
  }
  void ShowItems(TComboBox& combo, HWND hwnd) const override {
    const TStringList& items = *combo.Items();
    auto textOf = [hwnd](int i) {
      std::wstring text(static_cast<size_t>(SendMessageW(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, L'\0');
      const auto n = SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
      text.resize(static_cast<size_t>(std::max<LRESULT>(0, n)));
      return win32::U8(text);
    };
    if (!SameItems(items, static_cast<int>(SendMessageW(hwnd, CB_GETCOUNT, 0, 0)), textOf)) {
      SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
      for (int i = 0; i < items.Count(); ++i)
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(items.Strings(i)).c_str()));
    }
    SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
    Show(combo, hwnd, TProperty::Text);
  }
  void OnCommand(TComboBox& combo, HWND hwnd, UINT code) const override {
    TComboBox* c = &combo;
    if (code == CBN_SELCHANGE) {
      const int index = static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
      fe_.Forward([c, index] { c->SelectItem(index); });
    } else if (code == CBN_EDITCHANGE) {
      fe_.Forward([c, text = win32::WindowText(hwnd)] { c->SetText(text); });
    }
  }
};

class TLabelBinding : public TKindBinding<TLabel> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TLabel& label, HWND parent) const override {
    return MakeChild(WC_STATICW, SS_NOTIFY | StyleOf(label), 0, parent);
  }
  bool Show(TLabel& label, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Alignment:
      case TProperty::Layout:
      case TProperty::WordWrap:
        SetStyleBits(hwnd, SS_TYPEMASK | SS_CENTERIMAGE, StyleOf(label));
        return true;
      case TProperty::AutoSize:
        return true;  // the label keeps its designed size
      default:
        return false;
    }
  }
  void OnCommand(TLabel& label, HWND, UINT code) const override {
    if (code == STN_CLICKED) ForwardClick(label);
  }

 private:
  static DWORD StyleOf(const TLabel& label) {
    DWORD style = label.Alignment() == taRightJustify ? SS_RIGHT
                  : label.Alignment() == taCenter     ? SS_CENTER
                  : label.WordWrap()                  ? SS_LEFT
                                                      : SS_LEFTNOWORDWRAP;
    if (label.Layout() == tlCenter) style |= SS_CENTERIMAGE;
    return style;
  }
};

class TBevelBinding : public TKindBinding<TBevel> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TBevel&, HWND parent) const override { return MakeChild(WC_STATICW, SS_ETCHEDFRAME, 0, parent); }
  bool Show(TBevel& bevel, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Left:
      case TProperty::Top:
      case TProperty::Width:
      case TProperty::Height:
      case TProperty::Align:
      case TProperty::Shape:
      case TProperty::Style:
        Place(bevel, hwnd);
        return true;
      case TProperty::Caption:
        return true;
      default:
        return false;
    }
  }
  bool OnMessage(TBevel& bevel, HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT& result) const override {
    if (message == WM_ERASEBKGND) {
      result = TRUE;
      return true;
    }
    if (message != WM_PAINT) return false;
    // Drawn here rather than by the static control, whose etched lines not every system draws in
    // the face's colours: lowered is an etched line, raised a bump.
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    FillFace(dc, r);
    const UINT edge = bevel.Style() == bsRaised ? EDGE_BUMP : EDGE_ETCHED;
    const LONG_PTR type = GetWindowLongPtrW(hwnd, GWL_STYLE) & SS_TYPEMASK;
    const UINT sides = type == SS_ETCHEDHORZ ? BF_TOP : type == SS_ETCHEDVERT ? BF_LEFT : BF_RECT;
    DrawEdge(dc, &r, edge, sides);
    EndPaint(hwnd, &ps);
    result = 0;
    return true;
  }

 private:
  // A line is an etched line of its own thickness along the named edge of the bevel's bounds.
  void Place(TBevel& bevel, HWND hwnd) const {
    const TRect b = bevel.BoundsRect();
    const int line = kEtchedLine;
    TRect at = b;
    DWORD style = SS_ETCHEDFRAME;
    switch (bevel.Shape()) {
      case bsTopLine:
        at.Bottom = b.Top + line;
        style = SS_ETCHEDHORZ;
        break;
      case bsBottomLine:
        at.Top = b.Bottom - line;
        style = SS_ETCHEDHORZ;
        break;
      case bsLeftLine:
        at.Right = b.Left + line;
        style = SS_ETCHEDVERT;
        break;
      case bsRightLine:
        at.Left = b.Right - line;
        style = SS_ETCHEDVERT;
        break;
      default:
        break;
    }
    SetStyleBits(hwnd, SS_TYPEMASK, style);
    fe_.ApplyGeometry(bevel, hwnd, at);
    ShowWindow(hwnd, bevel.Shape() == bsSpacer || !bevel.Visible() ? SW_HIDE : SW_SHOWNA);
  }
};

class TProgressBarBinding : public TKindBinding<TProgressBar> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TProgressBar&, HWND parent) const override { return MakeChild(PROGRESS_CLASSW, 0, 0, parent); }
  bool Show(TProgressBar& bar, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Min:
      case TProperty::Max:
      case TProperty::Position: {
        // An empty range shows an empty bar.
        const bool empty = bar.Max() <= bar.Min();
        SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(bar.Min()), empty ? bar.Min() + 1 : bar.Max());
        SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(empty ? bar.Min() : bar.Position()), 0);
        return true;
      }
      case TProperty::Smooth:
        SetStyleBits(hwnd, PBS_SMOOTH, bar.Smooth() ? PBS_SMOOTH : 0);
        return true;
      case TProperty::Caption:
        return true;
      default:
        return false;
    }
  }
};

class TPanelBinding : public TKindBinding<TPanel> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TPanel&, HWND parent) const override {
    return MakeChild(win32::kPanelClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent);
  }
  bool Show(TPanel& panel, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Caption:
        // The window text too, so the caption can be read from outside (accessibility, tests).
        SetWindowTextW(hwnd, W(panel.Caption()).c_str());
        InvalidateRect(hwnd, nullptr, TRUE);
        return true;
      case TProperty::BevelOuter:
      case TProperty::BevelInner:
      case TProperty::BevelWidth:
      case TProperty::BorderWidth:
      case TProperty::Alignment:
      case TProperty::Font:
        InvalidateRect(hwnd, nullptr, TRUE);
        return true;
      default:
        return false;
    }
  }
  bool OnMessage(TPanel& panel, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) const override {
    switch (message) {
      case WM_ERASEBKGND:
        result = TRUE;
        return true;
      case WM_PAINT:
        Paint(panel, hwnd);
        result = 0;
        return true;
      case WM_LBUTTONDOWN:
        SetFlag(hwnd, kPressedProp, true);
        SetCapture(hwnd);
        return true;
      case WM_LBUTTONUP: {
        const bool pressed = Flag(hwnd, kPressedProp);
        SetFlag(hwnd, kPressedProp, false);
        if (GetCapture() == hwnd) ReleaseCapture();
        RECT r;
        GetClientRect(hwnd, &r);
        if (pressed && PtInRect(&r, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) ForwardClick(panel);
        return true;
      }
      default:
        (void)wParam;
        return false;
    }
  }

 private:
  void Paint(TPanel& panel, HWND hwnd) const {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    FillFace(dc, r);
    const int dpi = fe_.DpiOf(panel);
    auto bevel = [&](TPanelBevel kind) {
      if (kind == bvNone) return;
      for (int i = 0; i < std::max(1, Scale(panel.BevelWidth(), dpi)); ++i) {
        if (kind == bvLowered) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
        if (kind == bvRaised) DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
        InflateRect(&r, -1, -1);
      }
    };
    bevel(panel.BevelOuter());
    InflateRect(&r, -Scale(panel.BorderWidth(), dpi), -Scale(panel.BorderWidth(), dpi));
    bevel(panel.BevelInner());
    if (!panel.Caption().empty()) {
      InflateRect(&r, -Scale(kPanelTextInset, dpi), 0);
      HGDIOBJ old = SelectObject(dc, fe_.FontFor(panel));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(panel.Enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
      const UINT align = panel.Alignment() == taRightJustify ? DT_RIGHT
                         : panel.Alignment() == taCenter     ? DT_CENTER
                                                             : DT_LEFT;
      std::wstring text = W(panel.Caption());
      ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
      SelectObject(dc, old);
    }
    EndPaint(hwnd, &ps);
  }
};

class TSpeedButtonBinding : public TKindBinding<TSpeedButton> {
 public:
  using TKindBinding::TKindBinding;
  HWND Make(TSpeedButton&, HWND parent) const override { return MakeChild(win32::kSpeedButtonClass, 0, 0, parent); }
  bool Show(TSpeedButton& button, HWND hwnd, TProperty p) const override {
    switch (p) {
      case TProperty::Caption:
        SetWindowTextW(hwnd, W(button.Caption()).c_str());
        InvalidateRect(hwnd, nullptr, TRUE);
        return true;
      case TProperty::Flat:
      case TProperty::Glyph:
      case TProperty::Layout:
      case TProperty::Margin:
      case TProperty::Spacing:
      case TProperty::Font:
        InvalidateRect(hwnd, nullptr, TRUE);
        return true;
      case TProperty::Enabled:
        fe_.ApplyCommon(button, hwnd, p);
        InvalidateRect(hwnd, nullptr, TRUE);
        return true;
      default:
        return false;
    }
  }
  bool OnMessage(TSpeedButton& button, HWND hwnd, UINT message, WPARAM, LPARAM lParam, LRESULT& result) const override {
    result = 0;
    switch (message) {
      case WM_ERASEBKGND:
        result = TRUE;
        return true;
      case WM_PAINT:
        Paint(button, hwnd);
        return true;
      case WM_MOUSEMOVE:
        if (!Flag(hwnd, kHotProp)) {
          SetFlag(hwnd, kHotProp, true);
          TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
          TrackMouseEvent(&track);
          InvalidateRect(hwnd, nullptr, FALSE);
        }
        return false;  // the model may want the move too
      case WM_MOUSELEAVE:
        SetFlag(hwnd, kHotProp, false);
        InvalidateRect(hwnd, nullptr, FALSE);
        return true;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        // A speed button never takes the focus: the pointer is captured, nothing else.
        SetFlag(hwnd, kPressedProp, true);
        SetCapture(hwnd);
        InvalidateRect(hwnd, nullptr, FALSE);
        return true;
      case WM_LBUTTONUP: {
        const bool pressed = Flag(hwnd, kPressedProp);
        SetFlag(hwnd, kPressedProp, false);
        if (GetCapture() == hwnd) ReleaseCapture();
        InvalidateRect(hwnd, nullptr, FALSE);
        RECT r;
        GetClientRect(hwnd, &r);
        if (pressed && PtInRect(&r, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) ForwardClick(button);
        return true;
      }
      case WM_CAPTURECHANGED:
        SetFlag(hwnd, kPressedProp, false);
        InvalidateRect(hwnd, nullptr, FALSE);
        return true;
      case BM_CLICK:
        // As a BUTTON answers it: a click without the pointer (accessibility tools, tests).
        if (IsWindowEnabled(hwnd)) ForwardClick(button);
        return true;
      case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return true;
      case WM_NCDESTROY:
        RemovePropW(hwnd, kHotProp);
        RemovePropW(hwnd, kPressedProp);
        return false;
      default:
        return false;
    }
  }

 private:
  void Paint(TSpeedButton& button, HWND hwnd) const {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    FillFace(dc, r);
    const int dpi = fe_.DpiOf(button);
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    const bool hot = enabled && Flag(hwnd, kHotProp);
    const bool down = enabled && Flag(hwnd, kPressedProp) && hot;
    if (down)
      DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    else if (!button.Flat() || hot)
      DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);

    // The glyph and the caption form one block, placed as Layout, Margin and Spacing say.
    HGDIOBJ oldFont = SelectObject(dc, fe_.FontFor(button));
    std::wstring caption = W(button.Caption());
    SIZE text{0, 0};
    if (!caption.empty()) {
      RECT measure{0, 0, 0, 0};
      ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &measure, DT_SINGLELINE | DT_CALCRECT);
      text = {measure.right, measure.bottom};
    }
    HIMAGELIST glyph = fe_.GlyphFor(*button.Glyph(), dpi, !enabled);
    int gw = 0, gh = 0;
    if (glyph) ImageList_GetIconSize(glyph, &gw, &gh);
    const int spacing = (glyph && !caption.empty()) ? Scale(button.Spacing(), dpi) : 0;
    const bool vertical = button.Layout() == blGlyphTop || button.Layout() == blGlyphBottom;
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int blockW = vertical ? std::max<int>(gw, text.cx) : gw + spacing + text.cx;
    const int blockH = vertical ? gh + spacing + text.cy : std::max<int>(gh, text.cy);
    const int margin = button.Margin() < 0 ? -1 : Scale(button.Margin(), dpi);
    int x = vertical ? (width - blockW) / 2 : (margin < 0 ? (width - blockW) / 2 : margin);
    int y = vertical ? (margin < 0 ? (height - blockH) / 2 : margin) : (height - blockH) / 2;
    if (button.Layout() == blGlyphRight && margin >= 0) x = width - margin - blockW;
    if (button.Layout() == blGlyphBottom && margin >= 0) y = height - margin - blockH;
    const int shift = down ? 1 : 0;
    POINT glyphAt{}, textAt{};
    switch (button.Layout()) {
      case blGlyphLeft:
        glyphAt = {x, (height - gh) / 2};
        textAt = {x + gw + spacing, (height - text.cy) / 2};
        break;
      case blGlyphRight:
        textAt = {x, (height - text.cy) / 2};
        glyphAt = {x + text.cx + spacing, (height - gh) / 2};
        break;
      case blGlyphTop:
        glyphAt = {(width - gw) / 2, y};
        textAt = {(width - text.cx) / 2, y + gh + spacing};
        break;
      case blGlyphBottom:
        textAt = {(width - text.cx) / 2, y};
        glyphAt = {(width - gw) / 2, y + text.cy + spacing};
        break;
    }
    if (glyph) ImageList_Draw(glyph, 0, dc, glyphAt.x + shift, glyphAt.y + shift, ILD_NORMAL);
    if (!caption.empty()) {
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
      RECT at{textAt.x + shift, textAt.y + shift, textAt.x + shift + text.cx, textAt.y + shift + text.cy};
      // Not clipped to the measured box: some faces draw a last "." past what they measure.
      ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &at, DT_SINGLELINE | DT_NOCLIP);
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
  }
};

}  // namespace

// ---- Glyphs -------------------------------------------------------------------------------------------

std::optional<std::vector<uint8_t>> win32::ResourceBitmapPixels(const std::string& name, int* width, int* height) {
  auto bitmap = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), W(name).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!bitmap) return std::nullopt;
  BITMAP info{};
  GetObjectW(bitmap, sizeof(info), &info);
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = info.bmWidth;
  format.bmiHeader.biHeight = -info.bmHeight;  // rows from the top
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<uint8_t> pixels(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight) * 4);
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), pixels.data(), &format,
                             DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  if (rows != info.bmHeight) return std::nullopt;
  for (size_t i = 0; i < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);  // BGRA to RGBA
  *width = info.bmWidth;
  *height = info.bmHeight;
  return pixels;
}

std::vector<uint8_t> win32::ScalePixels(const std::vector<uint8_t>& rgba, int width, int height, int newWidth,
                                        int newHeight) {
  std::vector<uint8_t> out(static_cast<size_t>(newWidth) * static_cast<size_t>(newHeight) * 4);
  for (int y = 0; y < newHeight; ++y)
    for (int x = 0; x < newWidth; ++x) {
      const int sx = std::min(width - 1, (2 * x + 1) * width / (2 * newWidth));
      const int sy = std::min(height - 1, (2 * y + 1) * height / (2 * newHeight));
      std::copy_n(&rgba[(static_cast<size_t>(sy) * static_cast<size_t>(width) + static_cast<size_t>(sx)) * 4], 4,
                  &out[(static_cast<size_t>(y) * static_cast<size_t>(newWidth) + static_cast<size_t>(x)) * 4]);
    }
  return out;
}

HIMAGELIST TWin32FrontEnd::GlyphFor(const TBitmap& glyph, int dpi, bool disabled) {
  if (glyph.Empty()) return nullptr;
  // The program's bitmap resource of the glyph's name when there is one, else its own pixels.
  int width = glyph.Width(), height = glyph.Height();
  std::vector<uint8_t> pixels = glyph.Pixels();
  std::string key = std::to_string(
      std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(pixels.data()), pixels.size())));
  if (!glyph.ResourceName().empty()) {
    int rw = 0, rh = 0;
    if (auto resource = win32::ResourceBitmapPixels(glyph.ResourceName(), &rw, &rh)) {
      pixels = std::move(*resource);
      width = rw;
      height = rh;
      key = glyph.ResourceName();
    }
  }
  key += "|" + std::to_string(dpi) + (disabled ? "|disabled" : "");
  if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;

  const int w = std::max(1, Scale(width, dpi)), h = std::max(1, Scale(height, dpi));
  std::vector<uint8_t> scaled = win32::ScalePixels(pixels, width, height, w, h);
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = w;
  format.bmiHeader.biHeight = -h;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib) return nullptr;
  auto* out = static_cast<uint8_t*>(bits);
  for (size_t i = 0; i < scaled.size(); i += 4) {
    uint8_t r = scaled[i], g = scaled[i + 1], b = scaled[i + 2], a = scaled[i + 3];
    if (disabled) {
      // Grey and faint, as a disabled glyph is drawn.
      const auto grey = static_cast<uint8_t>((r * 30 + g * 59 + b * 11) / 100 / 2 + 96);
      r = g = b = grey;
      a = static_cast<uint8_t>(a / 2);
    }
    // Premultiplied, as the image list blends it.
    out[i] = static_cast<uint8_t>(b * a / 255);
    out[i + 1] = static_cast<uint8_t>(g * a / 255);
    out[i + 2] = static_cast<uint8_t>(r * a / 255);
    out[i + 3] = a;
  }
  HIMAGELIST list = ImageList_Create(w, h, ILC_COLOR32, 1, 0);
  if (list) ImageList_Add(list, dib, nullptr);
  DeleteObject(dib);
  glyphs_[key] = list;
  return list;
}

// ---- The window procedure of the own classes ------------------------------------------------------

LRESULT CALLBACK win32::ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (TWin32FrontEnd* fe = TWin32FrontEnd::Current(); fe && fe->CommonMessage(hwnd, message, wParam, lParam, result))
    return result;
  if (message == WM_PAINT) {
    // A window not (or no longer) bound to a control: its face only.
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    FillFace(dc, ps.rcPaint);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- The table ------------------------------------------------------------------------------------

namespace {
template <class Binding>
void Register(TBindingTable<TWin32Binding>& table, TWin32FrontEnd& frontEnd) {
  table.Register(Binding::ControlType::StaticClass(), std::make_unique<Binding>(frontEnd));
}
}  // namespace

std::unique_ptr<TBindingTable<TWin32Binding>> win32::MakeBindings(TWin32FrontEnd& frontEnd) {
  auto table = std::make_unique<TBindingTable<TWin32Binding>>();
  Register<TPlainBinding>(*table, frontEnd);
  Register<TFormBinding>(*table, frontEnd);
  Register<TEditBinding>(*table, frontEnd);
  Register<TButtonBinding>(*table, frontEnd);
  Register<TCheckBoxBinding>(*table, frontEnd);
  Register<TRadioButtonBinding>(*table, frontEnd);
  Register<TGroupBoxBinding>(*table, frontEnd);
  Register<TListBoxBinding>(*table, frontEnd);
  Register<TCheckListBoxBinding>(*table, frontEnd);
  Register<TComboBoxBinding>(*table, frontEnd);
  Register<TLabelBinding>(*table, frontEnd);
  Register<TBevelBinding>(*table, frontEnd);
  Register<TProgressBarBinding>(*table, frontEnd);
  Register<TPanelBinding>(*table, frontEnd);
  Register<TSpeedButtonBinding>(*table, frontEnd);
  return table;
}

}  // namespace dravello
