#include "runtime/Locale.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <locale.h>
#include <vector>

#ifdef _WIN32
#include "runtime/WinApi.h"
#endif

namespace dravello {

namespace {

#ifdef _WIN32
// Windows folds with the system's invariant case table, the one NTFS names follow, so that "Ä"
// and "ä" are the same letter whatever the user's language. The table of the whole Basic
// Multilingual Plane is made once; the few letters beyond it are asked for one by one.
const std::vector<wchar_t>& LowerCaseTable() {
  static const std::vector<wchar_t> table = [] {
    std::vector<wchar_t> upper(0x10000), lower(0x10000);
    for (size_t c = 0; c < upper.size(); ++c) upper[c] = static_cast<wchar_t>(c);
    // Surrogates are not letters; the table keeps them as they are.
    for (size_t c = 0xD800; c < 0xE000; ++c) upper[c] = L'?';
    const int n = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, upper.data(), static_cast<int>(upper.size()),
                                  lower.data(), static_cast<int>(lower.size()), nullptr, nullptr, 0);
    for (size_t c = 0; c < lower.size(); ++c)
      if (n != static_cast<int>(lower.size()) || (c >= 0xD800 && c < 0xE000)) lower[c] = static_cast<wchar_t>(c);
    return lower;
  }();
  return table;
}

char32_t SystemLower(char32_t cp) {
  if (cp < 0x10000) return static_cast<char32_t>(static_cast<uint16_t>(LowerCaseTable()[cp]));
  const char32_t v = cp - 0x10000;
  wchar_t pair[2] = {static_cast<wchar_t>(0xD800 + (v >> 10)), static_cast<wchar_t>(0xDC00 + (v & 0x3FF))};
  wchar_t out[2];
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, pair, 2, out, 2, nullptr, nullptr, 0) != 2) return cp;
  return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) + (static_cast<char32_t>(out[1]) - 0xDC00);
}
#else
// Case folding uses C.UTF-8's full Unicode tables even when the user's locale is plain "C", so
// that "Ä" and "ä" are the same letter on every machine; ordering follows the user's collation.
locale_t FoldingLocale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    if (!l) l = duplocale(LC_GLOBAL_LOCALE);  // never a null handle
    return l;
  }();
  return loc;
}

char32_t SystemLower(char32_t cp) { return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), FoldingLocale())); }
#endif

bool g_codePointOrder = true;  // LC_COLLATE is C, POSIX or C.UTF-8
uint32_t g_generation = 0;     // counts collation changes; see CollationGeneration

char32_t Fold(char32_t cp) {
  if (cp < 128) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  if (cp >= 0xDC80 && cp <= 0xDCFF) return cp;  // an undecodable byte
  return SystemLower(cp);
}

// Appends the order-preserving byte form of one code point (or undecodable-byte stand-in): UTF-8,
// whose byte order is code-point order, with the stand-ins 0xDC80..0xDCFF written as the
// three-byte form of their value so that they keep their place between U+D7FF and U+E000.
void AppendKeyCodePoint(std::string& key, char32_t cp) {
  if (cp >= 0xDC80 && cp <= 0xDCFF) {
    key.push_back(static_cast<char>(0xED));
    key.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    key.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    AppendUtf8(key, cp);
  }
}

std::wstring ToWide(std::string_view s, bool ignoreCase) {
  std::wstring w;
  w.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp = DecodeUtf8(s, i);
    if (ignoreCase) cp = Fold(cp);
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
      // UTF-16, where wchar_t has 16 bits (Windows).
      w.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
      w.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      w.push_back(static_cast<wchar_t>(cp));
    }
  }
  return w;
}

// Whether the texts are the same after folding (or the same code points, without folding). Two
// texts compare equal exactly then, in every collation.
bool FoldedEqual(std::string_view a, std::string_view b, bool ignoreCase) {
  if (!ignoreCase) return a == b;  // decoding is one-to-one, so equal code points are equal bytes
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
    if (x < 128 && y < 128) {
      if (x >= 'A' && x <= 'Z') x += 32;
      if (y >= 'A' && y <= 'Z') y += 32;
      if (x != y) return false;
      ++i, ++j;
      continue;
    }
    if (Fold(DecodeUtf8(a, i)) != Fold(DecodeUtf8(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

int Compare(std::string_view a, std::string_view b, bool ignoreCase) {
  if (g_codePointOrder) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
      // ASCII fast path: most names are plain ASCII.
      unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
      if (x < 128 && y < 128) {
        if (ignoreCase) {
          if (x >= 'A' && x <= 'Z') x += 32;
          if (y >= 'A' && y <= 'Z') y += 32;
        }
        if (x != y) return x < y ? -1 : 1;
        ++i, ++j;
        continue;
      }
      char32_t p = DecodeUtf8(a, i), q = DecodeUtf8(b, j);
      if (ignoreCase) p = Fold(p), q = Fold(q);
      if (p != q) return p < q ? -1 : 1;
    }
    return (i < a.size()) - (j < b.size());
  }
  // Compared through the sort keys rather than wcscoll: the C library's two disagree now and
  // then (around ignorable punctuation such as "/" and "-", and on code points its tables lack),
  // and a sorted list must find by comparison exactly what it ordered by key.
  if (FoldedEqual(a, b, ignoreCase)) return 0;
  int r = AnsiSortKey(a, ignoreCase).compare(AnsiSortKey(b, ignoreCase));
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

const char32_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF,
    0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0,
};

}  // namespace

bool UseLocale(const std::string& name) {
  // Only the collation (and the character classes that go with it) is taken over: number and
  // time formats stay those of the C library's "C" locale, so files the program writes read the
  // same on every machine.
  const char* collate = std::setlocale(LC_COLLATE, name.c_str());
  if (!collate) return false;
  std::string collation = collate;
  std::setlocale(LC_CTYPE, name.c_str());
  g_codePointOrder = collation == "C" || collation == "POSIX" || collation.rfind("C.", 0) == 0;
  ++g_generation;
  return true;
}

uint32_t CollationGeneration() { return g_codePointOrder ? 0 : (g_generation == 0 ? 1 : g_generation); }

void InitLocale() {
  if (!UseLocale("")) UseLocale("C");
#ifdef _WIN32
  // The program's texts are UTF-8; a console shows them as such only when told so.
  ::SetConsoleOutputCP(CP_UTF8);
#endif
}

int AnsiCompareText(std::string_view a, std::string_view b) { return Compare(a, b, true); }
bool AnsiSameText(std::string_view a, std::string_view b) { return FoldedEqual(a, b, true); }
int AnsiCompareStr(std::string_view a, std::string_view b) { return Compare(a, b, false); }

std::string AnsiSortKey(std::string_view s, bool ignoreCase) {
  std::string key;
  if (g_codePointOrder) {
    key.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (c < 128) {
        key.push_back(static_cast<char>(ignoreCase && c >= 'A' && c <= 'Z' ? c + 32 : c));
        ++i;
        continue;
      }
      // The encoded folded text is its own key; an undecodable byte is keyed as its stand-in
      // code point, as the comparison sees it.
      char32_t cp = DecodeUtf8(s, i);
      AppendKeyCodePoint(key, ignoreCase ? Fold(cp) : cp);
    }
    return key;
  }
  // The collation's transformed text, then a zero separator and the (folded) text itself, which
  // breaks the ties that the comparison breaks. Collation weights are written as two bytes when
  // they fit (they nearly always do) and as 0xFFFF plus four bytes otherwise: an order-preserving
  // form about half as long as four bytes each. A weight is never 0, so the separator sorts first.
  // A collation may call different texts equal (and it stops at a NUL); they still differ, or a
  // sorted list that drops duplicates would lose one of two files.
  std::wstring w = ToWide(s, ignoreCase);
  std::vector<wchar_t> buf(w.size() * 6 + 16);
  size_t n = wcsxfrm(buf.data(), w.c_str(), buf.size());
  if (n >= buf.size()) {
    buf.resize(n + 1);
    wcsxfrm(buf.data(), w.c_str(), buf.size());
  }
  key.reserve(n * 2 + 2 + s.size());
  for (size_t k = 0; k < n; ++k) {
    auto v = static_cast<uint32_t>(buf[k]);
    if (v < 0xFFFF) {
      key.push_back(static_cast<char>(v >> 8));
      key.push_back(static_cast<char>(v & 0xFF));
    } else {
      key.append("\xff\xff");
      for (int shift = 24; shift >= 0; shift -= 8) key.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
  }
  key.append(2, '\0');
  for (wchar_t c : w) AppendKeyCodePoint(key, static_cast<char32_t>(c));
  return key;
}

std::string OemToAnsi(std::string_view oem) {
  std::string out;
  out.reserve(oem.size());
  for (char c : oem) {
    auto b = static_cast<unsigned char>(c);
    if (b < 128)
      out.push_back(c);
    else
      AppendUtf8(out, kCp437High[b - 128]);
  }
  return out;
}

char32_t DecodeUtf8(std::string_view s, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  int len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (len == 1) return static_cast<char32_t>(byte(i++));
  if (len == 0 || i + static_cast<size_t>(len) > s.size()) return 0xDC00 + byte(i++);
  char32_t cp = c & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    unsigned char cc = byte(i + static_cast<size_t>(k));
    if ((cc & 0xC0) != 0x80) return 0xDC00 + byte(i++);
    cp = (cp << 6) | (cc & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xDC00 + byte(i++);
  i += static_cast<size_t>(len);
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp >= 0xDC80 && cp <= 0xDCFF) {  // an undecodable byte goes back out as itself
    out.push_back(static_cast<char>(cp - 0xDC00));
  } else if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace dravello
