// The Qt front end itself, for code inside ui/qt/ and its tests (the program uses QtFrontEnd.h).
//
// Bindings: each kind of control is shown by one binding (TQtBinding), which makes its widget,
// shows each property of the control in it, and connects the widget's user actions. The bindings
// are registered in one table (TQtBindings, QtBindings.cpp) and found by the control's class: the
// nearest ancestor class that has one. Adding a control kind is one binding and one line there.
//
// Mirroring: a form's widgets are made when the form is first shown, one widget per control at
// the control's position and size inside its parent's widget (a form's window is its client
// area), and from then on follow the model's notifications. Controls placed later get their
// widget when they are placed; a destroyed control loses its widget. Stacking follows the
// framework: bevels lowest, then the other window-less controls, then the windowed ones.
//
// User actions: each one calls the model's own method (Click, SetText, SelectItem, ClickCheck,
// PressKey, MouseMove, SetFocus, SetBounds, Close, Activate) inside
// TApplication::HandleUserAction, and the widget then shows what the model made of it. Character
// keys (ASCII, with Enter, Escape and Backspace) reach the model's PressKey first, so the form's
// key preview and dialog keys see them; what is left of the key goes on to the native widget.
//
// Positions: a form's Left and Top are its outer corner with the framework's own frame (see TForm).
// The window system is told the position of the client area only (static gravity), which every
// window manager keeps exactly; the frame the window manager draws is never read back. So a
// position saved and restored is the same kind on every window manager. A form shown where it
// would not be reachable (its title bar off the screen's work area) is moved back onto the screen,
// and the model learns the new position.
// The model learns a position from the window only when the user can have moved it: once the
// window is placed (exposed after it was shown, see TFormWindow). What the window system reports
// while it places a window is not taken: Qt believes it, but it can be false (IceWM reports a
// modal window's client area a title bar's height lower than it maps it), and the form would then
// creep at every opening. When such a report disagreed with the position asked for, the position
// is asked for once more as soon as the window is placed, and the window manager's answer to that
// puts Qt right again.
//
// Language: the toolkit's own texts (the buttons of message boxes, the folder chooser) follow
// the language the program sets (SetLanguage), from Qt's translations when they are installed.
//
// Widgets of controls destroyed while one of this front end's event handlers is running are
// hidden at once and deleted when the main loop next waits, so that no widget goes away under
// its own event handler.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/BindingTable.h"
#include "ui/Forms.h"
#include "ui/FrontEnd.h"

class QApplication;
class QTranslator;

namespace dravello {

class TQtFrontEnd;
namespace qtui {
class TFormWindow;
}

// How one kind of control is shown. Create makes the widget; Apply, ApplyItems and Connect take
// only a widget that this binding made for that control (the front end keeps the pair), so each
// binding may treat the control and the widget as the kinds it made them.
class TQtBinding {
 public:
  virtual ~TQtBinding() = default;
  // The widget for `control`, placed on `parent` (nullptr for a window).
  virtual QWidget* Create(TControl& control, QWidget* parent) const = 0;
  // Shows one property of the control.
  virtual void Apply(TControl& control, QWidget& widget, TProperty property) const = 0;
  // Shows the items of a list control, and their check marks.
  virtual void ApplyItems(TControl& control, QWidget& widget) const = 0;
  // Hands the widget's user actions to the control the widget shows at the time.
  virtual void Connect(QWidget& widget) const = 0;
};

// The table of bindings: one per control kind.
class TQtBindings {
 public:
  explicit TQtBindings(TQtFrontEnd& frontEnd);
  ~TQtBindings();
  // The binding of the control's class or of its nearest ancestor that has one.
  const TQtBinding& For(const TControl& control) const;

 private:
  template <class Binding>
  void Register(TQtFrontEnd& frontEnd);
  TBindingTable<TQtBinding> table_;
};

class TQtFrontEnd : public TFrontEnd {
 public:
  // Uses the running Qt application object, or makes one on argc / argv and then owns it.
  TQtFrontEnd(int& argc, char** argv);
  ~TQtFrontEnd() override;
  TQtFrontEnd(const TQtFrontEnd&) = delete;
  TQtFrontEnd& operator=(const TQtFrontEnd&) = delete;

  // The widget that shows `control` (a form: its window), or nullptr when none does.
  QWidget* WidgetOf(const TControl* control) const;
  // The control a widget shows, or nullptr.
  TControl* ControlOf(const QWidget* widget) const;
  // The language whose Qt translations are loaded ("" or "en": none).
  const std::string& Language() const { return language_; }
  // Whether Qt's own translations for the current language were found and loaded.
  bool ToolkitTranslated() const { return translator_ != nullptr; }

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
  void SetLanguage(const std::string& code) override;

  // ---- For the bindings ----
  // Runs a user action on the model (see the file comment).
  void Forward(const std::function<void()>& action);
  // While mirroring, the widgets' own change signals are not user actions.
  bool Mirroring() const { return mirroring_ > 0; }
  // The event filter that reports pointer and focus events of a widget to the model.
  QObject* WidgetHook() const;
  // What every kind shows the same way: geometry, Enabled, hints, cursor, font, tab order.
  void ApplyCommon(TControl& control, QWidget& widget, TProperty property);
  void ApplyHints(TControl& control);
  void ApplyFocusPolicy(TControl& control, QWidget& widget);
  void ApplyTabOrder(TForm& form);
  void ApplyActiveControl(TForm& form);
  void ApplyFormGeometry(TForm& form, QWidget& window);
  void ApplyFormFrame(TForm& form, QWidget& window);
  // The window of a form was reported moved: the model follows once the window is placed.
  void FormMoved(TForm& form, qtui::TFormWindow& window);
  // The window of a form was placed on the screen.
  void FormPlaced(TForm& form, qtui::TFormWindow& window);
  void ApplyItemIndex(TCustomListControl& list, QWidget& widget);

 private:
  class TEventHook;
  friend class TEventHook;
  struct TBound {
    QPointer<QWidget> Widget;
    const TQtBinding* Binding = nullptr;
  };

  // Building and tearing down widgets.
  QWidget* Build(TControl& control, QWidget* parentWidget);
  void Bind(TControl& control, QWidget* widget, const TQtBinding& binding);
  void Unbind(TControl& control);
  void DropWidget(QWidget* widget);
  void FlushDropped();
  void Restack(TWinControl& parent);
  // Mirroring the model.
  void ApplyAll(TControl& control, QWidget& widget, const TQtBinding& binding);
  void Apply(TControl& control, TProperty property);
  // Moves a form that would open out of reach back onto the screen.
  void KeepOnScreen(TForm& form);

  // Forwarding user actions.
  bool FilterKey(QObject* receiver, QEvent* event);
  bool FilterWidgetEvent(QObject* receiver, QEvent* event);

  QWidget* ParentWindowForDialogs() const;

  std::unique_ptr<QApplication> ownedApp_;
  std::unique_ptr<TEventHook> hook_;     // on every widget: pointer, focus
  std::unique_ptr<TEventHook> keyHook_;  // on the application: keys before any widget
  std::unique_ptr<TQtBindings> bindings_;
  std::unordered_map<const TControl*, TBound> widgets_;
  std::unordered_map<const QObject*, TControl*> controls_;  // widgets and list viewports
  std::vector<QPointer<QWidget>> dropped_;
  std::string language_;
  std::unique_ptr<QTranslator> translator_;
  int mirroring_ = 0;
  int handling_ = 0;         // depth of user actions being handled
  bool sendingKey_ = false;  // a key the model changed is on its way to the native widget
  bool cursorOverridden_ = false;
  QPointer<QWidget> pressed_;  // a passive widget the left button went down on
};

namespace qtui {

// Texts are UTF-8 on both sides.
inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }

// Set on widgets that only take clicks (window-less controls, panels, labels): a press and a
// release inside make one Click.
inline constexpr const char* kPassive = "dravelloPassive";

}  // namespace qtui

}  // namespace dravello
