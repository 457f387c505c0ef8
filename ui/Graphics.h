// Colours, cursors and character sets: their types and the named constants of the framework,
// with the conventional values, so that a text such as "clBtnFace" or "crHourGlass" can be
// turned into its number. Also the two graphic objects the controls carry: TFont and TBitmap
// (button glyphs, loaded from the program's bitmap resources by name).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/SysUtils.h"
#include "ui/Component.h"

namespace dravello {

using TColor = int32_t;        // $00BBGGRR, or a system colour 0x80000000 | index
using TCursor = int16_t;
using TFontCharset = uint8_t;

inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                        clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                        clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                        clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
inline constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
inline constexpr TColor clBtnFace = clSystemColor | 15, clWindow = clSystemColor | 5,
                        clWindowText = clSystemColor | 8, clBtnText = clSystemColor | 18,
                        clInfoBk = clSystemColor | 24, clInfoText = clSystemColor | 23;
inline constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;

inline constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4,
                         crHourGlass = -11, crHandPoint = -21;

inline constexpr TFontCharset ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, OEM_CHARSET = 255;

// The value of a named constant (A to Z compared without case), or nothing.
std::optional<int32_t> IdentToCursor(std::string_view name);
std::optional<int32_t> IdentToColor(std::string_view name);
std::optional<int32_t> IdentToCharset(std::string_view name);

// ---- Fonts ----------------------------------------------------------------------------------

// Font styles, a set: bit n is element n of {fsBold, fsItalic, fsUnderline, fsStrikeOut}.
using TFontStyles = uint32_t;
inline constexpr TFontStyles fsBold = 1u << 0, fsItalic = 1u << 1, fsUnderline = 1u << 2, fsStrikeOut = 1u << 3;

// The logical resolution that relates a font's Size (points) to its Height (pixels).
inline constexpr int32_t kPixelsPerInch = 96;

// A font description. Height is in pixels, negative for the character height without internal
// leading (the usual form, -11 being 8 points); Size is the same in points. Every change that
// alters a value raises OnChange once.
class TFont : public TPersistent {
  DV_CLASS(TFont)

 public:
  TFont() = default;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  int32_t Height() const { return height_; }
  void SetHeight(int32_t height);
  int32_t Size() const;
  void SetSize(int32_t size);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontCharset Charset() const { return charset_; }
  void SetCharset(TFontCharset charset);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);

  // Copies every value of `other`; raises OnChange once when anything differed.
  void Assign(const TFont& other);
  bool SameAs(const TFont& other) const;
  // The height of a line of text in pixels (character height plus leading), for layout.
  int32_t TextHeight() const;

  std::function<void()> OnChange;

 private:
  void Changed();

  std::string name_ = "MS Sans Serif";
  int32_t height_ = -11;
  TColor color_ = clWindowText;
  TFontCharset charset_ = DEFAULT_CHARSET;
  TFontStyles style_ = 0;
};

// ---- Bitmaps --------------------------------------------------------------------------------

// Raised when a named resource does not exist.
class EResNotFound : public Exception {
  using Exception::Exception;
};

struct TRGBA {
  uint8_t R = 0, G = 0, B = 0, A = 0;
  bool operator==(const TRGBA&) const = default;
};

// A picture of Width x Height pixels, 8-bit RGBA, rows from top to bottom; alpha 0 is
// transparent. Empty until loaded. Every change raises OnChange.
class TBitmap : public TPersistent {
  DV_CLASS(TBitmap)

 public:
  TBitmap() = default;
  // A transparent picture of that size.
  TBitmap(int32_t width, int32_t height);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  // Width * Height * 4 bytes: R, G, B, A of each pixel, row by row from the top.
  const std::vector<uint8_t>& Pixels() const { return pixels_; }
  // Raises ERangeError outside the picture.
  TRGBA Pixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, TRGBA color);

  // The program resource the picture was last loaded from, or empty.
  const std::string& ResourceName() const { return resourceName_; }
  // Replaces the picture with the program's bitmap resource of that name (A to Z compared
  // without case); raises EResNotFound when there is none, leaving the picture as it was.
  void LoadFromResourceName(std::string_view name);
  // Copies `other`; nullptr empties the picture.
  void Assign(const TBitmap* other);
  void Clear();

  std::function<void()> OnChange;

 private:
  friend std::unique_ptr<TBitmap> LoadBitmapResource(std::string_view name);
  void Changed();

  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint8_t> pixels_;
  std::string resourceName_;
};

// A new bitmap holding the program's bitmap resource `name` (A to Z compared without case):
// the button glyphs "PLUS", "MINUS", "EDIT", "RUN", "OK", "CANCEL" and "FOLDER", each 16 x 16.
// Raises EResNotFound ("Resource NAME not found") for an unknown name.
std::unique_ptr<TBitmap> LoadBitmapResource(std::string_view name);
// The names of every bitmap resource, in a fixed order.
std::vector<std::string> BitmapResourceNames();

}  // namespace dravello
