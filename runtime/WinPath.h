// Text conversion at the Win32 boundary. The program's texts are UTF-8; Win32 is called with its
// wide-character (UTF-16) functions only, so file names never pass through the ANSI code page and
// round-trip whether or not the process's ANSI code page is UTF-8.
//
// Declared without any Windows header, so that tests can check the conversions directly.
#pragma once

#include <string>
#include <string_view>

namespace dravello {

// UTF-8 to UTF-16. Bytes that are not valid UTF-8 become U+FFFD (such a text names no file that
// Win32 could have reported, so nothing is lost).
std::wstring Utf8ToWide(std::string_view text);

// UTF-16 to UTF-8. False when `text` holds an unpaired surrogate, which UTF-8 cannot carry: a
// file name of that kind cannot be named by the program and must be skipped, never taken under a
// replacement name. *out then holds the text with U+FFFD in place of each unpaired surrogate,
// good for messages only.
bool WideToUtf8(std::wstring_view text, std::string* out);

// The form of `path` to hand to Win32 file functions: "/" becomes "\", and a path too long for
// the classic 260-character limit is made absolute and given the "\\?\" prefix (a UNC path
// "\\server\share\..." becomes "\\?\UNC\server\share\..."), which lifts the limit to about
// 32,767 characters. Shorter paths keep their ordinary form, so that Win32's usual handling of
// names applies to them. A path that already carries "\\?\" or "\\.\" is left alone.
std::wstring Win32PathOf(const std::string& path);

// The prefix-free form of a path that Win32 handed back ("\\?\C:\x" gives "C:\x", "\\?\UNC\s\h"
// gives "\\s\h").
std::string PathFromWin32(std::wstring_view path);

// Whether this process runs under Wine rather than Windows. For tests and diagnostics that must
// tell Wine's known gaps (it does not keep a cleared archive attribute) from faults.
bool RunningUnderWine();

}  // namespace dravello
