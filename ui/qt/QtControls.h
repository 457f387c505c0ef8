// The widgets that stand for the framework's controls where a stock Qt widget does not behave
// like the control: a form's window that hands its close box and moves to the model, check and
// radio buttons whose state only the model changes, the panel with bevels and caption, the bevel
// line, the flat speed button with its glyph, and a list row height the model can rely on.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QPixmap>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QWidget>

#include <functional>

#include "ui/ExtCtrls.h"

namespace dravello::qtui {

// The window of a form. Every close request comes from the user or the window system (the front
// end hides windows, it never closes them): it is refused here and handed to OnUserClose, so
// the model decides. Moves, resizes and activation are reported after the fact.
//
// Placing: from show() until the window is first exposed, the window system is still putting the
// window on the screen (a window manager frames it and reports where). A move reported in that
// time is no move of the user's, who cannot reach the window yet. Placed() tells whether the
// window has been exposed since it was last shown; OnPlaced is called once, at that moment.
class TFormWindow : public QWidget {
 public:
  TFormWindow();
  std::function<void()> OnUserClose;
  std::function<void()> OnMoved;
  std::function<void()> OnResized;
  std::function<void()> OnActivated;
  std::function<void()> OnPlaced;

  bool Placed() const { return placed_; }
  // Whether the window system reported, while placing the window, a position other than the one
  // asked for (the front end says so); cleared at every show.
  bool Misplaced() const { return misplaced_; }
  void SetMisplaced() { misplaced_ = true; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool placed_ = false;
  bool misplaced_ = false;
};

// A check box whose state changes only through the model: a click asks OnUserToggle, and the
// front end then mirrors whatever the model decided.
// Like the framework's check box, the whole control takes the click, not only box and text.
class TCheckBoxWidget : public QCheckBox {
 public:
  std::function<void()> OnUserToggle;

 protected:
  void nextCheckState() override;
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// The same for a radio button. Qt's own grouping is off: the model unchecks the siblings.
class TRadioButtonWidget : public QRadioButton {
 public:
  TRadioButtonWidget();
  std::function<void()> OnUserToggle;

 protected:
  void nextCheckState() override;
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A panel: its bevels as a frame and its caption drawn inside, as plain text (a status line
// shows file names, whose "&" is no accelerator).
class TPanelWidget : public QFrame {
 public:
  void SetCaption(const QString& caption);
  void SetTextAlignment(Qt::Alignment alignment);
  // Outer and inner bevel, bevel width and border width, as the panel has them.
  void SetBevels(TPanelBevel outer, TPanelBevel inner, int bevelWidth, int borderWidth);
  const QString& Caption() const { return caption_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  Qt::Alignment alignment_ = Qt::AlignCenter;
  int inset_ = 0;
};

// A group box drawn as the forms were laid out for: an etched frame whose top line runs through
// the middle of the caption, the caption over it near the left edge. The controls placed from one
// caption line down then sit inside the frame whatever the style would do with its own title.
class TGroupBoxWidget : public QGroupBox {
 public:
  // Where the caption is drawn (for tests and layout checks).
  QRect CaptionRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A bevel: a lowered or raised line or frame in the colours of the current style.
class TBevelWidget : public QWidget {
 public:
  TBevelWidget();
  void SetShape(TBevelShape shape, TBevelStyle style);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

// A speed button: never takes the focus; flat ones show their border only under the pointer or
// while pressed. The glyph and the caption form one block placed as Layout, Margin and Spacing
// say (Margin -1: the block is centred). The caption's "&" marks its accelerator.
class TSpeedButtonWidget : public QAbstractButton {
 public:
  TSpeedButtonWidget();
  void SetGlyph(const QPixmap& glyph);
  void SetFlat(bool flat);
  void SetGlyphLayout(TButtonLayout layout, int margin, int spacing);
  bool Flat() const { return flat_; }
  const QPixmap& Glyph() const { return glyph_; }
  // Where the glyph and the caption are drawn now (for tests and layout checks).
  QRect GlyphRect() const;
  QRect TextRect() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Place(QRect* glyph, QRect* text) const;

  QPixmap glyph_;
  bool flat_ = false;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  int spacing_ = 4;
};

// A drop-down list that keeps the size the model gives it: a selected item too long for the box
// is shown cut with "…" at its end, and the opened list is as wide as its longest item (at least
// as wide as the box), but never wider than the screen's work area, and lies wholly on it; an
// item longer than that carries its whole text as its tooltip.
class TComboBoxWidget : public QComboBox {
 public:
  // The text the closed box shows now.
  QString ShownText() const;
  void showPopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect TextField() const;
};

// Gives every row of a list the same height, which the model is told (ItemHeight), so that its
// ItemAtPos finds the row under the pointer exactly as drawn.
class TRowHeightDelegate : public QStyledItemDelegate {
 public:
  TRowHeightDelegate(QObject* parent, int height) : QStyledItemDelegate(parent), height_(height) {}
  void SetHeight(int height) { height_ = height; }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  int height_;
};

// The caption without its accelerator marks: "&&" stands for "&", any other "&" is dropped.
QString StripAccelerator(const QString& caption);

}  // namespace dravello::qtui
