// Text comparison for the user's default locale, and code-page conversion.
//
// Letters are folded with Unicode simple case mapping whatever the user's locale; the order of
// folded texts follows the user's collation (LC_COLLATE), which for the C and C.UTF-8 locales is
// code-point order. Two texts compare equal only when their folded forms are identical: where
// the collation calls different texts equal, code-point order decides. A byte that is not part of
// valid UTF-8 counts as one character of its own, placed between U+D7FF and U+E000.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravello {

// Takes the user's default locale from the environment. The program calls this once at start;
// without it the C locale's collation applies.
void InitLocale();
// Switches to the named locale's collation ("" for the environment's); false when it is not
// available, and nothing changes then. Number and time formats are not affected.
bool UseLocale(const std::string& name);

// 0 while the collation is code-point order, where comparing is about as cheap as making sort
// keys. Otherwise a number that changes whenever the collation does: sort keys made under one
// number stay valid while it holds, so holders of many texts may keep them.
uint32_t CollationGeneration();

// <0, 0, >0 as a sorts before, equal to or after b, without regard to letter case.
int AnsiCompareText(std::string_view a, std::string_view b);
// The same with regard to letter case.
int AnsiCompareStr(std::string_view a, std::string_view b);
// AnsiCompareText(a, b) == 0, faster.
bool AnsiSameText(std::string_view a, std::string_view b);

// A byte string whose plain byte comparison orders texts exactly as AnsiCompareText (ignoreCase)
// or AnsiCompareStr does. Sorting many texts by precomputed keys is much cheaper than calling the
// comparison O(n log n) times.
std::string AnsiSortKey(std::string_view s, bool ignoreCase);

// Converts OEM text (code page 437) to the platform's 8-bit code page: each byte of 128 and
// above becomes its character; bytes below 128 stay.
std::string OemToAnsi(std::string_view oem);

// Decodes one UTF-8 code point starting at s[i] (i < s.size()) and advances i. A byte that does
// not start a valid sequence (overlong forms, surrogates and values above U+10FFFF included) is
// returned as 0xDC00 + byte with one byte consumed, so every input decodes; AppendUtf8 writes
// such a stand-in back as that byte, so decoding and appending give back the input.
char32_t DecodeUtf8(std::string_view s, size_t& i);
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace dravello
