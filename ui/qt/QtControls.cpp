#include "ui/qt/QtControls.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QAbstractItemView>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QWindow>

namespace dravello::qtui {

// ---- TFormWindow ----------------------------------------------------------------------------------

TFormWindow::TFormWindow() : QWidget(nullptr, Qt::Window) {}

void TFormWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (OnUserClose) OnUserClose();
}

void TFormWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (OnMoved) OnMoved();
}

void TFormWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (OnResized) OnResized();
}

void TFormWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && OnActivated) OnActivated();
}

void TFormWindow::showEvent(QShowEvent* event) {
  placed_ = false;
  misplaced_ = false;
  // The native window exists from here on; its exposure tells when the window is placed.
  if (QWindow* native = windowHandle()) native->installEventFilter(this);
  QWidget::showEvent(event);
}

void TFormWindow::hideEvent(QHideEvent* event) {
  placed_ = false;
  QWidget::hideEvent(event);
}

bool TFormWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Expose && !placed_ && watched == windowHandle() && isVisible() &&
      windowHandle()->isExposed()) {
    placed_ = true;
    if (OnPlaced) OnPlaced();
  }
  return QWidget::eventFilter(watched, event);
}

// ---- Check and radio buttons ----------------------------------------------------------------------

void TCheckBoxWidget::nextCheckState() {
  if (OnUserToggle) OnUserToggle();
}

TRadioButtonWidget::TRadioButtonWidget() { setAutoExclusive(false); }

void TRadioButtonWidget::nextCheckState() {
  if (OnUserToggle) OnUserToggle();
}

// ---- TPanelWidget ---------------------------------------------------------------------------------

void TPanelWidget::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void TPanelWidget::SetTextAlignment(Qt::Alignment alignment) {
  alignment_ = alignment;
  update();
}

void TPanelWidget::SetBevels(TPanelBevel outer, TPanelBevel inner, int bevelWidth, int borderWidth) {
  // The outer bevel is the frame; an inner bevel and the border only move the caption inwards.
  TPanelBevel shown = outer != bvNone ? outer : inner;
  int shape = QFrame::NoFrame;
  int shadow = QFrame::Plain;
  if (shown == bvLowered) {
    shape = QFrame::Panel;
    shadow = QFrame::Sunken;
  } else if (shown == bvRaised) {
    shape = QFrame::Panel;
    shadow = QFrame::Raised;
  }
  setFrameStyle(shape | shadow);
  setLineWidth(bevelWidth);
  inset_ = borderWidth;
  if (outer != bvNone && inner != bvNone) inset_ += bevelWidth;
  if (shown == bvSpace) inset_ += bevelWidth;
  update();
}

void TPanelWidget::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (caption_.isEmpty()) return;
  QPainter painter(this);
  QRect area = contentsRect().adjusted(inset_ + 2, inset_, -inset_ - 2, -inset_);
  painter.setClipRect(area);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(area, static_cast<int>(alignment_ | Qt::AlignVCenter) | Qt::TextSingleLine, caption_);
}

// ---- TGroupBoxWidget -----------------------------------------------------------------------------

QRect TGroupBoxWidget::CaptionRect() const {
  if (title().isEmpty()) return QRect();
  QFontMetrics metrics(font());
  QSize size = metrics.size(Qt::TextShowMnemonic | Qt::TextSingleLine, title());
  return QRect(QPoint(8, 0), size).intersected(rect());
}

void TGroupBoxWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int top = QFontMetrics(font()).height() / 2;
  const QColor dark = palette().color(QPalette::Dark), light = palette().color(QPalette::Light);
  painter.setPen(dark);
  painter.drawRect(0, top, width() - 2, height() - top - 2);
  painter.setPen(light);
  painter.drawRect(1, top + 1, width() - 2, height() - top - 2);
  QRect caption = CaptionRect();
  if (caption.isEmpty()) return;
  painter.fillRect(caption, palette().color(QPalette::Window));
  QStyleOption option;
  option.initFrom(this);
  int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
  flags |= style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
  style()->drawItemText(&painter, caption, flags, palette(), isEnabled(), title(), QPalette::WindowText);
}

// ---- TBevelWidget ---------------------------------------------------------------------------------

TBevelWidget::TBevelWidget() {
  // A bevel is decoration: the controls drawn over it get the pointer.
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TBevelWidget::SetShape(TBevelShape shape, TBevelStyle style) {
  shape_ = shape;
  style_ = style;
  update();
}

void TBevelWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QColor first = palette().color(QPalette::Dark);
  QColor second = palette().color(QPalette::Light);
  if (style_ == bsRaised) std::swap(first, second);
  const int w = width(), h = height();
  auto line = [&](const QColor& color, int x1, int y1, int x2, int y2) {
    painter.setPen(color);
    painter.drawLine(x1, y1, x2, y2);
  };
  switch (shape_) {
    case bsBox:
      line(first, 0, 0, w - 1, 0);
      line(first, 0, 0, 0, h - 1);
      line(second, 0, h - 1, w - 1, h - 1);
      line(second, w - 1, 0, w - 1, h - 1);
      break;
    case bsFrame:
      painter.setPen(first);
      painter.drawRect(0, 0, w - 2, h - 2);
      painter.setPen(second);
      painter.drawRect(1, 1, w - 2, h - 2);
      break;
    case bsTopLine:
      line(first, 0, 0, w - 1, 0);
      line(second, 0, 1, w - 1, 1);
      break;
    case bsBottomLine:
      line(first, 0, h - 2, w - 1, h - 2);
      line(second, 0, h - 1, w - 1, h - 1);
      break;
    case bsLeftLine:
      line(first, 0, 0, 0, h - 1);
      line(second, 1, 0, 1, h - 1);
      break;
    case bsRightLine:
      line(first, w - 2, 0, w - 2, h - 1);
      line(second, w - 1, 0, w - 1, h - 1);
      break;
    case bsSpacer:
      break;
  }
}

// ---- TSpeedButtonWidget ---------------------------------------------------------------------------

TSpeedButtonWidget::TSpeedButtonWidget() {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
}

void TSpeedButtonWidget::SetGlyph(const QPixmap& glyph) {
  glyph_ = glyph;
  update();
}

void TSpeedButtonWidget::SetFlat(bool flat) {
  flat_ = flat;
  update();
}

void TSpeedButtonWidget::SetGlyphLayout(TButtonLayout layout, int margin, int spacing) {
  layout_ = layout;
  margin_ = margin;
  spacing_ = spacing;
  update();
}

QSize TSpeedButtonWidget::sizeHint() const { return size(); }

void TSpeedButtonWidget::Place(QRect* glyph, QRect* text) const {
  QFontMetrics metrics(font());
  QSize ts = this->text().isEmpty() ? QSize(0, 0)
                                    : metrics.size(Qt::TextShowMnemonic | Qt::TextSingleLine, this->text());
  QSize gs = glyph_.isNull() ? QSize(0, 0) : glyph_.deviceIndependentSize().toSize();
  int spacing = (ts.isEmpty() || gs.isEmpty()) ? 0 : (spacing_ < 0 ? 4 : spacing_);
  const int w = width(), h = height();
  if (layout_ == blGlyphLeft || layout_ == blGlyphRight) {
    int total = gs.width() + spacing + ts.width();
    int start = margin_ < 0 ? (w - total) / 2 : margin_;
    int gx, tx;
    if (layout_ == blGlyphLeft) {
      gx = start;
      tx = start + gs.width() + spacing;
    } else {
      gx = w - start - gs.width();
      tx = gx - spacing - ts.width();
    }
    *glyph = QRect(QPoint(gx, (h - gs.height()) / 2), gs);
    *text = QRect(QPoint(tx, (h - ts.height()) / 2), ts);
  } else {
    int total = gs.height() + spacing + ts.height();
    int start = margin_ < 0 ? (h - total) / 2 : margin_;
    int gy, ty;
    if (layout_ == blGlyphTop) {
      gy = start;
      ty = start + gs.height() + spacing;
    } else {
      gy = h - start - gs.height();
      ty = gy - spacing - ts.height();
    }
    *glyph = QRect(QPoint((w - gs.width()) / 2, gy), gs);
    *text = QRect(QPoint((w - ts.width()) / 2, ty), ts);
  }
  if (isDown()) {
    glyph->translate(1, 1);
    text->translate(1, 1);
  }
}

QRect TSpeedButtonWidget::GlyphRect() const {
  QRect glyph, text;
  Place(&glyph, &text);
  return glyph;
}

QRect TSpeedButtonWidget::TextRect() const {
  QRect glyph, text;
  Place(&glyph, &text);
  return text;
}

void TSpeedButtonWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionToolButton option;
  option.initFrom(this);
  const bool hot = underMouse() || isDown();
  if (!flat_ || (hot && isEnabled())) {
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    if (flat_) option.state |= QStyle::State_AutoRaise | QStyle::State_MouseOver;
    style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter, this);
  }
  QRect glyphRect, textRect;
  Place(&glyphRect, &textRect);
  if (!glyph_.isNull()) {
    QPixmap shown = isEnabled() ? glyph_ : style()->generatedIconPixmap(QIcon::Disabled, glyph_, &option);
    painter.drawPixmap(glyphRect.topLeft(), shown);
  }
  if (!text().isEmpty()) {
    int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    flags |= style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this) ? Qt::TextShowMnemonic
                                                                             : Qt::TextHideMnemonic;
    painter.setClipRect(rect());
    style()->drawItemText(&painter, textRect, flags, palette(), isEnabled(), text(), QPalette::ButtonText);
  }
}

// ---- TComboBoxWidget -----------------------------------------------------------------------------

QRect TComboBoxWidget::TextField() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  // The style draws the label a pixel in from each side of the field.
  return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this).adjusted(1, 0, -1, 0);
}

QString TComboBoxWidget::ShownText() const {
  return fontMetrics().elidedText(currentText(), Qt::ElideRight, std::max(0, TextField().width()));
}

void TComboBoxWidget::paintEvent(QPaintEvent* event) {
  if (isEditable()) {
    QComboBox::paintEvent(event);
    return;
  }
  QStylePainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  option.currentText = ShownText();
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void TComboBoxWidget::showPopup() {
  QComboBox::showPopup();
  QWidget* popup = view()->window();
  if (!popup || popup == window()) return;
  QScreen* screen = this->screen();
  const QRect area = screen ? screen->availableGeometry() : QRect();
  if (area.isEmpty()) return;
  // As wide as the longest item needs, with the popup's frame and scroll bar.
  const int chrome = popup->width() - view()->viewport()->width();
  // The rows' own size hints hold the margins the style draws around the text; the popup draws
  // its rows as menu items, which keep room for a check mark besides.
  const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8 +
                      style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 8;
  int longest = 0;
  for (int i = 0; i < count(); ++i) {
    const int text = view()->fontMetrics().horizontalAdvance(itemText(i)) + padding;
    longest = std::max({longest, text, view()->sizeHintForIndex(model()->index(i, modelColumn())).width() + 4});
  }
  int wanted = std::max(width(), longest + chrome);
  wanted = std::min(wanted, area.width());
  QRect geometry = popup->geometry();
  geometry.setWidth(wanted);
  if (geometry.right() > area.right()) geometry.moveRight(area.right());
  if (geometry.left() < area.left()) geometry.moveLeft(area.left());
  if (geometry != popup->geometry()) popup->setGeometry(geometry);
  const int room = view()->viewport()->width() - 8;
  for (int i = 0; i < count(); ++i)
    setItemData(i, view()->fontMetrics().horizontalAdvance(itemText(i)) > room ? itemText(i) : QVariant(),
                Qt::ToolTipRole);
  view()->setTextElideMode(Qt::ElideRight);
}

// ---- TRowHeightDelegate ---------------------------------------------------------------------------

QSize TRowHeightDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(height_);
  return size;
}

// ---- Captions -------------------------------------------------------------------------------------

QString StripAccelerator(const QString& caption) {
  QString out;
  out.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&') {
      if (i + 1 < caption.size() && caption[i + 1] == u'&') {
        out += u'&';
        ++i;
      }
      continue;
    }
    out += caption[i];
  }
  return out;
}

}  // namespace dravello::qtui
