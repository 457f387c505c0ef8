#include <gtest/gtest.h>

#include <memory>

#include "lang/LocalizerUtils.h"

namespace dravello {
namespace {

std::vector<std::string> Items(const TStringList& l) { return {l.begin(), l.end()}; }

std::unique_ptr<TStringList> Lines(std::initializer_list<std::string> lines) {
  auto l = std::make_unique<TStringList>();
  for (const std::string& s : lines) l->Add(s);
  return l;
}

TEST(SplitLine, NameAndValueByTheEntryRules) {
  struct Case {
    std::string line, name, value;
  } cases[] = {
      // Only the first "=" splits.
      {"fM_stbScrStart = '=== Starting script ==='", "fM_stbScrStart", "=== Starting script ==="},
      // Inner quotes stay; doubled quotes stay doubled.
      {"fM_stbHint = 'Visit the author's homepage'", "fM_stbHint", "Visit the author's homepage"},
      {"k = 'it''s'", "k", "it''s"},
      // Blanks at the ends: lost without quotes, kept inside them.
      {"gbxScript.Caption =   Script   ", "gbxScript.Caption", "Script"},
      {"gbxScript.Caption = ' Script '", "gbxScript.Caption", " Script "},
      {"\t k \t=\t v \r", "k", "v"},
      // A single quote alone is both first and last character.
      {"k = '", "k", ""},
      {"k = ''", "k", ""},
      // Unbalanced quotes stay.
      {"k = 'open", "k", "'open"},
      {"k = close'", "k", "close'"},
      // "\n" becomes CR LF anywhere, even where it was meant as a path.
      {R"(k = 'a\nb')", "k", "a\r\nb"},
      {R"(k = C:\new\data)", "k", "C:\r\new\\data"},
      {R"(k = '\n')", "k", "\r\n"},
      // No other escapes.
      {R"(k = a#CRLF#b\t\\x)", "k", R"(a#CRLF#b\t\\x)"},
      {R"(k = \\n)", "k", "\\\r\n"},
      // No "=": empty name, the whole line as value, quotes and escapes still handled.
      {"just text", "", "just text"},
      {R"(  'quoted\nline'  )", "", "quoted\r\nline"},
      {"=v", "", "v"},
      {"k=", "k", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    TScriptEntry e = SplitLine(c.line);
    EXPECT_EQ(e.Name, c.name) << c.line;
    EXPECT_EQ(e.Value, c.value) << c.line;
  }
}

TEST(SectionName, TextUpToFirstBracketLoweredAToZOnly) {
  EXPECT_EQ(SectionName("[EN]"), "en");
  EXPECT_EQ(SectionName("[ en ]"), " en ");
  EXPECT_EQ(SectionName("[de] trailing ] text"), "de");
  EXPECT_EQ(SectionName("[en"), "");
  EXPECT_EQ(SectionName("[]"), "");
  // Only A to Z are lowered; other bytes (here UTF-8 of "Ä") are kept as written.
  EXPECT_EQ(SectionName("[\xC3\x84X]"), "\xC3\x84x");
}

TEST(SelectLanguage, PicksTrimmedEntriesOfOneLanguage) {
  const auto script = Lines({
      "top = 1",
      "[EN]",
      "  a = 'en a'  ",
      "; a comment",
      "   ; an indented comment",
      "",
      "\t",
      "[de]",
      "a = 'de a'",
      "[ en ]",
      "spaced = 1",
      "[en",
      "noclose = 1",
      "[en] ignored text",
      "a = 'second en a'",
      "b = 'en b'",
  });
  struct Case {
    std::string code;
    std::vector<std::string> lines;
  } cases[] = {
      {"en", {"a = 'en a'", "a = 'second en a'", "b = 'en b'"}},
      {"EN", {"a = 'en a'", "a = 'second en a'", "b = 'en b'"}},
      {"de", {"a = 'de a'"}},
      // The empty code: entries above the first header and those of a header without "]".
      {"", {"top = 1", "noclose = 1"}},
      {" en ", {"spaced = 1"}},
      {"fr", {}},
  };
  for (const Case& c : cases) {
    auto out = Lines({"stale"});
    SelectLanguage(*script, *out, c.code);
    EXPECT_EQ(Items(*out), c.lines) << "code '" << c.code << "'";
  }
}

TEST(SelectLanguage, SameListAsScriptAndTarget) {
  auto l = Lines({"[en]", "a = 1", "[de]", "a = 2"});
  SelectLanguage(*l, *l, "de");
  EXPECT_EQ(Items(*l), std::vector<std::string>{"a = 2"});
}

TEST(FindValue, FirstExactMatchWins) {
  const auto lines = Lines({"no equals sign", "fM_msgDup_cap = 'first'", "fM_msgDup_cap = 'second'",
                                   "  spaced   =  x  "});
  EXPECT_EQ(FindValue(*lines, "fM_msgDup_cap"), "first");
  EXPECT_EQ(FindValue(*lines, "fm_msgdup_cap"), "");
  EXPECT_EQ(FindValue(*lines, "FM_MSGDUP_CAP"), "");
  EXPECT_EQ(FindValue(*lines, "spaced"), "x");
  EXPECT_EQ(FindValue(*lines, "missing"), "");
  // The empty key is the only one that finds a line without "=".
  EXPECT_EQ(FindValue(*lines, ""), "no equals sign");
  EXPECT_EQ(FindValue(TStringList(), "any"), "");
}

}  // namespace
}  // namespace dravello
