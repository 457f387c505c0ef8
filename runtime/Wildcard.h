// Wildcard matching of file names: the copy run's file filters and the zip engine's file
// specifications and exclusions both match through here, so a pattern means the same thing
// everywhere in the program.
#pragma once

#include <string_view>

namespace dravello {

// How letters compare in WildcardMatches.
enum class WildcardCase {
  Exact,      // every character only matches itself
  FoldAscii,  // A to Z also match a to z (and the other way), as on a case-insensitive file
              // system; no other character is folded
};

// Whether the whole of `name` matches the whole of `pattern`. In the pattern "*" matches any run
// of characters, the empty run included, and "?" exactly one character; every other character
// matches only itself (see WildcardCase). There is no escape: "*" and "?" in a pattern are always
// wildcards, while in a name they are ordinary characters.
//
// A character is one UTF-8 code point. A byte that does not start a valid UTF-8 sequence (a stray
// continuation byte, an overlong form, an encoded surrogate, a value above U+10FFFF, a sequence
// cut short) counts as one character of its own, equal only to the same byte; so "?" never takes
// part of a code point, and a literal byte never matches inside one.
//
// The time is bounded by |pattern| x |name| whatever the input (no exponential backtracking on
// patterns like "*a*a*a*b"), and nothing is allocated. ASCII characters are compared as bytes
// without decoding; only the others are decoded, one at a time as the match reaches them.
bool WildcardMatches(std::string_view pattern, std::string_view name, WildcardCase letterCase);

// Whether `text` contains a "*" or a "?". A pattern without either matches only the name it
// spells (up to letter case with WildcardCase::FoldAscii).
bool HasWildcards(std::string_view text);

}  // namespace dravello
