// Small helpers of the Win32 front end: <windows.h> with the program's settings, text between
// UTF-8 and UTF-16, and the scaling of design pixels to the monitor's DPI.
#pragma once

// The framework declares names that <windows.h> defines as macros of the same values (MB_OK, IDOK,
// ANSI_CHARSET, ...): its headers come first, so that the macros do not rewrite the declarations.
#include "ui/Forms.h"
#include "ui/Graphics.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> renames these to their W forms; the framework has methods of these names.
#undef MessageBox
#undef DrawText

#include <cstdint>
#include <string>

namespace dravello::win32 {

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring W(const std::string& text);
std::string U8(const std::wstring& text);
// The text of a window, as UTF-8.
std::string WindowText(HWND hwnd);

// The DPI the forms were designed at: design pixels equal screen pixels there.
inline constexpr int kDesignDpi = 96;

// A design length at `dpi`, rounded to the nearest pixel (MulDiv's rounding; negative lengths
// round away from zero alike).
int Scale(int designPixels, int dpi);
// An edge at design coordinate `edge`: two controls that meet at design pixel N meet at screen
// pixel Scale(N) too, since both ends are scaled as edges rather than as widths.
inline int ScaleEdge(int edge, int dpi) { return Scale(edge, dpi); }
// The inverse: a screen length at `dpi` in design pixels, rounded to the nearest.
int Unscale(int screenPixels, int dpi);

// The DPI of a window, by GetDpiForWindow where the system has it (looked up at run time, so that
// the program still starts on older systems and Wine), else the screen's.
int DpiOfWindow(HWND hwnd);
int SystemDpi();

}  // namespace dravello::win32
