#include "ui/qt/QtFrontEnd.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QSpacerItem>
#include <QTranslator>
#include <QGroupBox>
#include <QImage>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <functional>

#include "runtime/Env.h"
#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/QtFrontEndImpl.h"

namespace dravello {

using qtui::kPassive;
using qtui::Q;
using qtui::S;

namespace {

Qt::CursorShape CursorShape(TCursor cursor) {
  switch (cursor) {
    case crNone:
      return Qt::BlankCursor;
    case crCross:
      return Qt::CrossCursor;
    case crIBeam:
      return Qt::IBeamCursor;
    case crHourGlass:
      return Qt::WaitCursor;
    case crHandPoint:
      return Qt::PointingHandCursor;
    default:
      return Qt::ArrowCursor;
  }
}

// The families tried for a font, first match wins: the wanted one, then for the classic dialog
// font the faces closest to it in size and shape on other systems.
QStringList FontFamilies(const std::string& name) {
  QStringList families{Q(name)};
  if (QString::compare(Q(name), QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive) == 0)
    families << QStringLiteral("Microsoft Sans Serif") << QStringLiteral("Liberation Sans")
             << QStringLiteral("Arimo") << QStringLiteral("Arial") << QStringLiteral("Helvetica")
             << QStringLiteral("DejaVu Sans");
  return families;
}

QFont FontOf(const TFont& font) {
  QFont f;
  f.setFamilies(FontFamilies(font.Name()));
  f.setStyleHint(QFont::SansSerif);
  // A negative height is the character height itself; a positive one includes the internal
  // leading (about a sixth of it, as TFont::TextHeight counts it).
  int32_t h = font.Height();
  int pixels = h < 0 ? -h : std::max(1, (5 * h - 2) / 6);
  f.setPixelSize(std::max(1, pixels));
  f.setBold(font.Style() & fsBold);
  f.setItalic(font.Style() & fsItalic);
  f.setUnderline(font.Style() & fsUnderline);
  f.setStrikeOut(font.Style() & fsStrikeOut);
  return f;
}

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  TShiftState shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= ssShift;
  if (modifiers & Qt::AltModifier) shift |= ssAlt;
  if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
  if (buttons & Qt::LeftButton) shift |= ssLeft;
  if (buttons & Qt::RightButton) shift |= ssRight;
  if (buttons & Qt::MiddleButton) shift |= ssMiddle;
  return shift;
}

// The character a key press types, as the model's key handlers see it: ASCII text, Enter,
// Escape and Backspace; 0 for everything else (navigation, Tab, Delete, non-ASCII text).
char KeyCharOf(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return '\r';
    case Qt::Key_Escape:
      return '\x1b';
    case Qt::Key_Backspace:
      return '\b';
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
      return 0;
    default:
      break;
  }
  const QString text = event.text();
  if (text.size() != 1) return 0;
  char16_t c = text[0].unicode();
  return c >= 1 && c < 127 ? static_cast<char>(c) : 0;
}

int KeyCodeOf(char key) {
  switch (key) {
    case '\r':
      return Qt::Key_Return;
    case '\x1b':
      return Qt::Key_Escape;
    case '\b':
      return Qt::Key_Backspace;
    default:
      return QChar(static_cast<char16_t>(static_cast<unsigned char>(key))).toUpper().unicode();
  }
}

QMessageBox::StandardButton StandardButtonOf(int id) {
  switch (id) {
    case IDCANCEL:
      return QMessageBox::Cancel;
    case IDABORT:
      return QMessageBox::Abort;
    case IDRETRY:
      return QMessageBox::Retry;
    case IDIGNORE:
      return QMessageBox::Ignore;
    case IDYES:
      return QMessageBox::Yes;
    case IDNO:
      return QMessageBox::No;
    default:
      return QMessageBox::Ok;
  }
}

// The width a dialog needs so that the window manager shows `caption` whole in its title bar: the
// caption in a title bar's font (bold and a quarter larger than the dialog's, which covers the
// usual desktops' title fonts) and room for the bar's icon and buttons.
int CaptionWidth(const QString& caption, const QWidget& dialog) {
  QFont font = dialog.font();
  font.setBold(true);
  if (font.pixelSize() > 0)
    font.setPixelSize(font.pixelSize() * 5 / 4);
  else
    font.setPointSizeF(font.pointSizeF() * 1.25);
  const QFontMetrics metrics(font);
  const int bar = metrics.height() + 8;  // about a title bar's height, and so a button's width
  return metrics.horizontalAdvance(caption) + 4 * bar;
}

bool Sizeable(const TForm& form) { return form.BorderStyle() == bsSizeable || form.BorderStyle() == bsSizeToolWin; }

// Where the form's client area lies on the screen, by the model.
QRect ClientArea(const TForm& form) {
  return QRect(form.Left() + form.ClientOffsetX(), form.Top() + form.ClientOffsetY(), std::max(0, form.ClientWidth()),
               std::max(0, form.ClientHeight()));
}

}  // namespace

// ---- Public entry points ------------------------------------------------------------------------

bool QtDisplayAvailable() {
  return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || Env::Default().DisplayAnswers();
}

std::unique_ptr<TFrontEnd> MakeQtFrontEnd(int& argc, char** argv) { return std::make_unique<TQtFrontEnd>(argc, argv); }

// ---- Event hooks --------------------------------------------------------------------------------

// Installed on the application for key presses (so that the model sees them before any widget)
// and on every widget for the pointer and the focus.
class TQtFrontEnd::TEventHook : public QObject {
 public:
  TEventHook(TQtFrontEnd& frontEnd, bool keys) : frontEnd_(frontEnd), keys_(keys) {}
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (keys_) return event->type() == QEvent::KeyPress && frontEnd_.FilterKey(receiver, event);
    return frontEnd_.FilterWidgetEvent(receiver, event);
  }

 private:
  TQtFrontEnd& frontEnd_;
  bool keys_;
};

// ---- Construction -------------------------------------------------------------------------------

TQtFrontEnd::TQtFrontEnd(int& argc, char** argv) {
  if (!QCoreApplication::instance()) ownedApp_ = std::make_unique<QApplication>(argc, argv);
  if (!dynamic_cast<QApplication*>(QCoreApplication::instance()))
    throw EInvalidOperation("The Qt front end needs a widget application object");
  QApplication::setQuitOnLastWindowClosed(false);
  hook_ = std::make_unique<TEventHook>(*this, false);
  bindings_ = std::make_unique<TQtBindings>(*this);
  keyHook_ = std::make_unique<TEventHook>(*this, true);
  qApp->installEventFilter(keyHook_.get());
  if (QScreen* screen = QGuiApplication::primaryScreen(); screen && Screen)
    Screen->SetSize(screen->geometry().width(), screen->geometry().height());
}

TQtFrontEnd::~TQtFrontEnd() {
  qApp->removeEventFilter(keyHook_.get());
  handling_ = 0;
  FlushDropped();
  // Forms still shown belong to an application that is going away: their windows go first.
  std::vector<QPointer<QWidget>> windows;
  for (auto& [control, bound] : widgets_)
    if (bound.Widget && bound.Widget->isWindow()) windows.push_back(bound.Widget);
  for (QPointer<QWidget>& window : windows) delete window.data();
  widgets_.clear();
  controls_.clear();
  if (cursorOverridden_) QGuiApplication::restoreOverrideCursor();
  if (translator_) QCoreApplication::removeTranslator(translator_.get());
  translator_.reset();
  bindings_.reset();
  keyHook_.reset();
  hook_.reset();
  ownedApp_.reset();
}

QWidget* TQtFrontEnd::WidgetOf(const TControl* control) const {
  auto it = widgets_.find(control);
  return it == widgets_.end() ? nullptr : it->second.Widget.data();
}

TControl* TQtFrontEnd::ControlOf(const QWidget* widget) const {
  auto it = controls_.find(widget);
  return it == controls_.end() ? nullptr : it->second;
}

QObject* TQtFrontEnd::WidgetHook() const { return hook_.get(); }

void TQtFrontEnd::Forward(const std::function<void()>& action) {
  TDepthScope handling(handling_);
  try {
    if (Application)
      Application->HandleUserAction(action);
    else
      action();
  } catch (...) {
    // Nothing may cross Qt's event dispatch; without an application there is no report either.
  }
}

// ---- Building widgets ---------------------------------------------------------------------------

void TQtFrontEnd::Bind(TControl& control, QWidget* widget, const TQtBinding& binding) {
  widgets_[&control] = TBound{widget, &binding};
  controls_[widget] = &control;
  auto forget = [this](QObject* object) { controls_.erase(object); };
  QObject::connect(widget, &QObject::destroyed, hook_.get(), forget);
  if (auto* view = qobject_cast<QAbstractItemView*>(widget)) {
    controls_[view->viewport()] = &control;
    QObject::connect(view->viewport(), &QObject::destroyed, hook_.get(), forget);
  }
}

void TQtFrontEnd::Unbind(TControl& control) {
  auto it = widgets_.find(&control);
  if (it == widgets_.end()) return;
  if (QWidget* w = it->second.Widget.data()) {
    controls_.erase(w);
    if (auto* view = qobject_cast<QAbstractItemView*>(w)) controls_.erase(view->viewport());
  }
  widgets_.erase(it);
  if (auto* win = dynamic_cast<TWinControl*>(&control))
    for (int i = 0; i < win->ControlCount(); ++i) Unbind(*win->Controls(i));
}

void TQtFrontEnd::DropWidget(QWidget* widget) {
  if (!widget) return;
  if (pressed_ == widget) pressed_ = nullptr;
  widget->hide();
  if (handling_ > 0)
    dropped_.emplace_back(widget);
  else
    delete widget;
}

void TQtFrontEnd::FlushDropped() {
  if (handling_ > 0 || dropped_.empty()) return;
  std::vector<QPointer<QWidget>> dropped;
  dropped.swap(dropped_);
  for (QPointer<QWidget>& widget : dropped) delete widget.data();
}

QWidget* TQtFrontEnd::Build(TControl& control, QWidget* parentWidget) {
  TDepthScope mirroring(mirroring_);
  const TQtBinding& binding = bindings_->For(control);
  QWidget* w = binding.Create(control, parentWidget);
  Bind(control, w, binding);
  ApplyAll(control, *w, binding);
  binding.Connect(*w);
  if (auto* win = dynamic_cast<TWinControl*>(&control)) {
    for (int i = 0; i < win->ControlCount(); ++i) Build(*win->Controls(i), w);
    Restack(*win);
  }
  return w;
}

void TQtFrontEnd::Restack(TWinControl& parent) {
  // As the framework draws them: bevels at the bottom, then the other window-less controls,
  // then the windowed ones, each kind in the order it was placed.
  std::vector<QWidget*> order[kStackingLayers];
  for (int i = 0; i < parent.ControlCount(); ++i) {
    TControl* child = parent.Controls(i);
    if (QWidget* w = WidgetOf(child)) order[StackingLayer(*child)].push_back(w);
  }
  for (auto& layer : order)
    for (QWidget* w : layer) w->raise();
}

void TQtFrontEnd::ApplyTabOrder(TForm& form) {
  std::vector<QWidget*> chain;
  std::function<void(TWinControl&)> walk = [&](TWinControl& parent) {
    for (TWinControl* child : parent.TabList()) {
      if (QWidget* w = WidgetOf(child); w && (w->focusPolicy() & Qt::TabFocus)) chain.push_back(w);
      walk(*child);
    }
  };
  walk(form);
  for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

// ---- Mirroring ----------------------------------------------------------------------------------

void TQtFrontEnd::ApplyAll(TControl& control, QWidget& w, const TQtBinding& binding) {
  TDepthScope mirroring(mirroring_);
  // The font first: a label's size follows its caption in its font.
  binding.Apply(control, w, TProperty::Font);
  for (int i = 0; i < kPropertyCount; ++i) {
    const auto property = static_cast<TProperty>(i);
    // The parent is the widget's parent already; the tab order is set once the form is built.
    if (property == TProperty::Font || property == TProperty::Parent || property == TProperty::TabOrder) continue;
    binding.Apply(control, w, property);
  }
  binding.ApplyItems(control, w);
  if (!dynamic_cast<TForm*>(&control)) w.setVisible(control.Visible());
}

void TQtFrontEnd::Apply(TControl& control, TProperty property) {
  auto it = widgets_.find(&control);
  if (it == widgets_.end() || !it->second.Widget) return;
  TDepthScope mirroring(mirroring_);
  it->second.Binding->Apply(control, *it->second.Widget, property);
}

void TQtFrontEnd::ApplyCommon(TControl& control, QWidget& w, TProperty property) {
  TDepthScope mirroring(mirroring_);
  switch (property) {
    case TProperty::Left:
    case TProperty::Top:
    case TProperty::Width:
    case TProperty::Height:
    case TProperty::Align:
      w.setGeometry(control.Left(), control.Top(), std::max(0, control.Width()), std::max(0, control.Height()));
      break;
    case TProperty::Enabled:
      w.setEnabled(control.Enabled());
      break;
    case TProperty::Hint:
    case TProperty::ShowHint:
      ApplyHints(control);
      break;
    case TProperty::Cursor:
      if (control.Cursor() == crDefault)
        w.unsetCursor();
      else
        w.setCursor(CursorShape(control.Cursor()));
      break;
    case TProperty::Font: {
      const TFont& font = *control.Font();
      w.setFont(FontOf(font));
      if (!(font.Color() & clSystemColor)) {
        QColor color(font.Color() & 0xFF, (font.Color() >> 8) & 0xFF, (font.Color() >> 16) & 0xFF);
        QPalette palette = w.palette();
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
          palette.setColor(role, color);
        w.setPalette(palette);
      }
      break;
    }
    case TProperty::TabOrder:
    case TProperty::TabStop:
      ApplyFocusPolicy(control, w);
      if (TForm* form = GetParentForm(&control); form && property == TProperty::TabOrder) ApplyTabOrder(*form);
      break;
    default:
      // Not shown: Color (the style's colours stay), Sorted and the like (the model keeps them).
      break;
  }
}

void TQtFrontEnd::ApplyFormGeometry(TForm& form, QWidget& w) {
  TDepthScope mirroring(mirroring_);
  // Only the client area is placed: see the file comment of QtFrontEndImpl.h.
  const QRect client = ClientArea(form);
  if (Sizeable(form)) {
    w.setMinimumSize(0, 0);
    w.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    w.setFixedSize(client.size());
  }
  if (w.geometry() == client && w.windowHandle()) return;
  // Through the native window, made now if need be: only then does Qt hand the window manager a
  // client position (static gravity) rather than one for the frame's corner.
  w.winId();
  w.windowHandle()->setGeometry(client);
}

void TQtFrontEnd::FormMoved(TForm& form, qtui::TFormWindow& window) {
  // Qt's position of a window is the last one the window system reported for it.
  const QPoint client = window.geometry().topLeft();
  if (!window.Placed()) {
    // Still being placed: not the user's move (see the file comment of QtFrontEndImpl.h).
    if (client != ClientArea(form).topLeft()) window.SetMisplaced();
    return;
  }
  const int left = client.x() - form.ClientOffsetX(), top = client.y() - form.ClientOffsetY();
  if (left != form.Left() || top != form.Top())
    Forward([&form, left, top] { form.SetBounds(left, top, form.Width(), form.Height()); });
}

void TQtFrontEnd::FormPlaced(TForm& form, qtui::TFormWindow& window) {
  // Qt believes the false report; the window manager's answer to the position asked for again
  // puts it right, and moves the window if the report was true.
  if (window.Misplaced()) ApplyFormGeometry(form, window);
}

void TQtFrontEnd::KeepOnScreen(TForm& form) {
  const QPoint center(form.Left() + form.Width() / 2, form.Top() + form.Height() / 2);
  QScreen* screen = QGuiApplication::screenAt(center);
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  // The window manager's frame may be larger than the one the form counts with: the area is
  // narrowed by the difference, so that the real frame, title bar included, lies on the screen.
  // (A window manager that finds a frame off the screen moves the window by its own rules, which
  // would then move it again at every opening.) The frame of a window shown already tells; until
  // one is, a frame of a usual size is assumed.
  QMargins frame(8, 32, 8, 8);
  for (const auto& [control, bound] : widgets_)
    if (bound.Widget && bound.Widget->isWindow() && bound.Widget->isVisible() && bound.Widget->windowHandle()) {
      const QMargins margins = bound.Widget->windowHandle()->frameMargins();
      if (!margins.isNull()) frame = margins;
    }
  const int offsetX = form.ClientOffsetX(), offsetY = form.ClientOffsetY();
  const int offsetBottom = form.FrameHeight() - offsetY, offsetRight = form.FrameWidth() - offsetX;
  const QRect area = screen->availableGeometry().adjusted(
      std::max(0, frame.left() - offsetX), std::max(0, frame.top() - offsetY),
      -std::max(0, frame.right() - offsetRight), -std::max(0, frame.bottom() - offsetBottom));
  const TRect bounds = form.BoundsRect();
  const TRect kept = dravello::KeepOnScreen(bounds, {area.left(), area.top(), area.right() + 1, area.bottom() + 1});
  if (kept != bounds) form.SetBounds(kept.Left, kept.Top, bounds.Width(), bounds.Height());
}

void TQtFrontEnd::ApplyFormFrame(TForm& form, QWidget& window) {
  TDepthScope mirroring(mirroring_);
  const TFormBorderStyle style = form.BorderStyle();
  Qt::WindowFlags flags;
  switch (style) {
    case bsNone:
      flags = Qt::Window | Qt::FramelessWindowHint;
      break;
    case bsToolWindow:
    case bsSizeToolWin:
      flags = Qt::Tool;
      break;
    case bsDialog:
      flags = Qt::Dialog;
      break;
    default:
      flags = Qt::Window;
      break;
  }
  if (style != bsNone) {
    // Only the boxes the form asks for; without a system menu there is no close box either.
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    const TBorderIcons icons = form.BorderIcons();
    if (icons & biSystemMenu) {
      flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      bool plainWindow = style == bsSingle || style == bsSizeable;
      if ((icons & biMinimize) && plainWindow) flags |= Qt::WindowMinimizeButtonHint;
      if ((icons & biMaximize) && style == bsSizeable) flags |= Qt::WindowMaximizeButtonHint;
    }
  }
  if (form.FormStyle() == fsStayOnTop) flags |= Qt::WindowStaysOnTopHint;
  if (window.windowFlags() != flags) {
    bool visible = window.isVisible();
    window.setWindowFlags(flags);
    if (visible) window.show();
  }
  ApplyFormGeometry(form, window);
}

void TQtFrontEnd::ApplyItemIndex(TCustomListControl& list, QWidget& w) {
  TDepthScope mirroring(mirroring_);
  if (auto* box = qobject_cast<QComboBox*>(&w)) {
    if (box->currentIndex() != list.ItemIndex()) box->setCurrentIndex(list.ItemIndex());
    if (auto* combo = dynamic_cast<TComboBox*>(&list); combo && box->isEditable() && box->currentText() != Q(combo->Text()))
      box->setEditText(Q(combo->Text()));
  } else if (auto* view = qobject_cast<QListWidget*>(&w)) {
    if (view->currentRow() != list.ItemIndex()) view->setCurrentRow(list.ItemIndex());
    if (list.ItemIndex() < 0) view->clearSelection();
  }
}

void TQtFrontEnd::ApplyHints(TControl& control) {
  // A control without a hint of its own shows its parent's: every control below follows.
  QWidget* w = WidgetOf(&control);
  if (w) {
    const QString hint = Q(control.ActiveHint());
    if (w->toolTip() != hint) {
      w->setToolTip(hint);
      // A tip standing over the control changes with it (a list's hint follows the pointer).
      if (QToolTip::isVisible() && w->underMouse()) {
        if (hint.isEmpty())
          QToolTip::hideText();
        else
          QToolTip::showText(QCursor::pos(), hint, w);
      }
    }
  }
  if (auto* win = dynamic_cast<TWinControl*>(&control))
    for (int i = 0; i < win->ControlCount(); ++i) ApplyHints(*win->Controls(i));
}

void TQtFrontEnd::ApplyFocusPolicy(TControl& control, QWidget& w) {
  if (dynamic_cast<TForm*>(&control)) return;
  auto* win = dynamic_cast<TWinControl*>(&control);
  if (!win || w.property(kPassive).toBool())
    w.setFocusPolicy(Qt::NoFocus);
  else
    w.setFocusPolicy(win->TabStop() ? Qt::StrongFocus : Qt::ClickFocus);
}

void TQtFrontEnd::ApplyActiveControl(TForm& form) {
  QWidget* window = WidgetOf(&form);
  TWinControl* active = form.ActiveControl();
  QWidget* target = active ? WidgetOf(active) : nullptr;
  if (!window || !target || !window->isVisible()) return;
  TDepthScope mirroring(mirroring_);
  if (QApplication::focusWidget() != target) target->setFocus(Qt::OtherFocusReason);
}

// ---- Notifications ------------------------------------------------------------------------------

void TQtFrontEnd::PropertyChanged(TControl& control, TProperty property) {
  if (property == TProperty::Parent) {
    // Moved elsewhere: the old widgets go, and the new parent (if shown) gets new ones.
    QWidget* old = WidgetOf(&control);
    if (old) {
      Unbind(control);
      DropWidget(old);
    }
    TWinControl* parent = control.Parent();
    QWidget* parentWidget = parent ? WidgetOf(parent) : nullptr;
    if (parentWidget) {
      Build(control, parentWidget);
      Restack(*parent);
      if (TForm* form = GetParentForm(parent)) ApplyTabOrder(*form);
    }
    return;
  }
  Apply(control, property);
}

void TQtFrontEnd::ItemsChanged(TControl& control) {
  auto it = widgets_.find(&control);
  if (it == widgets_.end() || !it->second.Widget) return;
  TDepthScope mirroring(mirroring_);
  it->second.Binding->ApplyItems(control, *it->second.Widget);
}

void TQtFrontEnd::Shown(TControl& control) {
  auto* form = dynamic_cast<TForm*>(&control);
  if (!form) {
    if (QWidget* w = WidgetOf(&control)) w->show();
    return;
  }
  KeepOnScreen(*form);
  QWidget* window = WidgetOf(form);
  if (!window) {
    window = Build(*form, nullptr);
    ApplyTabOrder(*form);
  }
  TDepthScope mirroring(mirroring_);
  ApplyFormFrame(*form, *window);
  if (form->Modal()) {
    window->setWindowModality(Qt::ApplicationModal);
    // Stacked over the window it interrupts.
    for (int i = 0; Screen && i < Screen->FormCount(); ++i) {
      QWidget* other = WidgetOf(Screen->Forms(i));
      if (other && other != window && other->isVisible() && other->isActiveWindow() && other->windowHandle()) {
        window->winId();
        if (window->windowHandle()) window->windowHandle()->setTransientParent(other->windowHandle());
        break;
      }
    }
  }
  window->show();
  window->activateWindow();
  ApplyActiveControl(*form);
}

void TQtFrontEnd::Hidden(TControl& control) {
  QWidget* w = WidgetOf(&control);
  if (!w) return;
  TDepthScope mirroring(mirroring_);
  w->hide();
  if (w->isWindow()) w->setWindowModality(Qt::NonModal);
}

void TQtFrontEnd::Destroying(TControl& control) {
  QWidget* w = WidgetOf(&control);
  if (!w) return;
  Unbind(control);
  DropWidget(w);
}

// ---- User actions -------------------------------------------------------------------------------

bool TQtFrontEnd::FilterKey(QObject* receiver, QEvent* event) {
  if (sendingKey_ || !receiver->isWidgetType()) return false;
  auto* target = static_cast<QWidget*>(receiver);
  // Only the first delivery of a key counts, not its way up through the parents.
  QWidget* focus = QApplication::focusWidget();
  if (focus ? target != focus : !target->isWindow()) return false;
  TControl* control = nullptr;
  for (QWidget* w = target; w && !control; w = w->isWindow() ? nullptr : w->parentWidget()) control = ControlOf(w);
  if (!control) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const char typed = KeyCharOf(*key);
  if (typed == 0) return false;
  TWinControl* receiverControl = dynamic_cast<TWinControl*>(control);
  if (!receiverControl) receiverControl = GetParentForm(control);
  if (!receiverControl) return false;
  char left = typed;
  QPointer<QWidget> guard(target);
  Forward([&] { left = receiverControl->PressKey(typed); });
  if (left == typed) return false;
  if (left != 0 && guard) {
    // A handler changed the key: the native widget gets the new one instead.
    QKeyEvent changed(QEvent::KeyPress, KeyCodeOf(left), key->modifiers(), QString(QChar(static_cast<char16_t>(left))));
    sendingKey_ = true;
    QCoreApplication::sendEvent(guard.data(), &changed);
    sendingKey_ = false;
  }
  return true;
}

bool TQtFrontEnd::FilterWidgetEvent(QObject* receiver, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove: {
      TControl* control = controls_.count(receiver) ? controls_[receiver] : nullptr;
      if (!control || !control->OnMouseMove) return false;
      auto* mouse = static_cast<QMouseEvent*>(event);
      QPoint at = mouse->position().toPoint();
      TShiftState shift = ShiftOf(mouse->modifiers(), mouse->buttons());
      Forward([control, at, shift] { control->MouseMove(shift, at.x(), at.y()); });
      return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
      if (!receiver->isWidgetType() || !receiver->property(kPassive).toBool()) return false;
      auto* w = static_cast<QWidget*>(receiver);
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      // The second press of a double click makes no second click (a homepage opens once).
      if (event->type() != QEvent::MouseButtonRelease) {
        pressed_ = event->type() == QEvent::MouseButtonPress ? w : nullptr;
        return true;
      }
      bool inside = pressed_ == w && w->rect().contains(mouse->position().toPoint());
      pressed_ = nullptr;
      if (inside)
        if (TControl* control = ControlOf(w)) Forward([control] { control->Click(); });
      return true;
    }
    case QEvent::FocusIn: {
      if (Mirroring() || !receiver->isWidgetType()) return false;
      auto* win = dynamic_cast<TWinControl*>(ControlOf(static_cast<QWidget*>(receiver)));
      if (!win || dynamic_cast<TForm*>(win) || win->Focused() || !win->CanFocus()) return false;
      Forward([win] { win->SetFocus(); });
      return false;
    }
    default:
      return false;
  }
}

// ---- Loops --------------------------------------------------------------------------------------

void TQtFrontEnd::WaitMessage() {
  FlushDropped();
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  FlushDropped();
}

void TQtFrontEnd::WaitModal(TForm&, int) {
  FlushDropped();
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void TQtFrontEnd::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  FlushDropped();
}

// ---- Dialogs ------------------------------------------------------------------------------------

QWidget* TQtFrontEnd::ParentWindowForDialogs() const {
  if (Screen)
    if (TForm* active = Screen->ActiveForm())
      if (QWidget* w = WidgetOf(active); w && w->isVisible()) return w;
  return QApplication::activeWindow();
}

int TQtFrontEnd::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  QMessageBox box(ParentWindowForDialogs());
  box.setWindowTitle(Q(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(Q(text));
  switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  const std::vector<int> answers = MessageBoxButtons(flags);
  std::vector<QAbstractButton*> buttons;
  for (int id : answers) buttons.push_back(box.addButton(StandardButtonOf(id)));
  size_t defaultIndex = (flags & MB_DEFMASK) >> 8;
  box.setDefaultButton(static_cast<QPushButton*>(buttons[defaultIndex < buttons.size() ? defaultIndex : 0]));
  const int safe = MessageBoxSafeAnswer(flags);
  for (size_t i = 0; i < answers.size(); ++i)
    if (answers[i] == safe) box.setEscapeButton(buttons[i]);
  // The box sizes itself to its text; a spanning spacer makes it at least as wide as its caption.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(CaptionWidth(box.windowTitle(), box), 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (size_t i = 0; i < answers.size(); ++i)
    if (buttons[i] == clicked) return answers[i];
  return safe;
}

std::optional<std::string> TQtFrontEnd::InputQuery(const std::string& caption, const std::string& prompt,
                                                   const std::string& value) {
  QInputDialog dialog(ParentWindowForDialogs());
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setWindowTitle(Q(caption));
  dialog.setLabelText(Q(prompt));
  dialog.setTextValue(Q(value));
  // Its layout fixes its size from the widgets inside: the text field is made wide enough.
  if (auto* line = dialog.findChild<QLineEdit*>()) {
    const int margins = 2 * dialog.style()->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, &dialog);
    line->setMinimumWidth(std::max(line->minimumWidth(), CaptionWidth(dialog.windowTitle(), dialog) - margins));
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return S(dialog.textValue());
}

std::optional<std::string> TQtFrontEnd::BrowseForFolder(const std::string& title, const std::string& initialFolder) {
  QFileDialog dialog(ParentWindowForDialogs(), Q(title));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // An unknown folder leaves the chooser at its own default place.
  if (!initialFolder.empty() && QFileInfo(Q(initialFolder)).isDir()) dialog.setDirectory(Q(initialFolder));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  return S(QDir::toNativeSeparators(chosen.first()));
}

bool TQtFrontEnd::OpenAddress(const std::string& address) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(Q(address)));
}

void TQtFrontEnd::SetScreenCursor(TCursor cursor) {
  if (cursor == crDefault) {
    if (cursorOverridden_) QGuiApplication::restoreOverrideCursor();
    cursorOverridden_ = false;
  } else if (cursorOverridden_) {
    QGuiApplication::changeOverrideCursor(QCursor(CursorShape(cursor)));
  } else {
    QGuiApplication::setOverrideCursor(QCursor(CursorShape(cursor)));
    cursorOverridden_ = true;
  }
}

void TQtFrontEnd::SetLanguage(const std::string& code) {
  if (code == language_) return;
  language_ = code;
  if (translator_) {
    QCoreApplication::removeTranslator(translator_.get());
    translator_.reset();
  }
  // Qt's own texts are English; other languages come from its translation catalogues, when the
  // system has them (Debian: qt6-translations-l10n). Without them the texts stay English.
  if (code.empty() || code == "en") return;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_") + Q(code), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return;
  QCoreApplication::installTranslator(translator.get());
  translator_ = std::move(translator);
}

void TQtFrontEnd::LogLine(const std::string&) {
  // The log is the program's file; the window shows the status line instead.
}

}  // namespace dravello
