// Test-only: collations for the locale-dependent tests.
#pragma once

#include <cstdlib>

#include "runtime/Locale.h"

namespace dravello::testing {

// Switches the collation to `name`, also from the locales the build compiled for the tests.
inline bool UseTestLocale(const char* name) {
  if (UseLocale(name)) return true;
#ifdef _WIN32
  return false;  // the C library's locales are the system's; none are compiled for the tests
#else
  ::setenv("LOCPATH", DRAVELLO_TEST_LOCPATH, 1);
  return UseLocale(name);
#endif
}

}  // namespace dravello::testing
