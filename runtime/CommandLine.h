// The program's command line, as the platform split it into parameters (blanks separate them;
// double quotes keep a parameter with blanks together and are removed).
#pragma once

#include <string>
#include <vector>

namespace dravello {

// Called once by main() with its arguments. On Windows the parameters are taken from the
// process's wide-character command line instead (main's arguments are in the ANSI code page, which
// need not hold every name), converted to UTF-8.
void InitCommandLine(int argc, const char* const* argv);
// Takes the parameters from `argv` as they stand.
void SetCommandLine(int argc, const char* const* argv);
// Replaces the parameters (tests).
void SetParams(std::vector<std::string> params);
// The number of parameters after the program name.
int ParamCount();
// Parameter `index` (1 .. ParamCount); 0 is the program as started; "" outside that range.
std::string ParamStr(int index);

}  // namespace dravello
