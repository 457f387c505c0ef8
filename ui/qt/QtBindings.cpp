// The bindings of the Qt front end: for each kind of control, the widget that shows it, how each
// of its properties is shown, and which of the widget's signals are the user's actions. All of
// them are registered in TQtBindings' constructor at the end of this file.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cassert>

#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/QtFrontEndImpl.h"

namespace dravello {

using qtui::Q;
using qtui::S;

namespace {

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

Qt::LayoutDirection DirectionOf(TAlignment alignment) {
  // taLeftJustify puts the text left of the box.
  return alignment == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight;
}

bool Sizeable(const TForm& form) { return form.BorderStyle() == bsSizeable || form.BorderStyle() == bsSizeToolWin; }

// ---- The typed frame of every binding -------------------------------------------------------------

// A binding for controls of class Control shown by widgets of class Widget. The casts below are
// safe by construction: the front end hands Apply, ApplyItems and Connect only a widget this
// binding made, for a control of a class that found this binding.
template <class Control, class Widget>
class TKindBinding : public TQtBinding {
 public:
  using ControlType = Control;
  TKindBinding(TQtFrontEnd& frontEnd, bool passive) : fe_(frontEnd), passive_(passive) {}

  QWidget* Create(TControl& control, QWidget* parent) const final {
    assert(control.InheritsFrom(Control::StaticClass()));
    Widget* w = Make(static_cast<Control&>(control));
    if (parent) w->setParent(parent);
    w->setObjectName(Q(control.Name()));
    w->setProperty(qtui::kPassive, passive_);
    w->setMouseTracking(true);
    w->installEventFilter(fe_.WidgetHook());
    return w;
  }
  void Apply(TControl& control, QWidget& widget, TProperty property) const final {
    if (!Show(static_cast<Control&>(control), static_cast<Widget&>(widget), property))
      fe_.ApplyCommon(control, widget, property);
  }
  void ApplyItems(TControl& control, QWidget& widget) const final {
    ShowItems(static_cast<Control&>(control), static_cast<Widget&>(widget));
  }
  void Connect(QWidget& widget) const final { Hook(static_cast<Widget&>(widget)); }

 protected:
  // The kind's own widget, without a parent yet.
  virtual Widget* Make(Control& control) const = 0;
  // Shows a property the kind shows its own way; false leaves it to TQtFrontEnd::ApplyCommon.
  virtual bool Show(Control&, Widget&, TProperty) const { return false; }
  virtual void ShowItems(Control&, Widget&) const {}
  virtual void Hook(Widget&) const {}

  // The control `widget` shows now, or nullptr once it is gone.
  Control* ControlOf(const QWidget* widget) const { return static_cast<Control*>(fe_.ControlOf(widget)); }
  // The control's Click, as a user action.
  void ForwardClick(const QWidget* widget) const {
    if (Control* c = ControlOf(widget)) fe_.Forward([c] { c->Click(); });
  }
  // The receiver of the widget's signal connections: lives as long as the front end.
  QObject* Context() const { return fe_.WidgetHook(); }

  TQtFrontEnd& fe_;

 private:
  bool passive_;
};

// ---- Kinds ------------------------------------------------------------------------------------------

// Any control without a binding of its own: an empty widget that takes clicks.
class TPlainBinding : public TKindBinding<TControl, QWidget> {
 public:
  explicit TPlainBinding(TQtFrontEnd& fe) : TKindBinding(fe, true) {}
  QWidget* Make(TControl&) const override { return new QWidget(); }
};

class TFormBinding : public TKindBinding<TForm, qtui::TFormWindow> {
 public:
  explicit TFormBinding(TQtFrontEnd& fe) : TKindBinding(fe, true) {}
  qtui::TFormWindow* Make(TForm&) const override { return new qtui::TFormWindow(); }

  bool Show(TForm& form, qtui::TFormWindow& window, TProperty p) const override {
    switch (p) {
      case TProperty::Left:
      case TProperty::Top:
      case TProperty::Width:
      case TProperty::Height:
      case TProperty::Align:
        fe_.ApplyFormGeometry(form, window);
        return true;
      case TProperty::Caption:
        window.setWindowTitle(Q(form.Caption()));
        return true;
      case TProperty::BorderStyle:
      case TProperty::BorderIcons:
      case TProperty::FormStyle:
        fe_.ApplyFormFrame(form, window);
        return true;
      case TProperty::Icon: {
        const std::string& name = form.Icon().empty() && Application ? Application->Icon() : form.Icon();
        QPixmap icon;
        try {
          if (!name.empty()) icon = PixmapOf(*LoadBitmapResource(name));
        } catch (const EResNotFound&) {
          // No picture of that name: the window keeps the desktop's default icon.
        }
        window.setWindowIcon(QIcon(icon));
        return true;
      }
      case TProperty::ActiveControl:
        fe_.ApplyActiveControl(form);
        return true;
      case TProperty::TabOrder:
      case TProperty::TabStop:
        return true;  // a window is in no tab order
      default:
        return false;
    }
  }

  void Hook(qtui::TFormWindow& window) const override {
    QWidget* w = &window;
    window.OnUserClose = [this, w] {
      if (TForm* form = ControlOf(w)) fe_.Forward([form] { form->Close(); });
    };
    window.OnActivated = [this, w] {
      TForm* form = ControlOf(w);
      if (!form || !form->Visible()) return;
      if (!fe_.Mirroring() && !form->Active()) fe_.Forward([form] { form->Activate(); });
      // The model's choice of focus, before the window system restores the last one it knew.
      if (ControlOf(w) == form) fe_.ApplyActiveControl(*form);
    };
    window.OnMoved = [this, &window] {
      TForm* form = ControlOf(&window);
      if (!fe_.Mirroring() && form && window.isVisible()) fe_.FormMoved(*form, window);
    };
    window.OnPlaced = [this, &window] {
      if (TForm* form = ControlOf(&window)) fe_.FormPlaced(*form, window);
    };
    window.OnResized = [this, w] {
      TForm* form = ControlOf(w);
      if (fe_.Mirroring() || !form || !w->isVisible() || !Sizeable(*form)) return;
      QSize size = w->size();
      if (size != QSize(form->ClientWidth(), form->ClientHeight()))
        fe_.Forward([form, size] {
          form->SetBounds(form->Left(), form->Top(), size.width() + form->FrameWidth(),
                          size.height() + form->FrameHeight());
        });
    };
  }
};

class TEditBinding : public TKindBinding<TEdit, QLineEdit> {
 public:
  explicit TEditBinding(TQtFrontEnd& fe) : TKindBinding(fe, false) {}
  QLineEdit* Make(TEdit&) const override { return new QLineEdit(); }

  bool Show(TEdit& edit, QLineEdit& line, TProperty p) const override {
    switch (p) {
      case TProperty::Text:
        if (line.text() != Q(edit.Text())) line.setText(Q(edit.Text()));
        return true;
      case TProperty::MaxLength:
        line.setMaxLength(edit.MaxLength() > 0 ? edit.MaxLength() : 32767);
        return true;
      case TProperty::PasswordChar:
        line.setEchoMode(edit.PasswordChar() ? QLineEdit::Password : QLineEdit::Normal);
        return true;
      case TProperty::ReadOnly:
        line.setReadOnly(edit.ReadOnly());
        return true;
      default:
        return false;
    }
  }

  void Hook(QLineEdit& line) const override {
    QWidget* w = &line;
    QObject::connect(&line, &QLineEdit::textEdited, Context(), [this, w](const QString& text) {
      if (TEdit* edit = ControlOf(w)) fe_.Forward([edit, t = S(text)] { edit->SetText(t); });
    });
  }
};

// Buttons, check boxes and radio buttons show their caption with its "&": the widget registers
// the accelerator.
class TButtonBinding : public TKindBinding<TButton, QPushButton> {
 public:
  explicit TButtonBinding(TQtFrontEnd& fe) : TKindBinding(fe, false) {}
  QPushButton* Make(TButton&) const override {
    auto* button = new QPushButton();
    button->setAutoDefault(false);
    return button;
  }
  bool Show(TButton& button, QPushButton& widget, TProperty p) const override {
    if (p != TProperty::Caption) return false;
    widget.setText(Q(button.Caption()));
    return true;
  }
  void Hook(QPushButton& button) const override {
    QWidget* w = &button;
    QObject::connect(&button, &QAbstractButton::clicked, Context(), [this, w] { ForwardClick(w); });
  }
};

class TCheckBoxBinding : public TKindBinding<TCheckBox, qtui::TCheckBoxWidget> {
 public:
  explicit TCheckBoxBinding(TQtFrontEnd& fe) : TKindBinding(fe, false) {}
  qtui::TCheckBoxWidget* Make(TCheckBox&) const override { return new qtui::TCheckBoxWidget(); }
  bool Show(TCheckBox& check, qtui::TCheckBoxWidget& box, TProperty p) const override {
    switch (p) {
      case TProperty::Caption:
        box.setText(Q(check.Caption()));
        return true;
      case TProperty::Checked:
        box.setChecked(check.Checked());
        return true;
      case TProperty::Alignment:
        box.setLayoutDirection(DirectionOf(check.Alignment()));
        return true;
      default:
        return false;
    }
  }
  void Hook(qtui::TCheckBoxWidget& box) const override {
    QWidget* w = &box;
    box.OnUserToggle = [this, w] { ForwardClick(w); };
  }
};

class TRadioButtonBinding : public TKindBinding<TRadioButton, qtui::TRadioButtonWidget> {
 public:
  explicit TRadioButtonBinding(TQtFrontEnd& fe) : TKindBinding(fe, false) {}
  qtui::TRadioButtonWidget* Make(TRadioButton&) const override { return new qtui::TRadioButtonWidget(); }
  bool Show(TRadioButton& radio, qtui::TRadioButtonWidget& box, TProperty p) const override {
    switch (p) {
      case TProperty::Caption:
        box.setText(Q(radio.Caption()));
        return true;
      case TProperty::Checked:
        box.setChecked(radio.Checked());
        fe_.ApplyFocusPolicy(radio, box);
        return true;
      case TProperty::Alignment:
        box.setLayoutDirection(DirectionOf(radio.Alignment()));
        return true;
      default:
        return false;
    }
  }
  void Hook(qtui::TRadioButtonWidget& box) const override {
    QWidget* w = &box;
    box.OnUserToggle = [this, w] { ForwardClick(w); };
  }
};

class TGroupBoxBinding : public TKindBinding<TGroupBox, qtui::TGroupBoxWidget> {
 public:
  explicit TGroupBoxBinding(TQtFrontEnd& fe) : TKindBinding(fe, true) {}
  qtui::TGroupBoxWidget* Make(TGroupBox&) const override { return new qtui::TGroupBoxWidget(); }
  bool Show(TGroupBox& group, qtui::TGroupBoxWidget& box, TProperty p) const override {
    if (p != TProperty::Caption) return false;
    box.setTitle(Q(group.Caption()));
    return true;
  }
};

// A list box, with check marks for a TCheckListBox. Rows are as high as the model counts them.
template <class List>
class TListBinding : public TKindBinding<List, QListWidget> {
  using Base = TKindBinding<List, QListWidget>;

 public:
  explicit TListBinding(TQtFrontEnd& fe) : Base(fe, false) {}
  QListWidget* Make(List& list) const override {
    auto* view = new QListWidget();
    view->setUniformItemSizes(true);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setItemDelegate(new qtui::TRowHeightDelegate(view, list.ItemHeight()));
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this->fe_.WidgetHook());
    return view;
  }

  bool Show(List& list, QListWidget& view, TProperty p) const override {
    switch (p) {
      case TProperty::ItemIndex:
        this->fe_.ApplyItemIndex(list, view);
        return true;
      case TProperty::TopIndex:
        if (view.verticalScrollBar()->value() != list.TopIndex()) view.verticalScrollBar()->setValue(list.TopIndex());
        return true;
      case TProperty::ItemHeight:
        if (auto* delegate = dynamic_cast<qtui::TRowHeightDelegate*>(view.itemDelegate())) {
          delegate->SetHeight(list.ItemHeight());
          view.doItemsLayout();
        }
        return true;
      case TProperty::Font: {
        this->fe_.ApplyCommon(list, view, p);
        // The row height drawn for this font, which the model uses to find rows.
        int height = QFontMetrics(view.font()).height() + 2;
        if constexpr (std::is_base_of_v<TCheckListBox, List>)
          height = std::max(height, view.style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, &view) + 2);
        list.SetItemHeight(height);
        return true;
      }
      default:
        return false;
    }
  }

  void ShowItems(List& list, QListWidget& view) const override {
    TStringList& items = *list.Items();
    while (view.count() > items.Count()) delete view.takeItem(view.count() - 1);
    while (view.count() < items.Count()) view.addItem(QString());
    for (int i = 0; i < items.Count(); ++i) {
      QListWidgetItem* item = view.item(i);
      if (item->text() != Q(items.Strings(i))) item->setText(Q(items.Strings(i)));
      if constexpr (std::is_base_of_v<TCheckListBox, List>) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        // Every row shows its box, unchecked ones too: a row without a check state has none.
        Qt::CheckState state = list.Checked(i) ? Qt::Checked : Qt::Unchecked;
        QVariant shown = item->data(Qt::CheckStateRole);
        if (!shown.isValid() || shown.toInt() != state) item->setCheckState(state);
      }
    }
    this->fe_.ApplyItemIndex(list, view);
  }

  void Hook(QListWidget& view) const override {
    QWidget* w = &view;
    TQtFrontEnd& fe = this->fe_;
    QObject::connect(&view, &QListWidget::currentRowChanged, this->Context(), [this, &fe, w](int row) {
      if (fe.Mirroring()) return;
      if (List* list = this->ControlOf(w)) fe.Forward([list, row] { list->SelectItem(row); });
    });
    if constexpr (std::is_base_of_v<TCheckListBox, List>) {
      QObject::connect(&view, &QListWidget::itemChanged, this->Context(), [this, &fe, w, &view](QListWidgetItem* item) {
        if (fe.Mirroring()) return;
        List* checks = this->ControlOf(w);
        if (!checks) return;
        int row = view.row(item);
        bool wanted = item->checkState() == Qt::Checked;
        if (row >= 0 && row < checks->Items()->Count() && checks->Checked(row) != wanted)
          fe.Forward([checks, row] { checks->ClickCheck(row); });
        // Whatever the model decided is what the list shows.
        if (List* now = this->ControlOf(w)) fe.ItemsChanged(*now);
      });
    }
    QObject::connect(view.verticalScrollBar(), &QScrollBar::valueChanged, this->Context(), [this, w](int value) {
      if (List* list = this->ControlOf(w)) list->SetTopIndex(value);
    });
  }
};

class TComboBoxBinding : public TKindBinding<TComboBox, qtui::TComboBoxWidget> {
 public:
  explicit TComboBoxBinding(TQtFrontEnd& fe) : TKindBinding(fe, false) {}
  qtui::TComboBoxWidget* Make(TComboBox&) const override { return new qtui::TComboBoxWidget(); }

  bool Show(TComboBox& combo, qtui::TComboBoxWidget& box, TProperty p) const override {
    switch (p) {
      case TProperty::Style: {
        bool editable = combo.Style() == csDropDown || combo.Style() == csSimple;
        if (box.isEditable() != editable) {
          box.setEditable(editable);
          ConnectEdit(box);
        }
        fe_.ApplyItemIndex(combo, box);
        return true;
      }
      case TProperty::ItemIndex:
        fe_.ApplyItemIndex(combo, box);
        return true;
      case TProperty::Text:
        if (box.isEditable() && box.currentText() != Q(combo.Text())) box.setEditText(Q(combo.Text()));
        return true;
      case TProperty::DropDownCount:
        box.setMaxVisibleItems(std::max(1, combo.DropDownCount()));
        return true;
      default:
        return false;
    }
  }

  void ShowItems(TComboBox& combo, qtui::TComboBoxWidget& box) const override {
    TStringList& items = *combo.Items();
    bool same = box.count() == items.Count();
    for (int i = 0; same && i < items.Count(); ++i) same = box.itemText(i) == Q(items.Strings(i));
    if (!same) {
      box.clear();
      for (int i = 0; i < items.Count(); ++i) box.addItem(Q(items.Strings(i)));
    }
    fe_.ApplyItemIndex(combo, box);
  }

  void Hook(qtui::TComboBoxWidget& box) const override {
    QWidget* w = &box;
    QObject::connect(&box, &QComboBox::activated, Context(), [this, w](int index) {
      if (TComboBox* combo = ControlOf(w)) fe_.Forward([combo, index] { combo->SelectItem(index); });
    });
    ConnectEdit(box);
  }

 private:
  // An editable combo box gets a new line edit each time it becomes editable.
  void ConnectEdit(QComboBox& box) const {
    static const char* const kConnected = "dravelloConnected";
    QLineEdit* line = box.lineEdit();
    if (!line || line->property(kConnected).toBool()) return;
    line->setProperty(kConnected, true);
    QWidget* w = &box;
    QObject::connect(line, &QLineEdit::textEdited, Context(), [this, w](const QString& text) {
      if (TComboBox* combo = ControlOf(w)) fe_.Forward([combo, t = S(text)] { combo->SetText(t); });
    });
  }
};

class TPanelBinding : public TKindBinding<TPanel, qtui::TPanelWidget> {
 public:
  explicit TPanelBinding(TQtFrontEnd& fe) : TKindBinding(fe, true) {}
  qtui::TPanelWidget* Make(TPanel&) const override { return new qtui::TPanelWidget(); }
  bool Show(TPanel& panel, qtui::TPanelWidget& frame, TProperty p) const override {
    switch (p) {
      case TProperty::Caption:
        frame.SetCaption(Q(panel.Caption()));
        return true;
      case TProperty::BevelOuter:
      case TProperty::BevelInner:
      case TProperty::BevelWidth:
      case TProperty::BorderWidth:
        frame.SetBevels(panel.BevelOuter(), panel.BevelInner(), panel.BevelWidth(), panel.BorderWidth());
        return true;
      case TProperty::Alignment:
        frame.SetTextAlignment(HorizontalOf(panel.Alignment()));
        return true;
      default:
        return false;
    }
  }
};

class TProgressBarBinding : public TKindBinding<TProgressBar, QProgressBar> {
 public:
  explicit TProgressBarBinding(TQtFrontEnd& fe) : TKindBinding(fe, true) {}
  QProgressBar* Make(TProgressBar&) const override {
    auto* bar = new QProgressBar();
    bar->setTextVisible(false);
    return bar;
  }
  bool Show(TProgressBar& bar, QProgressBar& progress, TProperty p) const override {
    switch (p) {
      case TProperty::Min:
      case TProperty::Max:
      case TProperty::Position:
        // Qt draws an empty range as "busy"; the framework's bar is simply empty then.
        if (bar.Max() > bar.Min())
          progress.setRange(bar.Min(), bar.Max());
        else
          progress.setRange(0, 1);
        progress.setValue(bar.Max() > bar.Min() ? bar.Position() : 0);
        return true;
      default:
        return false;
    }
  }
};

class TLabelBinding : public TKindBinding<TLabel, QLabel> {
 public:
  explicit TLabelBinding(TQtFrontEnd& fe) : TKindBinding(fe, true) {}
  QLabel* Make(TLabel&) const override {
    auto* label = new QLabel();
    label->setTextFormat(Qt::PlainText);
    return label;
  }
  bool Show(TLabel& label, QLabel& text, TProperty p) const override {
    switch (p) {
      case TProperty::Caption:
        text.setText(qtui::StripAccelerator(Q(label.Caption())));
        AutoSize(label, text);
        return true;
      case TProperty::Font:
        fe_.ApplyCommon(label, text, p);
        AutoSize(label, text);
        return true;
      case TProperty::Alignment:
      case TProperty::Layout: {
        Qt::Alignment vertical = label.Layout() == tlCenter   ? Qt::AlignVCenter
                                 : label.Layout() == tlBottom ? Qt::AlignBottom
                                                              : Qt::AlignTop;
        text.setAlignment(HorizontalOf(label.Alignment()) | vertical);
        return true;
      }
      case TProperty::WordWrap:
        text.setWordWrap(label.WordWrap());
        AutoSize(label, text);
        return true;
      case TProperty::AutoSize:
        AutoSize(label, text);
        return true;
      default:
        return false;
    }
  }

 private:
  static void AutoSize(TLabel& label, QLabel& text) {
    if (!label.AutoSize()) return;
    // The label takes the size of its text, keeping the edge its alignment names; a word-wrapped
    // one keeps its width and takes the height of its lines.
    QFontMetrics metrics(text.font());
    QString shown = text.text();
    int width = label.Width(), height;
    if (label.WordWrap()) {
      height = metrics.boundingRect(QRect(0, 0, std::max(1, width), 100000), Qt::TextWordWrap, shown).height();
    } else {
      QSize size = metrics.size(0, shown.isEmpty() ? QStringLiteral(" ") : shown);
      width = shown.isEmpty() ? 0 : size.width();
      height = size.height();
    }
    int left = label.Left();
    if (label.Alignment() == taRightJustify) left = label.Left() + label.Width() - width;
    if (label.Alignment() == taCenter) left = label.Left() + (label.Width() - width) / 2;
    if (width != label.Width() || height != label.Height() || left != label.Left())
      label.SetBounds(left, label.Top(), width, height);
  }
};

class TBevelBinding : public TKindBinding<TBevel, qtui::TBevelWidget> {
 public:
  // Decoration: the controls drawn over it get the pointer, it takes no clicks.
  explicit TBevelBinding(TQtFrontEnd& fe) : TKindBinding(fe, false) {}
  qtui::TBevelWidget* Make(TBevel&) const override { return new qtui::TBevelWidget(); }
  bool Show(TBevel& bevel, qtui::TBevelWidget& line, TProperty p) const override {
    if (p != TProperty::Shape && p != TProperty::Style) return false;
    line.SetShape(bevel.Shape(), bevel.Style());
    return true;
  }
};

class TSpeedButtonBinding : public TKindBinding<TSpeedButton, qtui::TSpeedButtonWidget> {
 public:
  explicit TSpeedButtonBinding(TQtFrontEnd& fe) : TKindBinding(fe, false) {}
  qtui::TSpeedButtonWidget* Make(TSpeedButton&) const override { return new qtui::TSpeedButtonWidget(); }
  bool Show(TSpeedButton& speed, qtui::TSpeedButtonWidget& button, TProperty p) const override {
    switch (p) {
      case TProperty::Caption:
        button.setText(Q(speed.Caption()));
        return true;
      case TProperty::Flat:
        button.SetFlat(speed.Flat());
        return true;
      case TProperty::Glyph:
        button.SetGlyph(PixmapOf(*speed.Glyph()));
        return true;
      case TProperty::Layout:
      case TProperty::Margin:
      case TProperty::Spacing:
        button.SetGlyphLayout(speed.Layout(), speed.Margin(), speed.Spacing());
        return true;
      default:
        return false;
    }
  }
  void Hook(qtui::TSpeedButtonWidget& button) const override {
    QWidget* w = &button;
    QObject::connect(&button, &QAbstractButton::clicked, Context(), [this, w] { ForwardClick(w); });
  }
};

}  // namespace

// ---- The table ------------------------------------------------------------------------------------

template <class Binding>
void TQtBindings::Register(TQtFrontEnd& frontEnd) {
  table_.Register(Binding::ControlType::StaticClass(), std::make_unique<Binding>(frontEnd));
}

TQtBindings::TQtBindings(TQtFrontEnd& frontEnd) {
  Register<TPlainBinding>(frontEnd);
  Register<TFormBinding>(frontEnd);
  Register<TEditBinding>(frontEnd);
  Register<TButtonBinding>(frontEnd);
  Register<TCheckBoxBinding>(frontEnd);
  Register<TRadioButtonBinding>(frontEnd);
  Register<TGroupBoxBinding>(frontEnd);
  Register<TListBinding<TListBox>>(frontEnd);
  Register<TListBinding<TCheckListBox>>(frontEnd);
  Register<TComboBoxBinding>(frontEnd);
  Register<TPanelBinding>(frontEnd);
  Register<TProgressBarBinding>(frontEnd);
  Register<TLabelBinding>(frontEnd);
  Register<TBevelBinding>(frontEnd);
  Register<TSpeedButtonBinding>(frontEnd);
}

TQtBindings::~TQtBindings() = default;

const TQtBinding& TQtBindings::For(const TControl& control) const { return table_.For(control); }

}  // namespace dravello
