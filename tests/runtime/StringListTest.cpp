#include <gtest/gtest.h>

#include "runtime/Classes.h"

namespace dravello {
namespace {

std::vector<std::string> Items(const TStringList& l) { return {l.begin(), l.end()}; }

TEST(CommaText, ParsesQuotedUnquotedAndEmptyItems) {
  struct Case {
    std::string text;
    std::vector<std::string> items;
  } cases[] = {
      {"", {}},
      {R"("1C:\Data\Letters","0D:\Work")", {R"(1C:\Data\Letters)", R"(0D:\Work)"}},
      {R"(  "a""b" , c d,"")", {R"(a"b)", "c", "d", ""}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {"\"unterminated", {"unterminated"}},
  };
  for (const Case& c : cases) {
    TStringList l;
    l.SetCommaText(c.text);
    EXPECT_EQ(Items(l), c.items) << c.text;
  }
}

TEST(CommaText, WritesEveryItemQuotedAndRoundTrips) {
  TStringList l;
  l.Add(R"(1/home/ann/with "quote", and comma)");
  l.Add("");
  EXPECT_EQ(l.CommaText(), R"("1/home/ann/with ""quote"", and comma","")");
  TStringList back;
  back.SetCommaText(l.CommaText());
  EXPECT_EQ(Items(back), Items(l));
}

TEST(SortedList, IgnoresCaseInsensitiveDuplicatesKeepingTheFirst) {
  TStringList l(true, TDuplicates::dupIgnore);
  l.Add("b");
  l.Add("A");
  l.Add("a");
  l.Add("B");
  EXPECT_EQ(Items(l), (std::vector<std::string>{"A", "b"}));
  EXPECT_EQ(l.IndexOf("B"), 1);
}

TEST(SortedList, SortingOnceEqualsAddingOneByOne) {
  std::vector<std::string> input = {"x/b", "X/B", "a", "x/a", "A", "m", "x/B"};
  TStringList incremental(true);
  for (const auto& s : input) incremental.Add(s);
  TStringList bulk;
  for (const auto& s : input) bulk.Add(s);
  bulk.SetSorted(true);
  EXPECT_EQ(Items(bulk), Items(incremental));
}

}  // namespace
}  // namespace dravello
