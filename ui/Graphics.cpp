#include "ui/Graphics.h"

#include <utility>

#include "runtime/SysUtils.h"

namespace dravello {

namespace {

struct NamedValue {
  std::string_view name;
  int32_t value;
};

constexpr NamedValue kCursors[] = {
    {"crDefault", 0},     {"crNone", -1},       {"crArrow", -2},      {"crCross", -3},     {"crIBeam", -4},
    {"crSizeNESW", -6},   {"crSizeNS", -7},     {"crSizeNWSE", -8},   {"crSizeWE", -9},    {"crUpArrow", -10},
    {"crHourGlass", -11}, {"crDrag", -12},      {"crNoDrop", -13},    {"crHSplit", -14},   {"crVSplit", -15},
    {"crMultiDrag", -16}, {"crSQLWait", -17},   {"crNo", -18},        {"crAppStart", -19}, {"crHelp", -20},
    {"crHandPoint", -21}, {"crSizeAll", -22},   {"crSize", -22},
};

constexpr int32_t Sys(int index) { return static_cast<int32_t>(0x80000000u | static_cast<uint32_t>(index)); }

constexpr NamedValue kColors[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clLtGray", 0xC0C0C0},
    {"clDkGray", 0x808080},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", Sys(0)},
    {"clBackground", Sys(1)},
    {"clActiveCaption", Sys(2)},
    {"clInactiveCaption", Sys(3)},
    {"clMenu", Sys(4)},
    {"clWindow", Sys(5)},
    {"clWindowFrame", Sys(6)},
    {"clMenuText", Sys(7)},
    {"clWindowText", Sys(8)},
    {"clCaptionText", Sys(9)},
    {"clActiveBorder", Sys(10)},
    {"clInactiveBorder", Sys(11)},
    {"clAppWorkSpace", Sys(12)},
    {"clHighlight", Sys(13)},
    {"clHighlightText", Sys(14)},
    {"clBtnFace", Sys(15)},
    {"clBtnShadow", Sys(16)},
    {"clGrayText", Sys(17)},
    {"clBtnText", Sys(18)},
    {"clInactiveCaptionText", Sys(19)},
    {"clBtnHighlight", Sys(20)},
    {"cl3DDkShadow", Sys(21)},
    {"cl3DLight", Sys(22)},
    {"clInfoText", Sys(23)},
    {"clInfoBk", Sys(24)},
};

constexpr NamedValue kCharsets[] = {
    {"ANSI_CHARSET", 0},          {"DEFAULT_CHARSET", 1},     {"SYMBOL_CHARSET", 2},       {"MAC_CHARSET", 77},
    {"SHIFTJIS_CHARSET", 128},    {"HANGEUL_CHARSET", 129},   {"JOHAB_CHARSET", 130},      {"GB2312_CHARSET", 134},
    {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161},     {"TURKISH_CHARSET", 162},    {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},      {"ARABIC_CHARSET", 178},    {"BALTIC_CHARSET", 186},     {"RUSSIAN_CHARSET", 204},
    {"THAI_CHARSET", 222},        {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
};

template <size_t N>
std::optional<int32_t> Lookup(const NamedValue (&table)[N], std::string_view name) {
  for (const NamedValue& nv : table)
    if (SameTextAscii(nv.name, name)) return nv.value;
  return std::nullopt;
}

}  // namespace

std::optional<int32_t> IdentToCursor(std::string_view name) { return Lookup(kCursors, name); }
std::optional<int32_t> IdentToColor(std::string_view name) { return Lookup(kColors, name); }
std::optional<int32_t> IdentToCharset(std::string_view name) { return Lookup(kCharsets, name); }

// ---- TFont ----------------------------------------------------------------------------------

namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  int64_t n = static_cast<int64_t>(a) * b;
  int64_t q = (n >= 0 ? n + c / 2 : n - c / 2) / c;
  return static_cast<int32_t>(q);
}

}  // namespace

const TClass& TFont::StaticClass() {
  static const TClass info("TFont", &TPersistent::StaticClass(), {
      StringProp<TFont>("Name", &TFont::Name, &TFont::SetName),
      OrdProp<TFont, int32_t>("Height", &TFont::Height, &TFont::SetHeight),
      OrdProp<TFont, int32_t>("Size", &TFont::Size, &TFont::SetSize),
      OrdProp<TFont, TColor>("Color", &TFont::Color, &TFont::SetColor),
      OrdProp<TFont, TFontCharset>("Charset", &TFont::Charset, &TFont::SetCharset),
      SetProp<TFont>("Style", &TFont::Style, &TFont::SetStyle, {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}),
  });
  return info;
}

void TFont::Changed() {
  if (OnChange) OnChange();
}

void TFont::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TFont::SetHeight(int32_t height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

int32_t TFont::Size() const { return -MulDiv(height_, 72, kPixelsPerInch); }

void TFont::SetSize(int32_t size) { SetHeight(-MulDiv(size, kPixelsPerInch, 72)); }

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFont::SetCharset(TFontCharset charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

void TFont::SetStyle(TFontStyles style) {
  style &= fsBold | fsItalic | fsUnderline | fsStrikeOut;
  if (style == style_) return;
  style_ = style;
  Changed();
}

bool TFont::SameAs(const TFont& o) const {
  return name_ == o.name_ && height_ == o.height_ && color_ == o.color_ && charset_ == o.charset_ && style_ == o.style_;
}

void TFont::Assign(const TFont& other) {
  if (&other == this || SameAs(other)) return;
  name_ = other.name_;
  height_ = other.height_;
  color_ = other.color_;
  charset_ = other.charset_;
  style_ = other.style_;
  Changed();
}

int32_t TFont::TextHeight() const {
  if (height_ >= 0) return height_;
  int32_t h = -height_;
  return h + (h + 2) / 5;
}

// ---- TBitmap --------------------------------------------------------------------------------

const TClass& TBitmap::StaticClass() {
  static const TClass info("TBitmap", &TPersistent::StaticClass(), {
      OrdProp<TBitmap, int32_t>("Width", &TBitmap::Width, nullptr),
      OrdProp<TBitmap, int32_t>("Height", &TBitmap::Height, nullptr),
  });
  return info;
}

TBitmap::TBitmap(int32_t width, int32_t height) {
  if (width < 0 || height < 0) throw ERangeError("Invalid bitmap size");
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
}

void TBitmap::Changed() {
  if (OnChange) OnChange();
}

TRGBA TBitmap::Pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) throw ERangeError("Pixel outside the bitmap");
  const uint8_t* p = &pixels_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 4];
  return TRGBA{p[0], p[1], p[2], p[3]};
}

void TBitmap::SetPixel(int32_t x, int32_t y, TRGBA c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) throw ERangeError("Pixel outside the bitmap");
  uint8_t* p = &pixels_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 4];
  p[0] = c.R;
  p[1] = c.G;
  p[2] = c.B;
  p[3] = c.A;
  Changed();
}

void TBitmap::LoadFromResourceName(std::string_view name) { Assign(LoadBitmapResource(name).get()); }

void TBitmap::Assign(const TBitmap* other) {
  if (other == this) return;
  if (!other) {
    Clear();
    return;
  }
  width_ = other->width_;
  height_ = other->height_;
  pixels_ = other->pixels_;
  resourceName_ = other->resourceName_;
  Changed();
}

void TBitmap::Clear() {
  if (Empty() && resourceName_.empty()) return;
  width_ = height_ = 0;
  pixels_.clear();
  resourceName_.clear();
  Changed();
}

}  // namespace dravello
