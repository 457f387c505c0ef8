// The run-time library's basic services: the exception classes, the printf-like Format routine,
// integer conversion, and the string and path helpers every other folder builds on.
//
// Strings are std::string of bytes in the platform's 8-bit code page (UTF-8 on POSIX, the ANSI
// code page on Windows). Nothing here touches the operating system.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace dravello {

// ---- Exceptions ---------------------------------------------------------------------------

// Base of every failure the program raises on purpose. Guarded steps catch Exception (and any
// std::exception) and report Message().
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A text could not be converted (Format directive vs. argument, number syntax, property values).
class EConvertError : public Exception {
  using Exception::Exception;
};

// An input/output operation failed; ErrorCode() is the operating system's error number.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int errorCode) : Exception(std::move(message)), errorCode_(errorCode) {}
  int ErrorCode() const noexcept { return errorCode_; }

 private:
  int errorCode_;
};

// Any other operating-system call failed; ErrorCode() is the operating system's error number.
class EOSError : public Exception {
 public:
  EOSError(std::string message, int errorCode) : Exception(std::move(message)), errorCode_(errorCode) {}
  int ErrorCode() const noexcept { return errorCode_; }

 private:
  int errorCode_;
};

// A list index out of bounds or a forbidden duplicate.
class EListError : public Exception {
  using Exception::Exception;
};

// A value outside the range of its type.
class ERangeError : public Exception {
  using Exception::Exception;
};

// ---- Format -------------------------------------------------------------------------------

// One argument of Format: an integer, a string or a floating-point number.
using FormatArg = std::variant<int64_t, std::string, double>;

// Formats like the run-time library's Format: directives are
//   "%" [index ":"] ["-"] [width] ["." precision] type
// with the types d (decimal), u (unsigned decimal), x (hexadecimal), s (string), f, g, e, n
// (floating point) and "%%" for a percent sign. For d, u and x the precision is the minimum
// number of digits ("%.2d" of 5 gives "05"); for s it is the maximum number of characters; n is
// f with thousands separators ("1,234.50"). Width and precision may be "*", taken from the next
// argument, and an index may be given as "%1:s" (later directives continue after it).
// Raises EConvertError when a directive does not fit its argument, when arguments run out, or
// when a directive is malformed. Arguments left over are ignored.
std::string Format(std::string_view format, std::initializer_list<FormatArg> args);

// ---- Integer conversion ---------------------------------------------------------------------

// The run-time library's integer conversion: optional leading blanks, an optional sign, then
// either decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may
// follow. Decimal values must fit the signed 32-bit range; hexadecimal values up to 32 bits are
// taken as the 32-bit pattern (so "$FFFFFFFF" is -1). Returns nothing when the text is not such
// a number.
std::optional<int32_t> TryStrToInt(std::string_view text);

// The same for 64-bit values.
std::optional<int64_t> TryStrToInt64(std::string_view text);

// As TryStrToInt, but raises EConvertError ("'<text>' is not a valid integer value").
int32_t StrToInt(std::string_view text);

std::string IntToStr(int64_t value);

// ---- Strings ------------------------------------------------------------------------------

// Removes every character with a code of 32 or less from both ends (blanks, tabs, CR, LF and
// the other control characters).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// Turns the letters A to Z into a to z (or back); no other byte changes.
std::string LowerCaseAscii(std::string_view s);
std::string UpperCaseAscii(std::string_view s);

// Compares with A to Z treated as a to z; no other letter is folded.
bool SameTextAscii(std::string_view a, std::string_view b);

// Replaces every occurrence of `from` with `to`, left to right, without rescanning replacements.
std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// ---- Paths --------------------------------------------------------------------------------

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
// Whether the file system treats names that differ only in letter case as one name.
inline constexpr bool FileNamesIgnoreCase = true;
#else
inline constexpr char PathDelim = '/';
inline constexpr bool FileNamesIgnoreCase = false;
#endif

// The text with PathDelim appended unless it already ends with one (empty gives PathDelim).
std::string IncludeTrailingPathDelimiter(std::string_view path);
// The text without one trailing PathDelim, if it has one.
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// Everything up to and including the last PathDelim (or drive colon on Windows); empty if none.
std::string ExtractFilePath(std::string_view path);
// Everything after the last PathDelim (or drive colon on Windows).
std::string ExtractFileName(std::string_view path);
// The extension with its dot, taken from the file name part only; empty when it has none.
std::string ExtractFileExt(std::string_view path);
// The path with its extension replaced by `ext` (which includes the dot); appended when the
// file name has no extension.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// The drive part of a path: "C:" or "\\server\share" on Windows, "/" for an absolute POSIX
// path, empty otherwise.
std::string ExtractFileDrive(std::string_view path);

// The path relative to its drive: the drive part removed, then one leading PathDelim if
// present. "C:\Data\a.doc" gives "Data\a.doc"; "/home/ann/a.doc" gives "home/ann/a.doc".
std::string PathWithoutDrive(std::string_view path);

}  // namespace dravello
