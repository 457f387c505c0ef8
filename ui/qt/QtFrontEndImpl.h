// The Qt front end itself, for code inside ui/qt/ and its tests (the program uses QtFrontEnd.h).
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
// Widgets of controls destroyed while one of this front end's event handlers is running are
// hidden at once and deleted when the main loop next waits, so that no widget goes away under
// its own event handler.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <unordered_map>
#include <vector>

#include "ui/Forms.h"
#include "ui/FrontEnd.h"

class QApplication;

namespace dravello {

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

  // ---- TControlObserver ----
  void PropertyChanged(TControl& control, std::string_view property) override;
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

 private:
  class TEventHook;
  friend class TEventHook;

  // Building and tearing down widgets.
  QWidget* Build(TControl& control, QWidget* parentWidget);
  QWidget* MakeWidget(TControl& control, QWidget* parentWidget);
  void Bind(TControl& control, QWidget* widget);
  void Unbind(TControl& control);
  void DropWidget(QWidget* widget);
  void FlushDropped();
  void Restack(TWinControl& parent);
  void ApplyTabOrder(TForm& form);

  // Mirroring the model.
  void ApplyAll(TControl& control, QWidget* widget);
  void Apply(TControl& control, QWidget* widget, std::string_view property);
  void ApplyGeometry(TControl& control, QWidget* widget);
  void ApplyFormFrame(TForm& form, QWidget* window);
  void ApplyCaption(TControl& control, QWidget* widget);
  void ApplyFont(TControl& control, QWidget* widget);
  void ApplyItems(TControl& control, QWidget* widget);
  void ApplyItemIndex(TControl& control, QWidget* widget);
  void ApplyHints(TControl& control);
  void ApplyFocusPolicy(TControl& control, QWidget* widget);
  void ApplyActiveControl(TForm& form);
  void AutoSizeLabel(TControl& control, QWidget* widget);

  // Forwarding user actions.
  template <class Action>
  void Forward(Action&& action);
  void ConnectUserActions(QWidget* widget);
  void ConnectComboEdit(QWidget* combo);
  bool FilterKey(QObject* receiver, QEvent* event);
  bool FilterWidgetEvent(QObject* receiver, QEvent* event);
  // While mirroring, the widgets' own change signals are not user actions.
  bool Mirroring() const { return mirroring_ > 0; }

  QWidget* ParentWindowForDialogs() const;

  std::unique_ptr<QApplication> ownedApp_;
  std::unique_ptr<TEventHook> hook_;     // on every widget: pointer, focus
  std::unique_ptr<TEventHook> keyHook_;  // on the application: keys before any widget
  std::unordered_map<const TControl*, QPointer<QWidget>> widgets_;
  std::unordered_map<const QObject*, TControl*> controls_;  // widgets and list viewports
  std::vector<QPointer<QWidget>> dropped_;
  int mirroring_ = 0;
  int handling_ = 0;        // depth of user actions being handled
  bool sendingKey_ = false;  // a key the model changed is on its way to the native widget
  bool cursorOverridden_ = false;
  QPointer<QWidget> pressed_;  // a passive widget the left button went down on
};

}  // namespace dravello
