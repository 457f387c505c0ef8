// The processor time this test process has used, for tests that bound how long an algorithm
// takes: unlike the wall clock it does not grow while other jobs hold the machine's cores.
#pragma once

#include <ctime>

namespace dravello::testing {

inline double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace dravello::testing
