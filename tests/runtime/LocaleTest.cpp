#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "runtime/Locale.h"
#include "tests/runtime/TestLocale.h"

namespace dravello {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

std::string Hex(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : text) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
    hex += ' ';
  }
  return hex;
}

// C.UTF-8, whose collation is code-point order, whatever the machine's settings.
class LocaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(UseLocale("C.UTF-8")); }
};

TEST_F(LocaleTest, CompareTextFoldsAsciiAndOtherLetters) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"abc", "ABC", 0},
      {"Data/A.DOC", "data/a.doc", 0},
      {"\xc3\x84", "\xc3\xa4", 0},                  // Ä ä
      {"\xc3\x96sterreich", "\xc3\xb6STERREICH", 0},  // Österreich
      {"\xce\xa3", "\xcf\x83", 0},                  // Σ σ
      {"\xd0\x96", "\xd0\xb6", 0},                  // Ж ж
      {"\xc3\xa4", "b", 1},                         // ä after b in code-point order
      {"\xc3\x84", "B", 1},
      {"a", "b", -1},
      {"B", "a", 1},
      {"ab", "abc", -1},
      {"", "", 0},
      {"", "a", -1},
      {"[", "a", -1},  // "[" (0x5B) sorts before the folded letters
      {"_", "a", -1},
      {"Stra\xc3\x9f" "e", "STRASSE", 1},  // ß is one letter, not "ss"
      {"a\xff", "a", 1},
      {"a\xff", "A\xff", 0},
      {"\xff", "\xfe", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(AnsiCompareText(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(AnsiCompareText(c.b, c.a)), -c.sign) << c.b << " vs " << c.a;
    EXPECT_EQ(AnsiSameText(c.a, c.b), c.sign == 0);
  }
}

TEST_F(LocaleTest, CompareStrRespectsCase) {
  EXPECT_LT(AnsiCompareStr("A", "a"), 0);
  EXPECT_EQ(AnsiCompareStr("a", "a"), 0);
  EXPECT_NE(AnsiCompareStr("\xc3\x84", "\xc3\xa4"), 0);
  EXPECT_LT(AnsiCompareStr("Z", "a"), 0);
  EXPECT_GT(AnsiCompareStr("\xc3\xa4", "z"), 0);
}

// Random texts from pieces that exercise folding, prefixes, multi-byte letters and bytes that
// are not valid UTF-8 (lone lead and continuation bytes, overlong forms, surrogates, too large).
std::string RandomText(std::mt19937& rng) {
  static const char* const pieces[] = {
      "a", "A", "b", "B", "z", "Z", "0", " ", "/", "[", "_", "~", "\x7f",
      "\xc3\xa4", "\xc3\x84", "\xc3\x9f", "\xce\xa3", "\xcf\x83", "\xcf\x82", "\xe2\x82\xac",
      "\xe2\x84\xaa",          // Kelvin sign, folds to "k"
      "k", "\xc4\xb0", "i",    // İ folds to "i"
      "\xf0\x9f\x98\x80",      // a 4-byte character
      "\xef\xbf\xbf", "\xed\x9f\xbf", "\xee\x80\x80",  // around the surrogate range
      "\xff", "\xfe", "\xc3", "\x80", "\xbf", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
      "\xf0\x9f\x98",
  };
  std::string s;
  size_t len = rng() % 6;
  for (size_t k = 0; k < len; ++k) s += pieces[rng() % std::size(pieces)];
  if (rng() % 10 == 0) s.push_back('\0');
  return s;
}

// The comparison and the sort keys under several collations: code-point order, and the
// language collations of typical desktops where the machine has them.
class Collation : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!testing::UseTestLocale(GetParam())) GTEST_SKIP() << GetParam() << " is not available";
  }
  void TearDown() override { UseLocale("C.UTF-8"); }
};

TEST_P(Collation, SortKeysOrderExactlyAsTheComparison) {
  std::mt19937 rng(1234);
  for (bool ignoreCase : {true, false}) {
    auto compare = [&](const std::string& a, const std::string& b) {
      return ignoreCase ? AnsiCompareText(a, b) : AnsiCompareStr(a, b);
    };
    for (int round = 0; round < 10000; ++round) {
      std::string a = RandomText(rng), b = RandomText(rng);
      std::string ka = AnsiSortKey(a, ignoreCase), kb = AnsiSortKey(b, ignoreCase);
      ASSERT_EQ(Sign(compare(a, b)), Sign(ka.compare(kb))) << ignoreCase << ' ' << Hex(a) << " / " << Hex(b);
      ASSERT_EQ(Sign(compare(a, b)), -Sign(compare(b, a)));
    }
    // Sorting by key gives an order that the comparison agrees with everywhere (transitivity).
    std::vector<std::string> texts;
    for (int k = 0; k < 3000; ++k) texts.push_back(RandomText(rng));
    std::sort(texts.begin(), texts.end(), [&](const std::string& a, const std::string& b) {
      return AnsiSortKey(a, ignoreCase) < AnsiSortKey(b, ignoreCase);
    });
    for (size_t k = 1; k < texts.size(); ++k)
      ASSERT_LE(compare(texts[k - 1], texts[k]), 0) << Hex(texts[k - 1]) << " / " << Hex(texts[k]);
  }
}

TEST_P(Collation, TextsAreEqualOnlyWhenTheirFoldedFormsAre) {
  EXPECT_EQ(AnsiCompareText("\xc3\x84rger", "\xc3\xa4RGER"), 0);
  EXPECT_LT(AnsiCompareText("a", "B"), 0);
  EXPECT_LT(AnsiCompareText("Data/a.doc", "data/B.doc"), 0);
  // Equal up to a NUL, where a collation stops looking: still two texts.
  std::string a("x\0a", 3), b("x\0b", 3);
  EXPECT_LT(AnsiCompareText(a, b), 0);
  EXPECT_GT(AnsiCompareStr(b, a), 0);
  EXPECT_LT(AnsiSortKey(a, true), AnsiSortKey(b, true));
  // Composed and decomposed "ä" are different names on POSIX file systems.
  EXPECT_NE(AnsiCompareText("\xc3\xa4.txt", "a\xcc\x88.txt"), 0);
}

INSTANTIATE_TEST_SUITE_P(Locales, Collation, ::testing::Values("C.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           std::string name = param.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST_F(LocaleTest, OemToAnsiConvertsCodePage437) {
  EXPECT_EQ(OemToAnsi("\x84"), "\xc3\xa4");          // ä
  EXPECT_EQ(OemToAnsi("\x81"), "\xc3\xbc");          // ü
  EXPECT_EQ(OemToAnsi("\xe1"), "\xc3\x9f");          // ß
  EXPECT_EQ(OemToAnsi("\x8e\x99\x9a"), "\xc3\x84\xc3\x96\xc3\x9c");  // ÄÖÜ
  EXPECT_EQ(OemToAnsi("\x94"), "\xc3\xb6");          // ö
  EXPECT_EQ(OemToAnsi("\xb0"), "\xe2\x96\x91");      // ░
  EXPECT_EQ(OemToAnsi("\xff"), "\xc2\xa0");          // no-break space
  EXPECT_EQ(OemToAnsi("Briefe\\Gr\x81\xe1" "e.txt"), "Briefe\\Gr\xc3\xbc\xc3\x9f" "e.txt");
  EXPECT_EQ(OemToAnsi(std::string("a\0b", 3)), std::string("a\0b", 3));
}

// The whole upper half against the C library's own code page 437 table, where it has one.
TEST_F(LocaleTest, OemToAnsiAgreesWithIconv) {
  iconv_t cd = iconv_open("UTF-8", "CP437");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP437 converter";
  for (int b = 128; b < 256; ++b) {
    char in[1] = {static_cast<char>(b)};
    char out[8];
    char* ip = in;
    char* op = out;
    size_t il = 1, ol = sizeof out;
    ASSERT_NE(iconv(cd, &ip, &il, &op, &ol), static_cast<size_t>(-1)) << b;
    EXPECT_EQ(OemToAnsi(std::string(1, static_cast<char>(b))), std::string(out, static_cast<size_t>(op - out))) << b;
  }
  iconv_close(cd);
}

TEST_F(LocaleTest, DecodeUtf8HandsBackInvalidBytesOneByOne) {
  struct Case {
    std::string text;
    std::vector<char32_t> codePoints;
  } cases[] = {
      {"A", {U'A'}},
      {"\xc3\xa4", {0xE4}},
      {"\xe2\x82\xac", {0x20AC}},
      {"\xf0\x9f\x98\x80", {0x1F600}},
      {"\xf4\x8f\xbf\xbf", {0x10FFFF}},
      {"\xc0\xaf", {0xDCC0, 0xDCAF}},                     // overlong "/"
      {"\xe0\x80\xaf", {0xDCE0, 0xDC80, 0xDCAF}},         // overlong "/"
      {"\xf0\x80\x80\xaf", {0xDCF0, 0xDC80, 0xDC80, 0xDCAF}},
      {"\xed\xa0\x80", {0xDCED, 0xDCA0, 0xDC80}},         // a surrogate
      {"\xf4\x90\x80\x80", {0xDCF4, 0xDC90, 0xDC80, 0xDC80}},  // above U+10FFFF
      {"\xf8\x88\x80\x80\x80", {0xDCF8, 0xDC88, 0xDC80, 0xDC80, 0xDC80}},
      {"\x80", {0xDC80}},
      {"\xc3", {0xDCC3}},
      {"\xc3" "A", {0xDCC3, U'A'}},
      {"\xf0\x9f\x98", {0xDCF0, 0xDC9F, 0xDC98}},
      {"\xe2\x82" "x", {0xDCE2, 0xDC82, U'x'}},
      {std::string("\0", 1), {0}},
  };
  for (const Case& c : cases) {
    std::vector<char32_t> got;
    for (size_t i = 0; i < c.text.size();) got.push_back(DecodeUtf8(c.text, i));
    EXPECT_EQ(got, c.codePoints) << c.text;
  }
}

TEST_F(LocaleTest, DecodeAndAppendRoundTripAnyBytes) {
  std::mt19937 rng(99);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(rng() % 12, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() % 3 == 0 ? 0x80 | (rng() & 0x7F) : rng());
    std::string back;
    for (size_t i = 0; i < bytes.size();) AppendUtf8(back, DecodeUtf8(bytes, i));
    ASSERT_EQ(back, bytes);
  }
}

}  // namespace
}  // namespace dravello
