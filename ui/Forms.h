// Forms, the screen and the application object.
//
// A form is built in code by its constructor, the way a stored form would be read: everything
// created there carries csLoading. CreateForm completes it: Loaded() on the form and then on every
// component of its ownership tree that is still loading, in creation order (a form's language
// component translates here), then OnCreate. A form must be made through CreateForm (or
// TApplication::CreateForm); showing one that was not raises EInvalidOperation.
//
// TApplication is the root of the ownership tree and the one door to the front end: message
// boxes, input dialogs, the folder chooser, opening an address, processing pending messages and
// the standard error report all go through it.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ui/Controls.h"
#include "ui/FrontEnd.h"
#include "ui/StdCtrls.h"

namespace dravello {

// ---- Message boxes ------------------------------------------------------------------------------

// Buttons (low four bits), icon (next four) and default button, as the platform numbers them.
inline constexpr uint32_t MB_OK = 0x00, MB_OKCANCEL = 0x01, MB_ABORTRETRYIGNORE = 0x02, MB_YESNOCANCEL = 0x03,
                          MB_YESNO = 0x04, MB_RETRYCANCEL = 0x05;
inline constexpr uint32_t MB_ICONERROR = 0x10, MB_ICONHAND = 0x10, MB_ICONSTOP = 0x10, MB_ICONQUESTION = 0x20,
                          MB_ICONWARNING = 0x30, MB_ICONEXCLAMATION = 0x30, MB_ICONINFORMATION = 0x40,
                          MB_ICONASTERISK = 0x40;
inline constexpr uint32_t MB_DEFBUTTON1 = 0x000, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200;
inline constexpr uint32_t MB_TYPEMASK = 0x0F, MB_ICONMASK = 0xF0, MB_DEFMASK = 0xF00;
inline constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

// The answers a message box with these flags offers, in button order.
std::vector<int> MessageBoxButtons(uint32_t flags);
// The answer that changes nothing, for a box nobody can answer: OK for a lone OK button,
// otherwise No, Cancel or Abort, whichever the box offers.
int MessageBoxSafeAnswer(uint32_t flags);

// ---- TForm --------------------------------------------------------------------------------------

enum TFormBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderIcons = uint32_t;
inline constexpr TBorderIcons biSystemMenu = 1u << 0, biMinimize = 1u << 1, biMaximize = 1u << 2, biHelp = 1u << 3;
enum TFormStyle : uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition : uint8_t {
  poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly,
  poScreenCenter, poDesktopCenter, poMainFormCenter, poOwnerFormCenter,
};
enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A top-level window. Left/Top/Width/Height are its outer bounds on the screen; the client area
// is that less the frame of its BorderStyle (4 pixels each side, and a caption bar of 19 pixels,
// 15 for tool windows; nothing for bsNone). Setting ClientWidth/ClientHeight sizes the outer
// bounds to fit, and changing BorderStyle keeps the client size.
class TForm : public TWinControl {
  DV_CLASS(TForm)

 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  TRect ClientRect() const override;
  void SetClientWidth(int32_t value);
  void SetClientHeight(int32_t value);
  // The frame: outer size less client size.
  int32_t FrameWidth() const;
  int32_t FrameHeight() const;
  // Where the client area's top left corner lies, relative to the outer corner (Left, Top): the
  // left border, and the top border with the caption bar.
  int32_t ClientOffsetX() const { return FrameWidth() / 2; }
  int32_t ClientOffsetY() const { return FrameHeight() - FrameWidth() / 2; }

  TPosition Position() const { return position_; }
  void SetPosition(TPosition value);
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle value);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons value);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle value);
  // The form sees every character key before the focused control (see TWinControl::PressKey).
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool value) { keyPreview_ = value; }
  // Whether the form scales with the screen's font size; kept for the front end.
  bool Scaled() const { return scaled_; }
  void SetScaled(bool value) { scaled_ = value; }
  // The name of the window icon (empty: the application's).
  const std::string& Icon() const { return icon_; }
  void SetIcon(const std::string& value);

  // The control with the keyboard focus inside the form, or nullptr. Setting raises
  // EInvalidOperation ("Cannot focus a disabled or invisible window") for a control that is not
  // in this form or cannot take the focus (while the form loads, only the former is checked).
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* control);

  TModalResult ModalResult() const { return modalResult_; }
  // While the form is shown modally, a value other than mrNone closes it.
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  bool Modal() const { return modal_; }
  // The form is the active window of the program.
  bool Active() const;

  // Show: Visible := True, which raises OnShow, reports Shown and activates the form (OnActivate;
  // the form active before raises OnDeactivate). Hide: OnHide, Hidden, and the form active before
  // it becomes active again. Positions poScreenCenter, poDesktopCenter, poMainFormCenter and
  // poOwnerFormCenter are applied on each show.
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  void SetVisible(bool visible) override;
  // Shows the form modally and returns its ModalResult once that is not mrNone and the form
  // agreed to close (OnCloseQuery, OnClose); the form is hidden again, not destroyed. Raises
  // EInvalidOperation for a form that is visible already.
  TModalResult ShowModal();
  // Closes the form, as the window's close box does: a modal form gets ModalResult mrCancel;
  // otherwise, when CloseQuery agrees, OnClose decides (caHide by default): closing the main form
  // terminates the application, caHide hides, caFree releases, caNone does nothing.
  void Close();
  // OnCloseQuery's answer (true when unassigned).
  bool CloseQuery();
  // Destroys the form once control returns to the message loop.
  void Release();
  // User action: the window was activated.
  void Activate();
  // Routes the key to the active control, or handles it as the form's own when there is none.
  char PressKey(char key) override;
  void SetFocus();

  TNotifyEvent OnCreate;
  // Raised by TForm's destructor, after the concrete form's destructor: its controls and
  // components still exist, its own fields do not. A form destroyed while shown raises no
  // OnHide or OnDeactivate.
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseQueryEvent OnCloseQuery;
  TCloseEvent OnClose;

  // Completes a form built by its constructor; see the file comment. Called by CreateForm.
  void FinishCreation();

 private:
  friend class TWinControl;
  friend class TControl;
  friend class TScreen;
  void DoKeyPress(char& key) { TWinControl::DoKeyPress(key); }
  // Enter and Escape: click the focused or default button, or the cancel button.
  char DialogKey(char key);
  void ControlRemoving(TControl* control);
  void CloseModal();
  void ApplyPosition();
  void Raise(const TNotifyEvent& event);
  void RaiseActivate() { Raise(OnActivate); }
  void RaiseDeactivate() { Raise(OnDeactivate); }

  TPosition position_ = poDesigned;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TFormStyle formStyle_ = fsNormal;
  bool keyPreview_ = false;
  bool scaled_ = true;
  std::string icon_;
  TWinControl* activeControl_ = nullptr;
  TModalResult modalResult_ = mrNone;
  bool modal_ = false;
  bool created_ = false;
};

// Makes a form: constructs F(owner, args...), completes it (see the file comment) and returns
// it, owned by `owner` (or by the caller when owner is nullptr). A failure while completing
// destroys the form and passes on; a failure in OnCreate goes to the standard error report.
template <class F, class... Args>
F* CreateForm(TComponent* owner, Args&&... args) {
  static_assert(std::is_base_of_v<TForm, F>, "CreateForm makes forms");
  F* form = new F(owner, std::forward<Args>(args)...);
  try {
    form->FinishCreation();
  } catch (...) {
    delete form;
    throw;
  }
  return form;
}

// Where a window with outer bounds `bounds` opens so that a user can reach it on a screen whose
// usable area (without task bars) is `workArea`: moved by as little as it takes to lie wholly
// inside, and, when it is larger than the area, with its top left corner (the caption bar) inside.
// Bounds already inside come back unchanged.
TRect KeepOnScreen(const TRect& bounds, const TRect& workArea);

// ---- TScreen ------------------------------------------------------------------------------------

// The screen: its size, the program-wide pointer shape, and the program's forms.
class TScreen : public TComponent {
  DV_CLASS(TScreen)

 public:
  explicit TScreen(TComponent* owner);

  // crDefault lets every control show its own cursor; anything else (crHourGlass) shows over all
  // the program's windows.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  // The screen size; the front end sets the real one (1024 x 768 until then).
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void SetSize(int32_t width, int32_t height);

  TForm* ActiveForm() const { return active_.empty() ? nullptr : active_.back(); }
  int FormCount() const { return static_cast<int>(forms_.size()); }
  TForm* Forms(int index) const { return forms_.at(static_cast<size_t>(index)); }

 private:
  friend class TForm;
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);
  void FormShown(TForm* form);
  void FormHidden(TForm* form);
  void ActivateForm(TForm* form);

  TCursor cursor_ = crDefault;
  int32_t width_ = 1024;
  int32_t height_ = 768;
  std::vector<TForm*> forms_;
  std::vector<TForm*> active_;  // visible forms, the most recently activated last
};

// The screen object; exists while the application object does.
extern TScreen* Screen;

// ---- TApplication -------------------------------------------------------------------------------

class TApplication : public TComponent {
  DV_CLASS(TApplication)

 public:
  // Becomes the root of the ownership tree and the global Application, and creates Screen. Until
  // a front end is set, a silent one answers: message boxes get their safe answer, dialogs are
  // cancelled, modal forms close with mrCancel, nothing is shown.
  TApplication();
  // Destroys the forms it owns (while the front end still observes), then the front end.
  ~TApplication() override;

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  // The name of the program's icon.
  const std::string& Icon() const { return icon_; }
  void SetIcon(const std::string& icon) { icon_ = icon; }

  TFrontEnd& FrontEnd() { return *frontEnd_; }
  void SetFrontEnd(std::unique_ptr<TFrontEnd> frontEnd);

  // Makes a form owned by the application; the first one becomes the main form.
  template <class F, class... Args>
  F* CreateForm(Args&&... args) {
    F* form = ::dravello::CreateForm<F>(this, std::forward<Args>(args)...);
    if (!mainForm_) mainForm_ = form;
    return form;
  }
  TForm* MainForm() const { return mainForm_; }

  // Shows the main form and runs the message loop until Terminate. Failures escaping an action go
  // to the standard error report.
  void Run();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // Lets the front end handle pending messages. Returns at once when it last did so less than
  // kProcessMessagesInterval milliseconds ago (by Clock::Default()), so hot loops stay fast.
  void ProcessMessages();
  static constexpr uint32_t kProcessMessagesInterval = 20;

  // A modal message box; returns IDOK, IDYES, IDNO, ...
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags = MB_OK);
  // The standard error report: a message box with the failure's text, the title as caption, an
  // error icon and an OK button.
  void ShowException(const std::exception& e);
  void HandleException(std::exception_ptr failure);
  // Runs an action as the message loop runs a user's: a failure that escapes it goes to the
  // standard error report instead of further up.
  void HandleUserAction(const std::function<void()>& action);

  // The text-input dialogs: InputBox returns the entered text, or `defaultValue` when cancelled;
  // InputQuery edits `value` and returns true when confirmed (value unchanged otherwise).
  std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue);
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
  // The folder chooser: the chosen folder as the system gives it (the caller adds a trailing
  // separator), or nothing when cancelled.
  std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initialFolder);
  bool OpenAddress(const std::string& address);

  // Hands one line the program wrote to its log to the front end (a window-less run prints it).
  void LogLine(const std::string& line);
  // Also writes every log line to `out` and every message box's "caption: text" to `err` (a run
  // started from a terminal or a scheduler with windows shown prints as one without them).
  // nullptr: not.
  void SetConsoleEcho(std::ostream* out, std::ostream* err) {
    echoOut_ = out;
    echoErr_ = err;
  }
  // The language of the user interface ("en", "de"; empty until set), handed to the front end
  // for its own texts.
  const std::string& Language() const { return language_; }
  void SetLanguage(const std::string& code);

  // The control whose caption is the program's status line, for front ends without windows.
  TControl* StatusLine() const { return statusLine_; }
  void SetStatusLine(TControl* control) { statusLine_ = control; }

 private:
  friend class TControl;
  friend class TForm;
  void ControlDestroying(TControl* control);
  void FormDestroying(TForm* form);
  void QueueRelease(TForm* form);
  void FreeReleased();

  std::string title_;
  std::string icon_;
  std::string language_;
  std::unique_ptr<TFrontEnd> frontEnd_;
  TForm* mainForm_ = nullptr;
  TControl* statusLine_ = nullptr;
  bool terminated_ = false;
  bool processedOnce_ = false;
  uint32_t lastProcessTick_ = 0;
  std::vector<TForm*> released_;
  std::unique_ptr<TScreen> screen_;
  std::ostream* echoOut_ = nullptr;
  std::ostream* echoErr_ = nullptr;
};

// The application object, or nullptr before it exists.
extern TApplication* Application;

}  // namespace dravello
