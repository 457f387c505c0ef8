// The processor time this test process has used, for tests that bound how long an algorithm
// takes: unlike the wall clock it does not grow while other jobs hold the machine's cores.
#pragma once

#include <ctime>

namespace dravello::testing {

inline double CpuSeconds() {
#ifdef _WIN32
  // The C library's clock() counts wall time on Windows; the POSIX clock of MinGW-w64's thread
  // library counts the process's processor time.
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
#else
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

}  // namespace dravello::testing
