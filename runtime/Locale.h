// Text comparison for the user's default locale, and code-page conversion.
//
// Letters are folded with Unicode simple case mapping whatever the user's locale; the order of
// folded texts follows the user's collation (LC_COLLATE), which for the C and C.UTF-8 locales is
// code-point order. Bytes that are not valid UTF-8 compare as distinct characters after every
// valid one of the same position's value.
#pragma once

#include <string>
#include <string_view>

namespace dravello {

// Takes the user's default locale from the environment. The program calls this once at start;
// without it the C locale's collation applies.
void InitLocale();

// <0, 0, >0 as a sorts before, equal to or after b, without regard to letter case.
int AnsiCompareText(std::string_view a, std::string_view b);
// The same with regard to letter case.
int AnsiCompareStr(std::string_view a, std::string_view b);
inline bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }

// A byte string whose plain byte comparison orders texts exactly as AnsiCompareText (ignoreCase)
// or AnsiCompareStr does. Sorting many texts by precomputed keys is much cheaper than calling the
// comparison O(n log n) times.
std::string AnsiSortKey(std::string_view s, bool ignoreCase);

// Converts OEM text (code page 437) to the platform's 8-bit code page: each byte of 128 and
// above becomes its character; bytes below 128 stay.
std::string OemToAnsi(std::string_view oem);

// Decodes one UTF-8 code point starting at s[i] and advances i. A byte that does not start a
// valid sequence is returned as 0xDC00 + byte (one byte consumed), so every input decodes.
char32_t DecodeUtf8(std::string_view s, size_t& i);
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace dravello
