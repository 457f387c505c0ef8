// Whole-name wildcard matching for file specifications: "*" matches any run of characters
// (none included), "?" exactly one character. A character is one UTF-8 code point.
#pragma once

#include <string_view>

namespace dravello::zipengine {

bool HasWildcards(std::string_view text);

// Matches the whole of `name` against `pattern`. `foldAsciiCase` compares A to Z as a to z, the
// way names compare on a case-insensitive file system.
bool MatchWildcard(std::string_view pattern, std::string_view name, bool foldAsciiCase);

}  // namespace dravello::zipengine
