// Telling Wine from Windows in tests: Wine has known gaps that are not faults of the program, and
// the checks that meet one skip with the reason printed.
#pragma once

#ifdef _WIN32
#include "runtime/WinPath.h"
#endif

namespace dravello::testing {

inline bool UnderWine() {
#ifdef _WIN32
  return RunningUnderWine();
#else
  return false;
#endif
}

// Wine reads the archive attribute of every file as set, whatever was cleared.
inline constexpr const char* kWineKeepsNoArchiveBit = "Wine does not keep a cleared archive attribute";

}  // namespace dravello::testing
