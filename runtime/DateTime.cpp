#include "runtime/DateTime.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace dravello {

namespace {

// Days from 0001-01-01 (proleptic Gregorian) to the given date, counting that day as 0.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const int64_t kEpoch1899 = DaysFromCivil(1899, 12, 30);

}  // namespace

TDateTime EncodeDateTime(const TDateTimeParts& p) {
  double days = static_cast<double>(DaysFromCivil(p.Year, p.Month, p.Day) - kEpoch1899);
  double time = (p.Hour * 3600000.0 + p.Minute * 60000.0 + p.Second * 1000.0 + p.Millisecond) / 86400000.0;
  // Before the epoch the fraction counts forward from the (negative) day, as the type defines.
  return days >= 0 ? days + time : days - time;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  TDateTimeParts p;
  double days = std::trunc(value);
  double frac = std::fabs(value - days);
  int64_t ms = std::llround(frac * 86400000.0);
  if (ms >= 86400000) {
    // Rounded up to midnight: the next calendar day, which before the epoch is the day number
    // nearer to zero (day -1 at 23:59:59.9999 becomes day 0).
    ms -= 86400000;
    days += 1;
  }
  CivilFromDays(static_cast<int64_t>(days) + kEpoch1899, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int>(ms / 3600000);
  p.Minute = static_cast<int>(ms / 60000 % 60);
  p.Second = static_cast<int>(ms / 1000 % 60);
  p.Millisecond = static_cast<int>(ms % 1000);
  return p;
}

std::string FormatDateTime(std::string_view format, const TDateTimeParts& t) {
  std::string out;
  auto num = [&](int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    out += buf;
  };
  size_t i = 0;
  while (i < format.size()) {
    char c = format[i];
    if (c == '"' || c == '\'') {
      size_t close = format.find(c, i + 1);
      if (close == std::string_view::npos) close = format.size();
      out.append(format.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t run = 1;
    while (i + run < format.size() && std::tolower(static_cast<unsigned char>(format[i + run])) == lower) ++run;
    switch (lower) {
      case 'y':
        if (run >= 3) {
          num(t.Year, 4);
        } else {
          num(t.Year % 100, 2);
        }
        break;
      case 'm': run = run > 2 ? 2 : run; num(t.Month, static_cast<int>(run)); break;
      case 'd': run = run > 2 ? 2 : run; num(t.Day, static_cast<int>(run)); break;
      case 'h': run = run > 2 ? 2 : run; num(t.Hour, static_cast<int>(run)); break;
      case 'n': run = run > 2 ? 2 : run; num(t.Minute, static_cast<int>(run)); break;
      case 's': run = run > 2 ? 2 : run; num(t.Second, static_cast<int>(run)); break;
      case 'z': run = run >= 3 ? 3 : 1; num(t.Millisecond, static_cast<int>(run)); break;
      default:
        out += c;
        run = 1;
    }
    i += run;
  }
  return out;
}

int32_t DateTimeToFileDate(const TDateTimeParts& t) {
  if (t.Year < 1980) return static_cast<int32_t>((0u << 25) | (1u << 21) | (1u << 16));  // 1980-01-01 00:00:00
  if (t.Year > 2107) {
    uint32_t v = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    return static_cast<int32_t>(v);
  }
  uint32_t date = (static_cast<uint32_t>(t.Year - 1980) << 9) | (static_cast<uint32_t>(t.Month) << 5) |
                  static_cast<uint32_t>(t.Day);
  uint32_t time = (static_cast<uint32_t>(t.Hour) << 11) | (static_cast<uint32_t>(t.Minute) << 5) |
                  static_cast<uint32_t>(t.Second / 2);
  return static_cast<int32_t>(date << 16 | time);
}

TDateTimeParts FileDateToDateTime(int32_t fileDate) {
  auto v = static_cast<uint32_t>(fileDate);
  TDateTimeParts p;
  p.Year = static_cast<int>((v >> 25) & 0x7F) + 1980;
  p.Month = static_cast<int>((v >> 21) & 0x0F);
  p.Day = static_cast<int>((v >> 16) & 0x1F);
  p.Hour = static_cast<int>((v >> 11) & 0x1F);
  p.Minute = static_cast<int>((v >> 5) & 0x3F);
  p.Second = static_cast<int>((v & 0x1F) * 2);
  return p;
}

}  // namespace dravello
