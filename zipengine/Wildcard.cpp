#include "zipengine/Wildcard.h"

#include <cstddef>

namespace dravello::zipengine {

namespace {

// The length in bytes of the UTF-8 character that starts at s[i] (1 for stray bytes).
size_t CharLen(std::string_view s, size_t i) {
  auto c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  for (size_t k = 1; k < n; ++k)
    if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  return n;
}

char Fold(char c, bool fold) { return fold && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool HasWildcards(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool MatchWildcard(std::string_view pattern, std::string_view name, bool foldAsciiCase) {
  // Iterative matching with one backtrack point (the last "*"), linear in practice.
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
      continue;
    }
    if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += CharLen(name, n);
      continue;
    }
    if (p < pattern.size() && Fold(pattern[p], foldAsciiCase) == Fold(name[n], foldAsciiCase)) {
      ++p;
      ++n;
      continue;
    }
    if (starP == std::string_view::npos) return false;
    p = starP;
    starN += CharLen(name, starN);
    n = starN;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace dravello::zipengine
