// The Win32 front end itself, for code inside ui/win32/ and its tests (the program uses
// Win32FrontEnd.h).
//
// Bindings: each kind of control is shown by one binding (TWin32Binding), which creates its
// native window, shows each property of the control in it, and turns the notifications the window
// sends (WM_COMMAND, WM_NOTIFY) and the messages it receives into the user's actions. The
// bindings are registered in one table (TBindingTable, Win32Bindings.cpp) and found by the
// control's class: the nearest ancestor class that has one. The kinds and their windows:
//
//   form            a window of the class "DravelloForm" (frame from BorderStyle and BorderIcons)
//   edit            EDIT
//   button          BUTTON, BS_PUSHBUTTON
//   check box       BUTTON, BS_CHECKBOX (the model, not the window, toggles it)
//   radio button    BUTTON, BS_RADIOBUTTON (the model unchecks the siblings)
//   group box       BUTTON, BS_GROUPBOX, which holds the controls placed on it
//   list box        LISTBOX
//   check list box  SysListView32 in report view without a header, LVS_EX_CHECKBOXES
//   combo box       COMBOBOX, CBS_DROPDOWNLIST or CBS_DROPDOWN as its Style says
//   label           STATIC with SS_NOTIFY
//   bevel           STATIC with SS_ETCHEDHORZ / SS_ETCHEDVERT / SS_ETCHEDFRAME by its Shape, its
//                   line drawn by the binding (DrawEdge) in the face's colours
//   progress bar    msctls_progress32 (PROGRESS_CLASS)
//   panel           "DravelloPanel": its bevels drawn with DrawEdge, as a status bar draws its
//                   parts, and its caption as plain text (a status line shows file names)
//   speed button    "DravelloSpeedButton": a flat button that never takes the focus, with its
//                   glyph (an image list of the bitmap resource) and its "&" caption; it answers
//                   BM_CLICK like a BUTTON
//
// Mirroring: a form's windows are made when the form is first shown, one window per control, at
// the control's position scaled from the design DPI (96) to the DPI of the form's monitor, and
// follow the model's notifications from then on. A form's Left and Top are its outer corner with
// the framework's own frame (see TForm): the window's client area is placed at Left +
// ClientOffsetX, Top + ClientOffsetY in screen pixels, and a move of the window is read back the
// same way, so a position saved and restored is the same wherever the system draws its frame.
// Sizes are design pixels times the DPI; positions on the screen are not scaled.
//
// User actions call the model's own methods (Click, SetText, SelectItem, ClickCheck, PressKey,
// MouseMove, SetFocus, SetBounds, Close, Activate) inside TApplication::HandleUserAction; the
// native window then shows what the model made of it. Keys: character keys (ASCII, with Enter,
// Escape and Backspace) reach the model's PressKey before the native control, so key preview and
// the dialog keys work; Alt with a letter clicks the control whose caption marks it with "&"
// (accelerators); Tab and the arrow keys move the focus as in a dialog (IsDialogMessage).
//
// Hints are one tooltip control per form, with a tool per control whose text is the control's
// ActiveHint; the pointer shape follows Screen's cursor, then the control's own (WM_SETCURSOR).
#pragma once

#include "ui/win32/Win32Util.h"

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/BindingTable.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/FrontEnd.h"

namespace dravello {

class TWin32FrontEnd;

// How one kind of control is shown. Create makes the window; the other calls take only a window
// that this binding made for that control (the front end keeps the pair), so each binding may
// treat the control as the kind it was made for.
class TWin32Binding {
 public:
  virtual ~TWin32Binding() = default;
  // The native window for `control`, a child of `parent` (nullptr: a top-level window). It is
  // hidden; the front end places, fills and shows it.
  virtual HWND Create(TControl& control, HWND parent) const = 0;
  // Shows one property of the control.
  virtual void Apply(TControl& control, HWND hwnd, TProperty property) const = 0;
  // Shows the items of a list control, and their check marks.
  virtual void ApplyItems(TControl& control, HWND hwnd) const = 0;
  // A notification the window sent its parent: the code of a WM_COMMAND, or a WM_NOTIFY.
  virtual void Command(TControl& control, HWND hwnd, UINT code) const = 0;
  virtual bool Notify(TControl& control, HWND hwnd, const NMHDR& header, LRESULT& result) const = 0;
  // A message the window itself receives, before its own window procedure; true when handled.
  virtual bool Message(TControl& control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT& result) const = 0;
};

class TWin32FrontEnd : public TFrontEnd {
 public:
  TWin32FrontEnd();
  ~TWin32FrontEnd() override;
  TWin32FrontEnd(const TWin32FrontEnd&) = delete;
  TWin32FrontEnd& operator=(const TWin32FrontEnd&) = delete;

  // The front end in use, or nullptr (window procedures find it here).
  static TWin32FrontEnd* Current();

  // The window that shows `control` (a form: its top-level window), or nullptr when none does.
  HWND HwndOf(const TControl* control) const;
  // The control a window shows, or nullptr.
  TControl* ControlOf(HWND hwnd) const;
  // The DPI a control is shown at: that of its form's monitor (the design DPI before it is shown).
  int DpiOf(const TControl& control) const;
  // The tooltip control of a form, or nullptr.
  HWND TooltipOf(const TForm& form) const;
  // The front end's language and the pointer shape over the program's windows.
  const std::string& Language() const { return language_; }
  TCursor ScreenCursor() const { return screenCursor_; }

  // ---- TControlObserver ----
  void PropertyChanged(TControl& control, TProperty property) override;
  void ItemsChanged(TControl& control) override;
  void Shown(TControl& control) override;
  void Hidden(TControl& control) override;
  void Destroying(TControl& control) override;

  // ---- TFrontEnd ----
  void WaitMessage() override;
  void WaitModal(TForm& form, int round) override;
  void ProcessMessages() override;
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
  std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                        const std::string& value) override;
  std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initialFolder) override;
  bool OpenAddress(const std::string& address) override;
  void SetScreenCursor(TCursor cursor) override;
  void LogLine(const std::string& line) override;
  void SetLanguage(const std::string& code) override { language_ = code; }

  // ---- For the bindings and the window procedures ----
  // Runs a user action on the model (see the file comment).
  void Forward(const std::function<void()>& action);
  // While mirroring, the windows' own notifications are not user actions.
  bool Mirroring() const { return mirroring_ > 0; }
  // What every kind shows the same way: geometry, Enabled, hints, font, tab stop.
  void ApplyCommon(TControl& control, HWND hwnd, TProperty property);
  // Places a child window at the control's bounds, or at `bounds` (design pixels) when given.
  void ApplyGeometry(TControl& control, HWND hwnd, const std::optional<TRect>& bounds = std::nullopt);
  void ApplyFont(TControl& control, HWND hwnd);
  void ApplyHints(TControl& control);
  void ApplyFormGeometry(TForm& form, HWND hwnd);
  void ApplyActiveControl(TForm& form);
  void Restack(TWinControl& parent);
  // The font for a control at its DPI (owned by the front end, shared between windows).
  HFONT FontFor(const TControl& control);
  // The glyph of a speed button as an image list at the button's DPI, plain or greyed; nullptr
  // for an empty glyph. Owned by the front end.
  HIMAGELIST GlyphFor(const TBitmap& glyph, int dpi, bool disabled);
  // Handles the messages that every one of the program's windows gets the same way: the cursor,
  // pointer moves, focus, and the notifications of child windows. True when handled.
  bool CommonMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The form window's own messages.
  LRESULT FormMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // A key message before it is dispatched: true when it was used up (see the file comment).
  bool PreTranslate(MSG& msg);

 private:
  struct TBound {
    HWND Hwnd = nullptr;
    const TWin32Binding* Binding = nullptr;
  };
  struct TFormState {
    int Dpi = win32::kDesignDpi;
    HWND Tooltip = nullptr;
    std::vector<HWND> DisabledForModal;  // windows this modal form disabled while it stands
  };

  HWND Build(TControl& control, HWND parentHwnd);
  void Bind(TControl& control, HWND hwnd, const TWin32Binding& binding);
  void Unbind(TControl& control);
  void ApplyAll(TControl& control, HWND hwnd, const TWin32Binding& binding);
  void Apply(TControl& control, TProperty property);
  void ApplyDpi(TForm& form);
  void AddTool(TControl& control, HWND hwnd);
  void KeepOnScreen(TForm& form);
  void FormMoved(TForm& form, HWND hwnd);
  bool Accelerator(HWND target, wchar_t key);
  void PumpOne(bool wait);
  HWND DialogOwner() const;

  std::unique_ptr<TBindingTable<TWin32Binding>> bindings_;
  std::unordered_map<const TControl*, TBound> windows_;
  std::unordered_map<HWND, TControl*> controls_;
  std::unordered_map<const TForm*, TFormState> forms_;
  std::map<std::string, HFONT> fonts_;
  std::map<std::string, HIMAGELIST> glyphs_;
  std::string language_;
  TCursor screenCursor_ = crDefault;
  int mirroring_ = 0;
  bool comInitialized_ = false;
};

namespace win32 {

// The window classes of the front end's own controls.
inline constexpr const wchar_t* kFormClass = L"DravelloForm";
inline constexpr const wchar_t* kPanelClass = L"DravelloPanel";
inline constexpr const wchar_t* kSpeedButtonClass = L"DravelloSpeedButton";

// The bindings of every kind (Win32Bindings.cpp).
std::unique_ptr<TBindingTable<TWin32Binding>> MakeBindings(TWin32FrontEnd& frontEnd);

// The window procedure of the front end's own classes: hands the message to the binding of the
// control the window shows, then to the common handling, then to DefWindowProc.
LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The system cursor for a framework cursor (nullptr for crNone).
HCURSOR CursorOf(TCursor cursor);

// The character that "&" marks in a caption ("&&" is a plain "&"), lower-cased (A to Z), or 0.
char AcceleratorOf(const std::string& caption);

// The pixels of a bitmap resource of the program file (32 bits, RGBA rows from the top), or
// nothing when the program has none of that name.
std::optional<std::vector<uint8_t>> ResourceBitmapPixels(const std::string& name, int* width, int* height);

// The pixels of a picture drawn `dpi / 96` times as large, each screen pixel taking the picture's
// pixel under its centre (pictures stay crisp). RGBA rows from the top.
std::vector<uint8_t> ScalePixels(const std::vector<uint8_t>& rgba, int width, int height, int newWidth, int newHeight);

}  // namespace win32

}  // namespace dravello
