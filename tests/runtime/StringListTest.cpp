#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/CpuTime.h"
#include "runtime/Classes.h"
#include "runtime/Locale.h"
#include "tests/runtime/TestLocale.h"
#include "runtime/SysUtils.h"

namespace dravello {
namespace {

using Strings = std::vector<std::string>;

Strings Items(const TStringList& l) { return {l.begin(), l.end()}; }

// An unsorted list holding `items` in order.
std::unique_ptr<TStringList> Unsorted(const Strings& items) {
  auto l = std::make_unique<TStringList>();
  for (const auto& s : items) l->Add(s);
  return l;
}

// Counts its destructions, to check who deletes the objects of a list.
class Tracked : public TObject {
 public:
  explicit Tracked(int* deaths) : deaths_(deaths) {}
  ~Tracked() override { ++*deaths_; }

 private:
  int* deaths_;
};

// ---- Comma text ---------------------------------------------------------------------------

TEST(CommaText, ParsesByTheListEncodingRules) {
  struct Case {
    std::string text;
    Strings items;
  } cases[] = {
      {"", {}},
      {" \t\r\n", {}},
      {"a", {"a"}},
      {"a,b", {"a", "b"}},
      {" a , b ", {"a", "b"}},
      {"a b", {"a", "b"}},
      {"a\x01" "b", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {"a, ,b", {"a", "", "b"}},
      {",a", {"", "a"}},
      {"a,", {"a", ""}},
      {"a, ", {"a", ""}},
      {"a,\t", {"a", ""}},
      {",", {"", ""}},
      {",,", {"", "", ""}},
      {R"("1C:\Data\Letters","0D:\Work")", {R"(1C:\Data\Letters)", R"(0D:\Work)"}},
      {R"(  "a""b" , c d,"")", {R"(a"b)", "c", "d", ""}},
      {R"("a,b",c)", {"a,b", "c"}},
      {R"("a b" "c")", {"a b", "c"}},
      {R"("a"b)", {"a", "b"}},
      {R"(a"b)", {R"(a"b)"}},
      {R"("","")", {"", ""}},
      {R"("""")", {R"(")"}},
      {"\"unterminated", {"unterminated"}},
      {"\"ends in a doubled quote\"\"", {"ends in a doubled quote\""}},
      {"\"line\r\nbreak\"", {"line\r\nbreak"}},
      {"\xc3\xa4,\xc3\xb6", {"\xc3\xa4", "\xc3\xb6"}},
      {"\"\xc3\xa4 \"", {"\xc3\xa4 "}},
      {std::string("a\0b,c", 5), {"a"}},
      {std::string("\"a\0b\",c", 7), {"a"}},
      {std::string("a,\0", 3), {"a", ""}},
  };
  for (const Case& c : cases) {
    TStringList l;
    l.SetCommaText(c.text);
    EXPECT_EQ(Items(l), c.items) << '[' << c.text << ']';
  }
}

TEST(CommaText, ReplacesTheWholeContent) {
  auto lOwner = Unsorted({"old"});
  TStringList& l = *lOwner;
  l.SetCommaText("new");
  EXPECT_EQ(Items(l), Strings{"new"});
  l.SetCommaText("");
  EXPECT_TRUE(l.Empty());
}

TEST(CommaText, WritesEveryItemQuotedWithInnerQuotesDoubled) {
  struct Case {
    Strings items;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{""}, R"("")"},
      {{"", ""}, R"("","")"},
      {{"a"}, R"("a")"},
      {{R"(a"b)", "c,d", " e "}, R"("a""b","c,d"," e ")"},
      {{R"(1/home/ann/with "quote", and comma)"}, R"("1/home/ann/with ""quote"", and comma")"},
  };
  for (const Case& c : cases) EXPECT_EQ(Unsorted(c.items)->CommaText(), c.text);
}

TEST(CommaText, PathsRoundTrip) {
  const Strings paths = {
      R"(1/home/ann/with "quote", and comma)",
      "0/home/ann/ leading and trailing blank ",
      "1/tmp/a,b/c\"d\"/\"\"",
      "0/tmp/tab\there/line\nbreak",
      "1C:\\Data\\Letters\\",
      "",
      "0/home/ann/Ünïcödé/ß",
      "\"",
      ",",
  };
  TStringList back;
  back.SetCommaText(Unsorted(paths)->CommaText());
  EXPECT_EQ(Items(back), paths);
}

TEST(CommaText, RandomListsRoundTrip) {
  std::mt19937 rng(20240501);
  const std::string alphabet[] = {"a", "Z", ",", "\"", " ", "\t", "\r", "\n", "\x01", "\xc3\xa4", "\xff", "/", "\\"};
  for (int round = 0; round < 2000; ++round) {
    Strings items(rng() % 5);
    for (auto& item : items) {
      size_t len = rng() % 8;
      for (size_t k = 0; k < len; ++k) item += alphabet[rng() % std::size(alphabet)];
    }
    TStringList back;
    back.SetCommaText(Unsorted(items)->CommaText());
    ASSERT_EQ(Items(back), items) << Unsorted(items)->CommaText();
  }
}

// ---- Text ---------------------------------------------------------------------------------

TEST(Text, SplitsAtCrLfCrOrLfAndIgnoresAFinalBreak) {
  struct Case {
    std::string text;
    Strings lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\n", {"a"}},
      {"a\r\n", {"a"}},
      {"a\n\n", {"a", ""}},
      {"\r\n", {""}},
      {"\n\r", {"", ""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {" a \t", {" a \t"}},
  };
  for (const Case& c : cases) {
    TStringList l;
    l.SetText(c.text);
    EXPECT_EQ(Items(l), c.lines) << '[' << c.text << ']';
  }
  EXPECT_EQ(Unsorted({"a", "", "b"})->Text(), "a\r\n\r\nb\r\n");
  EXPECT_EQ(TStringList().Text(), "");
}

// ---- Unsorted lists -----------------------------------------------------------------------

TEST(UnsortedList, KeepsInsertionOrderAndDuplicates) {
  TStringList l;
  EXPECT_EQ(l.Add("b"), 0);
  EXPECT_EQ(l.Add("a"), 1);
  EXPECT_EQ(l.Add("b"), 2);
  l.Insert(0, "c");
  l.Insert(4, "d");
  EXPECT_EQ(Items(l), (Strings{"c", "b", "a", "b", "d"}));
  l.SetString(1, "B");
  EXPECT_EQ(l[1], "B");
}

TEST(UnsortedList, IndexOfIgnoresCaseUnlessCaseSensitive) {
  auto lOwner = Unsorted({"x", "Straße", "ÄRGER", "abc", "ABC"});
  TStringList& l = *lOwner;
  EXPECT_EQ(l.IndexOf("ABC"), 3);
  EXPECT_EQ(l.IndexOf("ärger"), 2);
  EXPECT_EQ(l.IndexOf("STRAßE"), 1);
  EXPECT_EQ(l.IndexOf("missing"), -1);
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.IndexOf("ABC"), 4);
  EXPECT_EQ(l.IndexOf("ärger"), -1);
}

TEST(UnsortedList, IndexOfNameComparesTheTextBeforeTheFirstEquals) {
  auto lOwner = Unsorted({"plain", "a=1", "B=2=3", "=empty"});
  TStringList& l = *lOwner;
  EXPECT_EQ(l.IndexOfName("b"), 2);
  EXPECT_EQ(l.IndexOfName("A"), 1);
  EXPECT_EQ(l.IndexOfName("plain"), -1);
  EXPECT_EQ(l.IndexOfName(""), 3);
  EXPECT_EQ(l.IndexOfName("B=2"), -1);
}

TEST(UnsortedList, IndexErrorsRaise) {
  auto lOwner = Unsorted({"a", "b"});
  TStringList& l = *lOwner;
  EXPECT_THROW(l.Strings(-1), EListError);
  EXPECT_THROW(l.Strings(2), EListError);
  EXPECT_THROW(l.Objects(2), EListError);
  EXPECT_THROW(l.SetString(2, "x"), EListError);
  EXPECT_THROW(l.SetObject(-1, nullptr), EListError);
  EXPECT_THROW(l.Delete(2), EListError);
  EXPECT_THROW(l.Delete(-1), EListError);
  EXPECT_THROW(l.Insert(3, "x"), EListError);
  EXPECT_THROW(l.Insert(-1, "x"), EListError);
  EXPECT_THROW(l.Exchange(0, 2), EListError);
  EXPECT_THROW(l.Exchange(-1, 0), EListError);
  EXPECT_THROW(l.Move(0, 2), EListError);
  EXPECT_THROW(l.Move(2, 0), EListError);
  EXPECT_THROW(l.Move(5, 5), EListError);
  EXPECT_EQ(Items(l), (Strings{"a", "b"}));
  try {
    l.Strings(7);
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (7)");
  }
}

TEST(UnsortedList, DeleteMoveExchange) {
  auto lOwner = Unsorted({"a", "b", "c", "d"});
  TStringList& l = *lOwner;
  l.Move(0, 2);
  EXPECT_EQ(Items(l), (Strings{"b", "c", "a", "d"}));
  l.Move(3, 0);
  EXPECT_EQ(Items(l), (Strings{"d", "b", "c", "a"}));
  l.Exchange(0, 3);
  EXPECT_EQ(Items(l), (Strings{"a", "b", "c", "d"}));
  l.Delete(1);
  EXPECT_EQ(Items(l), (Strings{"a", "c", "d"}));
  l.Delete(2);
  EXPECT_EQ(Items(l), (Strings{"a", "c"}));
}

TEST(UnsortedList, ObjectsTravelWithTheirStrings) {
  int deaths = 0;
  Tracked x(&deaths), y(&deaths);
  TStringList l;
  l.AddObject("x", &x);
  l.AddObject("y", &y);
  l.Exchange(0, 1);
  EXPECT_EQ(l.Objects(0), &y);
  l.Move(0, 1);
  EXPECT_EQ(l.Objects(1), &y);
  l.SetSorted(true);
  l.SetSorted(false);
  l.Insert(0, "a");
  EXPECT_EQ(l.Objects(0), nullptr);
  EXPECT_EQ(l.Objects(2), &y);
  l.Clear();
  EXPECT_EQ(deaths, 0);  // not owned
}

TEST(UnsortedList, AssignAndAddStrings) {
  auto aOwner = Unsorted({"a", "b"});
  TStringList& a = *aOwner;
  auto bOwner = Unsorted({"old"});
  TStringList& b = *bOwner;
  b.Assign(a);
  EXPECT_EQ(Items(b), (Strings{"a", "b"}));
  b.AddStrings(a);
  EXPECT_EQ(Items(b), (Strings{"a", "b", "a", "b"}));
  a.AddStrings(a);
  EXPECT_EQ(Items(a), (Strings{"a", "b", "a", "b"}));
  a.Assign(a);
  EXPECT_EQ(a.Count(), 4);
}

TEST(UnsortedList, TakeStringsMovesTheEntriesAndTellsBothLists) {
  auto fromOwner = Unsorted({"c", "a", "b"});
  TStringList& from = *fromOwner;
  int fromChanges = 0, intoChanges = 0;
  from.OnChange = [&](TStringList&) { ++fromChanges; };
  auto intoOwner = Unsorted({"old"});
  intoOwner->OnChange = [&](TStringList&) { ++intoChanges; };
  intoOwner->TakeStrings(from);
  EXPECT_EQ(Items(*intoOwner), (Strings{"c", "a", "b"}));
  EXPECT_TRUE(from.Empty());
  EXPECT_EQ(fromChanges, 1);
  EXPECT_EQ(intoChanges, 1);
  TStringList sorted(true);  // a sorted list takes them in its own order, without duplicates
  from.Add("b");
  from.Add("a");
  from.Add("b");
  sorted.TakeStrings(from);
  EXPECT_EQ(Items(sorted), (Strings{"a", "b"}));
  EXPECT_TRUE(from.Empty());
}

TEST(UnsortedList, CustomSortIsStable) {
  auto lOwner = Unsorted({"bb", "a", "cc", "b", "aa"});
  TStringList& l = *lOwner;
  l.CustomSort([](const std::string& x, const std::string& y) {
    return static_cast<int>(x.size()) - static_cast<int>(y.size());
  });
  EXPECT_EQ(Items(l), (Strings{"a", "b", "bb", "cc", "aa"}));
}

// ---- Sorted lists -------------------------------------------------------------------------

TEST(SortedList, IgnoresCaseInsensitiveDuplicatesKeepingTheFirst) {
  TStringList l(true, TDuplicates::dupIgnore);
  EXPECT_EQ(l.Add("b"), 0);
  EXPECT_EQ(l.Add("A"), 0);
  EXPECT_EQ(l.Add("a"), 0);
  EXPECT_EQ(l.Add("B"), 1);
  EXPECT_EQ(l.Add("Ä"), 2);
  EXPECT_EQ(l.Add("ä"), 2);
  EXPECT_EQ(Items(l), (Strings{"A", "b", "Ä"}));
  EXPECT_EQ(l.IndexOf("B"), 1);
  EXPECT_EQ(l.IndexOf("ä"), 2);
}

TEST(SortedList, AcceptsDuplicatesAfterTheEqualOnes) {
  TStringList l(true, TDuplicates::dupAccept);
  int deaths = 0;
  Tracked first(&deaths), second(&deaths), third(&deaths);
  l.AddObject("b", &first);
  l.Add("c");
  l.Add("a");
  EXPECT_EQ(l.AddObject("B", &second), 2);
  EXPECT_EQ(l.AddObject("b", &third), 3);
  EXPECT_EQ(Items(l), (Strings{"a", "b", "B", "b", "c"}));
  EXPECT_EQ(l.Objects(1), &first);
  EXPECT_EQ(l.Objects(2), &second);
  EXPECT_EQ(l.Objects(3), &third);
  EXPECT_EQ(l.IndexOf("B"), 1);
}

TEST(SortedList, DupErrorRaisesAndKeepsTheList) {
  TStringList l(true, TDuplicates::dupError);
  l.Add("a");
  l.Add("b");
  EXPECT_THROW(l.Add("A"), EListError);
  EXPECT_EQ(Items(l), (Strings{"a", "b"}));
}

TEST(SortedList, CaseSensitiveKeepsBothSpellings) {
  TStringList l(true);
  l.SetCaseSensitive(true);
  l.Add("a");
  l.Add("A");
  l.Add("a");
  EXPECT_EQ(Items(l), (Strings{"A", "a"}));
  EXPECT_EQ(l.IndexOf("a"), 1);
  EXPECT_EQ(l.IndexOf("B"), -1);
}

TEST(SortedList, FindGivesTheLowerBound) {
  TStringList l(true, TDuplicates::dupAccept);
  for (const char* s : {"d", "b", "B", "b", "f"}) l.Add(s);
  struct Case {
    const char* s;
    bool found;
    int index;
  } cases[] = {{"b", true, 0}, {"B", true, 0}, {"a", false, 0}, {"c", false, 3},
               {"d", true, 3}, {"e", false, 4}, {"f", true, 4}, {"z", false, 5}};
  for (const Case& c : cases) {
    int index = -1;
    EXPECT_EQ(l.Find(c.s, index), c.found) << c.s;
    EXPECT_EQ(index, c.index) << c.s;
  }
}

TEST(SortedList, RefusesPositionalChanges) {
  TStringList l(true);
  l.Add("a");
  EXPECT_THROW(l.Insert(0, "b"), EListError);
  EXPECT_THROW(l.SetString(0, "b"), EListError);
  EXPECT_EQ(Items(l), Strings{"a"});
}

TEST(SortedList, SwitchingCaseSensitivityResorts) {
  TStringList l(true, TDuplicates::dupAccept);
  for (const char* s : {"b", "a", "B", "A"}) l.Add(s);
  EXPECT_EQ(Items(l), (Strings{"a", "A", "b", "B"}));
  l.SetCaseSensitive(true);
  EXPECT_EQ(Items(l), (Strings{"A", "B", "a", "b"}));
  int index;
  EXPECT_TRUE(l.Find("a", index));
  EXPECT_EQ(index, 2);
}

TEST(SortedList, SortingOnceEqualsAddingOneByOne) {
  Strings input = {"x/b", "X/B", "a", "x/a", "A", "m", "x/B", "Ä", "ä", "b"};
  for (TDuplicates dup : {TDuplicates::dupIgnore, TDuplicates::dupAccept}) {
    TStringList incremental(true, dup);
    for (const auto& s : input) incremental.Add(s);
    TStringList bulk(false, dup);
    for (const auto& s : input) bulk.Add(s);
    bulk.SetSorted(true);
    EXPECT_EQ(Items(bulk), Items(incremental));
  }
}

// Random texts built from pieces that collide under case folding, share prefixes and include
// non-ASCII letters and bytes that are not UTF-8.
std::string RandomText(std::mt19937& rng) {
  static const char* const pieces[] = {"a", "A", "b", "B", "/", ".", " ", "-", "_", "0", "9", "z", "Z",
                                       "\xc3\xa4", "\xc3\x84", "\xc3\x9f", "\xce\xa3", "\xcf\x83", "\xe2\x82\xac",
                                       "\xff", "\xc3", "\x80", "~", "["};
  std::string s;
  size_t len = rng() % 6;
  for (size_t k = 0; k < len; ++k) s += pieces[rng() % std::size(pieces)];
  return s;
}

TEST(SortedList, PropertySortingOnceEqualsAddingOneByOne) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    for (bool caseSensitive : {false, true}) {
      for (TDuplicates dup : {TDuplicates::dupIgnore, TDuplicates::dupAccept}) {
        int deathsBulk = 0, deathsIncremental = 0;
        TStringList incremental(true, dup), bulk(false, dup);
        incremental.SetCaseSensitive(caseSensitive);
        bulk.SetCaseSensitive(caseSensitive);
        incremental.SetOwnsObjects(true);
        bulk.SetOwnsObjects(true);
        size_t n = rng() % 40;
        // Entry k of the input carries objects bulkObjects[k] and incObjects[k].
        std::vector<TObject*> bulkObjects, incObjects;
        std::vector<std::unique_ptr<Tracked>> ignored;
        for (size_t k = 0; k < n; ++k) {
          std::string s = RandomText(rng);
          bulkObjects.push_back(new Tracked(&deathsBulk));
          bulk.AddObject(s, bulkObjects.back());
          int before = incremental.Count();
          auto* object = new Tracked(&deathsIncremental);
          incObjects.push_back(object);
          incremental.AddObject(s, object);
          if (incremental.Count() == before) ignored.emplace_back(object);  // not taken: still ours
        }
        bulk.SetSorted(true);
        ASSERT_EQ(Items(bulk), Items(incremental));
        for (int k = 0; k < bulk.Count(); ++k) {
          auto inputIndex = [](const std::vector<TObject*>& v, TObject* o) { return std::find(v.begin(), v.end(), o) - v.begin(); };
          ASSERT_EQ(inputIndex(bulkObjects, bulk.Objects(k)), inputIndex(incObjects, incremental.Objects(k))) << k;
        }
        EXPECT_EQ(deathsBulk, static_cast<int>(n) - bulk.Count());
        for (int k = 1; k < bulk.Count(); ++k) {
          int c = bulk.CompareStrings(bulk[k - 1], bulk[k]);
          EXPECT_LE(c, 0);
          if (dup == TDuplicates::dupIgnore) {
            EXPECT_LT(c, 0);
          }
        }
      }
    }
  }
}

TEST(SortedList, SetSortedKeepsTheFirstOfEqualsWithItsObject) {
  int deaths = 0;
  TStringList l;
  l.SetOwnsObjects(true);
  auto* first = new Tracked(&deaths);
  l.AddObject("Data", first);
  l.AddObject("a", new Tracked(&deaths));
  l.AddObject("DATA", new Tracked(&deaths));
  l.AddObject("data", new Tracked(&deaths));
  l.SetSorted(true);
  EXPECT_EQ(Items(l), (Strings{"a", "Data"}));
  EXPECT_EQ(l.Objects(1), first);
  EXPECT_EQ(deaths, 2);
}

// A sorted list against a plain model that keeps a vector in order by the comparison alone,
// under code-point order and, where the machine has them, language collations (where the list
// searches through cached sort keys).
class SortedListCollation : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!testing::UseTestLocale(GetParam())) GTEST_SKIP() << GetParam() << " is not available";
  }
  void TearDown() override { UseLocale("C.UTF-8"); }
};

TEST_P(SortedListCollation, AgreesWithAPlainModel) {
  std::mt19937 rng(11);
  for (bool caseSensitive : {false, true}) {
    for (TDuplicates dup : {TDuplicates::dupIgnore, TDuplicates::dupAccept}) {
      auto compare = [&](const std::string& a, const std::string& b) {
        return caseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
      };
      auto lowerBound = [&](const Strings& m, const std::string& s) {
        size_t p = 0;
        while (p < m.size() && compare(m[p], s) < 0) ++p;
        return p;
      };
      TStringList l(true, dup);
      l.SetCaseSensitive(caseSensitive);
      Strings model;
      for (int step = 0; step < 800; ++step) {
        std::string s = RandomText(rng);
        unsigned op = rng() % 20;
        if (op < 10) {
          size_t p = lowerBound(model, s);
          bool present = p < model.size() && compare(model[p], s) == 0;
          if (!(present && dup == TDuplicates::dupIgnore)) {
            while (p < model.size() && compare(model[p], s) == 0) ++p;
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(p), s);
          }
          ASSERT_EQ(l.Add(s), static_cast<int>(p));
        } else if (op < 13 && !model.empty()) {
          size_t k = rng() % model.size();
          model.erase(model.begin() + static_cast<std::ptrdiff_t>(k));
          l.Delete(static_cast<int>(k));
        } else if (op < 15) {
          size_t p = lowerBound(model, s);
          bool present = p < model.size() && compare(model[p], s) == 0;
          int index = -1;
          ASSERT_EQ(l.Find(s, index), present);
          ASSERT_EQ(index, static_cast<int>(p));
          ASSERT_EQ(l.IndexOf(s), present ? static_cast<int>(p) : -1);
        } else if (op < 19 && model.size() > 1) {
          // Out of order by hand, then sorted again.
          size_t a = rng() % model.size(), b = rng() % model.size();
          l.SetSorted(false);
          l.Exchange(static_cast<int>(a), static_cast<int>(b));
          std::swap(model[a], model[b]);
          l.SetSorted(true);
          std::stable_sort(model.begin(), model.end(),
                           [&](const std::string& x, const std::string& y) { return compare(x, y) < 0; });
          if (dup == TDuplicates::dupIgnore) {
            model.erase(std::unique(model.begin(), model.end(),
                                    [&](const std::string& x, const std::string& y) { return compare(x, y) == 0; }),
                        model.end());
          }
        } else if (op == 19 && rng() % 10 == 0) {
          l.Clear();
          model.clear();
        }
        ASSERT_EQ(Items(l), model) << "step " << step;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, SortedListCollation, ::testing::Values("C.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           std::string name = param.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// ---- Ownership and notification ------------------------------------------------------------

TEST(OwnsObjects, TheListDeletesTheObjectsItRemoves) {
  int deaths = 0;
  {
    TStringList l;
    l.SetOwnsObjects(true);
    l.AddObject("a", new Tracked(&deaths));
    l.AddObject("b", new Tracked(&deaths));
    l.AddObject("c", new Tracked(&deaths));
    l.AddObject("d", new Tracked(&deaths));
    l.Delete(0);
    EXPECT_EQ(deaths, 1);
    l.Clear();
    EXPECT_EQ(deaths, 4);
    l.AddObject("e", new Tracked(&deaths));
  }
  EXPECT_EQ(deaths, 5);
}

TEST(OnChange, FiresPerChangeOrOnceAfterAnUpdate) {
  TStringList l;
  int calls = 0;
  l.OnChange = [&](TStringList& sender) {
    EXPECT_EQ(&sender, &l);
    ++calls;
  };
  l.Add("a");
  EXPECT_EQ(calls, 1);
  l.BeginUpdate();
  l.Add("b");
  l.Add("c");
  l.Delete(0);
  EXPECT_EQ(calls, 1);
  l.EndUpdate();
  EXPECT_EQ(calls, 2);

  l.BeginUpdate();
  l.BeginUpdate();
  l.Add("d");
  l.EndUpdate();
  EXPECT_EQ(calls, 2);
  l.EndUpdate();
  EXPECT_EQ(calls, 3);

  l.BeginUpdate();
  l.EndUpdate();
  EXPECT_EQ(calls, 3);  // nothing changed

  l.SetText("x\ny\nz");
  EXPECT_EQ(calls, 4);
  l.SetCommaText("p,q");
  EXPECT_EQ(calls, 5);
  l.Clear();
  EXPECT_EQ(calls, 6);
  l.Clear();
  EXPECT_EQ(calls, 6);  // already empty
  l.EndUpdate();        // unbalanced: ignored
  l.Add("r");
  EXPECT_EQ(calls, 7);
}

TEST(OnChange, AFailedBulkChangeDoesNotSilenceTheList) {
  TStringList l(true, TDuplicates::dupError);
  int calls = 0;
  l.OnChange = [&](TStringList&) { ++calls; };
  EXPECT_THROW(l.SetCommaText("a,b,A"), EListError);
  EXPECT_EQ(calls, 1);  // what did change is announced once
  EXPECT_EQ(Items(l), (Strings{"a", "b"}));
  l.Add("c");
  EXPECT_EQ(calls, 2);
}

// ---- Performance --------------------------------------------------------------------------

Strings GeneratedPaths(size_t n) {
  std::mt19937 rng(42);
  static const char* const folders[] = {"Data", "data", "Letters", "Photos", "Ärger", "src", "Build", "x"};
  Strings paths;
  paths.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    std::string p = "/home/ann";
    size_t depth = 1 + rng() % 4;
    for (size_t d = 0; d < depth; ++d) p += "/" + std::string(folders[rng() % std::size(folders)]);
    p += "/file" + std::to_string(rng() % (n * 2)) + (rng() % 2 ? ".doc" : ".TXT");
    paths.push_back(std::move(p));
  }
  return paths;
}

TEST(SortedListPerformance, SortsTwoHundredThousandPathsAtOnce) {
  const Strings paths = GeneratedPaths(200000);
  TStringList l;
  for (const auto& p : paths) l.Add(p);
  const double start = testing::CpuSeconds();
  l.SetSorted(true);
  const double elapsed = testing::CpuSeconds() - start;
  int disorder = 0;
  for (int k = 1; k < l.Count(); ++k) disorder += AnsiCompareText(l[k - 1], l[k]) >= 0;
  EXPECT_EQ(disorder, 0);
  // Every path is still there, once: the generated names differ at most in ASCII letter case.
  Strings expected, kept;
  for (const auto& p : paths) expected.push_back(LowerCaseAscii(p));
  std::sort(expected.begin(), expected.end());
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  for (const auto& p : l) kept.push_back(LowerCaseAscii(p));
  std::sort(kept.begin(), kept.end());
  EXPECT_TRUE(kept == expected);
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
  // Only optimised builds without sanitizers say anything about speed.
  EXPECT_LT(elapsed, 1.0);
#else
  (void)elapsed;
#endif
}

}  // namespace
}  // namespace dravello
