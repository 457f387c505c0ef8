#include "ini/SectionIni.h"
#ifdef _WIN32
#include "runtime/WinPath.h"
#endif

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/Env.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"
#include "tests/support/FaultEnv.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("dv-ini-test-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    return names;
  }

 private:
  fs::path path_;
};

void Put(const std::string& path, const std::string& bytes) {
  auto f = Env::Platform().NewWritableFile(path);
  f->Append(bytes);
  f->Close();
}

std::string Get(const std::string& path) { return ReadFileToString(Env::Platform(), path); }

std::vector<std::string> Contents(TSectionIniFile& ini) {
  TStringList list;
  ini.ReadContents(list);
  return {list.begin(), list.end()};
}

std::vector<std::string> Lines(const TStringList& list) { return {list.begin(), list.end()}; }

using V = std::vector<std::string>;

class IniTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("test.ini");
};

// ---- Reading the file ----------------------------------------------------------------------

struct LoadCase {
  const char* name;
  std::string file;
  V contents;  // ReadContents after loading with all flags off
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class LoadTest : public IniTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, StoresWhatTheReaderKeeps) {
  Put(path, GetParam().file);
  TSectionIniFile ini(path);
  EXPECT_EQ(Contents(ini), GetParam().contents);
  EXPECT_FALSE(ini.Modified);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LoadTest,
    ::testing::Values(
        LoadCase{"CrLf", "[s]\r\na=1\r\nb=2\r\n", {"[s]", "a=1", "b=2", ""}},
        LoadCase{"CrAlone", "[s]\ra=1\rb=2", {"[s]", "a=1", "b=2", ""}},
        LoadCase{"LoneLfStaysInLine", "[s]\r\na=1\nb=2\r\n", {"[s]", "a=1\nb=2", ""}},
        LoadCase{"LfCrIsLfThenLineEnd", "[s]\r\na=1\n\r\n", {"[s]", "a=1\n", ""}},
        LoadCase{"EmptyLinesDropped", "\r\n[s]\r\n\r\n\r\na=1\r\n\r\n", {"[s]", "a=1", ""}},
        LoadCase{"LinesBeforeFirstSectionDropped", "x=1\r\n;c\r\n[s]\r\na=1\r\n", {"[s]", "a=1", ""}},
        LoadCase{"CtrlZEndsReading", "[s]\r\na=1\r\nb=2\x1a\r\nc=3\r\n", {"[s]", "a=1", "b=2", ""}},
        LoadCase{"HeaderWithLeadingBlankIsALine", "[s]\r\na=1\r\n [t]\r\nb=2\r\n", {"[s]", "a=1", " [t]", "b=2", ""}},
        LoadCase{"HeaderWithLeadingBlankFirstIsDropped", " [t]\r\nb=2\r\n[s]\r\n", {}},
        LoadCase{"HeaderWithTrailingBlankIsALine", "[s]\r\n[t] \r\n", {"[s]", "[t] ", ""}},
        LoadCase{"OddHeaderNames", "[]\r\na=1\r\n[a]b]\r\nb=2\r\n[ x ]\r\nc=3\r\n",
                 {"[]", "a=1", "", "[a]b]", "b=2", "", "[ x ]", "c=3", ""}},
        LoadCase{"LoneBracketIsALine", "[s]\r\n[\r\n]\r\n", {"[s]", "[", "]", ""}},
        LoadCase{"LinesWithoutEqualsStay", "[s]\r\n;comment\r\nplain\r\na=1\r\n", {"[s]", ";comment", "plain", "a=1", ""}},
        LoadCase{"FirstDuplicateSurvives", "[A]\r\nx=1\r\n[B]\r\ny=1\r\n[a]\r\nx=2\r\nz=3\r\n",
                 {"[A]", "x=1", "", "[B]", "y=1", ""}},
        LoadCase{"EmptySectionNotListed", "[e]\r\n[s]\r\na=1\r\n", {"[s]", "a=1", ""}}),
    [](const ::testing::TestParamInfo<LoadCase>& p) { return std::string(p.param.name); });

TEST_F(IniTest, MissingFileGivesEmptyStoreAndOneWriteMakesThreeLines) {
  {
    TSectionIniFile ini(path);
    EXPECT_EQ(ini.Sections.Count(), 0);
    EXPECT_EQ(ini.ReadText("s", "k", "dflt"), "dflt");
    ini.WriteText("s", "k", "v");
  }
  EXPECT_EQ(Get(path), "[s]\r\nk=v\r\n\r\n");
}

TEST_F(IniTest, ReadingWithoutWritesLeavesTheFileUntouched) {
  const std::string original = "junk\r\n\r\n[A]\r\nx=1\r\n\r\n[a]\r\nx=2\r\n[B]\ry\n=2";
  Put(path, original);
  auto before = fs::last_write_time(path);
  {
    TSectionIniFile ini(path);
    EXPECT_EQ(ini.ReadText("a", "x", ""), "1");
    EXPECT_FALSE(ini.Modified);
  }
  EXPECT_EQ(Get(path), original);
  EXPECT_EQ(fs::last_write_time(path), before);
}

TEST_F(IniTest, LaterDuplicateVanishesAtTheNextWriteBack) {
  Put(path, "[A]\r\nx=1\r\n[a]\r\nx=2\r\n");
  {
    TSectionIniFile ini(path);
    EXPECT_EQ(ini.ReadText("A", "x", ""), "1");
    ini.WriteText("other", "k", "v");
  }
  EXPECT_EQ(Get(path), "[A]\r\nx=1\r\n\r\n[other]\r\nk=v\r\n\r\n");
}

TEST_F(IniTest, BufferSizeDoesNotChangeWhatIsReadOrWritten) {
  // Line ends and a Ctrl-Z land on every possible chunk boundary for the small sizes.
  const std::string file = "[s]\r\na=1\r\r\nb=2\nc\r\n[t]\r\nx=y\x1azzz";
  const V expected = {"[s]", "a=1", "b=2\nc", "", "[t]", "x=y", ""};
  for (int32_t size : {1, 2, 3, 7, 0, -1, 28672}) {
    SCOPED_TRACE(size);
    Put(path, file);
    TSectionIniFile ini("");
    ini.FileBufferSize = size;
    ini.SetFileName(path);
    EXPECT_EQ(Contents(ini), expected);
    ini.WriteText("t", "n", "1");
    ini.UpdateFile();
    EXPECT_EQ(Get(path), "[s]\r\na=1\r\nb=2\nc\r\n\r\n[t]\r\nx=y\r\nn=1\r\n\r\n");
  }
}

// ---- Load flags ----------------------------------------------------------------------------

enum Flag { kSkip = 1, kKeyOnly = 2, kTrimEq = 4, kUnquote = 8, kTrimEnd = 16 };

struct FlagCase {
  int flags;
  std::string line;
  V stored;  // the section's lines after loading "[s]" + line
};

void PrintTo(const FlagCase& c, std::ostream* os) { *os << "flags " << c.flags << " " << ::testing::PrintToString(c.line); }

class FlagTest : public IniTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FlagTest, ShapesTheStoredLine) {
  const FlagCase& c = GetParam();
  Put(path, "[s]\r\n" + c.line + "\r\n");
  TSectionIniFile ini("");
  ini.SkipComments = c.flags & kSkip;
  ini.KeyLinesOnly = c.flags & kKeyOnly;
  ini.TrimAroundEquals = c.flags & kTrimEq;
  ini.UnquoteValues = c.flags & kUnquote;
  ini.TrimLineEnds = c.flags & kTrimEnd;
  ini.SetFileName(path);
  TStringList values;
  ini.ReadSectionValues("s", values);
  EXPECT_EQ(Lines(values), c.stored) << "line \"" << c.line << "\" flags " << c.flags;
}

INSTANTIATE_TEST_SUITE_P(
    Flags, FlagTest,
    ::testing::Values(
        FlagCase{0, " k = v ", {" k = v "}},
        FlagCase{kSkip, ";k=v", {}},
        FlagCase{kSkip, " ;k=v", {" ;k=v"}},
        FlagCase{kKeyOnly, "plain", {}},
        FlagCase{kKeyOnly, "=x", {"=x"}},
        FlagCase{kTrimEq, "k \t= \tv", {"k=v"}},
        FlagCase{kTrimEq, " =x", {"=x"}},
        FlagCase{kTrimEq, "= v", {"= v"}},
        FlagCase{kTrimEq, "k= ", {"k="}},
        FlagCase{kTrimEq, "k=v = w", {"k=v = w"}},
        FlagCase{kTrimEq, "no equals  ", {"no equals  "}},
        FlagCase{kUnquote, "k=\"v\"", {"k=v"}},
        FlagCase{kUnquote, "k='v'", {"k=v"}},
        FlagCase{kUnquote, "k=\"\"", {"k="}},
        FlagCase{kUnquote, "k=\"", {"k=\""}},
        FlagCase{kUnquote, "k=\"v'", {"k=\"v'"}},
        FlagCase{kUnquote, "k=\"a\"b\"", {"k=a\"b"}},
        FlagCase{kUnquote, "=\"v\"", {"=\"v\""}},
        FlagCase{kUnquote, "k= \"v\"", {"k= \"v\""}},
        FlagCase{kUnquote | kTrimEq, "k = 'v'", {"k=v"}},
        FlagCase{kTrimEnd, "k=v \t\x01", {"k=v"}},
        FlagCase{kTrimEnd, "   ", {""}},
        FlagCase{kTrimEnd, "[t] ", {"[t]"}},
        // Unquoting looks at the untrimmed end, so a blank after the quote keeps the quotes.
        FlagCase{kUnquote | kTrimEnd, "k=\"v\" ", {"k=\"v\""}},
        FlagCase{kKeyOnly | kTrimEnd, "x ", {}}));

TEST_F(IniTest, SkipCommentsHidesCommentKeysFromReadSection) {
  Put(path, "[s]\r\n;c=1\r\nk=2\r\n=3\r\nplain\r\nk=4\r\n");
  TSectionIniFile ini(path);
  TStringList keys;
  keys.Add("kept");
  ini.ReadSection("s", keys);
  EXPECT_EQ(Lines(keys), (V{"kept", ";c", "k", "k"}));
  ini.SkipComments = true;
  keys.Clear();
  ini.ReadSection("s", keys);
  EXPECT_EQ(Lines(keys), (V{"k", "k"}));
}

// A line without "=" has no key: ReadSection must not list what ReadText and ValueExists cannot
// find (a comment in the scripts section would otherwise show up as a script name).
TEST_F(IniTest, ReadSectionListsOnlyKeysThatCanBeRead) {
  Put(path, "[scripts]\r\n; my scripts\r\nDaily=1\r\n [t]\r\nWeekly=1\r\n");
  TSectionIniFile ini(path);
  TStringList keys;
  ini.ReadSection("scripts", keys);
  EXPECT_EQ(Lines(keys), (V{"Daily", "Weekly"}));
  for (const std::string& key : keys) EXPECT_EQ(ini.ReadText("scripts", key, "missing"), "1") << key;
  EXPECT_FALSE(ini.ValueExists("scripts", " [t]"));
}

// ---- Typed reads ---------------------------------------------------------------------------

struct IntCase {
  std::string value;
  int32_t expected;  // with the default 77
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.value); }

class ReadIntegerTest : public IniTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(ReadIntegerTest, ConvertsOrGivesTheDefault) {
  TSectionIniFile ini("");
  ini.WriteText("s", "k", GetParam().value);
  EXPECT_EQ(ini.ReadInteger("s", "k", 77), GetParam().expected) << "\"" << GetParam().value << "\"";
}

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Values, ReadIntegerTest,
    ::testing::Values(IntCase{"0x1F", 31}, IntCase{"0X1f", 31}, IntCase{"$1F", 31}, IntCase{"x1f", 31},
                      IntCase{"X1F", 31}, IntCase{" 12", 12}, IntCase{"12 ", 77}, IntCase{"1.5", 77},
                      IntCase{"", 77}, IntCase{"-12", -12}, IntCase{"+12", 12}, IntCase{"00012", 12},
                      IntCase{"2147483647", kMax}, IntCase{"2147483648", 77}, IntCase{"-2147483648", kMin},
                      IntCase{"-2147483649", 77}, IntCase{"$FFFFFFFF", -1}, IntCase{"0xffffffff", -1},
                      IntCase{"$80000000", kMin}, IntCase{"$100000000", 77}, IntCase{"-$1", 77},
                      IntCase{"+$1", 77}, IntCase{"-0x1", 77}, IntCase{" 0x1F", 77}, IntCase{"$", 77},
                      IntCase{"0x", 77}, IntCase{"12a", 77}, IntCase{"$1G", 77}, IntCase{"1 2", 77},
                      IntCase{"\t12", 77}, IntCase{"abc", 77}, IntCase{"-", 77}));

struct BoolCase {
  std::string value;
  bool withFalseDefault, withTrueDefault;
};

void PrintTo(const BoolCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.value); }

class ReadBoolTest : public IniTest, public ::testing::WithParamInterface<BoolCase> {};

TEST_P(ReadBoolTest, AnyNonZeroIntegerIsTrue) {
  TSectionIniFile ini("");
  ini.WriteText("s", "k", GetParam().value);
  EXPECT_EQ(ini.ReadBool("s", "k", false), GetParam().withFalseDefault) << GetParam().value;
  EXPECT_EQ(ini.ReadBool("s", "k", true), GetParam().withTrueDefault) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, ReadBoolTest,
                         ::testing::Values(BoolCase{"1", true, true}, BoolCase{"2", true, true},
                                           BoolCase{"-1", true, true}, BoolCase{"$10", true, true},
                                           BoolCase{"0", false, false}, BoolCase{"0x0", false, false},
                                           BoolCase{"true", false, true}, BoolCase{"", false, true}));

TEST_F(IniTest, ReadTextFindsKeysByTheTextBeforeTheFirstEquals) {
  Put(path, "[S]\r\nkey = value\r\nempty=\r\nq= \"v\" \r\nplain\r\n=anon\r\nk=1\r\nK=2\r\nk=v=w\r\n");
  TSectionIniFile ini(path);
  EXPECT_EQ(ini.ReadText("s", "key", "d"), "d");
  EXPECT_EQ(ini.ReadText("s", "key ", "d"), " value");
  EXPECT_EQ(ini.ReadText("s", "EMPTY", "d"), "");
  EXPECT_EQ(ini.ReadInteger("s", "empty", 5), 5);
  EXPECT_EQ(ini.ReadText("s", "q", "d"), " \"v\" ");
  EXPECT_EQ(ini.ReadText("s", "plain", "d"), "d");
  EXPECT_EQ(ini.ReadText("s", "", "d"), "anon");
  EXPECT_EQ(ini.ReadText("s", "K", "d"), "1");  // the first of two lines
  EXPECT_EQ(ini.ReadText("missing", "k", "d"), "d");
  EXPECT_EQ(ini.ReadValue("s", "k", "d"), "1");
  EXPECT_TRUE(ini.ValueExists("s", "KEY "));
  EXPECT_FALSE(ini.ValueExists("s", "key"));
  EXPECT_FALSE(ini.ValueExists("missing", "k"));
}

TEST_F(IniTest, ValueStartsAfterTheLinesOwnEquals) {
  // The Kelvin sign (three bytes) and "k" (one byte) are the same letter without case.
#ifdef _WIN32
  if (RunningUnderWine()) GTEST_SKIP() << "Wine's case table does not fold the Kelvin sign to \"k\"";
#endif
  Put(path, "[s]\r\nk=value\r\n");
  TSectionIniFile ini(path);
  EXPECT_EQ(ini.ReadText("s", "\xE2\x84\xAA", "d"), "value");
}

TEST_F(IniTest, KeyContainingEqualsIsNeverFound) {
  TSectionIniFile ini(path);
  ini.WriteText("s", "a=b", "1");
  ini.WriteText("s", "a=b", "1");
  EXPECT_EQ(ini.ReadText("s", "a=b", "d"), "d");
  TStringList values;
  ini.ReadSectionValues("s", values);
  EXPECT_EQ(Lines(values), (V{"a=b=1", "a=b=1"}));
}

// ---- Dates, times and floating-point values -----------------------------------------------

TEST_F(IniTest, DatesTimesAndFloatsRoundTripInTheirFixedForms) {
  TSectionIniFile ini("");
  TDateTime when = EncodeDateTime({2024, 2, 29, 13, 5, 9, 0});
  TDateTime withMs = EncodeDateTime({1899, 12, 29, 23, 59, 58, 120});
  ini.WriteDate("s", "d", when);
  ini.WriteDateTime("s", "dt", when);
  ini.WriteDateTime("s", "ms", withMs);
  ini.WriteTime("s", "t", when);
  ini.WriteFloat("s", "f", 0.1);
  ini.WriteFloat("s", "big", -1e300);
  EXPECT_EQ(ini.ReadText("s", "d", ""), "2024-02-29");
  EXPECT_EQ(ini.ReadText("s", "dt", ""), "2024-02-29 13:05:09");
  EXPECT_EQ(ini.ReadText("s", "ms", ""), "1899-12-29 23:59:58.120");
  EXPECT_EQ(ini.ReadText("s", "t", ""), "13:05:09");
  EXPECT_EQ(ini.ReadText("s", "f", ""), "0.1");
  EXPECT_EQ(ini.ReadDate("s", "d", 0), EncodeDateTime({2024, 2, 29}));
  EXPECT_EQ(ini.ReadDateTime("s", "dt", 0), when);
  EXPECT_NEAR(ini.ReadDateTime("s", "ms", 0), withMs, 1e-9);
  EXPECT_NEAR(ini.ReadTime("s", "t", 0), when - std::floor(when), 1e-9);
  EXPECT_EQ(ini.ReadFloat("s", "f", 0), 0.1);
  EXPECT_EQ(ini.ReadFloat("s", "big", 0), -1e300);
  EXPECT_EQ(ini.ReadDateTime("s", "d", 0), EncodeDateTime({2024, 2, 29}));
  EXPECT_THROW(ini.WriteDate("s", "bad", std::nan("")), EConvertError);
}

TEST_F(IniTest, UnconvertibleDatesTimesAndFloatsGiveTheDefault) {
  TSectionIniFile ini("");
  const TDateTime dflt = 12345.5;
  for (const char* text : {"", "2023-02-29", "2024-13-01", "2024-1-02", "2024-01-02x", "02.01.2024", "0000-01-01"}) {
    ini.WriteText("s", "v", text);
    EXPECT_EQ(ini.ReadDate("s", "v", dflt), dflt) << text;
  }
  for (const char* text : {"24:00", "12:60", "12", "12:00:00.5", "12:00 ", "2024-01-02 12:00"}) {
    ini.WriteText("s", "v", text);
    if (std::string(text) == "12:00 ") {
      EXPECT_EQ(ini.ReadTime("s", "v", dflt), 0.5) << "blanks around the text are ignored";
    } else {
      EXPECT_EQ(ini.ReadTime("s", "v", dflt), dflt) << text;
    }
  }
  for (const char* text : {"2024-01-02T12:00", "2024-01-02  12:00", "2024-01-02 25:00"}) {
    ini.WriteText("s", "v", text);
    EXPECT_EQ(ini.ReadDateTime("s", "v", dflt), dflt) << text;
  }
  for (const char* text : {"", "1,5", "abc", "1e999", "+-1", "0x10", "1.5 kg"}) {
    ini.WriteText("s", "v", text);
    EXPECT_EQ(ini.ReadFloat("s", "v", -7.0), -7.0) << text;
  }
  ini.WriteText("s", "v", " +2.5 ");
  EXPECT_EQ(ini.ReadFloat("s", "v", -7.0), 2.5);
  EXPECT_EQ(ini.ReadFloat("s", "missing", -7.0), -7.0);
}

// ---- Writes and Modified -------------------------------------------------------------------

TEST_F(IniTest, WritingTheSameValueAgainChangesNothing) {
  Put(path, "[s]\r\nKey=v\r\n");
  TSectionIniFile ini(path);
  ini.WriteText("S", "KEY", "v");
  EXPECT_TRUE(ini.Modified) << "the key's letter case differs";
  ini.UpdateFile();
  EXPECT_EQ(Get(path), "[s]\r\nKEY=v\r\n\r\n");
  ini.WriteText("s", "KEY", "v");
  ini.WriteInteger("s", "n", -5);
  ini.UpdateFile();
  ini.WriteInteger("s", "n", -5);
  ini.WriteBool("s", "KEY", false);
  ini.WriteText("s", "KEY", "v");
  EXPECT_TRUE(ini.Modified) << "changed and changed back still counts as a change";
  ini.UpdateFile();
  ini.WriteText("s", "n", "-5");
  EXPECT_FALSE(ini.Modified);
}

TEST_F(IniTest, WriteBackLayout) {
  Put(path, "[first]\r\na=1\r\n;note\r\n[empty]\r\n[last]\r\nz=9\r\n");
  TSectionIniFile ini(path);
  ini.WriteBool("new", "b", true);
  ini.WriteText("first", "c", "3");
  ini.DeleteKey("last", "z");
  ini.UpdateFile();
  EXPECT_EQ(Get(path), "[first]\r\na=1\r\n;note\r\nc=3\r\n\r\n[new]\r\nb=1\r\n\r\n");
  EXPECT_TRUE(ini.SectionExists("last")) << "the emptied section stays in memory";
}

TEST_F(IniTest, DeleteKeyOnMissingSectionAddsItSilently) {
  Put(path, "[s]\r\nk=v\r\n");
  auto before = fs::last_write_time(path);
  {
    TSectionIniFile ini(path);
    ini.DeleteKey("ghost", "k");
    ini.DeleteKey("s", "missing");
    EXPECT_TRUE(ini.SectionExists("GHOST"));
    EXPECT_FALSE(ini.Modified);
  }
  EXPECT_EQ(Get(path), "[s]\r\nk=v\r\n");
  EXPECT_EQ(fs::last_write_time(path), before);
}

TEST_F(IniTest, EmptyKeyErasesOrSaves) {
  TSectionIniFile ini(path);
  ini.WriteText("a", "k", "1");
  ini.WriteText("b", "k", "2");
  ini.WriteText("", "", "");
  EXPECT_FALSE(ini.Modified);
  EXPECT_EQ(Get(path), "[a]\r\nk=1\r\n\r\n[b]\r\nk=2\r\n\r\n");
  ini.WriteText("A", "", "");
  EXPECT_FALSE(ini.HasSection("a"));
  EXPECT_TRUE(ini.Modified);
  ini.UpdateFile();
  ini.WriteText("", "", "x");  // erases the section named "", which is not there
  ini.WriteText("missing", "", "");
  EXPECT_FALSE(ini.Modified);
}

TEST_F(IniTest, ModifiedFollowsTheStoreLife) {
  Put(path, "[A]\r\nx=1\r\n[a]\r\nx=2\r\n");
  TSectionIniFile ini(path);
  EXPECT_FALSE(ini.Modified) << "assigning the file name clears it after removing duplicates";
  ini.LoadFile(path);  // appends both sections again: duplicates of what is there
  EXPECT_TRUE(ini.Modified);
  EXPECT_EQ(Contents(ini), (V{"[A]", "x=1", ""}));
  ini.Modified = false;
  ini.EraseSection("nothing");
  EXPECT_FALSE(ini.Modified);
  ini.EraseSection("a");
  EXPECT_TRUE(ini.Modified);
  ini.ClearSections();
  EXPECT_TRUE(ini.Modified) << "clearing leaves Modified alone";

  TSectionIniFile detached("");
  detached.WriteText("s", "k", "v");
  detached.SaveIfModified();
  EXPECT_FALSE(detached.Modified) << "no file name: nothing to write, nothing pending";
}

TEST_F(IniTest, AssigningAFileNameSavesTheOldFileFirst) {
  std::string other = dir.File("other.ini");
  Put(other, "[o]\r\nk=other\r\n");
  TSectionIniFile ini(path);
  ini.WriteText("s", "k", "v");
  ini.SetFileName(other);
  EXPECT_EQ(Get(path), "[s]\r\nk=v\r\n\r\n");
  EXPECT_EQ(ini.FileName(), other);
  EXPECT_FALSE(ini.HasSection("s"));
  EXPECT_EQ(ini.ReadText("o", "k", ""), "other");
  EXPECT_FALSE(ini.Modified);
}

TEST_F(IniTest, LoneLfSurvivesARewrite) {
  Put(path, "[s]\r\nk=a\nb\r\n");
  {
    TSectionIniFile ini(path);
    EXPECT_EQ(ini.ReadText("s", "k", ""), "a\nb");
    ini.WriteText("s", "n", "1");
  }
  EXPECT_EQ(Get(path), "[s]\r\nk=a\nb\r\nn=1\r\n\r\n");
}

TEST_F(IniTest, ListReadsAppendReplaceOrClearAsDocumented) {
  Put(path, "[one]\r\na=1\r\nplain\r\n[two]\r\nb=2\r\n");
  TSectionIniFile ini(path);
  TStringList list;
  list.Add("old");
  ini.ReadSectionValues("missing", list);
  ini.ReadSection("missing", list);
  EXPECT_EQ(Lines(list), (V{"old"}));
  ini.ReadSectionValues("ONE", list);
  EXPECT_EQ(Lines(list), (V{"old", "a=1", "plain"}));
  ini.ClearBeforeSectionValues = true;
  ini.ReadSectionValues("two", list);
  EXPECT_EQ(Lines(list), (V{"b=2"}));
  ini.ReadSections(list);
  EXPECT_EQ(Lines(list), (V{"one", "two"}));
  ini.ReadContents(list);
  EXPECT_EQ(Lines(list), (V{"one", "two", "[one]", "a=1", "plain", "", "[two]", "b=2", ""}));
  int changes = 0;
  list.OnChange = [&](TStringList&) { ++changes; };
  ini.ReadSections(list);
  EXPECT_EQ(changes, 1) << "one notification per read";
}

// ---- Lines that would not read back ----------------------------------------------------------

struct RefusedCase {
  std::string section, key, value;
  std::string named;  // what the message must name
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.section) << " " << ::testing::PrintToString(c.key) << " "
      << ::testing::PrintToString(c.value);
}

class RefusedWriteTest : public IniTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedWriteTest, IsRefusedAndChangesNothing) {
  const RefusedCase& c = GetParam();
  TSectionIniFile ini(path);
  try {
    ini.WriteText(c.section, c.key, c.value);
    FAIL() << "accepted";
  } catch (const EConvertError& e) {
    EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
  }
  EXPECT_FALSE(ini.Modified);
  EXPECT_EQ(ini.Sections.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Values, RefusedWriteTest,
                         ::testing::Values(RefusedCase{"s", "key", "a\rb", "key \"key\""},
                                           RefusedCase{"s", "key", "a\r\n", "key \"key\""},
                                           RefusedCase{"s", "key", "a\nb", "key \"key\""},
                                           RefusedCase{"s", "k\r", "v", "key \"k\\r\""},
                                           RefusedCase{"s", "k\n2", "v", "key \"k\\n2\""},
                                           RefusedCase{"s", "key", "a\x1a", "key \"key\""},
                                           RefusedCase{"s\r", "k", "v", "section \"s\\r\""},
                                           RefusedCase{"a\nb", "k", "v", "section \"a\\nb\""},
                                           RefusedCase{"s", "[x", "y]", "key \"[x\""},
                                           RefusedCase{"s", "[", "]", "section header"}));

TEST_F(IniTest, RefusalLeavesEarlierChangesAndAcceptsNearMisses) {
  TSectionIniFile ini(path);
  ini.WriteText("s", "[x", "y");
  ini.WriteText("s", "k", "]");
  ini.WriteText("s", "x[", "]");
  EXPECT_THROW(ini.WriteInteger("s\n", "k", 1), EConvertError);
  ini.UpdateFile();
  EXPECT_EQ(Get(path), "[s]\r\n[x=y\r\nk=]\r\nx[=]\r\n\r\n");
  TSectionIniFile again(path);
  EXPECT_EQ(again.ReadText("s", "x[", ""), "]");
}

// ---- Duplicate sections ------------------------------------------------------------------------

void AddSection(TSectionList& list, const std::string& name, const V& lines) {
  TStringList& l = list.SectionLines(list.AddSection(name));
  for (const std::string& s : lines) l.Add(s);
}

std::vector<std::pair<std::string, V>> Dump(const TSectionList& list) {
  std::vector<std::pair<std::string, V>> out;
  for (int i = 0; i < list.Count(); ++i) out.emplace_back(list[i], Lines(list.SectionLines(i)));
  return out;
}

using Dumped = std::vector<std::pair<std::string, V>>;

TEST(RemoveDuplicatesTest, WithoutHandlerTheFirstSurvivesInPlace) {
  TSectionList list;
  AddSection(list, "B", {"b=1"});
  AddSection(list, "a", {"x=1"});
  AddSection(list, "C", {});
  AddSection(list, "A", {"x=2"});
  AddSection(list, "b", {"b=2"});
  AddSection(list, "a", {"x=3"});
  list.LastIndex = 3;
  EXPECT_TRUE(list.RemoveDuplicates(nullptr));
  EXPECT_EQ(Dump(list), (Dumped{{"B", {"b=1"}}, {"a", {"x=1"}}, {"C", {}}}));
  EXPECT_EQ(list.LastIndex, 0);
  EXPECT_FALSE(list.RemoveDuplicates(nullptr));
}

TEST(RemoveDuplicatesTest, HandlerSeesEarlierThenLaterAndMayKeepTheLater) {
  TSectionList list;
  AddSection(list, "X", {"x=0"});
  AddSection(list, "A", {"a=1"});
  AddSection(list, "B", {});
  AddSection(list, "a", {"a=2"});
  AddSection(list, "A", {"a=3"});
  std::vector<std::pair<V, V>> calls;
  EXPECT_TRUE(list.RemoveDuplicates([&](const std::string& name, TStringList& earlier, TStringList& later) {
    EXPECT_TRUE(AnsiSameText(name, "a"));
    calls.emplace_back(Lines(earlier), Lines(later));
    return false;
  }));
  // Each time the later one stays, and then meets the next duplicate as the earlier one.
  EXPECT_EQ(calls, (std::vector<std::pair<V, V>>{{{"a=1"}, {"a=2"}}, {{"a=2"}, {"a=3"}}}));
  EXPECT_EQ(Dump(list), (Dumped{{"X", {"x=0"}}, {"B", {}}, {"A", {"a=3"}}}));
}

TEST(RemoveDuplicatesTest, HandlerMayMergeAndKeepTheEarlier) {
  TSectionList list;
  AddSection(list, "s", {"a=1"});
  AddSection(list, "t", {"t=1"});
  AddSection(list, "S", {"b=2"});
  list.RemoveDuplicates([](const std::string&, TStringList& earlier, TStringList& later) {
    earlier.AddStrings(later);
    return true;
  });
  EXPECT_EQ(Dump(list), (Dumped{{"s", {"a=1", "b=2"}}, {"t", {"t=1"}}}));
}

TEST(RemoveDuplicatesTest, RaisingHandlerLeavesNoEntryWithoutLines) {
  TSectionList list;
  for (const char* name : {"a", "A", "a", "b", "B"}) AddSection(list, name, {std::string(name) + "=1"});
  int calls = 0;
  EXPECT_THROW(list.RemoveDuplicates([&](const std::string&, TStringList&, TStringList&) -> bool {
                 if (++calls == 2) throw EConvertError("handler failed");
                 return true;
               }),
               EConvertError);
  EXPECT_EQ(list.Count(), 4);
  for (int i = 0; i < list.Count(); ++i) EXPECT_NO_THROW(list.SectionLines(i));
}

TEST_F(IniTest, ConflictHandlerRunsDuringTheLoad) {
  Put(path, "[s]\r\nv=old\r\n[t]\r\n[S]\r\nv=new\r\n");
  TSectionIniFile ini("");
  ini.OnSectionConflict = [](const std::string&, TStringList&, TStringList&) { return false; };
  ini.SetFileName(path);
  EXPECT_FALSE(ini.Modified);
  TStringList names;
  ini.ReadSections(names);
  EXPECT_EQ(Lines(names), (V{"t", "S"}));
  EXPECT_EQ(ini.ReadText("s", "v", ""), "new");
}

// ---- Section and key searches ------------------------------------------------------------------

TEST(LocateKeyTest, CircularSearchStartsAtTheCurrentSection) {
  TSectionIniFile ini("");
  for (const char* name : {"s0", "s1", "s2", "s3"}) AddSection(ini.Sections, name, {"k=" + std::string(name)});
  AddSection(ini.Sections, "S1", {"k=second s1"});  // a twin only the circular search can tell apart
  ini.CurrentSection = 2;
  EXPECT_EQ(ini.ReadText("s3", "k", ""), "s3");
  EXPECT_EQ(ini.CurrentSection, 3);
  EXPECT_EQ(ini.ReadText("s1", "k", ""), "second s1") << "going on from s3 meets the twin first";
  EXPECT_EQ(ini.CurrentSection, 4);
  EXPECT_EQ(ini.ReadText("s1", "k", ""), "second s1");
  EXPECT_EQ(ini.ReadText("s0", "k", ""), "s0");
  EXPECT_EQ(ini.ReadText("s1", "k", ""), "s1");
  ini.CurrentSection = 2;
  EXPECT_EQ(ini.ReadText("none", "k", "d"), "d");
  EXPECT_EQ(ini.CurrentSection, 1) << "left on the last section examined";
  EXPECT_EQ(ini.Sections.Count(), 5);
  ini.WriteText("none", "k", "v");
  EXPECT_EQ(ini.CurrentSection, 5);
  ini.CurrentSection = 99;  // out of range: the search starts at 0
  EXPECT_EQ(ini.ReadText("S1", "k", ""), "s1");
  EXPECT_EQ(ini.CurrentSection, 1);
}

TEST(LocateKeyTest, EraseSectionResetsPositionsThatFallOffTheEnd) {
  TSectionIniFile ini("");
  for (const char* name : {"a", "b", "c", "d"}) ini.WriteText(name, "k", "v");
  EXPECT_EQ(ini.CurrentSection, 3);
  ini.CurrentSection = 1;
  ini.Sections.LastIndex = 2;
  ini.EraseSection("d");
  EXPECT_EQ(ini.CurrentSection, 1) << "still below the count";
  EXPECT_EQ(ini.Sections.LastIndex, 0);
  ini.CurrentSection = 2;
  ini.EraseSection("a");
  EXPECT_EQ(ini.CurrentSection, 0);
}

TEST(SectionListTest, IndexOfSectionSearchesFromLastIndex) {
  TSectionList list;
  for (const char* name : {"A", "b", "a", "c"}) list.AddSection(name);
  EXPECT_EQ(list.IndexOfSection("a"), 0);
  list.LastIndex = 1;
  EXPECT_EQ(list.IndexOfSection("a"), 2);
  EXPECT_EQ(list.LastIndex, 2);
  EXPECT_EQ(list.IndexOf("A"), 2) << "IndexOf goes the same way";
  list.LastIndex = 3;
  EXPECT_EQ(list.IndexOfSection("B"), 1);
  EXPECT_EQ(list.IndexOfSection("zz"), -1);
  EXPECT_EQ(list.LastIndex, 1);
  list.LastIndex = 40;
  EXPECT_EQ(list.IndexOfSection("c"), 3);
  EXPECT_EQ(TSectionList().IndexOfSection(""), -1);
}

TEST(SectionListTest, IndexOfKeyNameMatchesTheTextBeforeTheFirstEquals) {
  TSectionList list;
  for (const char* entry : {"key", "x=key=1", "KEY=2", "key=3", "=4"}) list.AddSection(entry);
  EXPECT_EQ(list.IndexOfKeyName("key"), 2);
  EXPECT_EQ(list.IndexOfKeyName("x"), 1);
  EXPECT_EQ(list.IndexOfKeyName(""), 4);
  EXPECT_EQ(list.IndexOfKeyName("x=key"), -1);
}

// ---- Failures ----------------------------------------------------------------------------------

class WriteBackFailureTest : public IniTest {
 protected:
  void SetUp() override {
    // Larger than one buffer, so the new content goes out in several writes.
    for (int i = 0; i < 1500; ++i) original += "key" + std::to_string(i) + "=some value " + std::to_string(i) + "\r\n";
    original = "[big]\r\n" + original + "\r\n";
    Reset();
  }
  void Reset() {
    Put(path, original);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }
  // Runs a failing write-back and checks that nothing was lost.
  template <class Exc>
  void ExpectIntact(const std::function<void(FaultEnv&)>& arm, int expectedCode) {
    Reset();
    TSectionIniFile ini(path);
    ini.WriteText("big", "key0", "changed");
    FaultEnv fault(Env::Platform());
    arm(fault);
    {
      ScopedEnv scoped(fault);
      try {
        ini.UpdateFile();
        ADD_FAILURE() << "write-back succeeded";
      } catch (const Exc& e) {
        EXPECT_EQ(e.ErrorCode(), expectedCode);
      }
    }
    EXPECT_TRUE(ini.Modified);
    EXPECT_TRUE(Get(path) == original) << "the old file is unchanged";
    EXPECT_EQ(dir.Names(), V{"test.ini"}) << "no temporary file is left";
    ini.UpdateFile();  // the disk is fine again: the same store writes
    EXPECT_FALSE(ini.Modified);
    EXPECT_EQ(Get(path).substr(0, 27), "[big]\r\nkey0=changed\r\nkey1=s");
#ifndef _WIN32  // Windows has no permission bits to keep
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
  }
  std::string original;
};

TEST_F(WriteBackFailureTest, FullDiskAtAnyPoint) {
  const int64_t size = static_cast<int64_t>(original.size() - std::string("some value 0").size() + std::string("changed").size());
  for (int64_t n : {int64_t{0}, int64_t{1}, int64_t{28671}, int64_t{28672}, int64_t{28673}, size - 1}) {
    SCOPED_TRACE(n);
    ExpectIntact<EInOutError>([n](FaultEnv& f) { f.FailWritesAfter(n); }, ENOSPC);
  }
}

TEST_F(WriteBackFailureTest, FailedFlush) {
  ExpectIntact<EInOutError>([](FaultEnv& f) { f.FailSync(true); }, EIO);
}

TEST_F(WriteBackFailureTest, RefusedRename) {
  ExpectIntact<EOSError>([](FaultEnv& f) { f.FailWhen([](const std::string& op, const std::string&) { return op == "rename"; }); },
                         EACCES);
}

TEST_F(WriteBackFailureTest, RefusedTemporaryFile) {
  ExpectIntact<EOSError>([](FaultEnv& f) { f.FailWhen([](const std::string& op, const std::string&) { return op == "create"; }); },
                         EACCES);
}

TEST_F(WriteBackFailureTest, ReadOnlyFileIsNotReplaced) {
  TSectionIniFile ini(path);
  ini.WriteText("big", "key0", "changed");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
  try {
    ini.UpdateFile();
    ADD_FAILURE() << "replaced";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), EACCES);
  }
  EXPECT_TRUE(ini.Modified);
  EXPECT_TRUE(Get(path) == original);
  EXPECT_EQ(dir.Names(), V{"test.ini"});
}

TEST_F(WriteBackFailureTest, DestructorSwallowsAndKeepsTheOldFile) {
  FaultEnv fault(Env::Platform());
  fault.FailWritesAfter(100);
  std::optional<TSectionIniFile> ini(std::in_place, path);
  ini->WriteText("big", "key0", "changed");
  ScopedEnv scoped(fault);
  EXPECT_NO_THROW(ini.reset());
  EXPECT_TRUE(Get(path) == original);
  EXPECT_EQ(dir.Names(), V{"test.ini"});
}

TEST_F(WriteBackFailureTest, WritesGoOutInBufferSizedChunks) {
  TSectionIniFile ini(path);
  ini.FileBufferSize = 10;
  ini.WriteText("big", "key0", "changed");
  FaultEnv fault(Env::Platform());
  fault.FailWritesAfter(25);
  ScopedEnv scoped(fault);
  EXPECT_THROW(ini.UpdateFile(), EInOutError);
  EXPECT_EQ(fault.BytesWritten(), 20);
}

TEST_F(IniTest, ReadFailureRaisesAndLeavesNothingToOverwrite) {
  std::string content = "[s]\r\nk=v\r\n[t]\r\nx=1\r\n";
  Put(path, content);
  FaultEnv fault(Env::Platform());
  ScopedEnv scoped(fault);
  fault.FailReadsAfter(3);
  try {
    TSectionIniFile ini(path);
    ADD_FAILURE() << "constructed";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), EIO);
  }

  TSectionIniFile ini("");
  ini.FileBufferSize = 4;
  fault.FailReadsAfter(5);
  EXPECT_THROW(ini.SetFileName(path), EInOutError);
  EXPECT_EQ(ini.FileName(), "") << "a file that could not be read is never written";
  EXPECT_EQ(ini.Sections.Count(), 0);
  ini.WriteText("s", "k", "lost");
  ini.UpdateFile();
  EXPECT_EQ(Get(path), content);

  ini.WriteText("mine", "k", "1");
  fault.FailReadsAfter(5);
  EXPECT_THROW(ini.LoadFile(path), EInOutError);
  EXPECT_EQ(Contents(ini), (V{"[s]", "k=lost", "", "[mine]", "k=1", ""})) << "a failed load adds nothing";
}

TEST_F(IniTest, UnreadableTargetIsAnErrorNotAnEmptyStore) {
  fs::create_directory(path);
  EXPECT_THROW(TSectionIniFile ini(path), EInOutError);
}

}  // namespace
}  // namespace dravello
