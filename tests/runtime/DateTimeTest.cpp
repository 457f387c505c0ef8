#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "runtime/Clock.h"
#include "runtime/DateTime.h"

namespace dravello {

bool operator==(const TDateTimeParts& a, const TDateTimeParts& b) {
  return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && a.Hour == b.Hour && a.Minute == b.Minute &&
         a.Second == b.Second && a.Millisecond == b.Millisecond;
}

void PrintTo(const TDateTimeParts& p, std::ostream* os) {
  *os << p.Year << '-' << p.Month << '-' << p.Day << ' ' << p.Hour << ':' << p.Minute << ':' << p.Second << '.'
      << p.Millisecond;
}

namespace {

TEST(DateTime, EncodesDaysSinceEighteenNinetyNineDecemberThirty) {
  struct Case {
    TDateTimeParts parts;
    double value;
  } cases[] = {
      {{1899, 12, 30}, 0.0},
      {{1899, 12, 31}, 1.0},
      {{1900, 1, 1}, 2.0},
      {{1900, 3, 1}, 61.0},  // 1900 is no leap year
      {{2000, 1, 1}, 36526.0},
      {{1899, 12, 30, 12}, 0.5},
      {{1899, 12, 30, 6}, 0.25},
      {{1899, 12, 29}, -1.0},
      {{1899, 12, 29, 6}, -1.25},  // before the epoch the time counts forward from the day
      {{1899, 12, 28, 18}, -2.75},
      {{1800, 1, 1}, -36522.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDateTime(c.parts), c.value) << c.value;
    EXPECT_EQ(DecodeDateTime(c.value), c.parts) << c.value;
  }
}

TEST(DateTime, RoundTripsThroughTheDouble) {
  const TDateTimeParts cases[] = {
      {1899, 12, 30, 0, 0, 0, 0},      {1899, 12, 29, 23, 59, 59, 999}, {1600, 2, 29, 12, 0, 0, 1},
      {1900, 2, 28, 1, 2, 3, 4},       {2000, 2, 29, 23, 59, 59, 999},  {2004, 3, 15, 14, 7, 33, 500},
      {2038, 1, 19, 3, 14, 8, 0},      {2100, 12, 31, 0, 0, 0, 1},      {2107, 12, 31, 23, 59, 58, 0},
      {1, 1, 1, 0, 0, 0, 0},           {9999, 12, 31, 23, 59, 59, 999}, {1980, 1, 1, 0, 0, 0, 0},
  };
  for (const TDateTimeParts& p : cases) EXPECT_EQ(DecodeDateTime(EncodeDateTime(p)), p);
}

TEST(DateTime, RoundingToTheNextMillisecondCanReachTheNextDay) {
  // Just before midnight of 1899-12-29 (day -1) and of 1899-12-31 (day 1): rounding lands on the
  // following calendar day, whichever side of the epoch.
  EXPECT_EQ(DecodeDateTime(-1.99999999999), (TDateTimeParts{1899, 12, 30}));
  EXPECT_EQ(DecodeDateTime(-0.99999999999), (TDateTimeParts{1899, 12, 31}));
  EXPECT_EQ(DecodeDateTime(1.99999999999), (TDateTimeParts{1900, 1, 1}));
  EXPECT_EQ(DecodeDateTime(-0.5), (TDateTimeParts{1899, 12, 30, 12}));
}

TEST(FormatDateTime, FormatsTheProgramsPatterns) {
  const TDateTimeParts t{2004, 3, 5, 4, 7, 9, 7};
  struct Case {
    const char* format;
    const char* expected;
  } cases[] = {
      {"yyyy-mm-dd hh:nn:ss", "2004-03-05 04:07:09"},
      {"YYYY-MM-DD HH-NN", "2004-03-05 04-07"},
      {"MMDDHHNN", "03050407"},
      {"YYYY\\MMDDHHNN", "2004\\03050407"},
      {"yyyy/mm", "2004/03"},
      {"d.m.yy h:n:s", "5.3.04 4:7:9"},
      {"hh:nn:ss.zzz", "04:07:09.007"},
      {"\"yyyy\" yyyy", "yyyy 2004"},
      {"'mm' mm", "mm 03"},
      {"[yyyy]", "[2004]"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.format, t), c.expected) << c.format;
  EXPECT_EQ(FormatDateTime("mm dd yy", 0.0), "12 30 99");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", TDateTimeParts{1999, 12, 31, 23, 59, 59}), "1999-12-31 23:59:59");
}

constexpr int32_t Pack(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<int32_t>((static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(month) << 21) |
                              (static_cast<uint32_t>(day) << 16) | (static_cast<uint32_t>(hour) << 11) |
                              (static_cast<uint32_t>(minute) << 5) | static_cast<uint32_t>(second / 2));
}

TEST(FileDate, PacksDateHighAndTimeLowWithTwoSecondResolution) {
  struct Case {
    TDateTimeParts parts;
    int32_t packed;
  } cases[] = {
      {{2004, 3, 15, 14, 7, 33}, (12399 << 16) | 28912},
      {{2004, 3, 15, 14, 7, 32}, (12399 << 16) | 28912},
      {{1980, 1, 1, 0, 0, 0}, 0x00210000},
      {{1980, 1, 1, 0, 0, 1}, 0x00210000},
      {{2043, 12, 31, 23, 59, 59}, Pack(2043, 12, 31, 23, 59, 58)},
      {{2107, 12, 31, 23, 59, 59}, Pack(2107, 12, 31, 23, 59, 58)},
      // Outside 1980..2107: the first or last representable second.
      {{1979, 12, 31, 23, 59, 59}, 0x00210000},
      {{1970, 1, 1, 0, 0, 0}, 0x00210000},
      {{1601, 1, 1}, 0x00210000},
      {{2108, 1, 1}, Pack(2107, 12, 31, 23, 59, 58)},
      {{2200, 6, 1, 12}, Pack(2107, 12, 31, 23, 59, 58)},
  };
  for (const Case& c : cases) EXPECT_EQ(DateTimeToFileDate(c.parts), c.packed) << c.parts.Year;
  // The clamped dates are never the "no file" age -1.
  EXPECT_NE(DateTimeToFileDate({2200, 1, 1}), -1);
  EXPECT_NE(DateTimeToFileDate({1970, 1, 1}), -1);
}

TEST(FileDate, UnpacksWhatItPacked) {
  const TDateTimeParts cases[] = {
      {1980, 1, 1, 0, 0, 0}, {2004, 3, 15, 14, 7, 32}, {2000, 2, 29, 23, 59, 58}, {2107, 12, 31, 23, 59, 58},
      {2044, 1, 1, 0, 0, 0},
  };
  for (const TDateTimeParts& p : cases) EXPECT_EQ(FileDateToDateTime(DateTimeToFileDate(p)), p);
  EXPECT_EQ(FileDateToDateTime(DateTimeToFileDate({2004, 3, 15, 14, 7, 33, 999})), (TDateTimeParts{2004, 3, 15, 14, 7, 32}));
}

TEST(Clock, ScopedClocksNestAndRestore) {
  Clock& system = Clock::Default();
  ManualClock outer({2001, 2, 3, 4, 5, 6}), inner({2011, 12, 13});
  {
    ScopedClock a(outer);
    EXPECT_EQ(&Clock::Default(), &outer);
    {
      ScopedClock b(inner);
      EXPECT_EQ(Clock::Default().Now(), (TDateTimeParts{2011, 12, 13}));
    }
    EXPECT_EQ(&Clock::Default(), &outer);
    outer.AdvanceTicks(250);
    EXPECT_EQ(Clock::Default().TickCount(), 1250u);
  }
  EXPECT_EQ(&Clock::Default(), &system);
}

TEST(Clock, SystemClockMovesForward) {
  Clock& clock = Clock::Default();
  uint32_t a = clock.TickCount();
  uint32_t b = clock.TickCount();
  EXPECT_LE(b - a, 1000u);
  TDateTimeParts now = clock.Now();
  EXPECT_GE(now.Year, 2024);
  EXPECT_GE(now.Month, 1);
  EXPECT_LE(now.Month, 12);
}

}  // namespace
}  // namespace dravello
