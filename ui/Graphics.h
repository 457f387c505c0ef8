// Colours, cursors and character sets: their types and the named constants of the framework,
// with the conventional values, so that a text such as "clBtnFace" or "crHourGlass" can be
// turned into its number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

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

}  // namespace dravello
