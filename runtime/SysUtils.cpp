#include "runtime/SysUtils.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>
#include <vector>

namespace dravello {

// ---- Format -------------------------------------------------------------------------------

namespace {

[[noreturn]] void FormatError(std::string_view format) {
  throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

std::string Pad(std::string text, int width, bool leftAlign) {
  if (width > 0 && static_cast<int>(text.size()) < width) {
    std::string fill(static_cast<size_t>(width) - text.size(), ' ');
    text = leftAlign ? text + fill : fill + text;
  }
  return text;
}

// Digits of `magnitude` in `base`, zero-filled to at least `minDigits`.
std::string Digits(uint64_t magnitude, int base, int minDigits) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, magnitude, base);
  std::string digits(buf, end);
  for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (minDigits > static_cast<int>(digits.size())) digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
  return digits;
}

}  // namespace

std::string Format(std::string_view format, std::initializer_list<FormatArg> argList) {
  const std::vector<FormatArg> args(argList);
  std::string out;
  size_t next = 0;  // index of the next argument
  size_t i = 0;
  auto readNumber = [&](int& value) {
    if (i < format.size() && format[i] == '*') {
      if (next >= args.size() || !std::holds_alternative<int64_t>(args[next])) FormatError(format);
      value = static_cast<int>(std::get<int64_t>(args[next++]));
      ++i;
      return true;
    }
    bool any = false;
    value = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
      if (value > 100000) FormatError(format);
      value = value * 10 + (format[i++] - '0');
      any = true;
    }
    return any;
  };

  while (i < format.size()) {
    char c = format[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= format.size()) FormatError(format);
    if (format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // [index ":"] ["-"] [width] ["." precision] type
    // A leading number (or "*") is an index only when a colon follows; otherwise it is read again
    // as the width, so whatever reading it consumed must be undone, the argument of a "*" too.
    int number = 0;
    const size_t save = i, saveNext = next;
    if (readNumber(number) && i < format.size() && format[i] == ':') {
      if (number < 0) FormatError(format);
      next = static_cast<size_t>(number);
      ++i;
    } else {
      i = save;
      next = saveNext;
    }
    bool leftAlign = false;
    if (i < format.size() && format[i] == '-') {
      leftAlign = true;
      ++i;
    }
    int width = 0;
    readNumber(width);
    int precision = -1;
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (!readNumber(precision)) precision = 0;
    }
    if (i >= format.size()) FormatError(format);
    char type = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i++])));
    if (next >= args.size()) FormatError(format);
    const FormatArg& arg = args[next++];

    std::string text;
    switch (type) {
      case 'd':
      case 'u':
      case 'x': {
        if (!std::holds_alternative<int64_t>(arg)) FormatError(format);
        int64_t v = std::get<int64_t>(arg);
        if (type == 'd') {
          uint64_t magnitude = v < 0 ? uint64_t(0) - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
          text = (v < 0 ? "-" : "") + Digits(magnitude, 10, precision);
        } else {
          // Unsigned and hexadecimal forms show the 32-bit pattern of values that fit 32 bits.
          uint64_t bits = static_cast<uint64_t>(v);
          if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
            bits = static_cast<uint32_t>(v);
          text = Digits(bits, type == 'x' ? 16 : 10, precision);
        }
        break;
      }
      case 's': {
        if (!std::holds_alternative<std::string>(arg)) FormatError(format);
        text = std::get<std::string>(arg);
        if (precision >= 0 && static_cast<size_t>(precision) < text.size()) text.resize(static_cast<size_t>(precision));
        break;
      }
      case 'f':
      case 'g':
      case 'e':
      case 'n': {
        if (!std::holds_alternative<double>(arg)) FormatError(format);
        double v = std::get<double>(arg);
        char spec[16];
        char conv = type == 'n' ? 'f' : type;
        std::snprintf(spec, sizeof spec, "%%.%d%c", precision >= 0 ? precision : (type == 'g' ? 15 : 2), conv);
        int size = std::snprintf(nullptr, 0, spec, v);
        if (size < 0) FormatError(format);
        text.resize(static_cast<size_t>(size) + 1);
        std::snprintf(text.data(), text.size(), spec, v);
        text.resize(static_cast<size_t>(size));
        if (type == 'n') {
          // Thousands separators in the integer digits.
          size_t begin = text[0] == '-' ? 1 : 0;
          size_t end = text.find('.');
          if (end == std::string::npos) end = text.size();
          for (size_t k = end; k > begin + 3; k -= 3) text.insert(k - 3, 1, ',');
        }
        break;
      }
      default:
        FormatError(format);
    }
    out += Pad(std::move(text), width, leftAlign);
  }
  return out;
}

// ---- Integer conversion -------------------------------------------------------------------

namespace {

// Shared by the 32- and 64-bit forms; hexadecimal values are taken as the bit pattern of Int.
template <typename Int>
std::optional<Int> ParseInt(std::string_view text) {
  using Unsigned = std::make_unsigned_t<Int>;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  if (hex) {
    Unsigned value = 0;
    for (; i < text.size(); ++i) {
      int digit;
      char c = text[i];
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else return std::nullopt;
      if (value > (std::numeric_limits<Unsigned>::max() >> 4)) return std::nullopt;
      value = static_cast<Unsigned>(value << 4 | static_cast<Unsigned>(digit));
    }
    Unsigned result = negative ? static_cast<Unsigned>(Unsigned(0) - value) : value;
    return static_cast<Int>(result);
  }
  Unsigned limit = negative ? static_cast<Unsigned>(std::numeric_limits<Int>::max()) + 1u
                            : static_cast<Unsigned>(std::numeric_limits<Int>::max());
  Unsigned value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    Unsigned digit = static_cast<Unsigned>(c - '0');
    if (value > (limit - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return negative ? static_cast<Int>(Unsigned(0) - value) : static_cast<Int>(value);
}

}  // namespace

std::optional<int32_t> TryStrToInt(std::string_view text) { return ParseInt<int32_t>(text); }
std::optional<int64_t> TryStrToInt64(std::string_view text) { return ParseInt<int64_t>(text); }

int32_t StrToInt(std::string_view text) {
  if (auto v = TryStrToInt(text)) return *v;
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

// ---- Strings ------------------------------------------------------------------------------

namespace {
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlankOrControl(s[b])) ++b;
  while (e > b && IsBlankOrControl(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsBlankOrControl(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && IsBlankOrControl(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string LowerCaseAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return r;
}

std::string UpperCaseAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  return r;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  size_t pos = 0;
  for (size_t hit; (hit = s.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
    out.append(s.substr(pos, hit - pos));
    out.append(to);
  }
  out.append(s.substr(pos));
  return out;
}

// ---- Paths --------------------------------------------------------------------------------

namespace {

// Position just after the last path separator (or, on Windows, drive colon); 0 when none.
size_t FileNameStart(std::string_view path) {
#ifdef _WIN32
  size_t p = path.find_last_of("\\:");
#else
  size_t p = path.find_last_of(PathDelim);
#endif
  return p == std::string_view::npos ? 0 : p + 1;
}

}  // namespace

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string r(path);
  if (r.empty() || r.back() != PathDelim) r += PathDelim;
  return r;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  if (!path.empty() && path.back() == PathDelim) path.remove_suffix(1);
  return std::string(path);
}

std::string ExtractFilePath(std::string_view path) { return std::string(path.substr(0, FileNameStart(path))); }

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(FileNameStart(path))); }

std::string ExtractFileExt(std::string_view path) {
  std::string_view name = path.substr(FileNameStart(path));
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t start = FileNameStart(path);
  size_t dot = path.substr(start).rfind('.');
  std::string_view stem = dot == std::string_view::npos ? path : path.substr(0, start + dot);
  return std::string(stem) + std::string(ext);
}

std::string ExtractFileDrive(std::string_view path) {
#ifdef _WIN32
  if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // \\server\share: up to (not including) the separator after the share name.
    size_t server = path.find('\\', 2);
    if (server == std::string_view::npos) return std::string(path);
    size_t share = path.find('\\', server + 1);
    return std::string(path.substr(0, share == std::string_view::npos ? path.size() : share));
  }
  return std::string();
#else
  return !path.empty() && path[0] == '/' ? std::string("/") : std::string();
#endif
}

std::string PathWithoutDrive(std::string_view path) {
#ifdef _WIN32
  path.remove_prefix(ExtractFileDrive(path).size());
  if (!path.empty() && path[0] == PathDelim) path.remove_prefix(1);
#else
  // The POSIX drive part is the leading "/"; removing it and "one leading separator" is the
  // same single character.
  if (!path.empty() && path[0] == '/') path.remove_prefix(1);
#endif
  return std::string(path);
}

}  // namespace dravello
