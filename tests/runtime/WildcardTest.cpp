#include "tests/support/CpuTime.h"
#include "runtime/Wildcard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace dravello {
namespace {

constexpr WildcardCase kExact = WildcardCase::Exact, kFold = WildcardCase::FoldAscii;

TEST(WildcardMatches, Table) {
  struct Case {
    const char* pattern;
    const char* name;
    WildcardCase letterCase;
    bool match;
  } cases[] = {
      // Stars and question marks on whole names.
      {"*", "", kExact, true},
      {"*", "anything", kExact, true},
      {"*", "anything.txt", kExact, true},
      {"", "", kExact, true},
      {"", "a", kExact, false},
      {"a*", "", kExact, false},
      {"**", "x", kExact, true},
      {"a**c", "abc", kExact, true},
      {"abc*", "abc", kExact, true},
      {"ab?", "ab", kExact, false},
      {"a?c", "abc", kExact, true},
      {"a?c", "ac", kExact, false},
      {"*.doc", "letter.doc", kExact, true},
      {"*.doc", "letter.docx", kExact, false},
      {"*.txt", "a.txt", kExact, true},
      {"*.txt", "a.txt.bak", kExact, false},
      {"*.*", "readme", kExact, false},
      {"*.*", "read.me", kExact, true},
      {"*ab", "aab", kExact, true},  // the star must give back what it took first
      {"*a*b*c*", "xxaxxbxxcxx", kExact, true},
      {"*a*b*c", "xxaxxbxxcx", kExact, false},
      {"x?y", "x*y", kExact, true},  // wildcards in a name are ordinary characters
      {"x*y", "x?y", kExact, true},
      // Letter case.
      {"*.doc", "Letter.doc", kExact, true},
      {"*.doc", "a.DOC", kExact, false},
      {"*.TXT", "a.txt", kExact, false},
      {"*.TXT", "a.txt", kFold, true},
      {"a?C", "Abc", kFold, true},
      {"@[", "`{", kFold, false},          // only letters fold, not their neighbours by 0x20
      {"\xC3\x84", "\xC3\xA4", kFold, false},  // nor anything beyond ASCII: Ä is not ä
      {"\xC3\xA4*.TXT", "\xC3\xA4x.txt", kFold, true},
      // A character is one code point.
      {"?b", "\xC3\xA4" "b", kExact, true},
      {"??", "\xC3\xA4", kExact, false},
      {"a?c", "a\xC3\xA9" "c", kExact, true},
      {"?", "\xF0\x9F\x98\x80", kExact, true},
      {"*\xC3\xA4", "x\xC3\xA4", kExact, true},
      {"*\xA4", "\xC3\xA4", kExact, false},  // a star takes whole code points
      {"\xC3?", "\xC3\xA4", kExact, false},  // a literal byte never matches part of one
      // An undecodable byte is one character, equal only to itself.
      {"?", "\xFF", kExact, true},
      {"?*?", "x\xFF", kExact, true},
      {"\xFF", "\xFF", kExact, true},
      {"\xFE", "\xFF", kExact, false},
      {"?", "\xC0\x80", kExact, false},  // overlong form: two stray bytes
      {"??", "\xC0\x80", kExact, true},
      {"?", "\xED\xA0\x80", kExact, false},  // encoded surrogate: three stray bytes
      {"???", "\xED\xA0\x80", kExact, true},
      {"?", "\xE2\x82", kExact, false},  // cut short: two stray bytes
      {"??", "\xE2\x82", kExact, true},
      {"?\xC3\xA4", "\x80\xC3\xA4", kExact, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WildcardMatches(c.pattern, c.name, c.letterCase), c.match)
        << "pattern \"" << c.pattern << "\" name \"" << c.name << "\" fold " << (c.letterCase == kFold);
}

TEST(WildcardMatches, PathologicalPatternAnswersQuickly) {
  const std::string pattern = "*a*a*a*a*a*a*a*a*b";
  const std::string ascii(10000, 'a');
  std::string utf8;
  for (int i = 0; i < 10000; ++i) utf8 += "a\xC3\xA4";
  const double start = testing::CpuSeconds();
  EXPECT_FALSE(WildcardMatches(pattern, ascii, kExact));
  EXPECT_TRUE(WildcardMatches(pattern, ascii + "b", kExact));
  EXPECT_FALSE(WildcardMatches(pattern, utf8, kFold));
  EXPECT_TRUE(WildcardMatches(pattern, utf8 + "B", kFold));
  EXPECT_LT(testing::CpuSeconds() - start, 0.2);
}

TEST(HasWildcards, Table) {
  struct Case {
    const char* text;
    bool has;
  } cases[] = {{"", false}, {"a.txt", false}, {"\xC3\xA4", false}, {"*.txt", true}, {"a?", true}};
  for (const Case& c : cases) EXPECT_EQ(HasWildcards(c.text), c.has) << c.text;
}

}  // namespace
}  // namespace dravello
