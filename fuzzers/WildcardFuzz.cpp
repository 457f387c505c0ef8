// File-name filters on arbitrary pattern and name pairs. A script's filters are typed by the
// user and the names come from the disk, so matching must be right for every pair and must stay
// fast for long ones. On short inputs the result is compared with a plain reference matcher:
// "*" any run of characters, "?" exactly one character (one UTF-8 code point, an undecodable
// byte counting as one), everything else itself.
//
// Input: the pattern, a NUL byte, the name. Without a NUL the input is the pattern and, with its
// "*" and "?" taken out, the name.
#include <string>
#include <vector>

#include "app/u_types.h"
#include "fuzzers/FuzzTargets.h"
#include "runtime/Locale.h"

namespace dravello::fuzz {

namespace {

constexpr size_t kReferencePattern = 40, kReferenceName = 80;  // code points

std::u32string Characters(std::string_view s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) out.push_back(DecodeUtf8(s, i));
  return out;
}

// The plain recursive definition, remembering what it found so that many stars stay cheap.
class ReferenceMatcher {
 public:
  ReferenceMatcher(std::u32string name, std::u32string pattern)
      : name_(std::move(name)), pattern_(std::move(pattern)), memo_((name_.size() + 1) * (pattern_.size() + 1), 0) {}

  bool Matches() { return From(0, 0); }

 private:
  bool From(size_t n, size_t p) {
    char& known = memo_[n * (pattern_.size() + 1) + p];
    if (known == 0) known = Compute(n, p) ? 1 : 2;
    return known == 1;
  }
  bool Compute(size_t n, size_t p) {
    if (p == pattern_.size()) return n == name_.size();
    if (pattern_[p] == U'*') {
      for (size_t k = n; k <= name_.size(); ++k)
        if (From(k, p + 1)) return true;
      return false;
    }
    if (n == name_.size()) return false;
    return (pattern_[p] == U'?' || pattern_[p] == name_[n]) && From(n + 1, p + 1);
  }

  std::u32string name_, pattern_;
  std::vector<char> memo_;
};

}  // namespace

int Wildcard(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string pattern, name;
  if (size_t nul = input.find('\0'); nul != std::string_view::npos) {
    pattern = input.substr(0, nul);
    name = input.substr(nul + 1);
  } else {
    pattern = input;
    for (char c : input)
      if (c != '*' && c != '?') name += c;
  }

  const bool result = MatchesWildcard(name, pattern);
  DV_FUZZ_CHECK(MatchesWildcard(name, "*"), "\"*\" does not match " + Printable(name));
  DV_FUZZ_CHECK(MatchesWildcard(pattern, pattern), "a pattern does not match its own text: " + Printable(pattern));

  std::u32string p = Characters(pattern), n = Characters(name);
  if (p.size() <= kReferencePattern && n.size() <= kReferenceName) {
    const bool expected = ReferenceMatcher(n, p).Matches();
    DV_FUZZ_CHECK(result == expected, "pattern " + Printable(pattern) + " name " + Printable(name) + ": got " +
                                          (result ? "match" : "no match") + ", expected " +
                                          (expected ? "match" : "no match"));
  }
  return 0;
}

}  // namespace dravello::fuzz

DV_FUZZ_ENTRY(Wildcard)
