#include "runtime/Wildcard.h"

#include <cstddef>

#include "runtime/Locale.h"

namespace dravello {

namespace {

// The character at byte offset i, moving i past it. ASCII, the common case in file names, is
// taken as it stands; only other bytes go through the decoder. Characters compare equal exactly
// when their bytes are equal (DecodeUtf8 is one-to-one, undecodable bytes included).
inline char32_t NextChar(std::string_view s, size_t& i) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  return DecodeUtf8(s, i);
}

template <WildcardCase letterCase>
char32_t Key(char32_t c) {
  if constexpr (letterCase == WildcardCase::FoldAscii) {
    if (c >= U'A' && c <= U'Z') return c - U'A' + U'a';
  }
  return c;
}

template <WildcardCase letterCase>
bool Match(std::string_view pattern, std::string_view name) {
  // Greedy matching that remembers only the last "*": when a later part fails, that star takes
  // one more character of the name and the rest of the pattern is tried again after it. Earlier
  // stars never need revisiting (whatever they could take, the last star can take as well), which
  // bounds the work by |pattern| x |name| steps; plain recursive backtracking is exponential on
  // patterns like "*a*a*a*b". Positions are byte offsets, always at the start of a character.
  constexpr size_t kNone = std::string_view::npos;
  size_t p = 0, n = 0;
  size_t afterStar = kNone, starEnd = 0;  // the pattern after the last "*", and where its run ends
  while (n < name.size()) {
    if (p < pattern.size()) {
      size_t nextP = p;
      const char32_t pc = NextChar(pattern, nextP);
      if (pc == U'*') {
        p = afterStar = nextP;
        starEnd = n;
        continue;
      }
      size_t nextN = n;
      const char32_t nc = NextChar(name, nextN);
      if (pc == U'?' || Key<letterCase>(pc) == Key<letterCase>(nc)) {
        p = nextP;
        n = nextN;
        continue;
      }
    }
    if (afterStar == kNone) return false;
    NextChar(name, starEnd);
    p = afterStar;
    n = starEnd;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool WildcardMatches(std::string_view pattern, std::string_view name, WildcardCase letterCase) {
  return letterCase == WildcardCase::FoldAscii ? Match<WildcardCase::FoldAscii>(pattern, name)
                                               : Match<WildcardCase::Exact>(pattern, name);
}

bool HasWildcards(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

}  // namespace dravello
