// Running programs from tests through the platform's command interpreter: sh on POSIX, cmd.exe
// on Windows (under Wine too). Tests run the project's own programs this way on both; the
// archive tools of Linux (unzip, 7zz, python3, bsdtar, zip) are run on Linux only.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string>

namespace dravello::testing {

// One argument quoted for the interpreter: single quotes for sh, double quotes for cmd.exe (which
// knows no other; the arguments tests pass never hold a double quote themselves).
inline std::string ShellQuote(const std::string& s) {
#ifdef _WIN32
  return "\"" + s + "\"";
#else
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
#endif
}

// Where output goes to be thrown away.
#ifdef _WIN32
inline constexpr const char* kNullDevice = "NUL";
#else
inline constexpr const char* kNullDevice = "/dev/null";
#endif

// Runs a command line and returns what it wrote on standard output; *exitStatus gets its exit
// status (-1 when it could not be run or did not end normally).
inline std::string CaptureOutput(const std::string& commandLine, int* exitStatus = nullptr) {
  std::string out;
#ifdef _WIN32
  // cmd.exe /c drops the first and the last quote of a line that starts with one; the outer pair
  // keeps the line's own quotes intact.
  FILE* pipe = ::_popen(("\"" + commandLine + "\"").c_str(), "r");
#else
  FILE* pipe = ::popen(commandLine.c_str(), "r");
#endif
  if (!pipe) {
    if (exitStatus) *exitStatus = -1;
    return out;
  }
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
#ifdef _WIN32
  const int status = ::_pclose(pipe);
  if (exitStatus) *exitStatus = status;
#else
  const int status = ::pclose(pipe);
  if (exitStatus) *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return out;
}

// Whether the Linux archive tools can be run: never on Windows, where they do not exist.
inline bool LinuxToolsAvailable() {
#ifdef _WIN32
  return false;
#else
  return true;
#endif
}

// The reason printed by tests that skip a check needing a Linux program on Windows.
inline constexpr const char* kNoLinuxTools =
    "this check runs a Linux program (Info-ZIP, 7-Zip, Python, bsdtar, nm), which a Windows build cannot start";

}  // namespace dravello::testing
