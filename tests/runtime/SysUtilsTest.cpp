#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "runtime/SysUtils.h"

namespace dravello {
namespace {

// ---- Format -------------------------------------------------------------------------------

struct FormatCase {
  const char* format;
  std::initializer_list<FormatArg> args;
  const char* expected;
};

TEST(Format, DirectivesWidthsAndPrecisions) {
  const FormatCase cases[] = {
      {"%s", {std::string("abc")}, "abc"},
      {"%s", {std::string()}, ""},
      {"%d", {int64_t{42}}, "42"},
      {"%d", {int64_t{-7}}, "-7"},
      {"%d", {int64_t{0}}, "0"},
      {"%d", {std::numeric_limits<int64_t>::min()}, "-9223372036854775808"},
      {"%u", {int64_t{5}}, "5"},
      {"%u", {int64_t{-1}}, "4294967295"},
      {"%x", {int64_t{255}}, "FF"},
      {"%x", {int64_t{-1}}, "FFFFFFFF"},
      {"%x", {int64_t{0x123456789}}, "123456789"},
      {"%.2d", {int64_t{5}}, "05"},
      {"%.1d", {int64_t{5}}, "5"},
      {"%.1d", {int64_t{42}}, "42"},
      {"%.3d", {int64_t{-5}}, "-005"},
      {"%.4x", {int64_t{255}}, "00FF"},
      {"%5d", {int64_t{42}}, "   42"},
      {"%-5d", {int64_t{42}}, "42   "},
      {"%2d", {int64_t{12345}}, "12345"},
      {"%5.3d", {int64_t{7}}, "  007"},
      {"%-5s|", {std::string("ab")}, "ab   |"},
      {"%5s", {std::string("ab")}, "   ab"},
      {"%.3s", {std::string("abcdef")}, "abc"},
      {"%.10s", {std::string("abc")}, "abc"},
      {"%6.2s|", {std::string("abcdef")}, "    ab|"},
      {"%%", {}, "%"},
      {"100%% of %d", {int64_t{3}}, "100% of 3"},
      {"%1:s %0:s", {std::string("a"), std::string("b")}, "b a"},
      {"%1:s %s", {std::string("a"), std::string("b"), std::string("c")}, "b c"},
      {"%0:s-%0:s", {std::string("x")}, "x-x"},
      {"%*d", {int64_t{5}, int64_t{42}}, "   42"},
      {"%.*d", {int64_t{3}, int64_t{7}}, "007"},
      {"%-*s|", {int64_t{4}, std::string("a")}, "a   |"},
      {"%D and %S", {int64_t{1}, std::string("s")}, "1 and s"},
      {"%.2f", {3.14159}, "3.14"},
      {"%f", {1.5}, "1.50"},
      {"%n", {1234567.5}, "1,234,567.50"},
      {"%.0n", {-1234.0}, "-1,234"},
      {"%n", {999.0}, "999.00"},
      {"%8.1f|", {2.71}, "     2.7|"},
      {"%s: %d files", {std::string("Copied"), int64_t{12}}, "Copied: 12 files"},
      {"no directives", {std::string("unused")}, "no directives"},
      {"ä %s ö", {std::string("ü")}, "ä ü ö"},
  };
  for (const FormatCase& c : cases) {
    try {
      EXPECT_EQ(Format(c.format, c.args), c.expected) << c.format;
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.format << " raised " << e.what();
    }
  }
}

TEST(Format, LongNumbersAreNotCutShort) {
  std::string text = Format("%.400f", {1e300});
  EXPECT_EQ(text.size(), 301u + 1 + 400);
  EXPECT_EQ(text.substr(0, 2), "10");
  EXPECT_EQ(Format("%1000d|", {int64_t{1}}).size(), 1001u);
}

TEST(Format, MismatchedMissingAndMalformedDirectivesRaise) {
  const FormatCase cases[] = {
      {"%d", {std::string("abc")}, nullptr},
      {"%u", {std::string("1")}, nullptr},
      {"%x", {1.5}, nullptr},
      {"%s", {int64_t{5}}, nullptr},
      {"%s", {2.5}, nullptr},
      {"%f", {int64_t{1}}, nullptr},
      {"%d", {}, nullptr},
      {"%s %s", {std::string("a")}, nullptr},
      {"%2:s", {std::string("a"), std::string("b")}, nullptr},
      {"%", {}, nullptr},
      {"abc%", {int64_t{1}}, nullptr},
      {"%q", {int64_t{1}}, nullptr},
      {"%5", {int64_t{1}}, nullptr},
      {"%.", {int64_t{1}}, nullptr},
      {"%-", {std::string("a")}, nullptr},
      {"%1:", {std::string("a"), std::string("b")}, nullptr},
      {"%*d", {std::string("5"), int64_t{1}}, nullptr},
      {"%999999999999d", {int64_t{1}}, nullptr},
  };
  for (const FormatCase& c : cases) {
    EXPECT_THROW(Format(c.format, c.args), EConvertError) << c.format;
  }
}

// ---- Integer conversion -------------------------------------------------------------------

TEST(TryStrToInt, AcceptsTheRuntimeSyntaxAndRejectsEverythingElse) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"0", 0},
      {"123", 123},
      {"00012", 12},
      {"-5", -5},
      {"+5", 5},
      {"   7", 7},
      {"  -7", -7},
      {"$1F", 31},
      {"x1F", 31},
      {"X1f", 31},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-$10", -16},
      {" $a", 10},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"$7FFFFFFF", 2147483647},
      {"$80000000", std::numeric_limits<int32_t>::min()},
      {"$FFFFFFFF", -1},
      {"0xFFFFFFFE", -2},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"$100000000", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"-", std::nullopt},
      {"+", std::nullopt},
      {"$", std::nullopt},
      {"x", std::nullopt},
      {"0x", std::nullopt},
      {"7 ", std::nullopt},
      {"7\t", std::nullopt},
      {"- 7", std::nullopt},
      {"--7", std::nullopt},
      {"12a", std::nullopt},
      {"1.5", std::nullopt},
      {"$1G", std::nullopt},
      {"1e3", std::nullopt},
      {"\t5", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(TryStrToInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(TryStrToInt64, CoversTheSixtyFourBitRange) {
  struct Case {
    const char* text;
    std::optional<int64_t> value;
  } cases[] = {
      {"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
      {"9223372036854775808", std::nullopt},
      {"-9223372036854775809", std::nullopt},
      {"2147483648", 2147483648LL},
      {"$FFFFFFFF", 4294967295LL},
      {"$FFFFFFFFFFFFFFFF", -1},
      {"$10000000000000000", std::nullopt},
      {" -$1", -1},
      {"", std::nullopt},
      {"1 ", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(TryStrToInt64(c.text), c.value) << '"' << c.text << '"';
}

TEST(StrToInt, RaisesWithTheOffendingText) {
  EXPECT_EQ(StrToInt(" 12"), 12);
  try {
    StrToInt("12 ");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'12 ' is not a valid integer value");
  }
}

TEST(IntToStr, FormatsTheWholeRange) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-15), "-15");
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

// ---- Strings ------------------------------------------------------------------------------

TEST(Trim, RemovesEveryCodeUpTo32AndNothingElse) {
  const std::string controls = std::string("\0\x01\t\n\r\x1f ", 7);
  EXPECT_EQ(Trim(controls + "a b" + controls), "a b");
  EXPECT_EQ(TrimLeft(controls + "a " + controls), "a " + controls);
  EXPECT_EQ(TrimRight(controls + "a" + controls), controls + "a");
  EXPECT_EQ(Trim(controls), "");
  EXPECT_EQ(Trim(""), "");
  // 0x7F and bytes of UTF-8 sequences are above 32 and stay, also at the ends.
  EXPECT_EQ(Trim("\x7f" "x\xc2\xa0"), "\x7f" "x\xc2\xa0");
  EXPECT_EQ(Trim(" \xc3\xa4 "), "\xc3\xa4");
  EXPECT_EQ(TrimLeft("\xa0x"), "\xa0x");
}

TEST(LetterCase, OnlyAsciiLettersChange) {
  EXPECT_EQ(LowerCaseAscii("ÄBC xyz @[`{"), "Äbc xyz @[`{");
  EXPECT_EQ(UpperCaseAscii("äbc XYZ @[`{"), "äBC XYZ @[`{");
  EXPECT_TRUE(SameTextAscii("Data\\A.DOC", "data\\a.doc"));
  EXPECT_FALSE(SameTextAscii("Ä", "ä"));
  EXPECT_FALSE(SameTextAscii("@", "`"));
  EXPECT_FALSE(SameTextAscii("[", "{"));
  EXPECT_FALSE(SameTextAscii("ab", "abc"));
  EXPECT_TRUE(SameTextAscii("", ""));
}

TEST(StringReplaceAll, ReplacesLeftToRightWithoutRescanning) {
  EXPECT_EQ(StringReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(StringReplaceAll("a.b.c", ".", ".."), "a..b..c");
  EXPECT_EQ(StringReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(StringReplaceAll("x#CRLF#y", "#CRLF#", "\r\n"), "x\r\ny");
}

// ---- Paths --------------------------------------------------------------------------------

#ifndef _WIN32
TEST(Paths, SplitAndChangeOnPosix) {
  struct Case {
    const char* path;
    const char* dir;
    const char* name;
    const char* ext;
  } cases[] = {
      {"/home/ann/a.doc", "/home/ann/", "a.doc", ".doc"},
      {"/home/ann.d/file", "/home/ann.d/", "file", ""},
      {"a.tar.gz", "", "a.tar.gz", ".gz"},
      {"/x/.bashrc", "/x/", ".bashrc", ".bashrc"},
      {"/x/dir/", "/x/dir/", "", ""},
      {"/", "/", "", ""},
      {"", "", "", ""},
      {"back\\slash.txt", "", "back\\slash.txt", ".txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.path), c.dir) << c.path;
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
  }

  EXPECT_EQ(ChangeFileExt("/opt/dravello", ".ini"), "/opt/dravello.ini");
  EXPECT_EQ(ChangeFileExt("/opt/dravello.exe", ".ini"), "/opt/dravello.ini");
  EXPECT_EQ(ChangeFileExt("/opt.d/dravello", ".log"), "/opt.d/dravello.log");
  EXPECT_EQ(ChangeFileExt("a.b.c", ""), "a.b");
  EXPECT_EQ(ChangeFileExt("a", ""), "a");

  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/"), "/a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a"), "/a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "");

  EXPECT_EQ(ExtractFileDrive("/home/ann/a.doc"), "/");
  EXPECT_EQ(ExtractFileDrive("home/ann"), "");
  EXPECT_EQ(PathWithoutDrive("/home/ann/a.doc"), "home/ann/a.doc");
  EXPECT_EQ(PathWithoutDrive("/home/ann/Data/"), "home/ann/Data/");
  EXPECT_EQ(PathWithoutDrive("relative/a.doc"), "relative/a.doc");
  EXPECT_EQ(PathWithoutDrive("/"), "");
}
#else
TEST(Paths, SplitAndChangeOnWindows) {
  struct Case {
    const char* path;
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
    const char* withoutDrive;
  } cases[] = {
      {"C:\\Data\\a.doc", "C:", "C:\\Data\\", "a.doc", ".doc", "Data\\a.doc"},
      {"C:a.doc", "C:", "C:", "a.doc", ".doc", "a.doc"},
      {"C:\\", "C:", "C:\\", "", "", ""},
      {"\\\\server\\share\\Data\\a.doc", "\\\\server\\share", "\\\\server\\share\\Data\\", "a.doc", ".doc", "Data\\a.doc"},
      {"\\\\server\\share", "\\\\server\\share", "\\\\server\\", "share", "", ""},
      {"\\\\server\\share\\", "\\\\server\\share", "\\\\server\\share\\", "", "", ""},
      {"Data\\a.tar.gz", "", "Data\\", "a.tar.gz", ".gz", "Data\\a.tar.gz"},
      {"\\Data\\a", "", "\\Data\\", "a", "", "Data\\a"},
      {"", "", "", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractFileDrive(c.path), c.drive) << c.path;
    EXPECT_EQ(ExtractFilePath(c.path), c.dir) << c.path;
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
    EXPECT_EQ(PathWithoutDrive(c.path), c.withoutDrive) << c.path;
  }
  EXPECT_EQ(ChangeFileExt("C:\\Tools\\Dravello.exe", ".ini"), "C:\\Tools\\Dravello.ini");
  EXPECT_EQ(ChangeFileExt("C:\\Tools.d\\Dravello", ".log"), "C:\\Tools.d\\Dravello.log");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\a"), "C:\\a\\");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\a\\"), "C:\\a");
}
#endif

}  // namespace
}  // namespace dravello
