#include "runtime/Clock.h"

#include <atomic>

namespace dravello {

// Defined by the platform's Env file.
Clock& SystemClockInstance();

namespace {
std::atomic<Clock*> g_clock{nullptr};
}  // namespace

Clock& Clock::Default() {
  Clock* c = g_clock.load(std::memory_order_acquire);
  return c ? *c : SystemClockInstance();
}

Clock* Clock::SetDefault(Clock* clock) { return g_clock.exchange(clock, std::memory_order_acq_rel); }

}  // namespace dravello
