// Wildcard matching (WildcardMatches) on arbitrary pattern and name pairs. A script's filters and
// the zip engine's file specifications are typed by the user and the names come from the disk, so
// matching must be right for every pair and must stay fast for long ones. Every pair is matched
// twice, with letters compared exactly and with ASCII letters folded. On short inputs each result
// is compared with a plain reference matcher: "*" any run of characters, "?" exactly one character
// (one UTF-8 code point, an undecodable byte counting as one), everything else itself; folding
// is checked against the reference on the ASCII-lowered pattern and name.
//
// Input: the pattern, a NUL byte, the name. Without a NUL the input is the pattern and, with its
// "*" and "?" taken out, the name.
#include <string>
#include <vector>

#include "fuzzers/FuzzTargets.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"
#include "runtime/Wildcard.h"

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

void Check(const std::string& pattern, const std::string& name, WildcardCase letterCase) {
  const bool result = WildcardMatches(pattern, name, letterCase);
  const char* how = letterCase == WildcardCase::FoldAscii ? " (ASCII folded)" : "";
  DV_FUZZ_CHECK(WildcardMatches("*", name, letterCase), std::string("\"*\" does not match ") + Printable(name) + how);
  DV_FUZZ_CHECK(WildcardMatches(pattern, pattern, letterCase),
                "a pattern does not match its own text: " + Printable(pattern) + how);
  if (!HasWildcards(pattern))
    DV_FUZZ_CHECK(result == (letterCase == WildcardCase::Exact ? pattern == name : SameTextAscii(pattern, name)),
                  "pattern " + Printable(pattern) + " without wildcards, name " + Printable(name) + how);

  // Folding is matching the ASCII-lowered texts exactly.
  const bool folded = letterCase == WildcardCase::FoldAscii;
  const std::string lowPattern = folded ? LowerCaseAscii(pattern) : pattern;
  const std::string lowName = folded ? LowerCaseAscii(name) : name;
  if (folded)
    DV_FUZZ_CHECK(result == WildcardMatches(lowPattern, lowName, WildcardCase::Exact),
                  "pattern " + Printable(pattern) + " name " + Printable(name) + how +
                      ": not the exact result on the lowered texts");
  std::u32string p = Characters(lowPattern), n = Characters(lowName);
  if (p.size() <= kReferencePattern && n.size() <= kReferenceName) {
    const bool expected = ReferenceMatcher(n, p).Matches();
    DV_FUZZ_CHECK(result == expected, "pattern " + Printable(pattern) + " name " + Printable(name) + how + ": got " +
                                          (result ? "match" : "no match") + ", expected " +
                                          (expected ? "match" : "no match"));
  }
}

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

  Check(pattern, name, WildcardCase::Exact);
  Check(pattern, name, WildcardCase::FoldAscii);
  return 0;
}

}  // namespace dravello::fuzz

DV_FUZZ_ENTRY(Wildcard)
