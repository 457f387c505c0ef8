// Dates and times: the run-time library's TDateTime (days since 1899-12-30 as a double, the
// fraction being the time of day), its parts, MS-DOS date-times and FormatDateTime.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravello {

using TDateTime = double;

struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

TDateTime EncodeDateTime(const TDateTimeParts& parts);
TDateTimeParts DecodeDateTime(TDateTime value);

// Formats with the specifiers yyyy, yy, mm, m, dd, d, hh, h, nn, n, ss, s, zzz (letters in any
// case; "mm" is always the month, minutes are "nn"). Every other character is copied, and text
// in double or single quotes is copied without its quotes.
std::string FormatDateTime(std::string_view format, const TDateTimeParts& t);
inline std::string FormatDateTime(std::string_view format, TDateTime t) { return FormatDateTime(format, DecodeDateTime(t)); }

// MS-DOS date and time packed into 32 bits: date in the upper 16 bits (year-1980, month, day),
// time in the lower 16 (hours, minutes, seconds/2). Years outside 1980 to 2107 are clamped to the
// first or last second of that range, so a file dated 1970 still has an age.
int32_t DateTimeToFileDate(const TDateTimeParts& t);
TDateTimeParts FileDateToDateTime(int32_t fileDate);

}  // namespace dravello
