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

using qtui::TBevelWidget;
using qtui::TCheckBoxWidget;
using qtui::TFormWindow;
using qtui::TPanelWidget;
using qtui::TRadioButtonWidget;
using qtui::TRowHeightDelegate;
using qtui::TSpeedButtonWidget;

namespace {

// Texts are UTF-8 on both sides.
QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// Window-less widgets that only take clicks: a press and a release inside make one Click.
const char* const kPassive = "dravelloPassive";
// Set on a combo box's line edit once its typing is forwarded.
const char* const kConnected = "dravelloConnected";

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

QPixmap PixmapOf(const TBitmap& bitmap) {
  if (bitmap.Empty()) return QPixmap();
  QImage image(bitmap.Pixels().data(), bitmap.Width(), bitmap.Height(), bitmap.Width() * 4, QImage::Format_RGBA8888);
  return QPixmap::fromImage(image.copy());
}

Qt::Alignment HorizontalOf(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify:
      return Qt::AlignRight;
    case taCenter:
      return Qt::AlignHCenter;
    default:
      return Qt::AlignLeft;
  }
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

bool Sizeable(const TForm& form) { return form.BorderStyle() == bsSizeable || form.BorderStyle() == bsSizeToolWin; }

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

namespace {

// Counts the user actions in progress for the lifetime of one.
class THandling {
 public:
  explicit THandling(int& depth) : depth_(depth) { ++depth_; }
  ~THandling() { --depth_; }
  THandling(const THandling&) = delete;
  THandling& operator=(const THandling&) = delete;

 private:
  int& depth_;
};

}  // namespace

// ---- Construction -------------------------------------------------------------------------------

TQtFrontEnd::TQtFrontEnd(int& argc, char** argv) {
  if (!QCoreApplication::instance()) ownedApp_ = std::make_unique<QApplication>(argc, argv);
  if (!dynamic_cast<QApplication*>(QCoreApplication::instance()))
    throw EInvalidOperation("The Qt front end needs a widget application object");
  QApplication::setQuitOnLastWindowClosed(false);
  hook_ = std::make_unique<TEventHook>(*this, false);
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
  for (auto& [control, widget] : widgets_)
    if (widget && widget->isWindow()) windows.push_back(widget);
  for (QPointer<QWidget>& window : windows) delete window.data();
  widgets_.clear();
  controls_.clear();
  if (cursorOverridden_) QGuiApplication::restoreOverrideCursor();
  keyHook_.reset();
  hook_.reset();
  ownedApp_.reset();
}

QWidget* TQtFrontEnd::WidgetOf(const TControl* control) const {
  auto it = widgets_.find(control);
  return it == widgets_.end() ? nullptr : it->second.data();
}

TControl* TQtFrontEnd::ControlOf(const QWidget* widget) const {
  auto it = controls_.find(widget);
  return it == controls_.end() ? nullptr : it->second;
}

template <class Action>
void TQtFrontEnd::Forward(Action&& action) {
  THandling handling(handling_);
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

QWidget* TQtFrontEnd::MakeWidget(TControl& control, QWidget* parent) {
  QWidget* w = nullptr;
  bool passive = false;
  if (dynamic_cast<TForm*>(&control)) {
    w = new TFormWindow();
    passive = true;
  } else if (auto* list = dynamic_cast<TListBox*>(&control)) {
    auto* view = new QListWidget(parent);
    view->setUniformItemSizes(true);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setItemDelegate(new TRowHeightDelegate(view, list->ItemHeight()));
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(hook_.get());
    w = view;
  } else if (dynamic_cast<TComboBox*>(&control)) {
    w = new QComboBox(parent);
  } else if (dynamic_cast<TEdit*>(&control)) {
    w = new QLineEdit(parent);
  } else if (dynamic_cast<TButton*>(&control)) {
    auto* button = new QPushButton(parent);
    button->setAutoDefault(false);
    w = button;
  } else if (dynamic_cast<TCheckBox*>(&control)) {
    w = new TCheckBoxWidget();
  } else if (dynamic_cast<TRadioButton*>(&control)) {
    w = new TRadioButtonWidget();
  } else if (dynamic_cast<TGroupBox*>(&control)) {
    w = new qtui::TGroupBoxWidget();
    passive = true;
  } else if (dynamic_cast<TPanel*>(&control)) {
    w = new TPanelWidget();
    passive = true;
  } else if (dynamic_cast<TProgressBar*>(&control)) {
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false);
    w = bar;
    passive = true;
  } else if (dynamic_cast<TLabel*>(&control)) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    w = label;
    passive = true;
  } else if (dynamic_cast<TBevel*>(&control)) {
    w = new TBevelWidget();
  } else if (dynamic_cast<TSpeedButton*>(&control)) {
    w = new TSpeedButtonWidget();
  } else {
    w = new QWidget(parent);
    passive = true;
  }
  if (parent && w->parentWidget() != parent) w->setParent(parent);
  w->setObjectName(Q(control.Name()));
  w->setProperty(kPassive, passive);
  w->setMouseTracking(true);
  w->installEventFilter(hook_.get());
  return w;
}

void TQtFrontEnd::Bind(TControl& control, QWidget* widget) {
  widgets_[&control] = widget;
  controls_[widget] = &control;
  auto forget = [this](QObject* object) { controls_.erase(object); };
  QObject::connect(widget, &QObject::destroyed, hook_.get(), forget);
  if (auto* view = dynamic_cast<QAbstractItemView*>(widget)) {
    controls_[view->viewport()] = &control;
    QObject::connect(view->viewport(), &QObject::destroyed, hook_.get(), forget);
  }
}

void TQtFrontEnd::Unbind(TControl& control) {
  auto it = widgets_.find(&control);
  if (it == widgets_.end()) return;
  if (QWidget* w = it->second.data()) {
    controls_.erase(w);
    if (auto* view = dynamic_cast<QAbstractItemView*>(w)) controls_.erase(view->viewport());
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
  THandling mirroring(mirroring_);
  QWidget* w = MakeWidget(control, parentWidget);
  Bind(control, w);
  ApplyAll(control, w);
  ConnectUserActions(w);
  if (auto* win = dynamic_cast<TWinControl*>(&control)) {
    for (int i = 0; i < win->ControlCount(); ++i) Build(*win->Controls(i), w);
    Restack(*win);
  }
  return w;
}

void TQtFrontEnd::Restack(TWinControl& parent) {
  // As the framework draws them: bevels at the bottom, then the other window-less controls,
  // then the windowed ones, each kind in the order it was placed.
  std::vector<QWidget*> order[3];
  for (int i = 0; i < parent.ControlCount(); ++i) {
    TControl* child = parent.Controls(i);
    QWidget* w = WidgetOf(child);
    if (!w) continue;
    int layer = dynamic_cast<TBevel*>(child) ? 0 : dynamic_cast<TGraphicControl*>(child) ? 1 : 2;
    order[layer].push_back(w);
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

void TQtFrontEnd::ApplyAll(TControl& control, QWidget* w) {
  static const char* const kProperties[] = {
      "Font",     "Caption", "Enabled",     "Cursor",     "Text",      "MaxLength",   "PasswordChar",
      "ReadOnly", "Checked", "Alignment",   "Layout",     "WordWrap",  "Style",       "DropDownCount",
      "Max",      "Flat",    "Glyph",       "BevelOuter", "Shape",     "BorderStyle", "Icon",
      "TabStop",  "Left",    "ItemHeight"};
  for (const char* property : kProperties) Apply(control, w, property);
  ApplyItems(control, w);
  ApplyHints(control);
  if (!dynamic_cast<TForm*>(&control)) w->setVisible(control.Visible());
}

void TQtFrontEnd::Apply(TControl& control, QWidget* w, std::string_view p) {
  THandling mirroring(mirroring_);
  if (p == "Left" || p == "Top" || p == "Width" || p == "Height" || p == "Align") {
    ApplyGeometry(control, w);
    return;
  }
  if (p == "Caption") {
    ApplyCaption(control, w);
    AutoSizeLabel(control, w);
    return;
  }
  if (p == "Enabled") {
    w->setEnabled(control.Enabled());
    return;
  }
  if (p == "Hint" || p == "ShowHint") {
    ApplyHints(control);
    return;
  }
  if (p == "Cursor") {
    if (control.Cursor() == crDefault)
      w->unsetCursor();
    else
      w->setCursor(CursorShape(control.Cursor()));
    return;
  }
  if (p == "Font") {
    ApplyFont(control, w);
    AutoSizeLabel(control, w);
    return;
  }
  if (p == "TabOrder" || p == "TabStop") {
    ApplyFocusPolicy(control, w);
    if (TForm* form = GetParentForm(&control); form && p == "TabOrder") ApplyTabOrder(*form);
    return;
  }

  if (auto* form = dynamic_cast<TForm*>(&control)) {
    if (p == "BorderStyle" || p == "BorderIcons" || p == "FormStyle") {
      ApplyFormFrame(*form, w);
    } else if (p == "Icon") {
      const std::string& name = form->Icon().empty() && Application ? Application->Icon() : form->Icon();
      QPixmap icon;
      try {
        if (!name.empty()) icon = PixmapOf(*LoadBitmapResource(name));
      } catch (const EResNotFound&) {
        // No picture of that name: the window keeps the desktop's default icon.
      }
      w->setWindowIcon(QIcon(icon));
    } else if (p == "ActiveControl") {
      ApplyActiveControl(*form);
    }
    return;
  }
  if (auto* edit = dynamic_cast<TEdit*>(&control)) {
    auto* line = static_cast<QLineEdit*>(w);
    if (p == "Text") {
      if (line->text() != Q(edit->Text())) line->setText(Q(edit->Text()));
    } else if (p == "MaxLength") {
      line->setMaxLength(edit->MaxLength() > 0 ? edit->MaxLength() : 32767);
    } else if (p == "PasswordChar") {
      line->setEchoMode(edit->PasswordChar() ? QLineEdit::Password : QLineEdit::Normal);
    } else if (p == "ReadOnly") {
      line->setReadOnly(edit->ReadOnly());
    }
    return;
  }
  if (auto* check = dynamic_cast<TCheckBox*>(&control)) {
    auto* box = static_cast<QAbstractButton*>(w);
    if (p == "Checked") box->setChecked(check->Checked());
    if (p == "Alignment")
      box->setLayoutDirection(check->Alignment() == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
    return;
  }
  if (auto* radio = dynamic_cast<TRadioButton*>(&control)) {
    auto* box = static_cast<QAbstractButton*>(w);
    if (p == "Checked") {
      box->setChecked(radio->Checked());
      ApplyFocusPolicy(control, w);
    }
    if (p == "Alignment")
      box->setLayoutDirection(radio->Alignment() == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
    return;
  }
  if (auto* combo = dynamic_cast<TComboBox*>(&control)) {
    auto* box = static_cast<QComboBox*>(w);
    if (p == "Style") {
      bool editable = combo->Style() == csDropDown || combo->Style() == csSimple;
      if (box->isEditable() != editable) {
        box->setEditable(editable);
        ConnectComboEdit(w);
      }
      ApplyItemIndex(control, w);
    } else if (p == "ItemIndex") {
      ApplyItemIndex(control, w);
    } else if (p == "Text") {
      if (box->isEditable() && box->currentText() != Q(combo->Text())) box->setEditText(Q(combo->Text()));
    } else if (p == "DropDownCount") {
      box->setMaxVisibleItems(std::max(1, combo->DropDownCount()));
    }
    return;
  }
  if (auto* list = dynamic_cast<TListBox*>(&control)) {
    auto* view = static_cast<QListWidget*>(w);
    if (p == "ItemIndex") {
      ApplyItemIndex(control, w);
    } else if (p == "TopIndex") {
      if (view->verticalScrollBar()->value() != list->TopIndex()) view->verticalScrollBar()->setValue(list->TopIndex());
    } else if (p == "ItemHeight") {
      if (auto* delegate = dynamic_cast<TRowHeightDelegate*>(view->itemDelegate())) {
        delegate->SetHeight(list->ItemHeight());
        view->doItemsLayout();
      }
    }
    return;
  }
  if (auto* bar = dynamic_cast<TProgressBar*>(&control)) {
    if (p == "Min" || p == "Max" || p == "Position") {
      auto* progress = static_cast<QProgressBar*>(w);
      // Qt draws an empty range as "busy"; the framework's bar is simply empty then.
      if (bar->Max() > bar->Min())
        progress->setRange(bar->Min(), bar->Max());
      else
        progress->setRange(0, 1);
      progress->setValue(bar->Max() > bar->Min() ? bar->Position() : 0);
    }
    return;
  }
  if (auto* panel = dynamic_cast<TPanel*>(&control)) {
    auto* frame = static_cast<TPanelWidget*>(w);
    if (p == "BevelOuter" || p == "BevelInner" || p == "BevelWidth" || p == "BorderWidth")
      frame->SetBevels(panel->BevelOuter(), panel->BevelInner(), panel->BevelWidth(), panel->BorderWidth());
    if (p == "Alignment") frame->SetTextAlignment(HorizontalOf(panel->Alignment()));
    return;
  }
  if (auto* label = dynamic_cast<TLabel*>(&control)) {
    auto* text = static_cast<QLabel*>(w);
    if (p == "Alignment" || p == "Layout") {
      Qt::Alignment vertical = label->Layout() == tlCenter   ? Qt::AlignVCenter
                               : label->Layout() == tlBottom ? Qt::AlignBottom
                                                             : Qt::AlignTop;
      text->setAlignment(HorizontalOf(label->Alignment()) | vertical);
    } else if (p == "WordWrap") {
      text->setWordWrap(label->WordWrap());
      AutoSizeLabel(control, w);
    } else if (p == "AutoSize") {
      AutoSizeLabel(control, w);
    }
    return;
  }
  if (auto* bevel = dynamic_cast<TBevel*>(&control)) {
    if (p == "Shape" || p == "Style") static_cast<TBevelWidget*>(w)->SetShape(bevel->Shape(), bevel->Style());
    return;
  }
  if (auto* speed = dynamic_cast<TSpeedButton*>(&control)) {
    auto* button = static_cast<TSpeedButtonWidget*>(w);
    if (p == "Flat") button->SetFlat(speed->Flat());
    if (p == "Glyph") button->SetGlyph(PixmapOf(*speed->Glyph()));
    if (p == "Layout" || p == "Margin" || p == "Spacing" || p == "Flat")
      button->SetGlyphLayout(speed->Layout(), speed->Margin(), speed->Spacing());
    return;
  }
}

void TQtFrontEnd::ApplyGeometry(TControl& control, QWidget* w) {
  THandling mirroring(mirroring_);
  auto* form = dynamic_cast<TForm*>(&control);
  if (!form) {
    w->setGeometry(control.Left(), control.Top(), std::max(0, control.Width()), std::max(0, control.Height()));
    return;
  }
  // The model's Left/Top are the outer corner, its client size is the window's own size.
  if (w->frameGeometry().topLeft() != QPoint(form->Left(), form->Top())) w->move(form->Left(), form->Top());
  QSize client(std::max(0, form->ClientWidth()), std::max(0, form->ClientHeight()));
  if (Sizeable(*form)) {
    w->setMinimumSize(0, 0);
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    w->resize(client);
  } else {
    w->setFixedSize(client);
  }
}

void TQtFrontEnd::ApplyFormFrame(TForm& form, QWidget* window) {
  THandling mirroring(mirroring_);
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
  if (window->windowFlags() != flags) {
    bool visible = window->isVisible();
    window->setWindowFlags(flags);
    if (visible) window->show();
  }
  ApplyGeometry(form, window);
}

void TQtFrontEnd::ApplyCaption(TControl& control, QWidget* w) {
  const QString caption = Q(control.Caption());
  if (dynamic_cast<TForm*>(&control))
    w->setWindowTitle(caption);
  else if (auto* group = dynamic_cast<QGroupBox*>(w))
    group->setTitle(caption);
  else if (auto* panel = dynamic_cast<TPanelWidget*>(w))
    panel->SetCaption(caption);
  else if (auto* label = dynamic_cast<QLabel*>(w))
    label->setText(qtui::StripAccelerator(caption));
  else if (auto* button = dynamic_cast<QAbstractButton*>(w))
    button->setText(caption);  // keeps the "&": the button registers its accelerator
}

void TQtFrontEnd::ApplyFont(TControl& control, QWidget* w) {
  const TFont& font = *control.Font();
  w->setFont(FontOf(font));
  if (!(font.Color() & clSystemColor)) {
    QColor color(font.Color() & 0xFF, (font.Color() >> 8) & 0xFF, (font.Color() >> 16) & 0xFF);
    QPalette palette = w->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      palette.setColor(role, color);
    w->setPalette(palette);
  }
  if (auto* list = dynamic_cast<TListBox*>(&control)) {
    // The row height drawn for this font, which the model uses to find rows.
    int height = QFontMetrics(w->font()).height() + 2;
    if (dynamic_cast<TCheckListBox*>(&control))
      height = std::max(height, w->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, w) + 2);
    list->SetItemHeight(height);
  }
}

void TQtFrontEnd::ApplyItems(TControl& control, QWidget* w) {
  THandling mirroring(mirroring_);
  if (auto* combo = dynamic_cast<TComboBox*>(&control)) {
    auto* box = static_cast<QComboBox*>(w);
    TStringList& items = *combo->Items();
    bool same = box->count() == items.Count();
    for (int i = 0; same && i < items.Count(); ++i) same = box->itemText(i) == Q(items.Strings(i));
    if (!same) {
      box->clear();
      for (int i = 0; i < items.Count(); ++i) box->addItem(Q(items.Strings(i)));
    }
    ApplyItemIndex(control, w);
    return;
  }
  if (auto* list = dynamic_cast<TListBox*>(&control)) {
    auto* view = static_cast<QListWidget*>(w);
    auto* checks = dynamic_cast<TCheckListBox*>(&control);
    TStringList& items = *list->Items();
    while (view->count() > items.Count()) delete view->takeItem(view->count() - 1);
    while (view->count() < items.Count()) view->addItem(QString());
    for (int i = 0; i < items.Count(); ++i) {
      QListWidgetItem* item = view->item(i);
      if (item->text() != Q(items.Strings(i))) item->setText(Q(items.Strings(i)));
      if (checks) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        // Every row shows its box, unchecked ones too: a row without a check state has none.
        Qt::CheckState state = checks->Checked(i) ? Qt::Checked : Qt::Unchecked;
        QVariant shown = item->data(Qt::CheckStateRole);
        if (!shown.isValid() || shown.toInt() != state) item->setCheckState(state);
      }
    }
    ApplyItemIndex(control, w);
  }
}

void TQtFrontEnd::ApplyItemIndex(TControl& control, QWidget* w) {
  THandling mirroring(mirroring_);
  auto* list = dynamic_cast<TCustomListControl*>(&control);
  if (!list) return;
  if (auto* box = dynamic_cast<QComboBox*>(w)) {
    if (box->currentIndex() != list->ItemIndex()) box->setCurrentIndex(list->ItemIndex());
    if (auto* combo = dynamic_cast<TComboBox*>(&control); combo && box->isEditable() && box->currentText() != Q(combo->Text()))
      box->setEditText(Q(combo->Text()));
  } else if (auto* view = dynamic_cast<QListWidget*>(w)) {
    if (view->currentRow() != list->ItemIndex()) view->setCurrentRow(list->ItemIndex());
    if (list->ItemIndex() < 0) view->clearSelection();
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

void TQtFrontEnd::ApplyFocusPolicy(TControl& control, QWidget* w) {
  if (dynamic_cast<TForm*>(&control)) return;
  auto* win = dynamic_cast<TWinControl*>(&control);
  if (!win || w->property(kPassive).toBool())
    w->setFocusPolicy(Qt::NoFocus);
  else
    w->setFocusPolicy(win->TabStop() ? Qt::StrongFocus : Qt::ClickFocus);
}

void TQtFrontEnd::ApplyActiveControl(TForm& form) {
  QWidget* window = WidgetOf(&form);
  TWinControl* active = form.ActiveControl();
  QWidget* target = active ? WidgetOf(active) : nullptr;
  if (!window || !target || !window->isVisible()) return;
  THandling mirroring(mirroring_);
  if (QApplication::focusWidget() != target) target->setFocus(Qt::OtherFocusReason);
}

void TQtFrontEnd::AutoSizeLabel(TControl& control, QWidget* w) {
  auto* label = dynamic_cast<TLabel*>(&control);
  auto* text = dynamic_cast<QLabel*>(w);
  if (!label || !text || !label->AutoSize()) return;
  // The label takes the size of its text, keeping the edge its alignment names; a word-wrapped
  // one keeps its width and takes the height of its lines.
  QFontMetrics metrics(text->font());
  QString shown = text->text();
  int width = label->Width(), height;
  if (label->WordWrap()) {
    height = metrics.boundingRect(QRect(0, 0, std::max(1, width), 100000), Qt::TextWordWrap, shown).height();
  } else {
    QSize size = metrics.size(0, shown.isEmpty() ? QStringLiteral(" ") : shown);
    width = shown.isEmpty() ? 0 : size.width();
    height = size.height();
  }
  int left = label->Left();
  if (label->Alignment() == taRightJustify) left = label->Left() + label->Width() - width;
  if (label->Alignment() == taCenter) left = label->Left() + (label->Width() - width) / 2;
  if (width != label->Width() || height != label->Height() || left != label->Left())
    label->SetBounds(left, label->Top(), width, height);
}

// ---- Notifications ------------------------------------------------------------------------------

void TQtFrontEnd::PropertyChanged(TControl& control, std::string_view property) {
  if (property == "Parent") {
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
  if (QWidget* w = WidgetOf(&control)) Apply(control, w, property);
}

void TQtFrontEnd::ItemsChanged(TControl& control) {
  if (QWidget* w = WidgetOf(&control)) ApplyItems(control, w);
}

void TQtFrontEnd::Shown(TControl& control) {
  auto* form = dynamic_cast<TForm*>(&control);
  if (!form) {
    if (QWidget* w = WidgetOf(&control)) w->show();
    return;
  }
  QWidget* window = WidgetOf(form);
  if (!window) {
    window = Build(*form, nullptr);
    ApplyTabOrder(*form);
  }
  THandling mirroring(mirroring_);
  ApplyFormFrame(*form, window);
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
  THandling mirroring(mirroring_);
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

void TQtFrontEnd::ConnectComboEdit(QWidget* w) {
  // An editable combo box gets a new line edit each time it becomes editable.
  QLineEdit* line = static_cast<QComboBox*>(w)->lineEdit();
  if (!line || line->property(kConnected).toBool()) return;
  line->setProperty(kConnected, true);
  QObject::connect(line, &QLineEdit::textEdited, hook_.get(), [this, w](const QString& text) {
    if (auto* combo = dynamic_cast<TComboBox*>(ControlOf(w))) Forward([combo, t = S(text)] { combo->SetText(t); });
  });
}

void TQtFrontEnd::ConnectUserActions(QWidget* w) {
  QObject* context = hook_.get();
  auto click = [this, w] {
    if (TControl* c = ControlOf(w)) Forward([c] { c->Click(); });
  };

  if (auto* window = dynamic_cast<TFormWindow*>(w)) {
    window->OnUserClose = [this, w] {
      if (auto* form = dynamic_cast<TForm*>(ControlOf(w))) Forward([form] { form->Close(); });
    };
    window->OnActivated = [this, w] {
      auto* form = dynamic_cast<TForm*>(ControlOf(w));
      if (!form || !form->Visible()) return;
      if (!Mirroring() && !form->Active()) Forward([form] { form->Activate(); });
      // The model's choice of focus, before the window system restores the last one it knew.
      if (ControlOf(w) == form) ApplyActiveControl(*form);
    };
    window->OnMoved = [this, w] {
      auto* form = dynamic_cast<TForm*>(ControlOf(w));
      if (Mirroring() || !form || !w->isVisible()) return;
      QPoint at = w->frameGeometry().topLeft();
      if (at != QPoint(form->Left(), form->Top()))
        Forward([form, at] { form->SetBounds(at.x(), at.y(), form->Width(), form->Height()); });
    };
    window->OnResized = [this, w] {
      auto* form = dynamic_cast<TForm*>(ControlOf(w));
      if (Mirroring() || !form || !w->isVisible() || !Sizeable(*form)) return;
      QSize size = w->size();
      if (size != QSize(form->ClientWidth(), form->ClientHeight()))
        Forward([form, size] {
          form->SetBounds(form->Left(), form->Top(), size.width() + form->FrameWidth(),
                          size.height() + form->FrameHeight());
        });
    };
    return;
  }
  if (auto* check = dynamic_cast<TCheckBoxWidget*>(w)) {
    check->OnUserToggle = click;
    return;
  }
  if (auto* radio = dynamic_cast<TRadioButtonWidget*>(w)) {
    radio->OnUserToggle = click;
    return;
  }
  if (auto* button = dynamic_cast<QAbstractButton*>(w)) {
    QObject::connect(button, &QAbstractButton::clicked, context, click);
    return;
  }
  if (auto* line = dynamic_cast<QLineEdit*>(w)) {
    QObject::connect(line, &QLineEdit::textEdited, context, [this, w](const QString& text) {
      if (auto* edit = dynamic_cast<TEdit*>(ControlOf(w))) Forward([edit, t = S(text)] { edit->SetText(t); });
    });
    return;
  }
  if (auto* box = dynamic_cast<QComboBox*>(w)) {
    QObject::connect(box, &QComboBox::activated, context, [this, w](int index) {
      if (auto* combo = dynamic_cast<TComboBox*>(ControlOf(w))) Forward([combo, index] { combo->SelectItem(index); });
    });
    ConnectComboEdit(w);
    return;
  }
  if (auto* view = dynamic_cast<QListWidget*>(w)) {
    QObject::connect(view, &QListWidget::currentRowChanged, context, [this, w](int row) {
      if (Mirroring()) return;
      if (auto* list = dynamic_cast<TCustomListControl*>(ControlOf(w))) Forward([list, row] { list->SelectItem(row); });
    });
    QObject::connect(view, &QListWidget::itemChanged, context, [this, w, view](QListWidgetItem* item) {
      if (Mirroring()) return;
      auto* checks = dynamic_cast<TCheckListBox*>(ControlOf(w));
      if (!checks) return;
      int row = view->row(item);
      bool wanted = item->checkState() == Qt::Checked;
      if (row >= 0 && row < checks->Items()->Count() && checks->Checked(row) != wanted)
        Forward([checks, row] { checks->ClickCheck(row); });
      // Whatever the model decided is what the list shows.
      if (TControl* c = ControlOf(w)) ApplyItems(*c, w);
    });
    QObject::connect(view->verticalScrollBar(), &QScrollBar::valueChanged, context, [this, w](int value) {
      if (auto* list = dynamic_cast<TListBox*>(ControlOf(w))) list->SetTopIndex(value);
    });
    return;
  }
}

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

void TQtFrontEnd::LogLine(const std::string&) {
  // The log is the program's file; the window shows the status line instead.
}

}  // namespace dravello
